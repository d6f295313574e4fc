#pragma once

#include "Result.h"
#include "Settings.h"

#include <QList>
#include <QString>

#include <optional>

// The team's PostgreSQL server, as a libpq connection string: "host=db.example port=5432
// dbname=records user=tech". Read by libpq's rules: key=value pairs apart by blanks, a value in
// single quotes when it holds blanks, \' and \\ standing for ' and \ (also unquoted). The keys
// are libpq's (host, port, dbname, user, sslmode, service, passfile, …); libpq itself refuses
// one it does not know when connecting.
//
// A password belongs in libpq's ~/.pgpass (mode 0600, or libpq ignores it) or service file,
// never in the program's settings. One given in the string is used, but display() never shows
// it, and no message of the program holds the string but as display() gives it.
class TeamServer
{
public:
    // Set, it overrides the settings file's records/server, for scripts; set empty, it turns
    // the team server off.
    static constexpr char EnvironmentVariable[] = "VOLTRANE_RECORDS_SERVER";
    // How long connecting may take, whatever the string says.
    static constexpr int ConnectTimeoutSeconds = 5;
    static constexpr int DefaultStatementTimeoutMs = 15000;

    struct Parameter
    {
        QString key;
        QString value;
        friend bool operator==(const Parameter &, const Parameter &) = default;
    };

    // Refuses a string libpq would not read (a key without "=", an open quote), a port that is
    // not a number from 1 to 65535, and a ";" in a value other than the host's, database's,
    // user's or password's (Qt's PostgreSQL driver makes it a blank). The reason names the key,
    // never a value.
    static Result<TeamServer> parse(const QString &connection);
    // The server this computer shares with: $VOLTRANE_RECORDS_SERVER when set, else the settings'
    // records/server; none when that is blank.
    static Result<std::optional<TeamServer>> configured(const Settings &settings);
    // Keeps `connection` as the settings' records/server and saves the file; blank: no server.
    // Refuses, changing nothing, a string parse() refuses, and one that holds a password, which
    // belongs in ~/.pgpass or a service file; the reason never holds the string.
    static Result<> store(Settings &settings, const QString &connection);

    // The string without its password, for messages: "host=db.example dbname=records user=tech".
    QString display() const;
    bool hasPassword() const { return !value(u"password"_qs).isNull(); }
    // The value of `key` (the last one given); null when not given.
    QString value(const QString &key) const;
    // In the order given.
    const QList<Parameter> &parameters() const { return m_parameters; }

    // The longest a statement on the server may take before the server gives it up.
    int statementTimeoutMs() const { return m_statementTimeoutMs; }
    void setStatementTimeoutMs(int ms) { m_statementTimeoutMs = ms; }

private:
    QList<Parameter> m_parameters;
    int m_statementTimeoutMs = DefaultStatementTimeoutMs;
};
