#include "RecordDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QThread>

#include <atomic>

namespace {

// "VmTR": marks the file as this program's store, so another program's SQLite file is refused
// rather than filled with tables.
constexpr int ApplicationId = 0x566d5452;

// Each migration brings the schema from the version before it to its own (its place in the
// list, from 1) and runs in one transaction. A released migration never changes; a new schema
// is a new entry.
//
// The SQL stays portable where that costs nothing (ON CONFLICT, integers for times and flags), so
// the same rows can go to the team server's database by their UUID.
const QList<QStringList> Migrations = {
    {
        u"PRAGMA application_id = %1"_qs.arg(ApplicationId),
        // One row per fetch, its file kept byte for byte; a fetch is stored once however many
        // tests are made of it. `path` is the history file it was listed from, if any.
        uR"(CREATE TABLE fetches (
            id INTEGER PRIMARY KEY,
            file BLOB NOT NULL,
            sha256 TEXT NOT NULL UNIQUE,
            saved TEXT NOT NULL,
            saved_utc INTEGER NOT NULL,
            meter_model TEXT NOT NULL,
            meter_serial TEXT NOT NULL,
            path TEXT))"_qs,
        u"CREATE INDEX fetches_path ON fetches (path)"_qs,
        u"CREATE INDEX fetches_saved ON fetches (saved_utc)"_qs,
        // One row per report issued; never changed once made (a correction is a new record).
        // `recorded` is the wall-clock time with its UTC offset, `recorded_utc` its instant in
        // milliseconds for sorting; the *_folded columns are the program's case-folded copies the
        // searches compare with.
        uR"(CREATE TABLE tests (
            uuid TEXT PRIMARY KEY,
            fetch_id INTEGER NOT NULL REFERENCES fetches (id),
            data_set INTEGER NOT NULL CHECK (data_set BETWEEN 1 AND 4),
            energizer_model TEXT NOT NULL,
            energizer_serial TEXT NOT NULL,
            customer TEXT NOT NULL,
            date_text TEXT NOT NULL,
            recorded TEXT NOT NULL,
            recorded_utc INTEGER NOT NULL,
            technician TEXT NOT NULL,
            meter_model TEXT NOT NULL,
            meter_serial TEXT NOT NULL,
            volt_count INTEGER NOT NULL,
            energy_count INTEGER NOT NULL,
            interval_ms INTEGER NOT NULL,
            pulse_width_us INTEGER NOT NULL,
            load_ohms INTEGER NOT NULL,
            check_json TEXT,
            pending INTEGER NOT NULL,
            energizer_serial_folded TEXT NOT NULL,
            energizer_model_folded TEXT NOT NULL,
            customer_folded TEXT NOT NULL))"_qs,
        u"CREATE INDEX tests_recorded ON tests (recorded_utc)"_qs,
        u"CREATE INDEX tests_serial ON tests (energizer_serial_folded, recorded_utc)"_qs,
        u"CREATE INDEX tests_fetch ON tests (fetch_id)"_qs,
        u"CREATE INDEX tests_pending ON tests (pending) WHERE pending = 1"_qs,
    },
};

// SQLite's primary result codes, and the extended ones told apart below.
enum SqliteCode
{
    Busy = 5,
    Locked = 6,
    ReadOnly = 8,
    IoError = 10,
    Corrupt = 11,
    Full = 13,
    CantOpen = 14,
    NotADatabase = 26,
    IoErrorWrite = 778,
    IoErrorFsync = 1034,
    IoErrorTruncate = 1546,
    IoErrorShmSize = 4874,
    ReadOnlyDirectory = 1544,
};

std::atomic<int> connections = 0;

} // namespace

int RecordDatabase::schemaVersion()
{
    return int(Migrations.size());
}

RecordDatabase::RecordDatabase(Key, const QString &path, int busyTimeoutMs)
    : m_path(path), m_connection(u"voltrane-records-%1"_qs.arg(++connections)),
      m_busyTimeoutMs(busyTimeoutMs), m_db(QSqlDatabase::addDatabase(u"QSQLITE"_qs, m_connection))
{
    m_db.setDatabaseName(path);
}

RecordDatabase::~RecordDatabase()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

Result<std::unique_ptr<RecordDatabase>> RecordDatabase::open(const QString &path, int busyTimeoutMs)
{
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_qs))
        return failure(u"Qt's SQLite driver is not installed (package libqt6sql6-sqlite)"_qs);
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath()))
        return failure(u"its folder cannot be created"_qs);
    if (file.isDir())
        return failure(u"it is a folder, not a file"_qs);
    auto db = std::make_unique<RecordDatabase>(Key(), path, busyTimeoutMs);
    if (!db->m_db.open())
        return failure(db->reason(db->m_db.lastError()));
    if (const Result<> probed = db->probe(); !probed)
        return failure(probed.error());
    return db;
}

