#pragma once

#include "MeasurementRecord.h"
#include "MeterLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <string_view>

class QIODevice;
class QTimer;

// Fetches everything the meter holds: it sends "?M", "?S", "?1", "?2", "?3", "?4" (each followed
// by a carriage return) one at a time and takes the reply to each before sending the next.
//
// The meter has no framing (a reply only starts with its command's two characters), so mostly
// timing keeps its replies apart:
// - Bytes on the line when a command is about to go out belong to no reply and are dropped.
// - After each command the single-shot reply timer `tmrTout` runs one reply wait. A reply that
//   has come and has been quiet for the quiet gap by then (or is a whole record) is taken as it
//   stands: a meter that answers within the wait gets the commands one reply wait apart.
// - A reply that has not started when the wait ends, or is still arriving (its last bytes came
//   less than the quiet gap ago and it is not yet a whole 222-byte record), gets one further
//   reply wait at most: it is taken as soon as the line has been quiet for the quiet gap after
//   some bytes, or a record has 222 bytes.
// - Nothing by the end of the further wait: the reply is empty (the meter does not answer that
//   command). Still arriving then: the fetch stops with failed(), as the meter answers too late
//   for its replies to be told apart.
// - A reply that starts with an earlier command's two characters ("?M" where "?S" is awaited)
//   is that command's, later still: the fetch stops with failed() too.
// - A reply keeps its first 1024 bytes (the port's receive buffer); the rest is line noise.
// The quiet gap is 100 ms, or a quarter of the reply wait when that is shorter.
//
// Between fetches whatever the line sends is read and dropped: the port keeps reading, so a
// failing line is noticed at once, not when the next fetch finds the receive buffer full.
//
// The sequence talks to any open QIODevice (the meter's serial port in the program) and is driven
// by its timers and the line's readyRead(); between steps the event loop runs freely.
class FetchSequence : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ReplyWait{1000};
    static constexpr std::chrono::milliseconds QuietGap{100};
    static constexpr int StepCount = 6;
    // The commands in the order they are sent, each followed by a carriage return.
    static constexpr std::array<std::string_view, StepCount> Commands{"?M", "?S", "?1",
                                                                      "?2", "?3", "?4"};
    static constexpr qsizetype MaxReplyLength = MeterLine::ReceiveBufferSize;

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
    // Command `step` (0..5, Commands[step]) is about to go out.
    void commandSent(int step);
    // The replies to "?M" and "?S", every byte as received.
    void modelReplyReceived(const QByteArray &reply);
    void serialReplyReceived(const QByteArray &reply);
    // The raw reply for data set `index` (0 = data set 1), whole, whatever its length.
    void recordReceived(int index, const QByteArray &record);
    // All six replies have been taken.
    void finished();
    // The fetch stopped early: the line failed or was not open, or the meter answered too late.
    // What was received before stays delivered.
    void failed(const QString &message);

private:
    void sendCommand();
    qsizetype collect();
    void bytesArrived();
    void waitEnded();
    void quietEnded();
    bool recordComplete() const;
    void takeReply();
    void stop(const QString &message);

    QIODevice *m_line;
    QTimer *tmrTout;
    QTimer *m_quiet; // runs from each arrival until the line has been quiet for the quiet gap
    QByteArray m_reply;
    bool m_waitingOn = false; // the reply wait is over; the further wait runs
    int m_step = -1;          // index of the command whose reply is awaited; -1 when idle
    quint64 m_run = 0;        // changes with every start and abort, so a stale step never goes on
};
