#include "TeamSharing.h"

TeamSharing::TeamSharing(const QString &storePath, const TeamServer &server, QObject *parent)
    : QObject(parent), m_storePath(storePath), m_server(server),
      m_thread(QThread::create([this] { run(); }))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TeamSharing::shareNow);
    connect(this, &TeamSharing::shared, &m_retry, qOverload<>(&QTimer::stop));
    connect(this, &TeamSharing::failed, this, [this] {
        if (m_retryMs > 0)
            m_retry.start(m_retryMs);
    });
    m_thread->start();
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
    m_asked.wakeAll();
}

void TeamSharing::run()
{
    // Both belong to this thread; they are made at the first share, and the server's connection
    // is made again by the next share after it was lost.
    std::unique_ptr<RecordStore> local;
    std::unique_ptr<TeamStore> team;
    const auto share = [&]() -> Result<ShareReport> {
        if (!local) {
            auto opened = RecordStore::open(m_storePath);
            if (!opened)
                return failure(opened.error());
            local = std::move(*opened);
        }
        if (!team) {
            auto connected = TeamStore::connect(m_server);
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
        }
        // Said in this object's thread, where it lives; not at all once it is gone.
        const Result<ShareReport> report = share();
        if (report) {
            lastFailure.clear();
            QMetaObject::invokeMethod(
                this, [this, r = *report] { emit shared(r); }, Qt::QueuedConnection);
            continue;
        }
        const QString message = QString::fromStdString(report.error());
        QMetaObject::invokeMethod(
            this, [this, message, again = message == lastFailure] { emit failed(message, again); },
            Qt::QueuedConnection);
        lastFailure = message;
    }
}
