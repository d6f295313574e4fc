#include "MeterSimulator.h"
#include "SimulatedDataSets.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr int Timeout = 3000; // ms; generous, for a busy machine
constexpr int Settle = 150;   // ms to wait for bytes beyond those expected

// The PC's end of the line: a plain non-blocking descriptor on the simulator's device, as a serial
// port would have.
class Client
{
public:
    explicit Client(const QString &path)
    {
        // Only ever a pseudo-terminal: a real serial device here may be the system console.
        if (path.startsWith(QLatin1String("/dev/pts/")))
            m_fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~Client()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool endOfFile() const { return m_endOfFile; }
    int readError() const { return m_readError; }

    bool write(QByteArrayView bytes)
    {
        while (!bytes.isEmpty()) {
            const ssize_t count = ::write(m_fd, bytes.data(), size_t(bytes.size()));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return false;
            bytes = bytes.sliced(count);
        }
        return true;
    }

    // Takes in whatever has arrived.
    void pump()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count > 0) {
                m_input.append(buffer, count);
                continue;
            }
            if (count == 0)
                m_endOfFile = true;
            else if (errno == EINTR)
                continue;
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_readError = errno;
            return;
        }
    }

    // Lets the simulator run until `size` bytes are in, the line ends or time is up.
    bool waitForInput(qsizetype size, int timeout = Timeout)
    {
        [[maybe_unused]] const bool done = QTest::qWaitFor(
            [&] {
                pump();
                return m_input.size() >= size || m_endOfFile || m_readError != 0;
            },
            timeout);
        return m_input.size() >= size;
    }

    // Everything that arrives within `milliseconds`.
    QByteArray inputAfter(int milliseconds)
    {
        QTest::qWait(milliseconds);
        pump();
        return m_input;
    }

    QByteArray takeInput() { return std::exchange(m_input, {}); }

    // Sends `command` and returns what comes back: all of it once `expectedSize` bytes are in and
    // nothing more has followed for a while.
    QByteArray exchange(QByteArrayView command, qsizetype expectedSize)
    {
        m_input.clear();
        if (!write(command))
            return QByteArrayLiteral("<write failed>");
        waitForInput(expectedSize);
        QTest::qWait(Settle);
        pump();
        return takeInput();
    }

private:
    int m_fd = -1;
    QByteArray m_input;
    bool m_endOfFile = false;
    int m_readError = 0;
};

#define START_LINE(simulator, client)                                                              \
    QString startError;                                                                            \
    QVERIFY2((simulator).start(&startError), qPrintable(startError));                              \
    Client client((simulator).devicePath());                                                       \
    QVERIFY2(client.isOpen(), qPrintable((simulator).devicePath()))

QList<int> samplesOf(const QByteArray &record)
{
    QList<int> samples;
    for (qsizetype i = 2; i < 202 && i < record.size(); ++i)
        samples += quint8(record[i]);
    return samples;
}

// The 16-bit count whose low byte is byte number `firstByte` of the record (counting from 1).
int countAt(const QByteArray &record, int firstByte)
{
    return quint8(record[firstByte - 1]) | quint8(record[firstByte]) << 8;
}

// Samples from the first one above the zero line to the first one back on or below it.
qsizetype positiveLobeLength(const QList<int> &samples)
{
    const auto start = std::find_if(samples.begin(), samples.end(), [](int s) { return s > 127; });
    const auto end = std::find_if(start, samples.end(), [](int s) { return s <= 127; });
    return end - start;
}

// The first sample from which the pulse stays within one code of the zero line.
qsizetype settledFrom(const QList<int> &samples)
{
    qsizetype index = samples.size();
    while (index > 0 && std::abs(samples[index - 1] - 127) <= 1)
        --index;
    return index;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes += char(value);
    return bytes;
}

bool pollReportsHangUp(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP);
}

