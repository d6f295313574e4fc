#include "RecordStore.h"

#include "AppFolders.h"

#include "FetchFile.h"
#include "RecordDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cstdlib>

namespace {

// A fetch file holds six replies of a few hundred bytes; anything past 1 MiB is not one (and
// FetchFile refuses it, which the one byte more shows).
constexpr qint64 MaxFetchFileBytes = 1024 * 1024 + 1;

const QString TestColumns =
    u"t.uuid, t.data_set, t.energizer_model, t.energizer_serial, t.customer, t.date_text, "
    "t.recorded, t.technician, t.meter_model, t.meter_serial, t.volt_count, t.energy_count, "
    "t.interval_ms, t.pulse_width_us, t.load_ohms, t.check_json, t.pending, t.recorded_utc"_qs;

const QString InsertFetch =
    u"INSERT INTO fetches (file, sha256, saved, saved_utc, meter_model, meter_serial, path) "
    "VALUES (?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT (sha256) DO UPDATE SET path = excluded.path "
    "WHERE fetches.path IS NULL AND excluded.path IS NOT NULL"_qs;

const QString InsertTest =
    u"INSERT INTO tests (uuid, fetch_id, data_set, energizer_model, energizer_serial, customer, "
    "date_text, recorded, recorded_utc, technician, meter_model, meter_serial, volt_count, "
    "energy_count, interval_ms, pulse_width_us, load_ohms, check_json, pending, "
    "energizer_serial_folded, energizer_model_folded, customer_folded) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT (uuid) DO NOTHING"_qs;

// "2026-12-08T10:15:00.250+01:00": the wall-clock time where it happened and its offset, always
// written with the offset (also "+00:00"), as PostgreSQL reads it.
QString stampText(const QDateTime &when)
{
    const int minutes = when.offsetFromUtc() / 60;
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_qs) +
           (minutes < 0 ? u'-' : u'+') +
           QString::asprintf("%02d:%02d", std::abs(minutes) / 60, std::abs(minutes) % 60);
}

// The time a stamp text and its instant (ms since 1970 UTC) stand for: that instant with the
// text's offset. Faster than parsing the whole text, which counts when 10,000 records fill a
// window.
QDateTime stampTime(const QString &text, qint64 utcMs)
{
    const QStringView offset = QStringView(text).right(6); // "+01:00"
    bool hours = false, minutes = false;
    const int seconds =
        offset.mid(1, 2).toInt(&hours) * 3600 + offset.mid(4, 2).toInt(&minutes) * 60;
    if (offset.size() < 6 || !hours || !minutes || (offset[0] != u'+' && offset[0] != u'-'))
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC,
                                          offset[0] == u'-' ? -seconds : seconds);
}

// An empty text bound as '' rather than NULL, which Qt SQL makes of a null QString.
QString text(const QString &value)
{
    return value.isNull() ? QString::fromLatin1("", 0) : value;
}

// Adds the date limits of `query` on the local date of the column `stamp` (its first ten
// characters: "2026-12-08").
void addDates(const RecordQuery &query, const QString &stamp, QString *sql, QVariantList *values)
{
    if (query.since.isValid()) {
        *sql += u" AND substr(%1, 1, 10) >= ?"_qs.arg(stamp);
        *values << query.since.toString(Qt::ISODate);
    }
    if (query.until.isValid()) {
        *sql += u" AND substr(%1, 1, 10) <= ?"_qs.arg(stamp);
        *values << query.until.toString(Qt::ISODate);
    }
}

