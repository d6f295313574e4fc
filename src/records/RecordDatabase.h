#pragma once

#include "Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

// The SQLite file of the test records as one Qt SQL connection, used only inside this room: the
// connection's settings, the schema and its migrations, transactions, and SQLite's faults in
// plain words. Every SQL text of the program lives in this room; texts and numbers are always
// bound values.
//
// A connection belongs to the thread that opened it; a thread that needs the store opens its own.
// Each has a unique name and is removed when it is destroyed.
class RecordDatabase
{
public:
    // The schema version this program writes (PRAGMA user_version); a file with a higher one was
    // made by a newer version of the program.
    static int schemaVersion();

    // Opens `path`, creating the file and its folder when missing, and makes sure it is a store
    // this program can read and write: a damaged file, another program's file, one made by a newer
    // version, a read-only file or folder, or one locked for longer than `busyTimeoutMs`, is
    // refused without a byte of it changed. Then brings the schema up to date. The failure is the
    // reason only, in plain words ("the file is damaged (not a database)").
    static Result<std::unique_ptr<RecordDatabase>> open(const QString &path, int busyTimeoutMs);
    // Only open() makes one (the key is private), and gives it only once it is probed.
    class Key
    {
        friend class RecordDatabase;
        Key() = default;
    };
    RecordDatabase(Key, const QString &path, int busyTimeoutMs);
    ~RecordDatabase();
    RecordDatabase(const RecordDatabase &) = delete;
    RecordDatabase &operator=(const RecordDatabase &) = delete;

    const QString &path() const { return m_path; }

    // Runs one statement with `values` bound to its "?" in order; the query stands before its
    // first row. The failure is the reason in plain words.
    Result<QSqlQuery> run(const QString &sql, const QVariantList &values = {}) const;
    // A prepared statement for running many times with exec().
    Result<QSqlQuery> prepare(const QString &sql) const;
    // Runs a prepared statement with `values`; the reason on failure.
    Result<> exec(QSqlQuery &query, const QVariantList &values) const;

    // Runs `work` in one write transaction (BEGIN IMMEDIATE, so it waits for other writers up to
    // the busy timeout instead of failing half-way); commits when it succeeds, else rolls back.
    Result<> write(const std::function<Result<>()> &work) const;

    // SQLite's fault in plain words, telling a read-only file from a read-only folder.
    QString reason(const class QSqlError &error) const;

private:
    Result<> probe();
    Result<> useWal();
    Result<> migrate();

    QString m_path;
    QString m_connection;
    int m_busyTimeoutMs;
    QSqlDatabase m_db;
};
