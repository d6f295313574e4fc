#include "TeamReader.h"

#include "TeamStore.h"

#include <QThread>

#include <memory>

// Holds the connection, made on the worker thread and used only there.
class TeamReader::Worker : public QObject
{
public:
    Result<TeamStore *> store(const TeamServer &server)
    {
        const bool same = m_store && m_store->server().parameters() == server.parameters() &&
                          m_store->server().statementTimeoutMs() == server.statementTimeoutMs();
        if (!same) {
            m_store.reset();
            Result<std::unique_ptr<TeamStore>> connected = TeamStore::connect(server);
            if (!connected)
                return failure(connected.error());
            m_store = std::move(*connected);
        }
        return m_store.get();
    }

private:
    std::unique_ptr<TeamStore> m_store;
};

TeamReader::TeamReader(QObject *parent)
    : QObject(parent), m_thread(new QThread(this)), m_worker(new Worker)
{
    m_thread->setObjectName(QStringLiteral("team records"));
    m_worker->moveToThread(m_thread);
    // Deleted on its thread, where its connection was made.
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

TeamReader::~TeamReader()
{
    m_ending = true;
    m_thread->quit();
    m_thread->wait();
}

template <typename T>
int TeamReader::ask(const TeamServer &server, std::function<Result<T>(TeamStore &)> work,
                    void (TeamReader::*signal)(int, const Result<T> &), std::atomic<int> *latest)
{
    const int ticket = ++m_tickets;
    if (latest)
        *latest = ticket;
    QMetaObject::invokeMethod(
        m_worker,
        [this, server, work = std::move(work), signal, latest, ticket] {
            if (m_ending)
                return;
            Result<T> result = failure(tr("a later request took its place"));
            if (!latest || *latest == ticket) {
                Result<TeamStore *> store = m_worker->store(server);
                result = store ? work(**store) : Result<T>(failure(store.error()));
            }
            // Said in this object's thread; not at all once it is gone.
            QMetaObject::invokeMethod(
                this, [this, signal, ticket, result] { emit(this->*signal)(ticket, result); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return ticket;
}

int TeamReader::find(const TeamServer &server, const RecordQuery &query)
{
    return ask<QList<TestRecord>>(
        server, [query](TeamStore &store) { return store.find(query); }, &TeamReader::found,
        &m_latestFind);
}

int TeamReader::trend(const TeamServer &server, const QString &energizerSerial)
{
    return ask<Trend>(
        server, [energizerSerial](TeamStore &store) { return store.trend(energizerSerial); },
        &TeamReader::trendFound, &m_latestTrend);
}

int TeamReader::record(const TeamServer &server, const QString &id)
{
    return ask<TestRecord>(
        server, [id](TeamStore &store) { return store.record(id); }, &TeamReader::recordRead,
        nullptr);
}