// What find() asks for, after "FROM tests t": its conditions, order and limit; `values` get the
// texts and numbers to bind.
QString testsWhere(const RecordQuery &query, QVariantList *values)
{
    QString sql = u" WHERE 1 = 1"_qs;
    // A substring test on the program's folded copies: no wildcards to escape, and letter case
    // beyond ASCII folds as the program folds it (PostgreSQL: strpos).
    if (const QString text = TestRecord::folded(query.text); !text.isEmpty()) {
        sql += u" AND (instr(t.energizer_serial_folded, ?) > 0"
               " OR instr(t.energizer_model_folded, ?) > 0 OR instr(t.customer_folded, ?) > 0)"_qs;
        *values << text << text << text;
    }
    if (const QString serial = TestRecord::folded(query.energizerSerial); !serial.isEmpty()) {
        sql += u" AND t.energizer_serial_folded = ?"_qs;
        *values << serial;
    }
    addDates(query, u"t.recorded"_qs, &sql, values);
    sql += u" ORDER BY t.recorded_utc DESC, t.uuid DESC"_qs;
    if (query.limit > 0) {
        sql += u" LIMIT ?"_qs;
        *values << query.limit;
    }
    return sql;
}

TestRecord testRecord(const QSqlQuery &q, bool withFile)
{
    TestRecord r;
    r.id = q.value(0).toString();
    r.dataSet = q.value(1).toInt();
    r.energizerModel = q.value(2).toString();
    r.energizerSerial = q.value(3).toString();
    r.customer = q.value(4).toString();
    r.dateText = q.value(5).toString();
    r.recorded = stampTime(q.value(6).toString(), q.value(17).toLongLong());
    r.technician = q.value(7).toString();
    r.meterModel = q.value(8).toString();
    r.meterSerial = q.value(9).toString();
    r.voltCount = q.value(10).toInt();
    r.energyCount = q.value(11).toInt();
    r.intervalMs = q.value(12).toInt();
    r.pulseWidthUs = q.value(13).toInt();
    r.loadOhms = q.value(14).toInt();
    r.check = q.value(15).toString();
    r.pending = q.value(16).toBool();
    if (withFile)
        r.fetchFile = q.value(18).toByteArray();
    return r;
}

// Why `record` cannot be kept; empty when it can.
QString fault(const TestRecord &record)
{
    const QUuid uuid = QUuid::fromString(record.id);
    if (uuid.isNull() || uuid.toString(QUuid::WithoutBraces) != record.id)
        return u"its id “%1” is not a UUID in lowercase without braces"_qs.arg(record.id);
    if (record.dataSet < 1 || record.dataSet > 4)
        return u"its data set (%1) is not one of 1 to 4"_qs.arg(record.dataSet);
    if (!record.recorded.isValid())
        return u"it has no time of recording"_qs;
    return {};
}

} // namespace

// A fetch to keep, and the test made of it, if any.
struct RecordStore::Entry
{
    QByteArray file;
    FetchRecord fetch;
    QString path;
    const TestRecord *test = nullptr;
};

RecordStore::RecordStore(Key, std::unique_ptr<RecordDatabase> db) : m_db(std::move(db)) {}

RecordStore::~RecordStore() = default;

QString RecordStore::defaultPath()
{
    return AppFolders::data() + u"/records.sqlite"_qs;
}

Result<std::unique_ptr<RecordStore>> RecordStore::open(const QString &path, int busyTimeoutMs)
{
    Result<std::unique_ptr<RecordDatabase>> db = RecordDatabase::open(path, busyTimeoutMs);
    if (!db)
        return failure(u"The test records in “%1” cannot be opened: %2."_qs.arg(
            QDir::toNativeSeparators(path), QString::fromStdString(db.error())));
    return std::make_unique<RecordStore>(Key(), std::move(*db));
}

