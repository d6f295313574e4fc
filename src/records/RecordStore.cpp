#include "RecordStore.h"

#include "AppFolders.h"

#include "FetchFile.h"
#include "RecordDatabase.h"
#include "RecordRows.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>

using namespace RecordRows;

namespace {

const QString InsertFetch =
    u"INSERT INTO fetches (file, sha256, saved, saved_utc, meter_model, meter_serial, path) "
    "VALUES (?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT (sha256) DO UPDATE SET path = excluded.path "
    "WHERE fetches.path IS NULL AND excluded.path IS NOT NULL"_qs;

const QString InsertTest =
    u"INSERT INTO tests (uuid, fetch_id, pending, data_set, energizer_model, energizer_serial, "
    "customer, date_text, recorded, recorded_utc, technician, meter_model, meter_serial, "
    "volt_count, energy_count, interval_ms, pulse_width_us, load_ohms, check_json, "
    "energizer_serial_folded, energizer_model_folded, customer_folded) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT (uuid) DO NOTHING"_qs;

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
            done = m_db->exec(*insertTest,
                              QVariantList{t.id, fetchId->value(0), int(t.pending)} + values(t));
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
                           "WHERE t.uuid = ?"_qs.arg(Sqlite.columns),
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
        u"SELECT "_qs + Sqlite.columns +
        (query.withFetchFiles ? u", f.file FROM tests t JOIN fetches f ON f.id = t.fetch_id"_qs
                              : u" FROM tests t"_qs) +
        where(query, Sqlite, &values);
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
    auto found =
        m_db->run(u"SELECT t.uuid FROM tests t"_qs + where(query, Sqlite, &values), values);
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

Result<QList<TestRecord>> RecordStore::pending(int limit) const
{
    auto query = m_db->run(
        u"SELECT %1, f.file FROM tests t JOIN fetches f ON f.id = t.fetch_id "
        "WHERE t.pending = 1 ORDER BY t.recorded_utc, t.uuid LIMIT ?"_qs.arg(Sqlite.columns),
        {limit});
    if (!query)
        return failure(readFailure(query.error()));
    QList<TestRecord> records;
    while (query->next())
        records.append(testRecord(*query, true));
    return records;
}

Result<> RecordStore::markShared(const QStringList &ids)
{
    const Result<> marked = m_db->write([&]() -> Result<> {
        auto mark = m_db->prepare(u"UPDATE tests SET pending = 0 WHERE uuid = ?"_qs);
        for (const QString &id : ids) {
            if (!mark)
                return failure(mark.error());
            if (Result<> done = m_db->exec(*mark, {id}); !done)
                return done;
        }
        return {};
    });
    if (!marked)
        return failure(u"The test records in “%1” could not be marked as shared: %2."_qs.arg(
            QDir::toNativeSeparators(m_db->path()), QString::fromStdString(marked.error())));
    return {};
}

bool RecordStore::holdsKeptFetches(const QString &folder)
{
    return QDirIterator(folder, {u"*"_qs + QLatin1String(FetchFile::Suffix)}, QDir::Files)
        .hasNext();
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
