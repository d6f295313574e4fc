// Opening a kept fetch with all four data sets measured: the file read and checked, each record
// decoded, its measures worked out and held against the built-in limit profile. The median and
// the fastest of 200 openings (target 2 ms), then the measuring alone per data set, and what the
// simulator's four data sets measure.
#include "FetchFile.h"
#include "FileSave.h"
#include "LimitCheck.h"
#include "PulseMeasures.h"
#include "SimulatedDataSets.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
std::optional<Measurement> decoded(const std::optional<QByteArray> &record)
{
    return record ? decodeRecord(std::string_view(record->constData(), record->size()))
                  : std::nullopt;
}

const char *shown(const Measure &measure, char *buffer, std::size_t size)
{
    if (!measure.value)
        return measure.whyNone.c_str();
    std::snprintf(buffer, size, "%.4g", *measure.value);
    return buffer;
}
} // namespace

int main()
{
    QTemporaryDir dir;
    FetchRecord fetch;
    fetch.modelReply = "?MVM-2000\r";
    fetch.serialReply = "?SSN-104233\r";
    fetch.port = QStringLiteral("COM 1");
    fetch.saved = QDateTime::currentDateTime();
    for (int i = 0; i < 4; ++i)
        fetch.records[i] = SimulatedDataSets::record(i + 1);
    const QString path = dir.filePath(QStringLiteral("bench.vmfetch"));
    const QByteArray file = FetchFile::toJson(fetch, DataSets::of(fetch.recordViews()), "bench");
    if (const Result<> written = FileSave::write(path, file); !written) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), written.error().c_str());
        return 1;
    }

    long checksum = 0; // keeps the optimiser from dropping the work
    std::vector<double> ms;
    for (int run = 0; run < 200; ++run) {
        QElapsedTimer timer;
        timer.start();
        const Result<FetchRecord> opened = FetchFile::read(path);
        if (!opened) {
            std::fprintf(stderr, "%s\n", opened.error().c_str());
            return 1;
        }
        for (const std::optional<QByteArray> &record : opened->records) {
            const std::optional<Measurement> m = decoded(record);
            const PulseMeasures measures = measurePulse(*m);
            const LimitCheck::Verdicts verdicts = LimitCheck::check(*m, builtInLimitProfile());
            checksum += measures.peakTimeUs.value.value_or(0) + int(verdicts.energy);
        }
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "open a kept fetch, all four data sets decoded, measured and checked: median %.3f ms, "
        "fastest %.3f ms (target 2 ms)\n",
        ms[ms.size() / 2], ms.front());

    std::vector<Measurement> sets;
    for (const std::optional<QByteArray> &record : fetch.records)
        sets.push_back(*decoded(record));
    constexpr int Calls = 100000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Calls; ++i)
        checksum += measurePulse(sets[i % 4]).cutOff;
    std::printf("measure one data set: %.0f ns\n", double(timer.nsecsElapsed()) / Calls);

    std::printf("\nthe simulator's data sets: peak time (µs), rise time (µs), width at 50 %% (µs), "
                "peak current (A), energy from the samples (J) beside the meter's\n");
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const PulseMeasures p = measurePulse(sets[i]);
        char b[5][32], difference[32] = "no difference to give";
        if (const auto percent = energyDifferencePercent(p, sets[i]))
            std::snprintf(difference, sizeof difference, "%+.1f %%", *percent);
        std::printf("  %zu: %s | %s | %s | %s | %s (meter %.1f J, %s)%s\n", i + 1,
                    shown(p.peakTimeUs, b[0], 32), shown(p.riseTimeUs, b[1], 32),
                    shown(p.widthAt50Us, b[2], 32), shown(p.peakCurrentA, b[3], 32),
                    shown(p.energyFromSamplesJ, b[4], 32), sets[i].energyCount / 10.0, difference,
                    p.cutOff ? " cut off" : "");
    }
    std::printf("(checksum %ld)\n", checksum);
    return 0;
}
