#pragma once

#include "FetchFile.h"
#include "Result.h"
#include "TestRecord.h"

#include <QList>
#include <QString>

// The test records a reference trace can come from. Each call opens the store for itself, so any
// thread may make it: the Waveform window makes it on a worker thread, since a store that another
// program holds locked may keep it waiting.
namespace ReferenceRecords {

inline constexpr int Limit = 100;

struct Found
{
    // The energizer whose test record the data set shown came from; empty when it came from none.
    QString energizerSerial;
    QList<TestRecord> records; // newest first, at most Limit, with their fetch files
};

// With a `text`, the records it finds in the energizer's serial, model or customer (any letter
// case). Without one: when data set `index` (0 = data set 1) of `fetch` is the very data set of a
// test record (same meter, same counts, the same fetch), the other records of that energizer;
// otherwise the newest records. Why not, when the store cannot be opened or read.
Result<Found> find(const QString &storePath, const QString &text, const FetchRecord &fetch,
                   int index);

// The name of a record in a list and in a legend: "2025-03-14, EF-200 7788, Farm A, data set 2".
QString name(const TestRecord &record);

} // namespace ReferenceRecords
