#include "TeamDatabase.h"

#include <QRegularExpression>
#include <QSqlError>

#include <atomic>

namespace {

// "VmTR", the key of the advisory lock that creating or migrating the schema holds.
constexpr qint64 SchemaLock = 0x566d5452;

// How long a transaction left open by a computer that went away may hold its locks.
constexpr int IdleInTransactionMs = 60'000;

// Each migration brings the schema from the version before it to its own (its place in the
// list, from 1); together they run in one transaction. A released migration never changes; a new
// schema is a new entry.
//
// The rows are the local store's, by the record's UUID; `recorded` is the instant, for sorting,
// `recorded_text` the wall-clock time where it was recorded with its offset (its first ten
// characters are the local date the searches compare). A fetch is kept once, by its digest.
const QList<QStringList> Migrations = {
    {
        uR"(CREATE TABLE fetches (
            sha256 text PRIMARY KEY,
            file bytea NOT NULL))"_qs,
        uR"(CREATE TABLE tests (
            id uuid PRIMARY KEY,
            fetch_sha256 text NOT NULL REFERENCES fetches (sha256),
            data_set smallint NOT NULL CHECK (data_set BETWEEN 1 AND 4),
            energizer_model text NOT NULL,
            energizer_serial text NOT NULL,
            customer text NOT NULL,
            date_text text NOT NULL,
            recorded_text text NOT NULL,
            recorded timestamptz NOT NULL,
            technician text NOT NULL,
            meter_model text NOT NULL,
            meter_serial text NOT NULL,
            volt_count integer NOT NULL,
            energy_count integer NOT NULL,
            interval_ms integer NOT NULL,
            pulse_width_us integer NOT NULL,
            load_ohms integer NOT NULL,
            check_json text,
            energizer_serial_folded text NOT NULL,
            energizer_model_folded text NOT NULL,
            customer_folded text NOT NULL,
            shared timestamptz NOT NULL DEFAULT now()))"_qs,
        // Newest first for the whole list, and an energizer's records in order of time.
        u"CREATE INDEX tests_recorded ON tests (recorded, id)"_qs,
        u"CREATE INDEX tests_serial ON tests (energizer_serial_folded, recorded, id)"_qs,
        u"CREATE INDEX tests_fetch ON tests (fetch_sha256)"_qs,
    },
};

// A libpq value in single quotes, as Qt's driver passes it on.
QString quoted(const QString &value)
{
    QString text = value;
    text.replace(u'\\', u"\\\\"_qs).replace(u'\'', u"\\'"_qs);
    return u'\'' + text + u'\'';
}

std::atomic<int> connections = 0;

} // namespace

int TeamDatabase::schemaVersion()
{
    return int(Migrations.size());
}

TeamDatabase::TeamDatabase(Key, const TeamServer &server)
    : m_server(server), m_connection(u"voltrane-team-%1"_qs.arg(++connections)),
      m_db(QSqlDatabase::addDatabase(u"QPSQL"_qs, m_connection))
{}

TeamDatabase::~TeamDatabase()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

Result<std::unique_ptr<TeamDatabase>> TeamDatabase::open(const TeamServer &server)
{
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_qs))
        return failure(u"Qt's PostgreSQL driver is not installed (package libqt6sql6-psql)"_qs);
    auto db = std::make_unique<TeamDatabase>(Key(), server);
    if (Result<> connected = db->connect(); !connected)
        return failure(connected.error());
    return db;
}

Result<> TeamDatabase::connect()
{
    // Qt's driver takes the host, port, database, user and password through its setters and
    // the rest as options apart by ";"; the program's own come last, so that they count.
    QStringList options;
    for (const TeamServer::Parameter &p : m_server.parameters()) {
        if (p.key == u"host")
            m_db.setHostName(p.value);
        else if (p.key == u"port")
            m_db.setPort(p.value.toInt());
        else if (p.key == u"dbname")
            m_db.setDatabaseName(p.value);
        else if (p.key == u"user")
            m_db.setUserName(p.value);
        else if (p.key == u"password")
            m_db.setPassword(p.value);
        else if (p.key != u"connect_timeout")
            options << p.key + u'=' + quoted(p.value);
    }
    // A network that drops packets gives up a statement after 10 s unanswered, and an idle
    // connection is found dead by keepalives; none of this applies on a Unix socket.
    static const std::pair<QString, QString> Defaults[] = {
        {u"application_name"_qs, u"voltrane-meter"_qs},
        {u"tcp_user_timeout"_qs, u"10000"_qs},
        {u"keepalives_idle"_qs, u"10"_qs},
        {u"keepalives_interval"_qs, u"5"_qs},
        {u"keepalives_count"_qs, u"3"_qs}};
    for (const auto &[key, value] : Defaults) {
        if (m_server.value(key).isNull())
            options << key + u'=' + quoted(value);
    }
    options << u"connect_timeout=%1"_qs.arg(TeamServer::ConnectTimeoutSeconds);
    m_db.setConnectOptions(options.join(u';'));
    if (!m_db.open())
        return failure(reason(m_db.lastError()));
    m_lost = false;
    // Numbers only: nothing here comes from outside. libpq prints the server's notices and
    // warnings on standard error; only errors, which the program words itself, are sent.
    if (QSqlQuery set(m_db);
        !set.exec(u"SET statement_timeout = %1; SET idle_in_transaction_session_timeout = %2; "
                  "SET client_min_messages = error"_qs.arg(m_server.statementTimeoutMs())
                      .arg(IdleInTransactionMs)))
        return failure(reason(set.lastError()));
    return migrate();
}

