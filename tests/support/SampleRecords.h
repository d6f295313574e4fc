#pragma once

#include "FetchFile.h"
#include "TestRecord.h"

#include <QTimeZone>

// Test records to keep and share: each with its own fetch file, whose data set 1 is valid; and
// what a test says of a failed result.

#define QVERIFY_OK(result) QVERIFY2(result, (result).error().c_str())

template <typename T> QString error(const Result<T> &result)
{
    return QString::fromStdString(result.error());
}

inline QDateTime at(int day, int hour, int minute, int offsetMinutes = 60)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), QTimeZone(offsetMinutes * 60));
}

// A fetch file kept at `saved` whose data set 1 is valid: `volts` tenths of a kV, 1.5 J, 1000 ms,
// 60 µs, `load` Ohms, from meter "VM-2000" "SN-1".
inline QByteArray fetchFile(int volts, const QDateTime &saved = at(1, 9, 0), int load = 500)
{
    FetchRecord f{"?MVM-2000\r", "?SSN-1\r", {}, true, u"COM 33"_qs, saved};
    f.records[0] = "?1" + QByteArray(200, 127) + QByteArray::fromHex("e8033c00") + char(volts) +
                   '\0' + QByteArray::fromHex("0f00") + char(load % 256) + char(load / 256) +
                   QByteArray(10, 0);
    return FetchFile::toJson(f, DataSets::of(f.recordViews()), u"voltrane-meter 0.2.0"_qs);
}

inline TestRecord record(const QString &model, const QString &serial, const QString &customer,
                         const QDateTime &recorded, int volts = 73, int load = 500)
{
    TestRecord r = *TestRecord::ofFetch(fetchFile(volts, recorded, load), 1);
    r.energizerModel = model;
    r.energizerSerial = serial;
    r.customer = customer;
    r.recorded = recorded;
    return r;
}
