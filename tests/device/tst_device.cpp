#include "Golden.h"
#include "MeterLink.h"
#include "MeterSimulator.h"
#include "PortNames.h"
#include "ScriptedMeter.h"
#include "SimulatedDataSets.h"

#include <QtTest>

#include <termios.h>

using namespace std::chrono_literals;
using Replies = QList<QByteArray>;
using SimulatedDataSets::record;

namespace {
const Replies AllRecords = {record(1), record(2), record(3), record(4)};

// A fetch on a scripted line, and all it delivers as one log: "M:<reply>", "S:<reply>",
// "1:<record>" ... "4:", "done" or "failed:<message>".
struct Fetch
{
    explicit Fetch(Replies replies, std::chrono::milliseconds wait = 5ms)
        : line(std::move(replies)), fetch(&line, wait)
    {
        const auto add = [this](QByteArray tag) { return [this, tag](auto r) { log << tag + r; }; };
        QObject::connect(&fetch, &FetchSequence::modelReplyReceived, add("M:"));
        QObject::connect(&fetch, &FetchSequence::serialReplyReceived, add("S:"));
        QObject::connect(&fetch, &FetchSequence::recordReceived,
                         [this](int i, auto r) { log << QByteArray::number(i + 1) + ':' + r; });
        QObject::connect(&fetch, &FetchSequence::finished, [this] { log << "done"; });
        QObject::connect(&fetch, &FetchSequence::failed,
                         [this](QString m) { log << "failed:" + m.toUtf8(); });
    }
    bool run()
    {
        return fetch.start() && QTest::qWaitFor([&] { return !fetch.isRunning(); });
    }
    ScriptedMeter line;
    FetchSequence fetch;
    Replies log;
};

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void portNames()
    {
        // Each entry, the device it opens and the entry that maps back to; devices none opens.
        QStringList names;
        for (int port = 0; port <= 256; ++port) {
            const QString device = PortNames::devicePath(port).value_or("-");
            names << PortNames::portList().value(port - 1, "-") + ' ' + device + ' ' +
                         QString::number(PortNames::portNumberForDevice(device).value_or(0));
        }
        for (const char *none : {"/dev/pts/127", "/dev/ttyS32", "/dev/ttyS01", "/dev/ttyUSB+1",
                                 "/dev/ttyACM", "/dev/ttyUSB0x", "/dev/null"})
            names << QString(none) + " " +
                         QString::number(PortNames::portNumberForDevice(none).value_or(0));
        QCOMPARE_GOLDEN("port-names.txt", names);
    }

    void fetch()
    {
        // What is on the line before the fetch, the replies to the six commands, and what the
        // fetch delivers; then the same again on the same line.
        const QByteArray r1 = record(1), r4 = record(4);
        for (const auto &[before, replies, log] :
             {std::tuple<QByteArray, Replies, Replies>{
                  "",
                  {"?MVM\r", "?SSN\r", r1, "", "x", r4},
                  {"M:?MVM\r", "S:?SSN\r", "1:" + r1, "2:", "3:x", "4:" + r4, "done"}},
              {"", {}, {"M:", "S:", "1:", "2:", "3:", "4:", "done"}}, // silent
              {"xy",
               {"", "?MVM", "?SSN", r1, r4}, // noise first, a reply late
               {"M:xy", "S:?MVM", "1:?SSN", "2:" + r1, "3:" + r4, "4:", "done"}}}) {
            Fetch f(replies);
            f.line.arriving = before;
            QVERIFY(f.run() && f.log == log && f.line.written == "?M\r?S\r?1\r?2\r?3\r?4\r");
            QVERIFY(f.run() && f.line.written.size() == 2 * 18);
        }
    }

    void fetchStops()
    {
        // The port fails while "?1" is awaited: reported once; a line closed, or closing, said so.
        Fetch f({"?M1", "?S2", "rec"}, 200ms);
        QVERIFY(f.fetch.start() && !f.fetch.start()); // no second fetch interleaved
        QTRY_COMPARE(f.log.size(), 2);
        f.fetch.portFailed("gone"), f.fetch.portFailed("again");
        QTest::qWait(300);
        QVERIFY(f.log == Replies({"M:?M1", "S:?S2", "failed:gone"}) &&
                f.line.written == "?M\r?S\r?1\r");
        QObject::connect(&f.fetch, &FetchSequence::modelReplyReceived, &f.line, &QIODevice::close);
        QVERIFY(f.run() && !f.fetch.start());
        QCOMPARE(
            f.log.mid(4).join('\n'),
            "failed:The command could not be sent: the port is closed.\nfailed:The port is not "
            "open. Choose the meter's port and press \"Set Port\".");
    }

