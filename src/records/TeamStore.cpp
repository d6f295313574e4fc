#include "TeamStore.h"

#include "RecordRows.h"
#include "TeamDatabase.h"

#include <QCryptographicHash>
#include <QSet>
#include <QUuid>

#include <algorithm>

using namespace RecordRows;

namespace {

const QString InsertFetch =
    u"INSERT INTO fetches (sha256, file) VALUES (?, ?) ON CONFLICT (sha256) DO NOTHING"_qs;

// The columns in the order of RecordRows::values(), the instant from its milliseconds.
const QString InsertTest =
    u"INSERT INTO tests (id, fetch_sha256, data_set, energizer_model, energizer_serial, "
    "customer, date_text, recorded_text, recorded, technician, meter_model, meter_serial, "
    "volt_count, energy_count, interval_ms, pulse_width_us, load_ohms, check_json, "
    "energizer_serial_folded, energizer_model_folded, customer_folded) "
    "VALUES (?::uuid, ?, ?, ?, ?, ?, ?, ?, timestamptz 'epoch' + ? * interval '1 millisecond', "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT (id) DO NOTHING"_qs;

} // namespace

TeamStore::TeamStore(Key, std::unique_ptr<TeamDatabase> db) : m_db(std::move(db)) {}

TeamStore::~TeamStore() = default;

Result<std::unique_ptr<TeamStore>> TeamStore::connect(const TeamServer &server)
{
    Result<std::unique_ptr<TeamDatabase>> db = TeamDatabase::open(server);
    if (!db)
        return failure(u"The team's records on “%1” cannot be opened: %2."_qs.arg(
            server.display(), QString::fromStdString(db.error())));
    return std::make_unique<TeamStore>(Key(), std::move(*db));
}

const TeamServer &TeamStore::server() const
{
    return m_db->server();
}

QString TeamStore::failed(const QString &what, const std::string &why) const
{
    return u"The team's records on “%1” cannot be %2: %3."_qs.arg(m_db->server().display(), what,
                                                                  QString::fromStdString(why));
}

Result<ShareReport> TeamStore::share(RecordStore &local, const Progress &progress, int batchSize)
{
    const Result<RecordCounts> before = local.counts();
    if (!before)
        return failure(before.error());
    ShareReport report;
    const auto stopped = [&](const std::string &why) {
        const Result<RecordCounts> now = local.counts();
        return failure(u"Sharing the test records with “%1” stopped: %2. %3 sent; %4 still "
                       "pending on this computer, sent at the next share."_qs
                           .arg(m_db->server().display(), QString::fromStdString(why))
                           .arg(report.sent)
                           .arg(now ? now->pending : before->pending - report.sent));
    };
    if (const Result<> ready = m_db->ready(); !ready)
        return stopped(ready.error());
    QSet<QString> shared;
    for (;;) {
        Result<QList<TestRecord>> batch = local.pending(std::max(1, batchSize));
        if (!batch)
            return failure(batch.error());
        if (batch->isEmpty())
            break;
        QStringList ids;
        for (const TestRecord &r : *batch)
            ids << r.id;
        // A batch marked already and given again would go round for ever.
        if (std::ranges::all_of(ids, [&](const QString &id) { return shared.contains(id); }))
            return stopped("the records sent cannot be marked as shared here");
        if (const Result<> sent = send(*batch); !sent)
            return stopped(sent.error());
        if (const Result<> marked = local.markShared(ids); !marked)
            return failure(marked.error());
        shared.unite(QSet<QString>(ids.begin(), ids.end()));
        report.sent += int(ids.size());
        if (progress && !progress(report.sent, std::max(report.sent, before->pending)))
            break;
    }
    const Result<RecordCounts> after = local.counts();
    if (!after)
        return failure(after.error());
    report.pending = after->pending;
    return report;
}

Result<> TeamStore::send(const QList<TestRecord> &records)
{
    // Prepared before the transaction and freed after it ends: a statement cannot be freed in a
    // transaction that failed.
    Result<QSqlQuery> fetch = m_db->prepare(InsertFetch);
    if (!fetch)
        return failure(fetch.error());
    Result<QSqlQuery> test = m_db->prepare(InsertTest);
    if (!test)
        return failure(test.error());
    return m_db->write([&]() -> Result<> {
        for (const TestRecord &r : records) {
            const QString digest = QString::fromLatin1(
                QCryptographicHash::hash(r.fetchFile, QCryptographicHash::Sha256).toHex());
            Result<> done = m_db->exec(*fetch, {digest, r.fetchFile});
            if (done)
                done = m_db->exec(*test, QVariantList{r.id, digest} + values(r));
            if (!done)
                return done;
        }
        return {};
    });
}

Result<QList<TestRecord>> TeamStore::find(const RecordQuery &query)
{
    if (const Result<> ready = m_db->ready(); !ready)
        return failure(failed(u"searched"_qs, ready.error()));
    QVariantList values;
    const QString sql =
        u"SELECT "_qs + Postgres.columns +
        (query.withFetchFiles
             ? u", f.file FROM tests t JOIN fetches f ON f.sha256 = t.fetch_sha256"_qs
             : u" FROM tests t"_qs) +
        where(query, Postgres, &values);
    Result<QSqlQuery> found = m_db->run(sql, values);
    if (!found)
        return failure(failed(u"searched"_qs, found.error()));
    QList<TestRecord> records;
    while (found->next())
        records.append(testRecord(*found, query.withFetchFiles));
    return records;
}

Result<TestRecord> TeamStore::record(const QString &id)
{
    if (const Result<> ready = m_db->ready(); !ready)
        return failure(failed(u"read"_qs, ready.error()));
    Result<QSqlQuery> found =
        m_db->run(u"SELECT %1, f.file FROM tests t JOIN fetches f ON f.sha256 = t.fetch_sha256 "
                  "WHERE t.id = ?::uuid"_qs.arg(Postgres.columns),
                  {QUuid::fromString(id).toString(QUuid::WithoutBraces)});
    if (!found)
        return failure(failed(u"read"_qs, found.error()));
    if (!found->next())
        return failure(u"There is no test record “%1” in the team's records on “%2”."_qs.arg(
            id, m_db->server().display()));
    return testRecord(*found, true);
}

Result<Trend> TeamStore::trend(const QString &energizerSerial)
{
    if (const Result<> ready = m_db->ready(); !ready)
        return failure(failed(u"searched"_qs, ready.error()));
    Result<QSqlQuery> found = m_db->run(
        u"SELECT t.id::text, t.recorded_text, (extract(epoch FROM t.recorded) * 1000)::bigint, "
        "t.volt_count, t.energy_count FROM tests t "
        "WHERE t.energizer_serial_folded = ? ORDER BY t.recorded, t.id"_qs,
        {TestRecord::folded(energizerSerial)});
    if (!found)
        return failure(failed(u"searched"_qs, found.error()));
    QList<TrendPoint> points;
    while (found->next())
        points.append({found->value(0).toString(),
                       stampTime(found->value(1).toString(), found->value(2).toLongLong()),
                       found->value(3).toInt(), found->value(4).toInt()});
    return Trend::of(energizerSerial.trimmed(), std::move(points));
}
