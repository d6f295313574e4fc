#include "FetchSequence.h"

#include "MeterPort.h"

#include <QPointer>
#include <QTimer>

namespace {
constexpr int ModelStep = 0;
constexpr int SerialStep = 1;
constexpr int FirstRecordStep = 2;
constexpr qsizetype SkippedReplyBytes = 2; // the meter starts its replies with two bytes of its own

QString captionFrom(const QString &prefix, const QByteArray &reply)
{
    // One character per byte: Latin-1 maps every byte to the character with that code.
    return prefix + QString::fromLatin1(reply.mid(SkippedReplyBytes));
}
} // namespace

FetchSequence::FetchSequence(MeterPort *port, std::chrono::milliseconds replyWait, QObject *parent)
    : QObject(parent), port_(port), tmrTout(new QTimer(this))
{
    tmrTout->setObjectName(QStringLiteral("tmrTout"));
    tmrTout->setSingleShot(true);
    // A coarse timer may end the wait up to 5 % early; the meter is owed the whole interval.
    tmrTout->setTimerType(Qt::PreciseTimer);
    tmrTout->setInterval(replyWait);
    connect(tmrTout, &QTimer::timeout, this, &FetchSequence::takeReply);
    connect(port_, &MeterPort::failed, this, [this](const QString &message) {
        if (isRunning())
            stop(message);
    });
}

const std::array<QByteArray, FetchSequence::StepCount> &FetchSequence::commands()
{
    static const std::array<QByteArray, StepCount> lines{
        QByteArrayLiteral("?M\r"), QByteArrayLiteral("?S\r"), QByteArrayLiteral("?1\r"),
        QByteArrayLiteral("?2\r"), QByteArrayLiteral("?3\r"), QByteArrayLiteral("?4\r"),
    };
    return lines;
}

QString FetchSequence::modelCaption(const QByteArray &reply)
{
    return captionFrom(QStringLiteral("Model No.: "), reply);
}

QString FetchSequence::serialCaption(const QByteArray &reply)
{
    return captionFrom(QStringLiteral("Serial No.: "), reply);
}

bool FetchSequence::start()
{
    if (isRunning())
        return false;
    if (!port_->isOpen()) {
        emit failed(tr("The port is not open. Choose the meter's port and press \"Set Port\"."));
        return false;
    }
    step_ = 0;
    const quint64 run = ++run_;
    QPointer<FetchSequence> alive(this);
    emit started();
    if (alive && run_ == run)
        sendCommand();
    return true;
}

void FetchSequence::abort()
{
    tmrTout->stop();
    step_ = -1;
    ++run_;
}

void FetchSequence::stop(const QString &message)
{
    abort();
    emit failed(message);
}

void FetchSequence::sendCommand()
{
    if (!port_->write(commands()[step_])) {
        stop(tr("The command could not be sent: the port is closed."));
        return;
    }
    tmrTout->start();
}

void FetchSequence::takeReply()
{
    if (!isRunning())
        return;
    const int step = step_;
    const quint64 run = run_;
    const QByteArray reply = port_->takeAll();

    // A receiver may abort() the fetch, start another or delete the sequence (the window
    // closing); check after every emit that this run is still the one going on.
    QPointer<FetchSequence> alive(this);
    if (step == ModelStep)
        emit modelCaptionReceived(modelCaption(reply));
    else if (step == SerialStep)
        emit serialCaptionReceived(serialCaption(reply));
    else
        emit recordReceived(step - FirstRecordStep, reply);
    if (!alive || run_ != run)
        return;

    emit progress(step + 1, StepCount);
    if (!alive || run_ != run)
        return;

    if (step + 1 < StepCount) {
        step_ = step + 1;
        sendCommand();
    } else {
        step_ = -1;
        emit finished();
    }
}
