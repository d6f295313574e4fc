#include "MeterSimulator.h"

#include "SimulatedDataSets.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

// A command line longer than this is noise; only its end can still hold a command.
constexpr qsizetype MaxLineLength = 256;

constexpr qsizetype ReadChunk = 4096;

QString systemError(const char *what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(error)));
}

bool setFdFlag(int fd, int getCommand, int setCommand, int flag)
{
    const int flags = ::fcntl(fd, getCommand);
    return flags >= 0 && ::fcntl(fd, setCommand, flags | flag) == 0;
}

// The two command characters at the end of a line, e.g. "?M"; empty when the line ends otherwise.
QByteArray commandIn(const QByteArray &line)
{
    if (line.size() < 2)
        return {};
    const QByteArray command = line.right(2);
    if (command[0] != '?')
        return {};
    switch (command[1]) {
    case 'M':
    case 'S':
    case '1':
    case '2':
    case '3':
    case '4':
        return command;
    default:
        return {};
    }
}

} // namespace

MeterSimulator::MeterSimulator(const MeterSimulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_replyTimer(new QTimer(this))
{
    m_replyTimer->setSingleShot(true);
    m_replyTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early
    connect(m_replyTimer, &QTimer::timeout, this, &MeterSimulator::sendDueReplies);
}

MeterSimulator::~MeterSimulator()
{
    closeLine();
}

bool MeterSimulator::start(QString *errorMessage)
{
    const auto fail = [&](const char *what) {
        const int error = errno;
        closeLine();
        m_devicePath.clear();
        if (errorMessage)
            *errorMessage = systemError(what, error);
        return false;
    };

    if (m_started) {
        if (errorMessage)
            *errorMessage = QStringLiteral("the simulator has already been started");
        return false;
    }
    m_started = true;

    m_masterFd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_masterFd < 0)
        return fail("cannot open a pseudo-terminal");
    if (!setFdFlag(m_masterFd, F_GETFD, F_SETFD, FD_CLOEXEC))
        return fail("cannot set up the pseudo-terminal");
    if (::grantpt(m_masterFd) != 0 || ::unlockpt(m_masterFd) != 0)
        return fail("cannot unlock the pseudo-terminal");

#ifdef __linux__
    char name[128];
    if (::ptsname_r(m_masterFd, name, sizeof name) != 0)
        return fail("cannot find the pseudo-terminal's device");
#else
    const char *name = ::ptsname(m_masterFd);
    if (!name)
        return fail("cannot find the pseudo-terminal's device");
#endif
    m_devicePath = QString::fromLocal8Bit(name);

    // Holding the slave side open keeps the master from seeing a hang-up whenever no client has
    // the port open; a read notifier on the master would otherwise fire without end.
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveFd < 0)
        return fail("cannot open the pseudo-terminal's device");

    // A new terminal echoes, turns CR into LF and collects whole lines; a serial line to the meter
    // does none of that.
    termios settings{};
    if (::tcgetattr(m_slaveFd, &settings) != 0)
        return fail("cannot read the terminal settings");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(m_slaveFd, TCSANOW, &settings) != 0)
        return fail("cannot make the terminal raw");

    if (!setFdFlag(m_masterFd, F_GETFL, F_SETFL, O_NONBLOCK))
        return fail("cannot set up the pseudo-terminal");

    m_readNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &MeterSimulator::readFromLine);
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &MeterSimulator::writeToLine);
    // Waits in the terminal (or in m_output) until a client opens the port and reads it.
    QByteArray noise(std::max(m_options.noiseBytes, 0), Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 37 + 11); // every byte value, none the same as the one before
    send(noise);
    return true;
}

void MeterSimulator::send(const QByteArray &bytes)
{
    if (m_masterFd < 0 || bytes.isEmpty())
        return;
    m_output += bytes;
    writeToLine();
}

void MeterSimulator::hangUp()
{
    if (m_masterFd < 0)
        return;
    closeLine();
    emit hungUp();
}