Result<> TeamDatabase::ready()
{
    if (!m_lost && m_db.isOpen())
        return {};
    m_db.close();
    return connect();
}

Result<> TeamDatabase::migrate()
{
    const auto version = [this]() -> Result<int> {
        // From the catalog's table rather than its cache, which waiting for the lock does not
        // bring up to date: another computer may just have made the table.
        auto exists = run(u"SELECT count(*) > 0 FROM pg_catalog.pg_tables WHERE schemaname = "
                          "current_schema() AND tablename = 'schema_version'"_qs);
        if (!exists)
            return failure(exists.error());
        if (!exists->next() || !exists->value(0).toBool())
            return 0;
        auto highest = run(u"SELECT coalesce(max(version), 0) FROM schema_version"_qs);
        if (!highest)
            return failure(highest.error());
        return highest->next() ? highest->value(0).toInt() : 0;
    };
    const auto newer = [](int found) {
        return failure(u"its records were set up by a newer version of Voltrane Meter (schema "
                       "version %1; this program knows up to %2): update the program on this "
                       "computer"_qs.arg(found)
                           .arg(schemaVersion()));
    };
    const Result<int> found = version();
    if (!found)
        return failure(found.error());
    if (*found > schemaVersion())
        return newer(*found);
    if (*found == schemaVersion())
        return {};
    return write([&]() -> Result<> {
        if (auto locked = run(u"SELECT pg_advisory_xact_lock(%1)"_qs.arg(SchemaLock)); !locked)
            return failure(locked.error());
        const Result<int> now = version(); // another computer may have got there first
        if (!now)
            return failure(now.error());
        if (*now > schemaVersion())
            return newer(*now);
        QStringList statements;
        if (*now == 0)
            statements << u"CREATE TABLE schema_version (version integer PRIMARY KEY, "
                          "applied timestamptz NOT NULL DEFAULT now())"_qs;
        for (int target = *now + 1; target <= schemaVersion(); ++target)
            statements << Migrations.at(target - 1)
                       << u"INSERT INTO schema_version (version) VALUES (%1)"_qs.arg(target);
        for (const QString &sql : statements) {
            if (auto done = run(sql); !done)
                return failure(done.error());
        }
        return {};
    });
}

Result<QSqlQuery> TeamDatabase::prepare(const QString &sql)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return failure(reason(query.lastError()));
    return query;
}

Result<> TeamDatabase::exec(QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        return failure(reason(query.lastError()));
    return {};
}

Result<QSqlQuery> TeamDatabase::run(const QString &sql, const QVariantList &values)
{
    if (!values.isEmpty()) {
        Result<QSqlQuery> query = prepare(sql);
        if (query) {
            if (const Result<> done = exec(*query, values); !done)
                return failure(done.error());
        }
        return query;
    }
    // Without values, in one round trip rather than three (prepare, run, free).
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return failure(reason(query.lastError()));
    return query;
}

Result<> TeamDatabase::write(const std::function<Result<>()> &work)
{
    if (!m_db.transaction())
        return failure(reason(m_db.lastError()));
    Result<> done = work();
    if (done) {
        if (m_db.commit())
            return {};
        done = failure(reason(m_db.lastError()));
    }
    if (!m_lost)
        m_db.rollback();
    return done;
}

QString TeamDatabase::reason(const QSqlError &error)
{
    // The first line of the server's (or libpq's) words, without where libpq tried and the
    // severity: `database "records" does not exist`.
    static const QRegularExpression Prefix(u"^(connection to server .*? failed: )?"
                                           "((ERROR|FATAL):  )?"_qs);
    const QString code = error.nativeErrorCode();
    QString words = error.databaseText().section(u'\n', 0, 0).trimmed();
    const bool refused = words.contains(u"FATAL:  ");
    words.remove(Prefix);
    if (words.isEmpty())
        words = error.driverText();
    if (code == u"57014")
        return u"the server did not finish within %1 s (its statement timeout)"_qs.arg(
            m_server.statementTimeoutMs() / 1000.0);
    if (error.type() != QSqlError::ConnectionError &&
        (code.isEmpty() || code.startsWith(u"08") || code.startsWith(u"57P"))) {
        m_lost = true;
        return u"the connection to the server was lost (%1)"_qs.arg(words);
    }
    if (error.type() != QSqlError::ConnectionError)
        return u"the server reports “%1”"_qs.arg(words);
    m_lost = true;
    static const QList<std::pair<QRegularExpression, QString>> Known = {
        {QRegularExpression(u"^database \"(.*)\" does not exist"_qs),
         u"the database “%1” does not exist there"_qs},
        {QRegularExpression(u"^password authentication failed for user \"(.*)\""_qs),
         u"the server refused the password of the user “%1” (libpq reads it from ~/.pgpass)"_qs},
        {QRegularExpression(u"no password supplied"_qs),
         u"the server asks for a password, and ~/.pgpass holds none for it"_qs},
        {QRegularExpression(u"^role \"(.*)\" does not exist"_qs),
         u"the server has no user “%1”"_qs},
    };
    for (const auto &[pattern, text] : Known) {
        if (const QRegularExpressionMatch m = pattern.match(words); m.hasMatch())
            return m.lastCapturedIndex() > 0 ? text.arg(m.captured(1)) : text;
    }
    return refused ? u"the server refused the connection (%1)"_qs.arg(words)
                   : u"the server cannot be reached (%1)"_qs.arg(words);
}
