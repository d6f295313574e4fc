#include "FetchSequence.h"
#include "Golden.h"
#include "MeterPort.h"
#include "MeterSimulator.h"
#include "PortAccess.h"
#include "PortNames.h"
#include "ScriptedMeter.h"
#include "SimulatedDataSets.h"

#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Replies = QList<QByteArray>;
using ms = std::chrono::milliseconds;
using SimulatedDataSets::record;

namespace {
const Replies AllRecords = {record(1), record(2), record(3), record(4)};

// All a fetch delivers, as one log: "M:<reply>", "S:<reply>", "1:<record>" ... "4:", "done" or
// "failed:<message>".
void logFetch(const FetchSequence &fetch, Replies &log)
{
    const auto add = [&log](QByteArray tag) { return [&log, tag](auto r) { log << tag + r; }; };
    QObject::connect(&fetch, &FetchSequence::modelReplyReceived, add("M:"));
    QObject::connect(&fetch, &FetchSequence::serialReplyReceived, add("S:"));
    QObject::connect(&fetch, &FetchSequence::recordReceived,
                     [&log](int i, auto r) { log << QByteArray::number(i + 1) + ':' + r; });
    QObject::connect(&fetch, &FetchSequence::finished, [&log] { log << "done"; });
    QObject::connect(&fetch, &FetchSequence::failed,
                     [&log](QString m) { log << "failed:" + m.toUtf8(); });
}

// A fetch on a scripted line, and its log.
struct Fetch
{
    explicit Fetch(Replies replies, std::chrono::milliseconds wait = 5ms)
        : line(std::move(replies)), fetch(&line, wait)
    {
        logFetch(fetch, log);
    }
    bool run()
    {
        return fetch.start() && QTest::qWaitFor([&] { return !fetch.isRunning(); });
    }
    ScriptedMeter line;
    FetchSequence fetch;
    Replies log;
};

// This program again (or a copy of it named otherwise), as a child that opens `device` as
// "COM 200" (see main()); as user "nobody" in the groups `groups` when run as root, so that file
// permissions count.
void startChild(QProcess &child, const QString &mode, const QString &device, bool asNobody = false,
                std::vector<gid_t> groups = {},
                const QString &program = QCoreApplication::applicationFilePath())
{
    child.setChildProcessModifier([=] {
        if (asNobody && (setgroups(groups.size(), groups.data()) || setgid(65534) || setuid(65534)))
            _exit(3);
    });
    child.start(program, {mode, device});
}

gid_t groupId(const char *name)
{
    const group *found = getgrnam(name);
    return found ? found->gr_gid : 0;
}

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
        // What is on the line before the fetch, the replies to the six commands, how late they
        // come after a command (in pieces of so many bytes, 5 ms apart), the reply wait and what
        // the fetch delivers; then the same again on the same line.
        const QByteArray r1 = record(1), r4 = record(4);
        const Replies whole = {"?MVM\r", "?SSN\r", r1, "", "x", r4},
                      taken = {"M:?MVM\r", "S:?SSN\r", "1:" + r1, "2:", "3:x", "4:" + r4, "done"};
        for (const auto &[before, replies, late, piece, wait, log] :
             {std::tuple<QByteArray, Replies, ms, qsizetype, ms, Replies>{
                  "xy", whole, 0ms, 0, 5ms, taken}, // noise before a command answers nothing
              {"", {}, 0ms, 0, 5ms, {"M:", "S:", "1:", "2:", "3:", "4:", "done"}}, // silent
              {"", whole, 52ms, 0, 40ms, taken}, // each reply after the wait, whole and in place
              {"", whole, 37ms, 111, 40ms, taken}}) { // records in two pieces across the wait's end
            Fetch f(replies, wait);
            f.line.arriving = before, f.line.late = late, f.line.piece = piece;
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
        // A model reply still coming in, 10 bytes every 5 ms, when the further wait ends; one that
        // comes after the further wait, while "?S" is awaited.
        // (In the middle of the wait for "?S", so that timers firing late change nothing.)
        Fetch late({QByteArray(1000, 'v')}, 40ms), later({"?MVM\r", "?SSN\r"}, 200ms);
        late.line.late = 5ms, late.line.piece = 10, later.line.late = 500ms;
        QVERIFY(late.run() && later.run() &&
                late.line.written + later.line.written == "?M\r?M\r?S\r");
        QCOMPARE((f.log.mid(4) + late.log + later.log).join('|'),
                 "failed:The command could not be sent: the port is closed.|failed:The port is not "
                 "open. Choose the meter's port and press \"Set Port\".|failed:The meter answers "
                 "too late: its model number was still coming in 0.08 seconds after it was asked "
                 "for. The fetch has stopped, so that no reply is taken for another.|M:|failed:The "
                 "meter "
                 "answers too late: its model number came only after its serial number had been "
                 "asked for. The fetch has stopped, so that no reply is taken for another.");
    }

