#pragma once

#include "TeamServer.h"
#include "TeamStore.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <memory>

// Shares the pending records of one local store with the team server in the background, so that
// nothing waits for the server (connecting to one that cannot be reached takes up to
// TeamServer::ConnectTimeoutSeconds): at start, after each new record, and when the technician
// asks. The shares run one at a time on a thread of this object's own, with its own connections
// to the store and to the server, kept from one share to the next. Asked while a share is under
// way, it shares once more after it. After a failed share it tries again by itself, so that what
// was recorded offline goes once the network is back.
class TeamSharing : public QObject
{
    Q_OBJECT

public:
    TeamSharing(const QString &storePath, const TeamServer &server, QObject *parent = nullptr);
    // Waits for a share under way to end (at most the server's timeouts).
    ~TeamSharing() override;

    static constexpr int DefaultRetryMs = 5 * 60 * 1000;

    // Shares now, or once more after the share under way.
    void shareNow();
    // How long after a failed share the next is tried by itself; 0: not at all.
    void setRetryInterval(int ms) { m_retryMs = ms; }

signals:
    // A share that ended. Both are emitted in the thread of this object, from its event loop.
    void shared(const ShareReport &report);
    // A share that failed, in one message. `repeated`: the message is the same as the last
    // failure's, with no share done since (the server is still out of reach): say it once.
    void failed(const QString &message, bool repeated);

private:
    void run();

    const QString m_storePath;
    const TeamServer m_server;
    QMutex m_mutex;
    QWaitCondition m_asked;
    int m_wanted = 0; // shares asked for and not begun: 0 or 1
    bool m_ending = false;
    std::unique_ptr<QThread> m_thread;
    QTimer m_retry;
    int m_retryMs = DefaultRetryMs;
};
