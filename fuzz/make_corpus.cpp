// Writes the seed corpus of the fuzz targets from the simulator's data sets and replies:
//
//   voltrane-fuzz-corpus DIR      writes DIR/record/* and DIR/fetch/*
//
// The committed fuzz/corpus/ is its output; run it again when the simulator's data sets change.

#include "MeterSimulator.h"
#include "SimulatedDataSets.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <cstdio>
#include <initializer_list>

namespace {

bool write(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "voltrane-fuzz-corpus: cannot write %s\n",
                     qPrintable(file.fileName()));
        return false;
    }
    return true;
}

// A record of data set 1 with its voltage count replaced.
QByteArray withVoltCount(quint16 voltCount)
{
    QByteArray bytes = SimulatedDataSets::record(1);
    bytes[206] = char(voltCount & 0xff);
    bytes[207] = char(voltCount >> 8);
    return bytes;
}

// Everything a simulated meter with these options sends for one fetch, in order.
QByteArray lineFor(const MeterSimulatorOptions &options)
{
    QByteArray line;
    for (const char *command : {"?M", "?S", "?1", "?2", "?3", "?4"})
        line += MeterSimulator::replyFor(command, options);
    return line;
}

// An input of the fetch target: five reply lengths, low byte first, then the line.
QByteArray fetchInput(std::initializer_list<quint16> lengths, const QByteArray &line)
{
    QByteArray bytes;
    for (const quint16 length : lengths) {
        bytes += char(length & 0xff);
        bytes += char(length >> 8);
    }
    bytes.resize(10, '\0');
    return bytes + line;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: voltrane-fuzz-corpus DIR\n");
        return 2;
    }
    const QString records = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/record");
    const QString fetches = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/fetch");
    if (!QDir().mkpath(records) || !QDir().mkpath(fetches)) {
        std::fprintf(stderr, "voltrane-fuzz-corpus: cannot create %s\n", argv[1]);
        return 1;
    }

    using namespace SimulatedDataSets;
    QByteArray flat = record(1);
    flat.replace(2, SampleCount, QByteArray(SampleCount, char(ZeroLine)));
    const bool recordsWritten =
        write(records, QStringLiteral("data-set-1"), record(1)) &&
        write(records, QStringLiteral("data-set-2"), record(2)) &&
        write(records, QStringLiteral("data-set-3"), record(3)) &&
        write(records, QStringLiteral("data-set-4"), record(4)) &&
        write(records, QStringLiteral("one-byte-short"), record(1).left(221)) &&
        write(records, QStringLiteral("one-byte-long"), record(1) + '\0') &&
        write(records, QStringLiteral("garbled"), garbledRecord(1)) &&
        write(records, QStringLiteral("flat-at-zero-line"), flat) &&
        write(records, QStringLiteral("highest-voltage"), withVoltCount(32767)) &&
        write(records, QStringLiteral("voltage-over-16-bits"), withVoltCount(32768));

    const MeterSimulatorOptions clean;
    MeterSimulatorOptions shortRecords;
    shortRecords.recordLength = 221;
    MeterSimulatorOptions garbled;
    garbled.garbled = true;
    MeterSimulatorOptions latin1;
    latin1.model = "VM-\xb5\xff";
    latin1.serial = "";
    const QByteArray line = lineFor(clean);
    const QByteArray model = MeterSimulator::replyFor("?M", clean);
    const QByteArray serial = MeterSimulator::replyFor("?S", clean);
    const bool fetchesWritten =
        // each reply whole within its wait
        write(fetches, QStringLiteral("clean"), fetchInput({10, 12, 222, 222, 222}, line)) &&
        // every reply one wait late: the last wait takes two records
        write(fetches, QStringLiteral("one-wait-late"), fetchInput({0, 10, 12, 222, 222}, line)) &&
        // a record cut by the end of its wait, its rest taken with the next one
        write(fetches, QStringLiteral("record-split"), fetchInput({10, 12, 150, 294, 222}, line)) &&
        // two bytes of noise on the line before the fetch
        write(fetches, QStringLiteral("noise-before"),
              fetchInput({12, 12, 222, 222, 222}, "xy" + line)) &&
        // a meter that is off
        write(fetches, QStringLiteral("silent"), fetchInput({}, {})) &&
        // the cable pulled after the serial number
        write(fetches, QStringLiteral("hung-up"), fetchInput({10, 12, 0, 0, 0}, model + serial)) &&
        write(fetches, QStringLiteral("short-records"),
              fetchInput({10, 12, 221, 221, 221}, lineFor(shortRecords))) &&
        write(fetches, QStringLiteral("garbled"),
              fetchInput({10, 12, 222, 222, 222}, lineFor(garbled))) &&
        write(fetches, QStringLiteral("latin-1-model"),
              fetchInput({8, 3, 222, 222, 222}, lineFor(latin1)));
    return recordsWritten && fetchesWritten ? 0 : 1;
}