    void lateMeter()
    {
        // More bytes than the receive buffer holds come unasked while the port is open and idle:
        // they are read and dropped, so a cable pulled then is reported at once.
        MeterSimulator noisy({.noiseBytes = 16 * 1024});
        MeterPort port;
        FetchSequence fetch(port.device(), 200ms);
        QSignalSpy arrived(port.device(), &QIODevice::readyRead), failed(&port, &MeterPort::failed);
        QVERIFY(noisy.start() && port.open({0, noisy.devicePath()}));
        QTRY_VERIFY(arrived.size() >= 16);
        noisy.hangUp();
        QTRY_COMPARE(failed.size(), 1);
        // A meter answering every command 260 ms late, after the 200 ms wait, and "?2" not at all:
        // each reply whole and in its place, the missing one empty.
        MeterSimulator sim({.silentTo = {"?2"}, .replyDelay = 260ms});
        Replies log;
        logFetch(fetch, log);
        QVERIFY(sim.start() && port.open({0, sim.devicePath()}) && fetch.start());
        QTRY_VERIFY_WITH_TIMEOUT(!fetch.isRunning(), 10'000);
        QCOMPARE(log, Replies({"M:?MVM-2000\r", "S:?SSN-104233\r", "1:" + record(1),
                               "2:", "3:" + record(3), "4:" + record(4), "done"}));
    }

    void onAPseudoTerminal()
    {
        // The simulator on a real pseudo-terminal: what the operator reads when a port cannot be
        // opened; the meter's line settings, read back from the terminal itself.
        MeterSimulator sim;
        MeterPort port, second;
        FetchSequence fetch(port.device());
        QObject::connect(&port, &MeterPort::failed, &fetch, &FetchSequence::portFailed);
        QStringList messages;
        const auto opened = [&](int number) { // COM 64 is /dev/ttyUSB31, rarely there
            const Result<PortChoice> choice = PortChoice::ofEntry(number);
            const Result<> open = choice ? port.open(*choice) : Result<>(failure(choice.error()));
            return number == 64 && QFile::exists("/dev/ttyUSB31")
                       ? "COM 64 (/dev/ttyUSB31): No such file or directory"
                       : QString::fromStdString(open ? "opened" : open.error());
        };
        for (const int number : {0, 256, 64})
            messages << opened(number);
        QVERIFY(sim.start());
        QVERIFY(port.open({0, sim.devicePath()}));
        const Result<> busy = second.open({200, sim.devicePath()});
        QVERIFY(!busy);
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
        // megabyte of noise, the records queued behind it: the commands still go one wait apart.
        Replies records(4);
        QObject::connect(&fetch, &FetchSequence::recordReceived,
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
        QVERIFY(fetch.start());
        QTRY_VERIFY_WITH_TIMEOUT(!fetch.isRunning(), 15'000);
        const auto [shortest, longest] = std::minmax_element(gaps.begin() + 1, gaps.end());
        QVERIFY2(*shortest >= 990 && *longest < 1900 && sinceCommand.elapsed() >= 990,
                 qPrintable(QString::number(*shortest)));
        QCOMPARE(sim.receivedBytes(), "?M\r?S\r?1\r?2\r?3\r?4\r");
        // "?1" took the noise's first bufferful (the rest and record 1 behind it are line noise);
        // nothing of it reached the later steps.
        QCOMPARE(records, Replies({noise.first(MeterLine::ReceiveBufferSize), record(2), record(3),
                                   record(4)}));
        QVERIFY2(longestGap < 900, qPrintable(QString::number(longestGap))); // not a reply wait
        // The noise has passed: the next fetch on the same port is clean.
        QVERIFY(fetch.start());
        QTRY_VERIFY_WITH_TIMEOUT(!fetch.isRunning(), 15'000);
        QCOMPARE(records, AllRecords);
        // The cable is pulled: reported once, the port closed; it opens again, by its entry.
        QSignalSpy failed(&port, &MeterPort::failed);
        sim.hangUp();
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(200);
        QVERIFY(failed.size() == 1 && !port.isOpen() && port.takeAll().isEmpty());
        messages << QString::fromStdString(busy.error()) << failed[0][0].toString();
        QCOMPARE_GOLDEN("port-messages.txt",
                        messages.replaceInStrings(sim.devicePath(), "/dev/pts/N"));
        MeterSimulator again;
        const std::optional<int> entry =
            again.start() ? PortNames::portNumberForDevice(again.devicePath()) : std::nullopt;
        QVERIFY(entry ? port.open(*PortChoice::ofEntry(*entry)).ok()
                      : port.open({0, again.devicePath()}).ok());
    }

    void refusedPortSaysWhy()
    {
        // A user that may not open the device: its group, mode and whether the user is in the
        // group; the port held by root, whose open files that user cannot see.
        if (geteuid() != 0)
            QSKIP("needs root, to hand the device to another user");
        QStringList messages;
        for (const auto &[group, mode, inGroup, heldHere] :
             {std::tuple{"dialout", 0660, false, false},
              {"tty", 0620, false, false},
              {"root", 0660, false, false},
              {"dialout", 0600, true, false},
              {"tty", 0666, false, true}}) {
            MeterSimulator sim;
            MeterPort held;
            QVERIFY(sim.start());
            const QByteArray device = QFile::encodeName(sim.devicePath());
            QVERIFY(chown(device, 0, groupId(group)) == 0 && chmod(device, mode) == 0);
            QVERIFY(!heldHere || held.open({0, sim.devicePath()}));
            QProcess child;
            startChild(child, "--open", sim.devicePath(), true,
                       inGroup ? std::vector{groupId(group)} : std::vector<gid_t>{});
            QVERIFY(child.waitForFinished(30'000));
            messages << QString::fromUtf8(child.readAllStandardOutput().trimmed())
                            .replace(sim.devicePath(), "/dev/pts/N");
        }
        QCOMPARE_GOLDEN("port-refusals.txt", messages);
    }

    void busyPortNamesItsHolder()
    {
        // Another process holds the port as this program does: named with its process id and
        // what to do about it, by its program's name; found also when the device is asked for by
        // another name.
        MeterSimulator sim;
        QTemporaryDir programs;
        QVERIFY(sim.start());
        QStringList messages;
        for (const QString name : {"tst_device", "ModemManager", "brltty"}) {
            const QString program = programs.filePath(name);
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
            QProcess holder;
            startChild(holder, "--hold", sim.devicePath(), false, {}, program);
            QVERIFY(holder.waitForReadyRead(30'000));
            QCOMPARE(holder.readLine(), "held\n");
            MeterPort port;
            const QString pid = QString::number(holder.processId());
            messages << QString::fromStdString(port.open({200, sim.devicePath()}).error())
                            .replace(sim.devicePath(), "/dev/pts/N")
                            .replace("PID " + pid + ")", "PID n)");
            const QString link = programs.filePath("meter-link");
            QFile::remove(link);
            QVERIFY(QFile::link(sim.devicePath(), link));
            QCOMPARE(PortAccess::holders(link),
                     QList<PortAccess::Holder>({{name, pid.toLongLong()}}));
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(30'000));
        }
        QCOMPARE_GOLDEN("port-holders.txt", messages);
    }
};

// The children the tests start: "--open DEVICE" prints what opening the port as "COM 200" says;
// "--hold DEVICE" opens it, prints "held" and keeps it open until its input ends.
int childMain(const QStringList &args)
{
    MeterPort port;
    const Result<> opened = port.open({200, args.at(2)});
    std::puts(opened ? "held" : opened.error().c_str());
    std::fflush(stdout);
    for (char c; args.at(1) == "--hold" && read(STDIN_FILENO, &c, 1) > 0;)
        ;
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const QString mode = app.arguments().value(1); mode == "--open" || mode == "--hold")
        return childMain(app.arguments());
    TestDevice test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device.moc"
