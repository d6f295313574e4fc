#pragma once

#include "RecordStore.h"
#include "Result.h"
#include "TeamServer.h"
#include "TestRecord.h"
#include "Trend.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;
class TeamStore;

// Reads the team's records for a window, on a thread of its own with its own connection to the
// server (kept from one request to the next, made anew for another server), so that the window
// never waits for the server. Each request gets a ticket and is answered by a signal with it, in
// the order asked. A search or trend asked for while another one waits makes the one waiting
// stale: it is passed over, and answered with a failure that says so, so that typing a search
// asks the server once for what was typed last.
class TeamReader : public QObject
{
    Q_OBJECT

public:
    explicit TeamReader(QObject *parent = nullptr);
    // Waits for the request under way to end (at most the server's timeouts); the others are
    // dropped unanswered.
    ~TeamReader() override;

    int find(const TeamServer &server, const RecordQuery &query);
    int trend(const TeamServer &server, const QString &energizerSerial);
    // The record with its fetch file.
    int record(const TeamServer &server, const QString &id);

signals:
    void found(int ticket, const Result<QList<TestRecord>> &records);
    void trendFound(int ticket, const Result<Trend> &trend);
    void recordRead(int ticket, const Result<TestRecord> &record);

private:
    class Worker;
    // Runs `work` with the store of `server` on the worker thread, unless a later request of the
    // same kind (`latest`, when given) made it stale, and answers with `signal`.
    template <typename T>
    int ask(const TeamServer &server, std::function<Result<T>(TeamStore &)> work,
            void (TeamReader::*signal)(int, const Result<T> &), std::atomic<int> *latest);

    QThread *m_thread;
    Worker *m_worker; // lives in m_thread
    std::atomic<int> m_tickets = 0, m_latestFind = 0, m_latestTrend = 0;
    std::atomic<bool> m_ending = false;
};
