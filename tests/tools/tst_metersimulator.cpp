#include "Golden.h"
#include "MeterSimulator.h"
#include "SimulatedDataSets.h"

#include <QProcess>
#include <QSerialPort>

#include <csignal>

using namespace SimulatedDataSets;
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(MeterSimulatorOptions)

namespace {
const QByteArray Model = "?MVM-2000\r", Serial = "?SSN-104233\r";

// The PC's end of the line, as the program opens it: what has come once `size` bytes are in or the
// line has ended, and 50 ms more.
QByteArray talk(QSerialPort &port, QByteArrayView out, qsizetype size)
{
    QByteArray in;
    port.write(out.data(), out.size());
    (void)QTest::qWaitFor([&] { return (in += port.readAll()).size() >= size || port.error(); },
                          10'000);
    QTest::qWait(50);
    return in + port.readAll();
}
} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void dataSets()
    {
        // The data sets byte for byte, and garbled: only the former decode.
        QStringList hex;
        for (int set = 0; set <= 5; ++set)
            hex << record(set).toHex() << garbledRecord(set).toHex();
        QCOMPARE_GOLDEN("simulated-records.txt", hex);
        for (int set = 1; set <= 4; ++set)
            QVERIFY(decodeRecord(record(set).toStdString()) &&
                    !decodeRecord(garbledRecord(set).toStdString()));
    }

    void conversation()
    {
        // Input sent in two writes (the first of one byte), the commands heard (each ended by "|")
        // and the replies. Hung up, the line ends and the device goes; else the line stays.
        const QByteArray noise("\x00\xff\x7f?S", 5);
        const struct
        {
            MeterSimulatorOptions options;
            QByteArray input, commands, replies;
        } cases[] = {
            {{}, "\r\n?M\n\r" + noise + "\r\n", "?M|" + noise + '|', Model + Serial}, // LF, CR LF
            {{}, "?X\r?m\r?5\r?0\r?MM\rM\r?M\r?S", "?X|?m|?5|?0|?MM|M|?M|", Model},   // no CR yet
            {{.silent = true}, "?M\r?1\r", "?M|?1|", ""},
            {{.silentTo = {"?M", "?2"}}, "?M\r?2\r?1\r?S\r", "?M|?2|?1|?S|", record(1) + Serial},
            {{.replyDelay = 300ms, .recordLength = 221, .model = "X-1", .serial = "7"},
             "?M\r?S\r?1\r",
             "?M|?S|?1|",
             "?MX-1\r?S7\r" + record(1).left(221)},
            {{.recordLength = 223, .garbled = true},
             "?2\r?2\r",
             "?2|?2|",
             garbledRecord(2) + '\0' + garbledRecord(2) + '\0'},
            {{.hangUpAfter = 1}, "\r?M\r", "?M|", ""}};
        for (const auto &[options, input, commands, replies] : cases) {
            MeterSimulator sim(options);
            QVERIFY(sim.start() && !sim.start());
            QSerialPort client(sim.devicePath());
            const QDeadlineTimer due(options.replyDelay);
            QVERIFY(client.open(QIODevice::ReadWrite) && talk(client, input.first(1), 0).isEmpty());
            QTRY_COMPARE(sim.receivedBytes(), input.first(1));
            QCOMPARE(talk(client, input.sliced(1), replies.size()), replies);
            QVERIFY(due.hasExpired() && sim.receivedBytes() == input &&
                    sim.receivedCommands().join('|') + '|' == commands);
            QTRY_VERIFY(options.hangUpAfter < 0
                            ? sim.isOpen()
                            : client.error() && !QFile::exists(sim.devicePath()));
        }
    }

    void program()
    {
        // The program stopped by SIGTERM or SIGINT, or hanging up on the 2nd command; then bad
        // options. What it prints, answers and how it ends.
        QString transcript;
        for (const int stop : {SIGTERM, SIGINT, 0}) {
            QProcess sim;
            sim.start(METER_SIM_PATH, stop
                                          ? QStringList()
                                          : QStringList{"--hang-up-after", "2", "--model", "VM 9"});
            QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 3000));
            const QString ready = sim.readLine(), device = ready.section(' ', 4, 4);
            if (const int com = 129 + device.mid(9).toInt(); com > 255)
                QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
            QSerialPort client(device);
            QVERIFY(client.open(QIODevice::ReadWrite) &&
                    ready.contains(QString("\"COM %1\"").arg(129 + device.mid(9).toInt())));
            transcript += QString(ready).replace(device, "/dev/pts/N") + talk(client, "?M\r", 7);
            transcript += talk(client, "\x1f ?X\r", 0) + '\n';
            QByteArray log;
            QTRY_VERIFY((log += sim.readAllStandardError()).contains("?X"));
            QVERIFY(stop == 0 || ::kill(pid_t(sim.processId()), stop) == 0);
            QTRY_COMPARE(sim.state(), QProcess::NotRunning);
            transcript += log + sim.readAllStandardError() +
                          QString("exit %1 %2, device %3\n")
                              .arg(sim.exitStatus())
                              .arg(sim.exitCode())
                              .arg(QFile::exists(device) ? "left" : "gone");
        }
        for (const QStringList &bad :
             {QStringList{"--delay", "soon"}, {"--hang-up-after", "0"}, {"--silent-to", "?5"}}) {
            QProcess sim;
            sim.start(METER_SIM_PATH, bad);
            QVERIFY(sim.waitForFinished());
            transcript += bad.join(' ') + ": exit " + QString::number(sim.exitCode()) + ", " +
                          sim.readAllStandardOutput() + sim.readAllStandardError();
        }
        QCOMPARE_GOLDEN("simulator-program.txt",
                        transcript.replace('\r', "\\r")
                            .replace(QRegularExpression("COM (129|1[3-9]\\d|2\\d\\d)"), "COM n")
                            .split('\n'));
    }
};

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