    void onAPseudoTerminal()
    {
        // The simulator on a real pseudo-terminal: what the operator reads when a port cannot be
        // opened; the meter's line settings, read back from the terminal itself.
        MeterSimulator sim;
        MeterLink link;
        MeterPort &port = *link.cm, second;
        QStringList messages;
        for (const int number : {0, 256, 64}) // COM 64 is /dev/ttyUSB31, rarely there
            messages << (number == 64 && QFile::exists("/dev/ttyUSB31")
                             ? "COM 64 (/dev/ttyUSB31): No such file or directory"
                         : port.open(number) ? "opened"
                                             : port.errorString());
        QVERIFY(sim.start() && port.openDevice(sim.devicePath()) &&
                !second.openDevice(sim.devicePath(), "COM 200"));
        termios tio{};
        QFile tty(sim.devicePath());
        QVERIFY(tty.open(QIODevice::ReadOnly | QIODevice::Unbuffered) &&
                ::tcgetattr(tty.handle(), &tio) == 0);
        QVERIFY(cfgetispeed(&tio) == B9600 && cfgetospeed(&tio) == B9600 &&
                (tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) == CS8);
        QVERIFY((tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP)) +
                    (tio.c_oflag & OPOST) + (tio.c_lflag & (ICANON | ECHO)) ==
                0);
        // A fetch at the real one-second wait. The simulator answers the first "?1" with a
        // megabyte of noise, the records queued behind it.
        Replies records(4);
        QObject::connect(link.fetch, &FetchSequence::recordReceived,
                         [&](int i, auto r) { records[i] = r; });
        QByteArray noise(1 << 20, Qt::Uninitialized);
        QRandomGenerator(20240611).fillRange(reinterpret_cast<quint32 *>(noise.data()),
                                             noise.size() / 4);
        QList<qint64> gaps;
        QElapsedTimer sinceCommand, sinceTick;
        QObject::connect(&sim, &MeterSimulator::commandReceived, [&](const QByteArray &command) {
            gaps << sinceCommand.restart();
            if (command == "?1" && gaps.size() == 3)
                sim.send(noise);
        });
        // A 10 ms timer keeps ticking all along: nothing blocks while the flood is read.
        qint64 longestGap = 0;
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout,
                         [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        sinceTick.start(), watchdog.start(10), sinceCommand.start();
        QVERIFY(link.fetch->start());
        QTRY_VERIFY_WITH_TIMEOUT(!link.fetch->isRunning(), 15'000);
        const auto [shortest, longest] = std::minmax_element(gaps.begin() + 1, gaps.end());
        QVERIFY2(*shortest >= 990 && *longest < 1900 && sinceCommand.elapsed() >= 990,
                 qPrintable(QString::number(*shortest)));
        QCOMPARE(sim.receivedBytes(), "?M\r?S\r?1\r?2\r?3\r?4\r");
        // Each data-set step took something, a bufferful at most; the rest drains through the same
        // buffer, then the records: not a byte lost, doubled or reordered.
        QVERIFY(std::ranges::all_of(records, [](const QByteArray &r) {
            return !r.isEmpty() && r.size() <= MeterPort::ReceiveBufferSize;
        }));
        QByteArray received = records.join();
        QTimer drain; // as fast as the event loop goes round
        QObject::connect(&drain, &QTimer::timeout, [&] {
            const QByteArray bytes = link.cm->takeAll();
            QVERIFY(bytes.size() <= MeterPort::ReceiveBufferSize);
            if ((received += bytes).size() >= noise.size() + 4 * 222)
                drain.stop();
        });
        drain.start(0);
        QTRY_VERIFY_WITH_TIMEOUT(!drain.isActive(), 60'000);
        QVERIFY(received == noise + AllRecords.join());
        QVERIFY2(longestGap < 900, qPrintable(QString::number(longestGap))); // not a reply wait
        // The noise has passed: the next fetch on the same port is clean.
        QVERIFY(link.fetch->start());
        QTRY_VERIFY_WITH_TIMEOUT(!link.fetch->isRunning(), 15'000);
        QCOMPARE(records, AllRecords);
        // The cable is pulled: reported once, the port closed; it opens again, by its entry.
        QSignalSpy failed(&port, &MeterPort::failed);
        sim.hangUp();
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(200);
        QVERIFY(failed.size() == 1 && !port.isOpen() && port.takeAll().isEmpty());
        messages << second.errorString() << failed[0][0].toString();
        QCOMPARE_GOLDEN("port-messages.txt",
                        messages.replaceInStrings(sim.devicePath(), "/dev/pts/N"));
        MeterSimulator again;
        const std::optional<int> entry =
            again.start() ? PortNames::portNumberForDevice(again.devicePath()) : std::nullopt;
        QVERIFY(entry ? port.open(*entry) && port.errorString().isEmpty()
                      : port.openDevice(again.devicePath()));
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