Result<QString> RecordStore::setAside(const QString &path)
{
    static const QString Companions[] = {u"-wal"_qs, u"-shm"_qs, u"-journal"_qs};
    const QString stem =
        path + u".damaged-"_qs + QDateTime::currentDateTime().toString(u"yyyy-MM-dd_HHmmss"_qs);
    const auto taken = [&](const QString &name) {
        return QFileInfo::exists(name) || std::ranges::any_of(Companions, [&](auto &c) {
                   return QFileInfo::exists(name + c);
               });
    };
    QString name = stem;
    for (int n = 2; taken(name); ++n)
        name = stem + u'-' + QString::number(n);
    const auto failed = [&](const QFile &file) {
        return failure(u"The test records in “%1” could not be set aside: %2."_qs.arg(
            QDir::toNativeSeparators(path), file.errorString()));
    };
    QFile store(path);
    if (!store.rename(name))
        return failed(store);
    for (const QString &companion : Companions) {
        QFile file(path + companion);
        if (file.exists() && !file.rename(name + companion)) {
            // Put back what moved, so the store and its journal stay together.
            for (const QString &back : Companions) {
                if (back == companion)
                    break;
                QFile::rename(name + back, path + back);
            }
            QFile::rename(name, path);
            return failed(file);
        }
    }
    return name;
}

QString RecordStore::path() const
{
    return m_db->path();
}

QString RecordStore::readFailure(const std::string &why) const
{
    return u"The test records in “%1” cannot be read: %2."_qs.arg(
        QDir::toNativeSeparators(m_db->path()), QString::fromStdString(why));
}

Result<> RecordStore::add(const TestRecord &record, const QString &keptPath)
{
    return addRecords({record},
                      keptPath.isEmpty() ? QString() : QFileInfo(keptPath).absoluteFilePath());
}

Result<> RecordStore::add(const QList<TestRecord> &records)
{
    return addRecords(records, {});
}

Result<> RecordStore::addRecords(const QList<TestRecord> &records, const QString &keptPath)
{
    const auto failed = [&](const QString &why) {
        return failure(u"The test record could not be kept in “%1”: %2."_qs.arg(
            QDir::toNativeSeparators(m_db->path()), why));
    };
    QList<Entry> entries;
    entries.reserve(records.size());
    for (const TestRecord &record : records) {
        if (const QString problem = fault(record); !problem.isEmpty())
            return failed(problem);
        Result<FetchRecord> fetch = FetchFile::fromJson(record.fetchFile);
        if (!fetch)
            return failed(
                u"its fetch cannot be read (%1)"_qs.arg(QString::fromStdString(fetch.error())));
        entries.append({record.fetchFile, std::move(*fetch), keptPath, &record});
    }
    if (const Result<> kept = addEntries(entries); !kept)
        return failed(QString::fromStdString(kept.error()));
    return {};
}

Result<> RecordStore::addEntries(const QList<Entry> &entries, int *added)
{
    return m_db->write([&]() -> Result<> {
        auto insertFetch = m_db->prepare(InsertFetch);
        auto fetchId = m_db->prepare(u"SELECT id FROM fetches WHERE sha256 = ?"_qs);
        auto insertTest = m_db->prepare(InsertTest);
        for (auto *query : {&insertFetch, &fetchId, &insertTest}) {
            if (!*query)
                return failure(query->error());
        }
        for (const Entry &e : entries) {
            const QString digest = QString::fromLatin1(
                QCryptographicHash::hash(e.file, QCryptographicHash::Sha256).toHex());
            Result<> done =
                m_db->exec(*insertFetch, {e.file, digest, stampText(e.fetch.saved),
                                          e.fetch.saved.toMSecsSinceEpoch(),
                                          text(TestRecord::meterText(e.fetch.modelReply)),
                                          text(TestRecord::meterText(e.fetch.serialReply)),
                                          e.path.isEmpty() ? QVariant() : QVariant(e.path)});
            if (done && added)
                *added += insertFetch->numRowsAffected() > 0;
            if (done && e.test)
                done = m_db->exec(*fetchId, {digest});
            if (!done)
                return done;
            if (!e.test)
                continue;
            if (!fetchId->next())
                return failure(u"the fetch just stored is missing"_qs);
            const TestRecord &t = *e.test;
            done = m_db->exec(*insertTest, {t.id,
                                            fetchId->value(0),
                                            t.dataSet,
                                            text(t.energizerModel),
                                            text(t.energizerSerial),
                                            text(t.customer),
                                            text(t.dateText),
                                            stampText(t.recorded),
                                            t.recorded.toMSecsSinceEpoch(),
                                            text(t.technician),
                                            text(t.meterModel),
                                            text(t.meterSerial),
                                            t.voltCount,
                                            t.energyCount,
                                            t.intervalMs,
                                            t.pulseWidthUs,
                                            t.loadOhms,
                                            t.check.isEmpty() ? QVariant() : QVariant(t.check),
                                            int(t.pending),
                                            text(TestRecord::folded(t.energizerSerial)),
                                            text(TestRecord::folded(t.energizerModel)),
                                            text(TestRecord::folded(t.customer))});
            fetchId->finish();
            if (!done)
                return done;
        }
        return {};
    });
}

