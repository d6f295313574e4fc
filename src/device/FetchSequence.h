#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>

class QIODevice;
class QTimer;

// Fetches everything the meter holds: it sends "?M", "?S", "?1", "?2", "?3", "?4" (each followed
// by a carriage return) one at a time, and one reply wait after each command takes whatever the
// meter has sent by then. The meter has no framing, so the wait is all there is: a reply still
// arriving when the wait ends is cut, and its rest is taken with the next reply.
//
// The sequence talks to any open QIODevice (the meter's serial port in the program) and is
// driven by the single-shot reply timer `tmrTout`; between steps the event loop runs freely.
class FetchSequence : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ReplyWait{1000};
    static constexpr int StepCount = 6;

    // `line` must outlive the sequence. `replyWait` is the wait after each command; the program
    // always uses ReplyWait, tests may shorten it.
    explicit FetchSequence(QIODevice *line, std::chrono::milliseconds replyWait = ReplyWait,
                           QObject *parent = nullptr);

    // Starts a fetch. Returns false and does nothing when one is already running, or emits
    // failed() and returns false when the line is not open.
    bool start();
    // Stops a running fetch at once; nothing more is sent, taken or emitted.
    void abort();
    bool isRunning() const { return m_step >= 0; }

public slots:
    // The line has failed (the port reports it, and is closed): a running fetch stops and emits
    // failed(message); an idle sequence does nothing.
    void portFailed(const QString &message);

signals:
    // The replies to "?M" and "?S", every byte as received.
    void modelReplyReceived(const QByteArray &reply);
    void serialReplyReceived(const QByteArray &reply);
    // The raw reply for data set `index` (0 = data set 1), whole, whatever its length.
    void recordReceived(int index, const QByteArray &record);
    // All six replies have been taken.
    void finished();
    // The fetch stopped early: the line failed or was not open. What was received before stays
    // delivered.
    void failed(const QString &message);

private:
    void sendCommand();
    void takeReply();
    void stop(const QString &message);

    QIODevice *m_line;
    QTimer *tmrTout;
    int m_step = -1;   // index of the command whose reply is awaited; -1 when idle
    quint64 m_run = 0; // changes with every start and abort, so a stale step never goes on
};