std::chrono::nanoseconds processCpuTime()
{
    timespec time{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void dataSetRecord_data();
    void dataSetRecord();
    void dataSetOneCountBytes();
    void dataSetsDiffer();
    void identityReplies_data();
    void identityReplies();
    void silentMeterAnswersNothing();
    void replyWaitsForDelay();
    void recordLength_data();
    void recordLength();
    void garbledRecord();
    void hangsUpOnNthCommand();
    void hangUpEndsTheClientsLine();
    void commandSplitAcrossWrites();
    void commandLines_data();
    void commandLines();
    void sendPassesEveryByteUnchanged();
    void largeOutputDoesNotBlock();
    void clientMayReopenThePort();
    void idleLineDoesNotSpin();
    void program_data();
    void program();
    void programExitsAfterHangUp();
    void programRejectsBadNumber();
};

void TestMeterSimulator::dataSetRecord_data()
{
    QTest::addColumn<int>("dataSet");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("pulseWidthUs");
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("energyCount");
    QTest::addColumn<int>("loadOhms");

    QTest::newRow("1: 7.3 kV 1.5 J no load") << 1 << 1000 << 60 << 73 << 15 << 0;
    QTest::newRow("2: 5.2 kV 2.8 J 500 ohms") << 2 << 1200 << 80 << 52 << 28 << 500;
    QTest::newRow("3: 9.8 kV 4.5 J 1000 ohms") << 3 << 1500 << 120 << 98 << 45 << 1000;
    QTest::newRow("4: 3.1 kV 0.6 J 100 ohms") << 4 << 900 << 40 << 31 << 6 << 100;
}

void TestMeterSimulator::dataSetRecord()
{
    QFETCH(int, dataSet);
    QFETCH(int, intervalMs);
    QFETCH(int, pulseWidthUs);
    QFETCH(int, voltCount);
    QFETCH(int, energyCount);
    QFETCH(int, loadOhms);

    MeterSimulator simulator;
    START_LINE(simulator, client);
    const QByteArray command = "?" + QByteArray::number(dataSet);
    const QByteArray record = client.exchange(command + '\r', 222);

    QCOMPARE(record.size(), 222);
    // what the line delivers is what the data set holds, byte for byte
    QCOMPARE(record, SimulatedDataSets::record(dataSet));
    QCOMPARE(record.left(2), command);
    QCOMPARE(countAt(record, 203), intervalMs);
    QCOMPARE(countAt(record, 205), pulseWidthUs);
    QCOMPARE(countAt(record, 207), voltCount);
    QCOMPARE(countAt(record, 209), energyCount);
    QCOMPARE(countAt(record, 211), loadOhms);
    QCOMPARE(record.mid(212, 9), QByteArray(9, '\0'));
    QCOMPARE(record.back(), '\r');

    const QList<int> samples = samplesOf(record);
    QCOMPARE(samples.size(), 200);
    QVERIFY2(std::all_of(samples.begin(), samples.begin() + 3, [](int s) { return s == 127; }),
             "the pulse starts after a few samples on the zero line");
    const auto peak = std::max_element(samples.begin(), samples.end());
    const int expectedPeak = 127 + (voltCount * 12 + 5) / 10;
    QVERIFY2(std::abs(*peak - expectedPeak) <= 2, qPrintable(QString::number(*peak)));
    QVERIFY2(*peak < 255, "the peak is not clipped");
    const auto riseStart =
        std::find_if(samples.begin(), samples.end(), [](int s) { return s > 127; });
    QVERIFY2(peak - riseStart < 3, "the pulse reaches its peak within three samples");
    // 2 µs per sample
    QVERIFY2(std::abs(positiveLobeLength(samples) - pulseWidthUs / 2) <= 3,
             qPrintable(QString::number(positiveLobeLength(samples))));
    const int lowest = *std::min_element(samples.begin(), samples.end());
    QVERIFY2(lowest < 127 - 5, "the pulse swings below the zero line");
    QVERIFY2(lowest > 0 && 127 - lowest < *peak - 127, "the swing below is smaller than the peak");
    QVERIFY2(settledFrom(samples) < 180, "the ringing has died out before the last samples");
}

void TestMeterSimulator::dataSetOneCountBytes()
{
    QCOMPARE(SimulatedDataSets::record(1).mid(202, 10).toHex(' '),
             QByteArray("e8 03 3c 00 49 00 0f 00 00 00"));
}

void TestMeterSimulator::dataSetsDiffer()
{
    QList<QList<int>> pulses;
    for (int dataSet = 1; dataSet <= 4; ++dataSet)
        pulses += samplesOf(SimulatedDataSets::record(dataSet));
    for (qsizetype a = 0; a < pulses.size(); ++a) {
        for (qsizetype b = a + 1; b < pulses.size(); ++b) {
            const QByteArray pair = QByteArray::number(a + 1) + " and " + QByteArray::number(b + 1);
            QVERIFY2(*std::ranges::max_element(pulses[a]) != *std::ranges::max_element(pulses[b]),
                     pair.constData());
            QVERIFY2(positiveLobeLength(pulses[a]) != positiveLobeLength(pulses[b]),
                     pair.constData());
            QVERIFY2(settledFrom(pulses[a]) != settledFrom(pulses[b]), pair.constData());
        }
    }
    QVERIFY(SimulatedDataSets::record(0).isEmpty());
    QVERIFY(SimulatedDataSets::record(5).isEmpty());
}

void TestMeterSimulator::identityReplies_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    const MeterSimulatorOptions defaults;
    QTest::newRow("model") << defaults.model << defaults.serial << QByteArray("?M\r")
                           << QByteArray("?MVM-2000\r");
    QTest::newRow("serial") << defaults.model << defaults.serial << QByteArray("?S\r")
                            << QByteArray("?SSN-104233\r");
    QTest::newRow("other model") << QByteArray("X-1") << defaults.serial << QByteArray("?M\r")
                                 << QByteArray("?MX-1\r");
    QTest::newRow("other serial") << defaults.model << QByteArray("7") << QByteArray("?S\r")
                                  << QByteArray("?S7\r");
}

