#include "ReferenceRecords.h"

#include "RecordStore.h"

#include <QCoreApplication>

namespace {

// Whether `record` was made of data set `index` of `fetch`: the cheap comparisons first, then the
// fetch file itself.
bool madeOf(const RecordStore &store, const TestRecord &record, const FetchRecord &fetch, int index,
            const Measurement &m)
{
    if (record.dataSet != index + 1 ||
        record.meterSerial != TestRecord::meterText(fetch.serialReply) ||
        record.voltCount != m.voltCount || record.energyCount != m.energyCount ||
        record.intervalMs != m.intervalCount || record.pulseWidthUs != m.pulseWidth ||
        record.loadOhms != m.loadOhms)
        return false;
    const Result<TestRecord> whole = store.record(record.id);
    const Result<FetchRecord> itsFetch =
        whole ? FetchFile::fromJson(whole->fetchFile) : Result<FetchRecord>(failure(whole.error()));
    return itsFetch && *itsFetch == fetch;
}

} // namespace

namespace ReferenceRecords {

Result<Found> find(const QString &storePath, const QString &text, const FetchRecord &fetch,
                   int index)
{
    const Result<std::unique_ptr<RecordStore>> store = RecordStore::open(storePath);
    if (!store)
        return failure(store.error());
    Found found;
    QString madeOfThis;
    const std::optional<Measurement> m = DataSets::of(fetch.recordViews()).measurement(index);
    if (text.trimmed().isEmpty() && m) {
        const Result<QList<TestRecord>> all = (*store)->find({});
        if (!all)
            return failure(all.error());
        for (const TestRecord &record : *all)
            if (madeOf(**store, record, fetch, index, *m)) {
                found.energizerSerial = record.energizerSerial;
                madeOfThis = record.id;
                break;
            }
    }
    const Result<QList<TestRecord>> records =
        (*store)->find({.text = found.energizerSerial.isEmpty() ? text : QString(),
                        .energizerSerial = found.energizerSerial,
                        .limit = Limit + 1,
                        .withFetchFiles = true});
    if (!records)
        return failure(records.error());
    for (const TestRecord &record : *records)
        if (record.id != madeOfThis && found.records.size() < Limit)
            found.records << record;
    return found;
}

QString name(const TestRecord &record)
{
    QStringList parts{record.recorded.date().toString(Qt::ISODate)};
    for (const QString &part :
         {record.energizerModel + u' ' + record.energizerSerial, record.customer})
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    parts << QCoreApplication::translate("ReferenceRecords", "data set %1").arg(record.dataSet);
    return parts.join(QStringLiteral(", "));
}

} // namespace ReferenceRecords
