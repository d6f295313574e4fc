#include "FetchSequence.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <array>

namespace {
constexpr int ModelStep = 0;
constexpr int SerialStep = 1;
constexpr int FirstRecordStep = 2;

// The command lines, in the order they are sent.
const std::array<QByteArray, FetchSequence::StepCount> Commands{
    QByteArrayLiteral("?M\r"), QByteArrayLiteral("?S\r"), QByteArrayLiteral("?1\r"),
    QByteArrayLiteral("?2\r"), QByteArrayLiteral("?3\r"), QByteArrayLiteral("?4\r"),
};
} // namespace

FetchSequence::FetchSequence(QIODevice *line, std::chrono::milliseconds replyWait, QObject *parent)
    : QObject(parent), m_line(line), tmrTout(new QTimer(this))
{
    tmrTout->setObjectName(QStringLiteral("tmrTout"));
    tmrTout->setSingleShot(true);
    // A coarse timer may end the wait up to 5 % early; the meter is owed the whole interval.
    tmrTout->setTimerType(Qt::PreciseTimer);
    tmrTout->setInterval(replyWait);
    connect(tmrTout, &QTimer::timeout, this, &FetchSequence::takeReply);
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
    const QByteArray &command = Commands[m_step];
    if (!m_line->isOpen() || m_line->write(command) != command.size()) {
        stop(tr("The command could not be sent: the port is closed."));
        return;
    }
    tmrTout->start();
}

void FetchSequence::takeReply()
{
    if (!isRunning())
        return;
    const int step = m_step;
    const quint64 run = m_run;
    const QByteArray reply = m_line->isOpen() ? m_line->readAll() : QByteArray();

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