void TestMeterSimulator::identityReplies()
{
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);

    MeterSimulatorOptions options;
    options.model = model;
    options.serial = serial;
    MeterSimulator simulator(options);
    START_LINE(simulator, client);
    QCOMPARE(client.exchange(command, reply.size()), reply);
    QCOMPARE(simulator.receivedCommands(), QList<QByteArray>{command.chopped(1)});
    QCOMPARE(simulator.receivedBytes(), command);
}

void TestMeterSimulator::silentMeterAnswersNothing()
{
    MeterSimulatorOptions options;
    options.silent = true;
    MeterSimulator simulator(options);
    START_LINE(simulator, client);
    QVERIFY(client.write("?M\r?1\r"));
    QCOMPARE(client.inputAfter(300), QByteArray());
    QCOMPARE(simulator.receivedCommands(), (QList<QByteArray>{"?M", "?1"}));
}

void TestMeterSimulator::replyWaitsForDelay()
{
    MeterSimulatorOptions options;
    options.replyDelay = 600ms;
    MeterSimulator simulator(options);
    START_LINE(simulator, client);

    QElapsedTimer sinceCommands;
    sinceCommands.start();
    QVERIFY(client.write("?M\r?S\r"));
    const QByteArray early = client.inputAfter(300);
    if (sinceCommands.elapsed() < 550)
        QCOMPARE(early, QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(simulator.receivedCommands().size(), 2, Timeout);

    const QByteArray replies = "?MVM-2000\r?SSN-104233\r";
    QVERIFY(client.waitForInput(replies.size()));
    QVERIFY2(sinceCommands.elapsed() >= 600, qPrintable(QString::number(sinceCommands.elapsed())));
    QCOMPARE(client.inputAfter(Settle), replies);
}

void TestMeterSimulator::recordLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("record");

    const QByteArray full = SimulatedDataSets::record(1);
    QTest::newRow("one short") << 221 << full.left(221);
    QTest::newRow("one long") << 223 << full + '\0';
    QTest::newRow("echo only") << 2 << QByteArray("?1");
}

