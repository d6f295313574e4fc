#include "Golden.h"
#include "MeterSimulator.h"
#include "SimulatedDataSets.h"

#include <QProcess>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace SimulatedDataSets;
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(MeterSimulatorOptions)

namespace {
const QByteArray Model = "?MVM-2000\r", Serial = "?SSN-104233\r";

// The PC's end of a pseudo-terminal, non-blocking as a serial port is: what has come once `size`
// bytes are in or the line has ended (then `ended`), and 50 ms more.
struct Client
{
    explicit Client(const QString &pts)
        : fd(::open(QFile::encodeName(pts), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {}
    ~Client() { ::close(fd); }
    QByteArray talk(QByteArrayView out, qsizetype size)
    {
        QByteArray in;
        const auto pump = [&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0 || !(ended = true);)
                if (n > 0)
                    in.append(buffer, n);
                else
                    return ended = errno == EIO, in.size() >= size || ended;
            return true;
        };
        if (::write(fd, out.data(), out.size()) != out.size())
            return "write failed";
        (void)QTest::qWaitFor(pump, 10'000);
        QTest::qWait(50);
        pump();
        return in;
    }
    int fd;
    bool ended = false;
};
} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void dataSets()
    {
        // The four data sets, byte for byte (7.3 kV / 1.5 J / 1.0 s / 60 µs / no load, 5.2 / 2.8 /
        // 1.2 / 80 / 500, 9.8 / 4.5 / 1.5 / 120 / 1000, 3.1 / 0.6 / 0.9 / 40 / 100): a pulse of 12
        // codes a kV, its width at 2 µs a sample, a smaller swing below that dies out.
        QStringList hex;
        for (int set = 0; set <= 5; ++set)
            hex << record(set).toHex() << garbledRecord(set).toHex();
        QCOMPARE_GOLDEN("simulated-records.txt", hex);
        for (int set = 1; set <= 4; ++set)
            QVERIFY(decodeRecord(record(set).toStdString()) &&
                    !decodeRecord(garbledRecord(set).toStdString()));
    }

    void conversation_data()
    {
        QTest::addColumn<MeterSimulatorOptions>("options");
        QTest::addColumn<QByteArray>("input");    // sent in two writes, the first of one byte
        QTest::addColumn<QByteArray>("commands"); // as received, each ended by "|"
        QTest::addColumn<QByteArray>("replies");
        const QByteArray noise("\x00\xff\x7f?S", 5);
        QTest::newRow("four data sets")
            << MeterSimulatorOptions{} << QByteArray("?1\r?2\r?3\r?4\r")
            << QByteArray("?1|?2|?3|?4|") << record(1) + record(2) + record(3) + record(4);
        QTest::newRow("noise, LF, CR LF, empty lines")
            << MeterSimulatorOptions{} << "\r\n?M\n\r" + noise + "\r\n"
            << "?M|" + noise + '|' << Model + Serial;
        QTest::newRow("unknown, no CR yet")
            << MeterSimulatorOptions{} << QByteArray("?X\r?m\r?5\r?0\r?MM\rM\r?M\r?S")
            << QByteArray("?X|?m|?5|?0|?MM|M|?M|") << Model;
        QTest::newRow("silent") << MeterSimulatorOptions{.silent = true} << QByteArray("?M\r?1\r")
                                << QByteArray("?M|?1|") << QByteArray();
        QTest::newRow("late, own texts, short")
            << MeterSimulatorOptions{.replyDelay = 300ms,
                                     .recordLength = 221,
                                     .model = "X-1",
                                     .serial = "7"}
            << QByteArray("?M\r?S\r?1\r") << QByteArray("?M|?S|?1|")
            << "?MX-1\r?S7\r" + record(1).left(221);
        QTest::newRow("long, garbled")
            << MeterSimulatorOptions{.recordLength = 223, .garbled = true} << QByteArray("?2\r?2\r")
            << QByteArray("?2|?2|") << garbledRecord(2) + '\0' + garbledRecord(2) + '\0';
        QTest::newRow("hung up on the 1st, unanswered")
            << MeterSimulatorOptions{.hangUpAfter = 1} << QByteArray("\r?M\r") << QByteArray("?M|")
            << QByteArray();
    }
    void conversation()
    {
        QFETCH(MeterSimulatorOptions, options);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, commands);
        QFETCH(QByteArray, replies);
        MeterSimulator sim(options);
        QVERIFY(sim.start() && !sim.start());
        Client client(sim.devicePath());
        const QDeadlineTimer due(options.replyDelay);
        QVERIFY(client.talk(input.first(1), 0).isEmpty());
        QTRY_COMPARE(sim.receivedBytes(), input.first(1));
        QCOMPARE(client.talk(input.sliced(1), replies.size()), replies);
        QVERIFY(due.hasExpired() && sim.receivedBytes() == input &&
                sim.receivedCommands().join('|') + '|' == commands);
        // Hung up: the line ends and the device goes, else the line stays.
        QVERIFY(options.hangUpAfter < 0 ? sim.isOpen()
                                        : client.ended && !QFile::exists(sim.devicePath()));
    }

    void program()
    {
        // Stopped by SIGTERM or SIGINT, or ending by itself on hanging up on the 2nd command.
        for (const int stop : {SIGTERM, SIGINT, 0}) {
            QProcess sim;
            sim.start(METER_SIM_PATH, stop
                                          ? QStringList()
                                          : QStringList{"--hang-up-after", "2", "--model", "VM 9"});
            QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 3000));
            const QString ready = sim.readLine(), device = ready.section(' ', 4, 4);
            const int pts = device.mid(9).toInt();
            QCOMPARE(ready,
                     "Meter simulator ready on " + device + " - " +
                         (pts < 127
                              ? QString("choose \"COM %1\" in the port list.\n").arg(129 + pts)
                              : "no \"COM n\" entry maps to it; close some terminals and start it "
                                "again.\n"));
            Client client(device);
            QCOMPARE(client.talk("?M\r", 7), stop ? Model : "?MVM 9\r");
            QVERIFY(client.talk("\x01?X\r", 0).isEmpty());
            QByteArray log;
            QTRY_VERIFY((log += sim.readAllStandardError()).contains("?X"));
            QVERIFY(stop == 0 || ::kill(pid_t(sim.processId()), stop) == 0);
            QTRY_COMPARE(sim.state(), QProcess::NotRunning);
            QVERIFY(sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0 &&
                    !QFile::exists(device));
            QCOMPARE(log + sim.readAllStandardError(),
                     "received ?M\nreceived \\x01?X (not a command, ignored)\n" +
                         QByteArray(stop ? "" : "hung up after 2 commands\n"));
        }
        QProcess sim;
        sim.start(METER_SIM_PATH, {"--delay", "soon"});
        QTRY_COMPARE(sim.state(), QProcess::NotRunning);
        QVERIFY(sim.exitCode() == 2 && sim.readAllStandardOutput().isEmpty());
        QCOMPARE(sim.readAllStandardError(),
                 "voltrane-meter-sim: --delay takes a whole number from 0 to 3600000\n");
    }
};

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
