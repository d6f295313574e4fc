#include "MeterSimulator.h"
#include "SimulatedDataSets.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <unistd.h>

using namespace SimulatedDataSets;

namespace {

const QByteArray Model = "?MVM-2000\r", Serial = "?SSN-104233\r";

// One conversation over the line; the input goes in two writes, the first of one byte.
struct Talk
{
    MeterSimulatorOptions options;
    QByteArray input;
    QList<QByteArray> commands; // as the simulator records them
    QByteArray replies;
};

// The PC's end of the line: a non-blocking descriptor on the simulator's device, as a serial port
// has. Only ever a pseudo-terminal: a real serial device here may be the system console.
struct Client
{
    explicit Client(const QString &path)
    {
        if (path.startsWith(QLatin1String("/dev/pts/")))
            fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    // Starts the simulator and opens its port.
    explicit Client(MeterSimulator &sim) : Client(sim.start() ? sim.devicePath() : QString()) {}
    ~Client() { ::close(fd); }
    bool write(QByteArrayView out) { return ::write(fd, out.data(), out.size()) == out.size(); }
    // All that has come once `size` bytes are in or the line has ended, and 50 ms more.
    QByteArray receive(qsizetype size, int timeout = 3000)
    {
        QByteArray input;
        const auto pump = [&] {
            char buffer[4096];
            ssize_t count;
            while ((count = ::read(fd, buffer, sizeof buffer)) > 0)
                input.append(buffer, count);
            ended = ended || count == 0 || (count < 0 && errno == EIO);
            return input.size() >= size || ended;
        };
        static_cast<void>(QTest::qWaitFor(pump, timeout));
        QTest::qWait(50);
        pump();
        return input;
    }
    QByteArray exchange(QByteArrayView out, qsizetype n) { return write(out) ? receive(n) : "-"; }

    int fd = -1;
    bool ended = false; // end-of-file or EIO: the simulator has hung up
};

// The 16-bit count whose low byte is byte number `firstByte` of the record (counting from 1).
int countAt(const QByteArray &record, int firstByte)
{
    return quint8(record[firstByte - 1]) | quint8(record[firstByte]) << 8;
}

} // namespace

Q_DECLARE_METATYPE(Talk)

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void dataSetRecord_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<QList<int>>("counts"); // interval, pulse width, volts, energy, load
        QTest::newRow("1: 7.3 kV 1.5 J no load") << 1 << QList{1000, 60, 73, 15, 0};
        QTest::newRow("2: 5.2 kV 2.8 J 500 ohms") << 2 << QList{1200, 80, 52, 28, 500};
        QTest::newRow("3: 9.8 kV 4.5 J 1000 ohms") << 3 << QList{1500, 120, 98, 45, 1000};
        QTest::newRow("4: 3.1 kV 0.6 J 100 ohms") << 4 << QList{900, 40, 31, 6, 100};
    }
    void dataSetRecord()
    {
        QFETCH(int, dataSet);
        QFETCH(QList<int>, counts);
        const QByteArray bytes = record(dataSet), garbled = garbledRecord(dataSet);
        QCOMPARE(bytes.left(2), "?" + QByteArray::number(dataSet));
        for (int i = 0; i < 5; ++i) // low byte first, from byte 203 on
            QCOMPARE(countAt(bytes, 203 + 2 * i), counts[i]);
        QCOMPARE(bytes.mid(212), QByteArray(9, '\0') + '\r'); // and 222 bytes in all
        QVERIFY(garbled.size() == 222 && countAt(garbled, 207) > 32767 && garbled != bytes);
        QVERIFY(record(0).isEmpty() && record(5).isEmpty() && garbledRecord(5).isEmpty());

        // The pulse: a few samples on the zero line, up to its peak within three samples, back at
        // the zero line after its width (2 µs a sample), then a smaller swing below that dies out.
        const QList<quint8> s(bytes.begin() + 2, bytes.begin() + 202); // the samples
        const auto rise = std::ranges::find_if(s, [](int v) { return v > 127; });
        const auto peak = std::ranges::max_element(s);
        const auto fall = std::find_if(rise, s.end(), [](int v) { return v <= 127; });
        const int lowest = *std::ranges::min_element(s);
        QVERIFY(s[0] == 127 && s[1] == 127 && s[2] == 127 && peak - rise < 3 && *peak < 255);
        QCOMPARE_LE(std::abs(*peak - (127 + (counts[2] * 12 + 5) / 10)), 2);
        QCOMPARE_LE(std::abs((fall - rise) - counts[1] / 2), 3);
        QVERIFY(lowest > 0 && lowest < 127 - 5 && 127 - lowest < *peak - 127);
        const auto ringing =
            std::find_if(s.rbegin(), s.rend(), [](int v) { return std::abs(v - 127) > 1; });
        QCOMPARE_LT(s.rend() - ringing, 180); // the last sample off the zero line by over one
    }

    void conversation_data()
    {
        QTest::addColumn<Talk>("talk");
        const QByteArray noise("\x00\xff\x7f?S", 5);
        QTest::newRow("all four data sets")
            << Talk({}, "?1\r?2\r?3\r?4\r", {"?1", "?2", "?3", "?4"},
                    record(1) + record(2) + record(3) + record(4));
        QTest::newRow("noise before a command") << Talk({}, noise + '\r', {noise}, Serial);
        QTest::newRow("LF, CR LF, empty lines")
            << Talk({}, "\r\n?M\n\r?S\r\n", {"?M", "?S"}, Model + Serial);
        QTest::newRow("unknown commands, no CR yet")
            << Talk({}, "?X\r?m\r?5\r?0\r?MM\rM\r?M\r?S",
                    {"?X", "?m", "?5", "?0", "?MM", "M", "?M"}, Model);
        QTest::newRow("silent") << Talk({.silent = true}, "?M\r?1\r", {"?M", "?1"}, "");
        QTest::newRow("delayed, own model and serial")
            << Talk({.replyDelay = std::chrono::milliseconds(300), .model = "X-1", .serial = "7"},
                    "?M\r?S\r", {"?M", "?S"}, "?MX-1\r?S7\r");
        QTest::newRow("record one short")
            << Talk({.recordLength = 221}, "?1\r?M\r", {"?1", "?M"}, record(1).left(221) + Model);
        QTest::newRow("record one long")
            << Talk({.recordLength = 223}, "?1\r?M\r", {"?1", "?M"}, record(1) + '\0' + Model);
        QTest::newRow("garbled, the same each time")
            << Talk({.garbled = true}, "?2\r?2\r?M\r", {"?2", "?2", "?M"},
                    garbledRecord(2) + garbledRecord(2) + Model);
    }
    void conversation()
    {
        QFETCH(Talk, talk);
        MeterSimulator simulator(talk.options);
        Client client(simulator);
        const QDeadlineTimer replyDue(talk.options.replyDelay);
        QVERIFY(client.write(talk.input.first(1)));
        QTRY_COMPARE(simulator.receivedBytes(), talk.input.first(1));
        QVERIFY(client.write(talk.input.sliced(1)));
        QTRY_COMPARE(simulator.receivedBytes(), talk.input);
        QCOMPARE(client.receive(talk.replies.size()), talk.replies);
        QVERIFY(replyDue.hasExpired());
        QCOMPARE(simulator.receivedCommands(), talk.commands);
    }

    void lineIsRawNonBlockingAndReopens()
    {
        // A fresh terminal echoes, turns CR into LF and LF into CR LF, and may block a writer.
        MeterSimulator simulator;
        std::optional<Client> client(simulator);
        QByteArray bytes; // every byte value, far more than the terminal holds
        for (int i = 0; i < 256 * 1024; ++i)
            bytes += char(i * 7 + i / 256);
        simulator.send(bytes); // would never return if it waited for the client
        simulator.send("?end");
        QVERIFY(client->receive(bytes.size() + 4, 10'000) == bytes + "?end");
        QVERIFY(client->write(bytes.first(256)));
        QTRY_COMPARE(simulator.receivedBytes().size(), 256);
        QTest::qWait(50);
        QCOMPARE(simulator.receivedBytes(), bytes.first(256)); // nor any echo of what was sent

        client.reset(); // with no client on the port, the simulator must not spin on the line
        const std::clock_t before = std::clock();
        QTest::qWait(300);
        QVERIFY(std::clock() - before < CLOCKS_PER_SEC / 8);
        client.emplace(simulator.devicePath());
        QCOMPARE(client->exchange("?M\r", 10), Model);
    }

    void hangsUpOnTheNthCommand()
    {
        MeterSimulator simulator({.hangUpAfter = 2});
        QSignalSpy hungUp(&simulator, &MeterSimulator::hungUp);
        Client client(simulator);
        QCOMPARE(client.exchange("?M\r", 10), Model);
        QCOMPARE(client.exchange("?S\r", 1), QByteArray()); // not answered: the line ends
        pollfd entry{client.fd, POLLIN, 0};
        QVERIFY(client.ended && ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP));
        QVERIFY(!client.write("?M\r") && errno == EIO);
        QVERIFY(!simulator.isOpen() && !QFile::exists(simulator.devicePath()));
        simulator.hangUp(); // nothing left to do, and nothing breaks
        simulator.send("late");
        QCOMPARE(hungUp.size(), 1);
    }

    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("stopSignal"); // 0: it hangs up on the 2nd command by itself
        QTest::addColumn<QByteArray>("modelReply");
        QTest::newRow("SIGTERM") << QStringList() << int(SIGTERM) << Model;
        QTest::newRow("SIGINT") << QStringList() << int(SIGINT) << Model;
        QTest::newRow("hang up after 2, own model")
            << QStringList{"--hang-up-after", "2", "--model", "VM 9"} << 0
            << QByteArray("?MVM 9\r");
    }
    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, stopSignal);
        QFETCH(QByteArray, modelReply);
        QProcess process;
        process.start(QStringLiteral(METER_SIM_PATH), arguments);
        QVERIFY(QTest::qWaitFor([&] { return process.canReadLine(); }, 3000));
        const QString ready = QString::fromLocal8Bit(process.readLine());
        const QString device = ready.section(' ', 4, 4); // "/dev/pts/N"
        const int pts = device.mid(9).toInt();
        QCOMPARE(ready,
                 "Meter simulator ready on " + device + " - " +
                     (pts <= 126 ? QString("choose \"COM %1\" in the port list.\n").arg(129 + pts)
                                 : "no \"COM n\" entry maps to it; close some terminals and "
                                   "start it again.\n"));

        Client client(device);
        QCOMPARE(client.exchange("?M\r", modelReply.size()), modelReply);
        QCOMPARE(client.exchange("?X\r", 0), QByteArray());
        QByteArray log;
        QTRY_VERIFY((log += process.readAllStandardError()).contains("?X"));
        QVERIFY(stopSignal == 0 || ::kill(pid_t(process.processId()), stopSignal) == 0);
        QTRY_COMPARE(process.state(), QProcess::NotRunning);
        QVERIFY(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
        QCOMPARE(log + process.readAllStandardError(),
                 "received ?M\nreceived ?X (not a command, ignored)\n" +
                     QByteArray(stopSignal ? "" : "hung up after 2 commands\n"));
        QVERIFY(client.receive(1).isEmpty() && client.ended && !QFile::exists(device));
    }
    void programRejectsBadNumber()
    {
        QProcess process;
        process.start(QStringLiteral(METER_SIM_PATH), {"--delay", "soon"});
        QVERIFY(process.waitForFinished(3000));
        QVERIFY(process.exitStatus() == QProcess::NormalExit && process.exitCode() != 0);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(process.readAllStandardError().contains("--delay"));
    }
};

QTEST_GUILESS_MAIN(TestMeterSimulator)

#include "tst_metersimulator.moc"