void TestMeterSimulator::recordLength()
{
    QFETCH(int, length);
    QFETCH(QByteArray, record);

    MeterSimulatorOptions options;
    options.recordLength = length;
    MeterSimulator simulator(options);
    START_LINE(simulator, client);
    QCOMPARE(client.exchange("?1\r", record.size()), record);
    // the other replies keep their length
    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
}

void TestMeterSimulator::garbledRecord()
{
    MeterSimulatorOptions options;
    options.garbled = true;
    MeterSimulator simulator(options);
    START_LINE(simulator, client);

    const QByteArray record = client.exchange("?2\r", 222);
    QCOMPARE(record.size(), 222);
    QVERIFY(quint8(record[207]) >= 0x80);
    QVERIFY(countAt(record, 207) > 32767);
    QVERIFY(record != SimulatedDataSets::record(2));
    // garbled on every request in the same way, so a test can count on it
    QCOMPARE(client.exchange("?2\r", 222), record);
    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
}

void TestMeterSimulator::hangsUpOnNthCommand()
{
    MeterSimulatorOptions options;
    options.hangUpAfter = 2;
    MeterSimulator simulator(options);
    QSignalSpy hungUp(&simulator, &MeterSimulator::hungUp);
    START_LINE(simulator, client);
    const QString device = simulator.devicePath();

    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
    QCOMPARE(hungUp.count(), 0);
    QVERIFY(client.write("?S\r"));
    QTRY_COMPARE_WITH_TIMEOUT(hungUp.count(), 1, Timeout);

    // the second command is not answered: the client sees the line end instead
    QVERIFY(!client.waitForInput(1, 1000));
    QVERIFY(client.endOfFile() || client.readError() == EIO);
    QVERIFY(pollReportsHangUp(client.fd()));
    QVERIFY(!simulator.isOpen());
    QVERIFY(!QFile::exists(device));
    QCOMPARE(simulator.receivedCommands(), (QList<QByteArray>{"?M", "?S"}));
}

void TestMeterSimulator::hangUpEndsTheClientsLine()
{
    MeterSimulator simulator;
    QSignalSpy hungUp(&simulator, &MeterSimulator::hungUp);
    START_LINE(simulator, client);
    const QString device = simulator.devicePath();
    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));

    simulator.hangUp();
    QCOMPARE(hungUp.count(), 1);
    QVERIFY(!simulator.isOpen());
    QVERIFY(pollReportsHangUp(client.fd()));
    client.pump();
    QVERIFY(client.endOfFile() || client.readError() == EIO);
    errno = 0;
    QVERIFY(!client.write("?M\r"));
    QCOMPARE(errno, EIO);
    QVERIFY(!QFile::exists(device));

    // nothing left to do, and nothing breaks
    simulator.hangUp();
    simulator.send("late");
    QTest::qWait(50);
    QCOMPARE(hungUp.count(), 1);
}

void TestMeterSimulator::commandSplitAcrossWrites()
{
    MeterSimulator simulator;
    QSignalSpy received(&simulator, &MeterSimulator::commandReceived);
    START_LINE(simulator, client);

    QVERIFY(client.write("?"));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.receivedBytes(), QByteArray("?"), Timeout);
    QVERIFY(client.write("1"));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.receivedBytes(), QByteArray("?1"), Timeout);
    QCOMPARE(received.count(), 0);
    QCOMPARE(client.inputAfter(50), QByteArray());

    QCOMPARE(client.exchange("\r", 222), SimulatedDataSets::record(1));
    QCOMPARE(simulator.receivedCommands(), QList<QByteArray>{"?1"});
    QCOMPARE(received.count(), 1);
}