Result<TestRecord> RecordStore::record(const QString &id) const
{
    auto query = m_db->run(u"SELECT %1, f.file FROM tests t JOIN fetches f ON f.id = t.fetch_id "
                           "WHERE t.uuid = ?"_qs.arg(TestColumns),
                           {id});
    if (!query)
        return failure(readFailure(query.error()));
    if (!query->next())
        return failure(u"There is no test record “%1” in “%2”."_qs.arg(
            id, QDir::toNativeSeparators(m_db->path())));
    return testRecord(*query, true);
}

Result<QList<TestRecord>> RecordStore::find(const RecordQuery &query) const
{
    QVariantList values;
    const QString sql =
        u"SELECT "_qs + TestColumns +
        (query.withFetchFiles ? u", f.file FROM tests t JOIN fetches f ON f.id = t.fetch_id"_qs
                              : u" FROM tests t"_qs) +
        testsWhere(query, &values);
    auto found = m_db->run(sql, values);
    if (!found)
        return failure(readFailure(found.error()));
    QList<TestRecord> records;
    while (found->next())
        records.append(testRecord(*found, query.withFetchFiles));
    return records;
}

Result<QStringList> RecordStore::ids(const RecordQuery &query) const
{
    QVariantList values;
    auto found = m_db->run(u"SELECT t.uuid FROM tests t"_qs + testsWhere(query, &values), values);
    if (!found)
        return failure(readFailure(found.error()));
    QStringList ids;
    while (found->next())
        ids.append(found->value(0).toString());
    return ids;
}

Result<EnergizerTexts> RecordStore::energizerTexts() const
{
    EnergizerTexts texts;
    for (const auto &[column, list] : {std::pair(u"energizer_model"_qs, &texts.models),
                                       std::pair(u"energizer_serial"_qs, &texts.serials)}) {
        auto query = m_db->run(
            u"SELECT DISTINCT %1 FROM tests WHERE %1 <> '' ORDER BY %1"_qs.arg(column), {});
        if (!query)
            return failure(readFailure(query.error()));
        while (query->next())
            *list << query->value(0).toString();
    }
    return texts;
}

Result<Trend> RecordStore::trend(const QString &energizerSerial) const
{
    auto query =
        m_db->run(u"SELECT uuid, recorded, recorded_utc, volt_count, energy_count FROM tests "
                  "WHERE energizer_serial_folded = ? ORDER BY recorded_utc, uuid"_qs,
                  {TestRecord::folded(energizerSerial)});
    if (!query)
        return failure(readFailure(query.error()));
    QList<TrendPoint> points;
    while (query->next())
        points.append({query->value(0).toString(),
                       stampTime(query->value(1).toString(), query->value(2).toLongLong()),
                       query->value(3).toInt(), query->value(4).toInt()});
    return Trend::of(energizerSerial.trimmed(), std::move(points));
}

