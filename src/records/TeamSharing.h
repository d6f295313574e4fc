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
#include <optional>

// Shares the pending records of one local store with the team server in the background, so that
// nothing waits for the server (connecting to one that cannot be reached takes up to
// TeamServer::ConnectTimeoutSeconds): at start, after each new record, and when the technician
// asks. The shares run one at a time on a thread of this object's own, with its own connections
// to the store and to the server, kept from one share to the next. Asked while a share is under
// way, it shares once more after it. After a failed share it tries again by itself, so that what
// was recorded offline goes once the network is back.
//
// Without a server it shares nothing; setServer() changes the server (the settings changed),
// for the shares asked for after it.
class TeamSharing : public QObject
{
    Q_OBJECT

public:
    TeamSharing(const QString &storePath, std::optional<TeamServer> server,
                QObject *parent = nullptr);
    // Waits for a share under way to end (at most the server's timeouts).
    ~TeamSharing() override;

    static constexpr int DefaultRetryMs = 5 * 60 * 1000;

    // Shares now, or once more after the share under way.
    void shareNow();
    // How long after a failed share the next is tried by itself; 0: not at all.
    void setRetryInterval(int ms) { m_retryMs = ms; }

    // The server shared with; none: nothing is shared.
    std::optional<TeamServer> server() const;
    void setServer(std::optional<TeamServer> server);

    // What the last share that ended did, for a window opened after it; none before the first,
    // and after the server changed. The failure is empty when the last share worked.
    const std::optional<ShareReport> &lastReport() const { return m_lastReport; }
    const QString &lastFailure() const { return m_lastFailure; }

signals:
    // A share that ended. Both are emitted in the thread of this object, from its event loop.
    void shared(const ShareReport &report);
    // A share that failed, in one message. `repeated`: the message is the same as the last
    // failure's, with no share done since (the server is still out of reach): say it once.
    void failed(const QString &message, bool repeated);

private:
    void run();
    bool sameServer(int changes) const;

    const QString m_storePath;
    std::optional<TeamServer> m_server; // guarded by m_mutex
    int m_serverChanges = 0;            // guarded by m_mutex
    std::optional<ShareReport> m_lastReport;
    QString m_lastFailure;
    mutable QMutex m_mutex;
    QWaitCondition m_asked;
    int m_wanted = 0; // shares asked for and not begun: 0 or 1
    bool m_ending = false;
    std::unique_ptr<QThread> m_thread;
    QTimer m_retry;
    int m_retryMs = DefaultRetryMs;
};
