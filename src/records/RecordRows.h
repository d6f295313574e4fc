#pragma once

#include "RecordStore.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// A test record as a row, the same on this computer's SQLite file and on the team's PostgreSQL
// server, so that a search gives the same records in the same order from either: the time stamps,
// the search's conditions, a row read back and the values a row is written from. Used only inside
// this room.
namespace RecordRows {

// How one database spells what the searches need.
struct Dialect
{
    QString columns;  // the columns testRecord() reads, in its order, from "tests t"
    QString contains; // the function giving the 1-based place of its second text in its first
    QString stamp;    // the column of the wall-clock text, "2026-12-08T10:15:00.250+01:00"
    QString order;    // newest first, ties by id
};
extern const Dialect Sqlite;
extern const Dialect Postgres;

// "2026-12-08T10:15:00.250+01:00": the wall-clock time where it happened and its offset, always
// written with the offset (also "+00:00"), as PostgreSQL reads it.
QString stampText(const QDateTime &when);
// The time a stamp text and its instant (ms since 1970 UTC) stand for: that instant with the
// text's offset.
QDateTime stampTime(const QString &text, qint64 utcMs);
// An empty text bound as '' rather than NULL, which Qt SQL makes of a null QString.
QString text(const QString &value);

// Adds the date limits of `query` on the local date of the column `stamp` (its first ten
// characters: "2026-12-08").
void addDates(const RecordQuery &query, const QString &stamp, QString *sql, QVariantList *values);
// What a search asks for, after "FROM tests t": its conditions, order and limit; `values` get
// the texts and numbers to bind.
QString where(const RecordQuery &query, const Dialect &dialect, QVariantList *values);
// The record of a row of `Dialect::columns`, then the fetch file's bytes when `withFile`.
TestRecord testRecord(const QSqlQuery &row, bool withFile);
// The values of the columns data_set, energizer_model, energizer_serial, customer, date_text,
// recorded (the stamp text), recorded_utc (ms), technician, meter_model, meter_serial,
// volt_count, energy_count, interval_ms, pulse_width_us, load_ohms, check_json and the three
// folded texts, in that order.
QVariantList values(const TestRecord &record);

} // namespace RecordRows
