#pragma once

#include "MeasurementRecord.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class QSocketNotifier;
class QTimer;

struct MeterSimulatorOptions
{
    bool silent = false;                     // answer nothing (commands are still received)
    QList<QByteArray> silentTo{};            // answer nothing to these commands only, e.g. "?2"
    std::chrono::milliseconds replyDelay{0}; // from a command's CR to its reply
    // data-set replies cut to, or padded with 0x00 to, this length
    int recordLength = Measurement::RecordLength;
    bool garbled = false; // data-set replies are line noise whose voltage count is over 32767
    int hangUpAfter = -1; // close the line on the n-th command, before answering it; < 1: never
    QByteArray model = "VM-2000";
    QByteArray serial = "SN-104233";
    int noiseBytes = 0; // line noise sent unasked as soon as the line is open
};

// A meter on a pseudo-terminal. start() creates the terminal pair; the PC program (or a test)
// opens devicePath() as its serial port and talks to the simulator as it would to the meter:
// "?M", "?S", "?1" ... "?4", each ended by a CR. Anything else is received but not answered.
//
// The line is raw: no echo, no CR/LF translation, every byte value passes unchanged. The
// simulator holds the terminal's slave side open itself, so clients may open and close the port
// any number of times. Nothing here blocks: replies wait in a queue until the line takes them.
class MeterSimulator : public QObject
{
    Q_OBJECT

public:
    explicit MeterSimulator(const MeterSimulatorOptions &options = {}, QObject *parent = nullptr);
    ~MeterSimulator() override;

    // Opens the line. Can be called once; false (and the reason) when it fails.
    bool start(QString *errorMessage = nullptr);
    // True from a successful start() until the line is hung up.
    bool isOpen() const { return m_masterFd >= 0; }
    // The port a client opens, e.g. "/dev/pts/3"; empty before start().
    QString devicePath() const { return m_devicePath; }

    // Each command line as received, without its CR (or LF); empty lines are skipped.
    QList<QByteArray> receivedCommands() const { return m_commands; }
    // Every byte received, as it came.
    QByteArray receivedBytes() const { return m_received; }

    // Sends bytes to the client now, after any reply still going out.
    void send(const QByteArray &bytes);
    // Closes the line now: the device disappears, the client reads end-of-file and its writes
    // fail with EIO. Replies not yet sent are dropped. Emits hungUp() once.
    void hangUp();

    // Whether the meter answers this command line (bytes before the CR); stray bytes in front
    // of a command do not matter.
    static bool isKnownCommand(const QByteArray &line);
    // What the meter answers to a command line, ignoring `silent` and the delay; empty when
    // it does not answer.
    static QByteArray replyFor(const QByteArray &line, const MeterSimulatorOptions &options);

signals:
    void commandReceived(const QByteArray &command);
    void hungUp();

private:
    struct PendingReply
    {
        QDeadlineTimer due;
        QByteArray bytes;
    };

    void readFromLine();
    void takeBytes(const char *data, qsizetype size);
    void handleCommand(const QByteArray &line);
    void sendDueReplies();
    void writeToLine();
    void closeLine();

    MeterSimulatorOptions m_options;
    bool m_started = false;
    int m_masterFd = -1;
    int m_slaveFd = -1; // our own hold on the slave side; never read or written
    QString m_devicePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_replyTimer = nullptr;
    QList<PendingReply> m_pendingReplies;
    QByteArray m_output; // waiting for room on the line
    QByteArray m_line;   // the command line being received
    QByteArray m_received;
    QList<QByteArray> m_commands;
};
