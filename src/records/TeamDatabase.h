#pragma once

#include "Result.h"
#include "TeamServer.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

// The team's PostgreSQL database as one Qt SQL connection, used only inside this room: the
// connection string mapped onto Qt's PostgreSQL driver with the program's timeouts, the schema
// created or brought up to date, transactions, and the server's faults in plain words. Texts and
// numbers are always bound values.
//
// A connection belongs to the thread that made it; each has a unique name and is removed when it
// is destroyed. Once a statement has lost the connection (the server stopped, the network gone),
// ready() connects again.
class TeamDatabase
{
public:
    // The schema version this program writes (the highest in the schema_version table); a
    // server with a higher one was set up by a newer version of the program.
    static int schemaVersion();

    // Connects (taking up to TeamServer::ConnectTimeoutSeconds) and makes sure the schema is
    // one this program knows, creating it or bringing it up to date, under an advisory lock so
    // that two computers doing so at once wait for each other. The failure is the reason only,
    // in plain words ("the database “records” does not exist there").
    static Result<std::unique_ptr<TeamDatabase>> open(const TeamServer &server);
    class Key
    {
        friend class TeamDatabase;
        Key() = default;
    };
    TeamDatabase(Key, const TeamServer &server);
    ~TeamDatabase();
    TeamDatabase(const TeamDatabase &) = delete;
    TeamDatabase &operator=(const TeamDatabase &) = delete;

    const TeamServer &server() const { return m_server; }

    // Connects again if the connection was lost; the reason when that fails.
    Result<> ready();

    // Runs one statement with `values` bound to its "?" in order. The failure is the reason.
    Result<QSqlQuery> run(const QString &sql, const QVariantList &values = {});
    // A prepared statement for running many times with exec().
    Result<QSqlQuery> prepare(const QString &sql);
    Result<> exec(QSqlQuery &query, const QVariantList &values);
    // Runs `work` in one transaction; commits when it succeeds, else rolls back. A commit whose
    // answer is lost counts as failed.
    Result<> write(const std::function<Result<>()> &work);

private:
    Result<> connect();
    Result<> migrate();
    QString reason(const class QSqlError &error);

    TeamServer m_server;
    QString m_connection;
    QSqlDatabase m_db;
    bool m_lost = false;
};
