#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>

class MeterPort;
class QTimer;

// Fetches everything the meter holds: it sends "?M", "?S", "?1", "?2", "?3", "?4" (each followed
// by a carriage return) one at a time, and one reply wait after each command takes whatever the
// meter has sent by then. The meter has no framing, so the wait is all there is: a reply still
// arriving when the wait ends is cut, and its rest is taken with the next reply.
//
// The sequence is driven by the single-shot reply timer `tmrTout`; between steps the program is
// idle and the event loop runs freely.
class FetchSequence : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ReplyWait{1000};
    static constexpr int StepCount = 6;

    // `port` must outlive the sequence. `replyWait` is the wait after each command; the program
    // always uses ReplyWait, tests may shorten it.
    explicit FetchSequence(MeterPort *port, std::chrono::milliseconds replyWait = ReplyWait,
                           QObject *parent = nullptr);

    // Starts a fetch. Returns false and does nothing when one is already running, or emits
    // failed() and returns false when the port is not open.
    bool start();
    // Stops a running fetch at once; nothing more is sent, taken or emitted.
    void abort();
    bool isRunning() const { return step_ >= 0; }

    // The command lines, in the order they are sent.
    static const std::array<QByteArray, StepCount> &commands();
    // The label captions for a model or serial reply: the reply from its third byte on, each
    // byte one character, line ends kept: "?MVM-2000\r" -> "Model No.: VM-2000\r".
    static QString modelCaption(const QByteArray &reply);
    static QString serialCaption(const QByteArray &reply);

signals:
    void started();
    // `stepsDone` of StepCount replies have been taken.
    void progress(int stepsDone, int stepCount);
    void modelCaptionReceived(const QString &caption);
    void serialCaptionReceived(const QString &caption);
    // The raw reply for data set `index` (0 = data set 1), stored whole, whatever its length.
    void recordReceived(int index, const QByteArray &record);
    // All six replies have been taken.
    void finished();
    // The fetch stopped early: the port failed (MeterPort::failed carried the same message, and
    // the port is closed) or was not open. What was received before stays delivered.
    void failed(const QString &message);

private:
    void sendCommand();
    void takeReply();
    void stop(const QString &message);

    MeterPort *port_;
    QTimer *tmrTout;
    int step_ = -1;   // index of the command whose reply is awaited; -1 when idle
    quint64 run_ = 0; // changes with every start and abort, so a stale step never goes on
};