void TestMeterSimulator::commandLines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("replies");

    QTest::newRow("noise before a command")
        << QByteArray("\x00\xff\x7f?M\r", 6) << QList<QByteArray>{QByteArray("\x00\xff\x7f?M", 5)}
        << QByteArray("?MVM-2000\r");
    QTest::newRow("LF ends a command")
        << QByteArray("?S\n") << QList<QByteArray>{"?S"} << QByteArray("?SSN-104233\r");
    QTest::newRow("CR LF, two in one write")
        << QByteArray("?M\r\n?S\r\n") << QList<QByteArray>{"?M", "?S"}
        << QByteArray("?MVM-2000\r?SSN-104233\r");
    QTest::newRow("empty lines") << QByteArray("\r\r\n?M\r") << QList<QByteArray>{"?M"}
                                 << QByteArray("?MVM-2000\r");
    QTest::newRow("unknown commands ignored")
        << QByteArray("?X\r?m\r?5\r?0\r?MM\rM\r?M\r")
        << QList<QByteArray>{"?X", "?m", "?5", "?0", "?MM", "M", "?M"} << QByteArray("?MVM-2000\r");
    QTest::newRow("no CR yet") << QByteArray("?M") << QList<QByteArray>{} << QByteArray();
}

void TestMeterSimulator::commandLines()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, replies);

    MeterSimulator simulator;
    QSignalSpy received(&simulator, &MeterSimulator::commandReceived);
    START_LINE(simulator, client);
    QCOMPARE(client.exchange(input, replies.size()), replies);
    QCOMPARE(simulator.receivedCommands(), commands);
    QCOMPARE(simulator.receivedBytes(), input);
    QList<QByteArray> signalled;
    for (const QList<QVariant> &arguments : std::as_const(received))
        signalled += arguments.at(0).toByteArray();
    QCOMPARE(signalled, commands);
}

void TestMeterSimulator::sendPassesEveryByteUnchanged()
{
    // A fresh terminal echoes, and turns CR into LF and LF into CR LF; a serial line does not.
    MeterSimulator simulator;
    START_LINE(simulator, client);
    const QByteArray bytes = allByteValues();

    simulator.send(bytes);
    QVERIFY(client.waitForInput(bytes.size()));
    QCOMPARE(client.inputAfter(Settle), bytes);
    QCOMPARE(simulator.receivedBytes(), QByteArray()); // no echo of what was sent

    QVERIFY(client.write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.receivedBytes().size(), bytes.size(), Timeout);
    QTest::qWait(Settle);
    QCOMPARE(simulator.receivedBytes(), bytes);
}

