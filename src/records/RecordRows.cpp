#include "RecordRows.h"

#include <cstdlib>

namespace RecordRows {

const Dialect Sqlite = {
    u"t.uuid, t.data_set, t.energizer_model, t.energizer_serial, t.customer, t.date_text, "
    "t.recorded, t.technician, t.meter_model, t.meter_serial, t.volt_count, t.energy_count, "
    "t.interval_ms, t.pulse_width_us, t.load_ohms, t.check_json, t.pending, t.recorded_utc"_qs,
    u"instr"_qs, u"t.recorded"_qs, u"t.recorded_utc DESC, t.uuid DESC"_qs};

// A record on the server is on the server: never pending. Its instant comes back in whole
// milliseconds, as it was sent.
const Dialect Postgres = {
    u"t.id::text, t.data_set, t.energizer_model, t.energizer_serial, t.customer, t.date_text, "
    "t.recorded_text, t.technician, t.meter_model, t.meter_serial, t.volt_count, "
    "t.energy_count, t.interval_ms, t.pulse_width_us, t.load_ohms, t.check_json, false, "
    "(extract(epoch FROM t.recorded) * 1000)::bigint"_qs,
    u"strpos"_qs, u"t.recorded_text"_qs, u"t.recorded DESC, t.id DESC"_qs};

QString stampText(const QDateTime &when)
{
    const int minutes = when.offsetFromUtc() / 60;
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_qs) +
           (minutes < 0 ? u'-' : u'+') +
           QString::asprintf("%02d:%02d", std::abs(minutes) / 60, std::abs(minutes) % 60);
}

QDateTime stampTime(const QString &text, qint64 utcMs)
{
    // Faster than parsing the whole text, which counts when 10,000 records fill a window.
    const QStringView offset = QStringView(text).right(6); // "+01:00"
    bool hours = false, minutes = false;
    const int seconds =
        offset.mid(1, 2).toInt(&hours) * 3600 + offset.mid(4, 2).toInt(&minutes) * 60;
    if (offset.size() < 6 || !hours || !minutes || (offset[0] != u'+' && offset[0] != u'-'))
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC,
                                          offset[0] == u'-' ? -seconds : seconds);
}

QString text(const QString &value)
{
    return value.isNull() ? QString::fromLatin1("", 0) : value;
}

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

QString where(const RecordQuery &query, const Dialect &dialect, QVariantList *values)
{
    QString sql = u" WHERE 1 = 1"_qs;
    // A substring test on the program's folded copies: no wildcards to escape, and letter case
    // beyond ASCII folds as the program folds it, on either database.
    if (const QString text = TestRecord::folded(query.text); !text.isEmpty()) {
        sql += u" AND (%1(t.energizer_serial_folded, ?) > 0"
               " OR %1(t.energizer_model_folded, ?) > 0 OR %1(t.customer_folded, ?) > 0)"_qs.arg(
                   dialect.contains);
        *values << text << text << text;
    }
    if (const QString serial = TestRecord::folded(query.energizerSerial); !serial.isEmpty()) {
        sql += u" AND t.energizer_serial_folded = ?"_qs;
        *values << serial;
    }
    addDates(query, dialect.stamp, &sql, values);
    sql += u" ORDER BY "_qs + dialect.order;
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

QVariantList values(const TestRecord &t)
{
    return {t.dataSet,
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
            text(TestRecord::folded(t.energizerSerial)),
            text(TestRecord::folded(t.energizerModel)),
            text(TestRecord::folded(t.customer))};
}

} // namespace RecordRows