bool MeterSimulator::isKnownCommand(const QByteArray &line)
{
    return !commandIn(line).isEmpty();
}

QByteArray MeterSimulator::replyFor(const QByteArray &line, const MeterSimulatorOptions &options)
{
    const QByteArray command = commandIn(line);
    if (command.isEmpty())
        return {};
    if (command == "?M")
        return command + options.model + '\r';
    if (command == "?S")
        return command + options.serial + '\r';

    const int dataSet = command[1] - '0';
    QByteArray reply = options.garbled ? SimulatedDataSets::garbledRecord(dataSet)
                                       : SimulatedDataSets::record(dataSet);
    const qsizetype length = std::max(options.recordLength, 0);
    if (reply.size() > length)
        reply.truncate(length);
    else if (reply.size() < length)
        reply.append(length - reply.size(), '\0');
    return reply;
}

void MeterSimulator::readFromLine()
{
    char buffer[ReadChunk];
    const ssize_t count = ::read(m_masterFd, buffer, sizeof buffer);
    if (count > 0) {
        takeBytes(buffer, count);
        return;
    }
    if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return; // the notifier fires again when there is something to read
    // EIO (the slave side is gone) or end of file: nothing more will come. Reading again would
    // only fail again at once.
    m_readNotifier->setEnabled(false);
}

void MeterSimulator::takeBytes(const char *data, qsizetype size)
{
    m_received.append(data, size);
    for (qsizetype i = 0; i < size && m_masterFd >= 0; ++i) {
        const char byte = data[i];
        if (byte == '\r' || byte == '\n') {
            if (!m_line.isEmpty())
                handleCommand(std::exchange(m_line, {}));
            continue;
        }
        m_line += byte;
        if (m_line.size() > MaxLineLength)
            m_line.remove(0, m_line.size() - MaxLineLength);
    }
}

void MeterSimulator::handleCommand(const QByteArray &line)
{
    m_commands += line;
    emit commandReceived(line);
    if (m_masterFd < 0)
        return; // a receiver hung up

    if (m_options.hangUpAfter > 0 && m_commands.size() >= m_options.hangUpAfter) {
        hangUp();
        return;
    }
    if (m_options.silent || m_options.silentTo.contains(commandIn(line)))
        return;

    QByteArray reply = replyFor(line, m_options);
    if (reply.isEmpty())
        return;
    m_pendingReplies +=
        PendingReply{QDeadlineTimer(m_options.replyDelay, Qt::PreciseTimer), std::move(reply)};
    if (!m_replyTimer->isActive())
        sendDueReplies();
}

void MeterSimulator::sendDueReplies()
{
    while (!m_pendingReplies.isEmpty() && m_pendingReplies.first().due.hasExpired())
        send(m_pendingReplies.takeFirst().bytes);
    if (!m_pendingReplies.isEmpty()) {
        // rounded up: a timer that fires a fraction of a millisecond early would find nothing due
        const qint64 nanoseconds = m_pendingReplies.first().due.remainingTimeNSecs();
        m_replyTimer->start(int((std::max<qint64>(nanoseconds, 0) + 999'999) / 1'000'000));
    }
}

void MeterSimulator::writeToLine()
{
    while (m_masterFd >= 0 && !m_output.isEmpty()) {
        const ssize_t count = ::write(m_masterFd, m_output.constData(), size_t(m_output.size()));
        if (count > 0) {
            m_output.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true); // the client has not read enough yet
            return;
        }
        m_output.clear(); // the line is gone; nobody can receive it any more
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

void MeterSimulator::closeLine()
{
    // Notifiers must stop watching the descriptors before they are closed. This may run from a
    // notifier's own signal, hence deleteLater().
    for (QSocketNotifier **notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    m_replyTimer->stop();
    m_pendingReplies.clear();
    m_output.clear();
    m_line.clear();
    if (m_slaveFd >= 0)
        ::close(std::exchange(m_slaveFd, -1));
    if (m_masterFd >= 0)
        ::close(std::exchange(m_masterFd, -1));
}
