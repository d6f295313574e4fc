#pragma once

#include "RecordStore.h"
#include "Result.h"
#include "TeamServer.h"
#include "TestRecord.h"
#include "Trend.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class TeamDatabase;

// What a share did.
struct ShareReport
{
    int sent = 0;    // records now marked as on the server (sent now, or found there already)
    int pending = 0; // records of this computer still not on the server
};

// The team's test records on a PostgreSQL server, beside this computer's own store, which every
// record is written to first: share() sends the records not yet on the server, and find() and
// trend() search all the team's, including records this computer never had (nothing of them is
// copied into the local store).
//
// Nothing is lost and nothing lands twice: a record's UUID is its key on the server, so one sent
// twice lands once, and a record is marked as shared here only once the server has committed
// it. When the server cannot be reached, refuses, stops or takes too long, the records not
// committed stay pending and the next share sends them; the failure is one message that names
// the server without its password:
//   "The team's records on “host=db.example dbname=records user=tech” cannot be opened: the
//   database “records” does not exist there."
//
// Every call waits for the server (connecting takes up to TeamServer::ConnectTimeoutSeconds, a
// statement up to its statement timeout): the window calls it from a worker thread. A store
// belongs to the thread that connected it; another thread connects its own. After the
// connection was lost, the next call connects again.
class TeamStore
{
public:
    static constexpr int DefaultBatchSize = 50;

    // Connects to `server` and creates the schema there on first use, or brings it up to date;
    // refuses a server set up by a newer version of the program.
    static Result<std::unique_ptr<TeamStore>> connect(const TeamServer &server);

    class Key
    {
        friend class TeamStore;
        Key() = default;
    };
    TeamStore(Key, std::unique_ptr<TeamDatabase> db);
    ~TeamStore();
    TeamStore(const TeamStore &) = delete;
    TeamStore &operator=(const TeamStore &) = delete;

    const TeamServer &server() const;

    // Sends the pending records of `local`, oldest first, `batchSize` to a transaction, each
    // batch marked as shared in `local` once the server has committed it. After each batch
    // `progress(sent, total)` is called; false stops the share there (what is sent stays sent).
    // Records made meanwhile are sent too. On failure, how many were sent and how many wait.
    using Progress = std::function<bool(int sent, int total)>;
    Result<ShareReport> share(RecordStore &local, const Progress &progress = {},
                              int batchSize = DefaultBatchSize);

    // The team's records `query` asks for, newest first, as RecordStore::find() gives them
    // (never pending: they are on the server).
    Result<QList<TestRecord>> find(const RecordQuery &query);
    // The team's record with id `id`, with its fetch file.
    Result<TestRecord> record(const QString &id);
    // An energizer's trend over the team's records (serial trimmed, any letter case).
    Result<Trend> trend(const QString &energizerSerial);

private:
    Result<> send(const QList<TestRecord> &records);
    QString failed(const QString &what, const std::string &why) const;

    std::unique_ptr<TeamDatabase> m_db;
};
