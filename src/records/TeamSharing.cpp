#include "TeamSharing.h"

TeamSharing::TeamSharing(const QString &storePath, std::optional<TeamServer> server,
                         QObject *parent)
    : QObject(parent), m_storePath(storePath), m_server(std::move(server)),
      m_thread(QThread::create([this] { run(); }))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TeamSharing::shareNow);
    connect(this, &TeamSharing::shared, &m_retry, qOverload<>(&QTimer::stop));
    connect(this, &TeamSharing::failed, this, [this] {
        if (m_retryMs > 0 && this->server())
            m_retry.start(m_retryMs);
    });
}

TeamSharing::~TeamSharing()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_ending = true;
    }
    m_asked.wakeAll();
    m_thread->wait();
}

void TeamSharing::shareNow()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_wanted = 1;
    }
    // The sharing thread starts at the first share with a server: without one it is not needed.
    if (server())
        m_thread->start(); // does nothing while it runs
    m_asked.wakeAll();
}

std::optional<TeamServer> TeamSharing::server() const
{
    const QMutexLocker lock(&m_mutex);
    return m_server;
}

void TeamSharing::setServer(std::optional<TeamServer> server)
{
    {
        const QMutexLocker lock(&m_mutex);
        m_server = std::move(server);
        ++m_serverChanges;
    }
    m_retry.stop();
    m_lastReport.reset();
    m_lastFailure.clear();
}

bool TeamSharing::sameServer(int changes) const
{
    const QMutexLocker lock(&m_mutex);
    return changes == m_serverChanges;
}

void TeamSharing::run()
{
    // Both belong to this thread; they are made at the first share, and the server's connection
    // is made again by the next share after it was lost.
    std::unique_ptr<RecordStore> local;
    std::unique_ptr<TeamStore> team;
    std::optional<TeamServer> server;
    int serverChanges = -1; // none taken yet
    const auto share = [&]() -> Result<ShareReport> {
        if (!local) {
            auto opened = RecordStore::open(m_storePath);
            if (!opened)
                return failure(opened.error());
            local = std::move(*opened);
        }
        if (!team) {
            auto connected = TeamStore::connect(*server);
            if (!connected)
                return failure(connected.error());
            team = std::move(*connected);
        }
        return team->share(*local);
    };
    QString lastFailure;
    for (;;) {
        {
            QMutexLocker lock(&m_mutex);
            while (!m_wanted && !m_ending)
                m_asked.wait(&m_mutex);
            if (m_ending)
                return;
            m_wanted = 0;
            if (serverChanges != m_serverChanges) { // a connection to the old one is of no use
                team.reset();
                lastFailure.clear();
                server = m_server;
                serverChanges = m_serverChanges;
            }
        }
        if (!server)
            continue;
        // Said in this object's thread, where it lives; not at all once it is gone, nor once the
        // server changed.
        const Result<ShareReport> report = share();
        if (report) {
            lastFailure.clear();
            QMetaObject::invokeMethod(
                this,
                [this, r = *report, serverChanges] {
                    if (!sameServer(serverChanges))
                        return;
                    m_lastReport = r;
                    m_lastFailure.clear();
                    emit shared(r);
                },
                Qt::QueuedConnection);
            continue;
        }
        const QString message = QString::fromStdString(report.error());
        QMetaObject::invokeMethod(
            this,
            [this, message, again = message == lastFailure, serverChanges] {
                if (!sameServer(serverChanges))
                    return;
                m_lastReport.reset();
                m_lastFailure = message;
                emit failed(message, again);
            },
            Qt::QueuedConnection);
        lastFailure = message;
    }
}