void TestMeterSimulator::largeOutputDoesNotBlock()
{
    MeterSimulator simulator;
    START_LINE(simulator, client);
    QByteArray bytes;
    for (int i = 0; i < 256 * 1024; ++i)
        bytes += char(i * 7 + i / 256);

    // far more than the terminal holds while the client reads nothing
    QElapsedTimer sending;
    sending.start();
    simulator.send(bytes);
    simulator.send("?end");
    QVERIFY2(sending.elapsed() < 500, "send() waits for the client");

    QVERIFY(client.waitForInput(bytes.size() + 4, 10'000));
    QVERIFY(client.takeInput() == bytes + "?end");
    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
}

void TestMeterSimulator::clientMayReopenThePort()
{
    MeterSimulator simulator;
    QVERIFY(simulator.start());
    for (int round = 0; round < 3; ++round) {
        {
            Client client(simulator.devicePath());
            QVERIFY(client.isOpen());
            QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
        }
        QTest::qWait(100); // the simulator sees the port closed before it opens again
    }
    QCOMPARE(simulator.receivedCommands().size(), 3);
}

void TestMeterSimulator::idleLineDoesNotSpin()
{
    MeterSimulator simulator;
    QVERIFY(simulator.start());
    {
        Client client(simulator.devicePath());
        QVERIFY(client.isOpen());
        QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
    }
    // no client has the port open now
    const auto before = processCpuTime();
    QTest::qWait(500);
    const auto used = processCpuTime() - before;
    QVERIFY2(
        used < 200ms,
        qPrintable(QStringLiteral("%1 ms of CPU time while idle")
                       .arg(std::chrono::duration_cast<std::chrono::milliseconds>(used).count())));
}

void TestMeterSimulator::program_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestMeterSimulator::program()
{
    QFETCH(int, stopSignal);

    QProcess process;
    process.start(QStringLiteral(METER_SIM_PATH), {});
    QVERIFY2(process.waitForStarted(Timeout), qPrintable(process.errorString()));
    QVERIFY(QTest::qWaitFor([&] { return process.canReadLine(); }, Timeout));
    const QString ready = QString::fromLocal8Bit(process.readLine()).chopped(1);

    static const QRegularExpression readyLine(
        QStringLiteral(R"(^Meter simulator ready on (/dev/pts/(\d+)) - (.*)$)"));
    const QRegularExpressionMatch match = readyLine.match(ready);
    QVERIFY2(match.hasMatch(), qPrintable(ready));
    const QString device = match.captured(1);
    const int ptsNumber = match.captured(2).toInt();
    if (ptsNumber <= 126) {
        QCOMPARE(match.captured(3),
                 QStringLiteral("choose \"COM %1\" in the port list.").arg(129 + ptsNumber));
    } else {
        QCOMPARE(match.captured(3), QStringLiteral("no \"COM n\" entry maps to it; close some "
                                                   "terminals and start it again."));
    }
    QVERIFY(QFile::exists(device));

    Client client(device);
    QVERIFY(client.isOpen());
    QCOMPARE(client.exchange("?M\r", 10), QByteArray("?MVM-2000\r"));
    QCOMPARE(client.exchange("?X\r", 0), QByteArray());
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += process.readAllStandardError()).contains("received ?X"),
                             Timeout);
    QCOMPARE(log, QByteArray("received ?M\nreceived ?X (not a command, ignored)\n"));

    QCOMPARE(::kill(pid_t(process.processId()), stopSignal), 0);
    QVERIFY(process.waitForFinished(Timeout));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFile::exists(device));
}

void TestMeterSimulator::programExitsAfterHangUp()
{
    QProcess process;
    process.start(QStringLiteral(METER_SIM_PATH),
                  {QStringLiteral("--hang-up-after"), QStringLiteral("2"),
                   QStringLiteral("--model"), QStringLiteral("VM 9")});
    QVERIFY2(process.waitForStarted(Timeout), qPrintable(process.errorString()));
    QVERIFY(QTest::qWaitFor([&] { return process.canReadLine(); }, Timeout));
    const QString ready = QString::fromLocal8Bit(process.readLine());
    const QString device = ready.section(QLatin1Char(' '), 4, 4);

    Client client(device);
    QVERIFY2(client.isOpen(), qPrintable(ready));
    QCOMPARE(client.exchange("?M\r", 7), QByteArray("?MVM 9\r"));
    QVERIFY(client.write("?S\r"));
    QVERIFY(process.waitForFinished(Timeout));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!client.waitForInput(1, 1000));
    QVERIFY(client.endOfFile() || client.readError() == EIO);
    QVERIFY(process.readAllStandardError().contains("received ?S\nhung up after 2 commands\n"));
}

void TestMeterSimulator::programRejectsBadNumber()
{
    QProcess process;
    process.start(QStringLiteral(METER_SIM_PATH),
                  {QStringLiteral("--delay"), QStringLiteral("soon")});
    QVERIFY(process.waitForFinished(Timeout));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QVERIFY(process.readAllStandardError().contains("--delay"));
}

QTEST_GUILESS_MAIN(TestMeterSimulator)

#include "tst_metersimulator.moc"