Result<QList<KeptFetch>> RecordStore::untested(const RecordQuery &query) const
{
    if (!TestRecord::folded(query.text).isEmpty() ||
        !TestRecord::folded(query.energizerSerial).isEmpty())
        return QList<KeptFetch>();
    QString sql = u"SELECT f.id, f.path, f.saved, f.meter_model, f.meter_serial, f.saved_utc "
                  "FROM fetches f "
                  "WHERE NOT EXISTS (SELECT 1 FROM tests t WHERE t.fetch_id = f.id)"_qs;
    QVariantList values;
    addDates(query, u"f.saved"_qs, &sql, &values);
    sql += u" ORDER BY f.saved_utc DESC, f.id DESC"_qs;
    if (query.limit > 0) {
        sql += u" LIMIT ?"_qs;
        values << query.limit;
    }
    auto found = m_db->run(sql, values);
    if (!found)
        return failure(readFailure(found.error()));
    QList<KeptFetch> fetches;
    while (found->next())
        fetches.append({found->value(0).toLongLong(), found->value(1).toString(),
                        stampTime(found->value(2).toString(), found->value(5).toLongLong()),
                        found->value(3).toString(), found->value(4).toString()});
    return fetches;
}

Result<QByteArray> RecordStore::fetchFile(qint64 fetchId) const
{
    auto query = m_db->run(u"SELECT file FROM fetches WHERE id = ?"_qs, {fetchId});
    if (!query)
        return failure(readFailure(query.error()));
    if (!query->next())
        return failure(u"There is no kept fetch %1 in “%2”."_qs.arg(fetchId).arg(
            QDir::toNativeSeparators(m_db->path())));
    return query->value(0).toByteArray();
}

Result<RecordCounts> RecordStore::counts() const
{
    auto query = m_db->run(u"SELECT (SELECT count(*) FROM tests), (SELECT count(*) FROM fetches), "
                           "(SELECT count(*) FROM fetches f WHERE NOT EXISTS "
                           "(SELECT 1 FROM tests t WHERE t.fetch_id = f.id)), "
                           "(SELECT count(*) FROM tests WHERE pending = 1)"_qs);
    if (!query)
        return failure(readFailure(query.error()));
    query->next();
    return RecordCounts{query->value(0).toInt(), query->value(1).toInt(), query->value(2).toInt(),
                        query->value(3).toInt()};
}

Result<Listing> RecordStore::listKeptFetches(const QString &folder, const Progress &progress,
                                             int batchSize)
{
    const auto failed = [&](const std::string &why) {
        return failure(
            u"The kept fetches in “%1” could not be taken into the test records: %2."_qs.arg(
                QDir::toNativeSeparators(folder), QString::fromStdString(why)));
    };
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({u"*"_qs + QLatin1String(FetchFile::Suffix)}, QDir::Files, QDir::Name);
    Listing listing;
    listing.total = int(names.size());
    QSet<QString> listed;
    {
        auto paths = m_db->run(u"SELECT path FROM fetches WHERE path IS NOT NULL"_qs);
        if (!paths)
            return failed(paths.error());
        while (paths->next())
            listed.insert(paths->value(0).toString());
    }
    QList<Entry> batch;
    for (int i = 0; i < names.size(); ++i) {
        const QString path = dir.absoluteFilePath(names.at(i));
        if (listed.contains(path)) {
            ++listing.known;
        } else {
            if (Result<FetchFile::ReadFile> read = FetchFile::readFile(path))
                batch.append({read->bytes, std::move(read->fetch), path});
            else
                listing.unreadable << QString::fromStdString(read.error());
        }
        if (batch.size() < batchSize && i + 1 < names.size())
            continue;
        int added = 0;
        if (const Result<> kept = batch.isEmpty() ? Result<>() : addEntries(batch, &added); !kept)
            return failed(kept.error());
        listing.added += added;
        listing.known += int(batch.size()) - added; // the same bytes were kept before
        batch.clear();
        if (progress && !progress(i + 1, listing.total) && i + 1 < names.size()) {
            listing.cancelled = true;
            break;
        }
    }
    return listing;
}