Result<> RecordDatabase::probe()
{
    // Settings of this connection only; none of them touches the file.
    for (const QString &setting :
         {u"PRAGMA busy_timeout = %1"_qs.arg(m_busyTimeoutMs), u"PRAGMA foreign_keys = ON"_qs,
          u"PRAGMA synchronous = FULL"_qs}) {
        if (const auto set = run(setting); !set)
            return failure(set.error());
    }
    // Qt SQL opens any file without complaint; the first read tells a damaged one. Nothing is
    // written before the file has shown itself to be a whole store of this program.
    const auto number = [this](const QString &sql) -> Result<int> {
        auto query = run(sql);
        if (!query)
            return failure(query.error());
        return query->next() ? query->value(0).toInt() : 0;
    };
    // Both answers from one read transaction: another copy of the program may be making the new
    // file's tables meanwhile, and a version read before its commit with the tables read after
    // it would call the file foreign.
    if (const auto begun = run(u"BEGIN"_qs); !begun)
        return failure(begun.error());
    const Result<int> version = number(u"PRAGMA user_version"_qs);
    const Result<int> id = !version
                               ? Result<int>(0)
                               : number(*version == 0 ? u"SELECT count(*) FROM sqlite_master"_qs
                                                      : u"PRAGMA application_id"_qs);
    (void)run(u"COMMIT"_qs);
    if (!version)
        return failure(version.error());
    if (!id)
        return failure(id.error());
    if (*version == 0 ? *id != 0 : *id != ApplicationId)
        return failure(u"it is not a file of test records of Voltrane Meter"_qs);
    if (*version > schemaVersion())
        return failure(u"it was made by a newer version of the program"_qs);
    auto check = run(u"PRAGMA quick_check"_qs);
    if (!check)
        return failure(check.error());
    if (!check->next() || check->value(0).toString() != u"ok")
        return failure(u"the file is damaged"_qs);
    check->finish();
    if (const Result<> wal = useWal(); !wal)
        return wal;
    return migrate();
}

Result<> RecordDatabase::useWal()
{
    // Changing the journal needs the file to itself, and SQLite does not wait for that as it waits
    // for a lock otherwise: while another copy of the program opens the new file too, it is
    // tried again until the busy timeout. Once set, the file keeps it.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (auto mode = run(u"PRAGMA journal_mode"_qs);
            mode && mode->next() && mode->value(0).toString() == u"wal")
            return {};
        const auto wal = run(u"PRAGMA journal_mode = WAL"_qs);
        if (wal)
            return {};
        if (!wal.error().starts_with("another program") || waited.hasExpired(m_busyTimeoutMs))
            return failure(wal.error());
        QThread::msleep(10);
    }
}

Result<> RecordDatabase::migrate()
{
    for (int target = 1; target <= schemaVersion(); ++target) {
        const Result<> migrated = write([&]() -> Result<> {
            auto version = run(u"PRAGMA user_version"_qs);
            if (!version)
                return failure(version.error());
            if (version->next() && version->value(0).toInt() >= target)
                return {}; // another copy of the program got there first
            for (const QString &sql : Migrations.at(target - 1)) {
                if (const auto done = run(sql); !done)
                    return failure(done.error());
            }
            if (const auto set = run(u"PRAGMA user_version = %1"_qs.arg(target)); !set)
                return failure(set.error());
            return {};
        });
        if (!migrated)
            return migrated;
    }
    // A store that is up to date still has to take records: a change made and rolled back tells
    // a read-only file or one locked by another program now rather than at the first record.
    if (const auto begun = run(u"BEGIN IMMEDIATE"_qs); !begun)
        return failure(begun.error());
    const auto written = run(u"PRAGMA user_version = %1"_qs.arg(schemaVersion()));
    (void)run(u"ROLLBACK"_qs);
    return written ? Result<>() : failure(written.error());
}

Result<QSqlQuery> RecordDatabase::prepare(const QString &sql) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return failure(reason(query.lastError()));
    return query;
}

Result<> RecordDatabase::exec(QSqlQuery &query, const QVariantList &values) const
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        return failure(reason(query.lastError()));
    return {};
}

Result<QSqlQuery> RecordDatabase::run(const QString &sql, const QVariantList &values) const
{
    Result<QSqlQuery> query = prepare(sql);
    if (!query)
        return query;
    if (const Result<> done = exec(*query, values); !done)
        return failure(done.error());
    return query;
}

Result<> RecordDatabase::write(const std::function<Result<>()> &work) const
{
    if (const auto begun = run(u"BEGIN IMMEDIATE"_qs); !begun)
        return failure(begun.error());
    Result<> done = work();
    if (done) {
        const auto committed = run(u"COMMIT"_qs);
        if (committed)
            return {};
        done = failure(committed.error());
    }
    // After some faults SQLite has rolled back already; then this fails, and changes nothing.
    (void)run(u"ROLLBACK"_qs);
    return done;
}

QString RecordDatabase::reason(const QSqlError &error) const
{
    const int code = error.nativeErrorCode().toInt();
    const QFileInfo file(m_path);
    const QFileInfo folder(file.absolutePath());
    switch (code & 0xff) {
    case NotADatabase:
        return u"the file is damaged (not a database)"_qs;
    case Corrupt:
        return u"the file is damaged"_qs;
    case Busy:
    case Locked:
        return u"another program has kept it locked for more than %1 seconds"_qs.arg(
            m_busyTimeoutMs / 1000.0);
    case ReadOnly:
    case CantOpen:
        if (code != ReadOnlyDirectory && file.exists() && !file.isReadable())
            return u"the file may not be read (no permission)"_qs;
        if (code != ReadOnlyDirectory && file.exists() && !file.isWritable())
            return u"the file is read-only"_qs;
        if (!folder.isWritable())
            return u"its folder is read-only"_qs;
        return (code & 0xff) == CantOpen ? u"the file cannot be opened"_qs
                                         : u"the file cannot be written"_qs;
    case Full: // also a write cut short by a limit on the file's size
        return u"the disk is full or takes no more data"_qs;
    case IoError:
        if (code == IoErrorWrite || code == IoErrorFsync || code == IoErrorTruncate ||
            code == IoErrorShmSize)
            return u"the disk is full or takes no more data"_qs;
        return u"the disk could not be read or written"_qs;
    default:
        break;
    }
    return u"the database reports “%1”"_qs.arg(
        error.databaseText().isEmpty() ? error.text() : error.databaseText());
}
