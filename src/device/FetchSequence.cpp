#include "FetchSequence.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <array>
#include <utility>

namespace {
constexpr int ModelStep = 0;
constexpr int SerialStep = 1;
constexpr int FirstRecordStep = 2;

QByteArray commandLine(int step)
{
    const std::string_view command = FetchSequence::Commands[step];
    return QByteArray(command.data(), qsizetype(command.size())) + '\r';
}

QString replyName(int step)
{
    if (step == ModelStep)
        return FetchSequence::tr("its model number");
    if (step == SerialStep)
        return FetchSequence::tr("its serial number");
    return FetchSequence::tr("data set %1").arg(step - FirstRecordStep + 1);
}
} // namespace

FetchSequence::FetchSequence(QIODevice *line, std::chrono::milliseconds replyWait, QObject *parent)
    : QObject(parent), m_line(line), tmrTout(new QTimer(this)), m_quiet(new QTimer(this))
{
    tmrTout->setObjectName(QStringLiteral("tmrTout"));
    // A coarse timer may end a wait up to 5 % early, or swap the two timers' order.
    for (QTimer *timer : {tmrTout, m_quiet}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    tmrTout->setInterval(replyWait);
    m_quiet->setInterval(std::min<std::chrono::milliseconds>(QuietGap, replyWait / 4));
    connect(tmrTout, &QTimer::timeout, this, &FetchSequence::waitEnded);
    connect(m_quiet, &QTimer::timeout, this, &FetchSequence::quietEnded);
    connect(m_line, &QIODevice::readyRead, this, &FetchSequence::bytesArrived);
}

bool FetchSequence::start()
{
    if (isRunning())
        return false;
    if (!m_line->isOpen()) {
        emit failed(tr("The port is not open. Choose the meter's port and press \"Set Port\"."));
        return false;
    }
    m_step = 0;
    sendCommand();
    return true;
}

void FetchSequence::abort()
{
    tmrTout->stop();
    m_quiet->stop();
    m_reply.clear();
    m_waitingOn = false;
    m_step = -1;
    ++m_run;
}

void FetchSequence::portFailed(const QString &message)
{
    if (isRunning())
        stop(message);
}

void FetchSequence::stop(const QString &message)
{
    abort();
    emit failed(message);
}

void FetchSequence::sendCommand()
{
    const QByteArray command = commandLine(m_step);
    const QPointer<FetchSequence> alive(this);
    const quint64 run = m_run;
    emit commandSent(m_step);
    if (!alive || m_run != run)
        return; // a receiver stopped the fetch, or deleted it
    if (m_line->isOpen())
        m_line->readAll(); // what came before the command answers nothing
    if (!m_line->isOpen() || m_line->write(command) != command.size()) {
        stop(tr("The command could not be sent: the port is closed."));
        return;
    }
    tmrTout->start();
}

qsizetype FetchSequence::collect()
{
    const QByteArray bytes = m_line->isOpen() ? m_line->readAll() : QByteArray();
    if (isRunning())
        m_reply += bytes.first(std::min(bytes.size(), MaxReplyLength - m_reply.size()));
    return bytes.size();
}

void FetchSequence::bytesArrived()
{
    if (collect() == 0 || !isRunning())
        return; // between fetches the line's bytes are read only to be dropped
    m_quiet->start();
    if (m_waitingOn && recordComplete())
        takeReply();
}

void FetchSequence::waitEnded()
{
    if (!isRunning())
        return;
    collect(); // bytes that came without a readyRead() are not known to be still arriving
    const bool arriving = m_quiet->isActive() && !recordComplete();
    if (!m_waitingOn && (m_reply.isEmpty() || arriving)) {
        m_waitingOn = true;
        tmrTout->start();
    } else if (m_waitingOn && !m_reply.isEmpty() && arriving) {
        stop(tr("The meter answers too late: %1 was still coming in %2 seconds after it was "
                "asked for. The fetch has stopped, so that no reply is taken for another.")
                 .arg(replyName(m_step))
                 .arg(2 * tmrTout->interval() / 1000.0));
    } else {
        takeReply(); // whole, or empty when nothing came at all
    }
}

void FetchSequence::quietEnded()
{
    if (isRunning() && m_waitingOn && !m_reply.isEmpty())
        takeReply();
}

bool FetchSequence::recordComplete() const
{
    return m_step >= FirstRecordStep && m_reply.size() >= Measurement::RecordLength;
}

void FetchSequence::takeReply()
{
    tmrTout->stop();
    m_quiet->stop();
    m_waitingOn = false;
    const int step = m_step;
    const quint64 run = m_run;
    const QByteArray reply = std::exchange(m_reply, {});
    // Every reply starts with its command's two characters. One that starts with an earlier
    // command's came after its own wait had ended: taking it would put it in the wrong place.
    for (int earlier = 0; earlier < step; ++earlier) {
        if (reply.startsWith(commandLine(earlier).chopped(1))) {
            stop(tr("The meter answers too late: %1 came only after %2 had been asked for. The "
                    "fetch has stopped, so that no reply is taken for another.")
                     .arg(replyName(earlier), replyName(step)));
            return;
        }
    }

    // A receiver may abort() the fetch, start another or delete the sequence (the window
    // closing); check after every emit that this run is still the one going on.
    QPointer<FetchSequence> alive(this);
    if (step == ModelStep)
        emit modelReplyReceived(reply);
    else if (step == SerialStep)
        emit serialReplyReceived(reply);
    else
        emit recordReceived(step - FirstRecordStep, reply);
    if (!alive || m_run != run)
        return;

    if (step + 1 < StepCount) {
        m_step = step + 1;
        sendCommand();
    } else {
        m_step = -1;
        emit finished();
    }
}
