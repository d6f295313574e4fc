#include "FetchFile.h"

#include "AppFolders.h"
#include "FileSave.h"
#include "MeasurementJson.h"
#include "MeasurementRecord.h"
#include "SmallFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr char Format[] = "voltrane-meter-fetch";
constexpr int Version = 1;
// A fetch file holds six replies of at most a few hundred bytes each; anything much larger is
// not one, and is not read into memory whole.
constexpr qint64 MaxFileBytes = 1024 * 1024;
// The serial's part of a file name is cut to this length: a garbled reply to "?S" may be up to a
// kilobyte long, and a file name may not.
constexpr int MaxSerialLength = 64;

OrderedJson bytesJson(const std::optional<QByteArray> &bytes)
{
    return bytes ? OrderedJson(QString::fromLatin1(bytes->toBase64())) : OrderedJson();
}

// The record's counts for people and other programs; null for a record that does not decode.
OrderedJson decodedJson(const std::optional<Measurement> &m)
{
    return m ? OrderedJson::object(countMembers(*m)) : OrderedJson();
}

// Reads the members of a fetch file's JSON object; the first problem found stays in `problem`.
class Members
{
public:
    bool failed() const { return !m_problem.isEmpty(); }
    const QString &problem() const { return m_problem; }

    QJsonValue get(const QJsonObject &object, const QString &name, QJsonValue::Type type,
                   const char *what)
    {
        const QJsonValue value = object.value(name);
        if (failed())
            return {};
        if (value.isUndefined())
            return fail(u"the entry “%1” is missing"_qs.arg(name));
        if (value.type() != type)
            return fail(u"the entry “%1” is not %2"_qs.arg(name, QLatin1String(what)));
        return value;
    }
    QString text(const QJsonObject &object, const QString &name)
    {
        return get(object, name, QJsonValue::String, "text").toString();
    }

    // A reply: base64 text, or null when it never arrived.
    std::optional<QByteArray> bytes(const QJsonValue &value, const QString &which)
    {
        if (failed() || value.isNull())
            return std::nullopt;
        if (!value.isString()) {
            fail(u"%1 is neither text nor null"_qs.arg(which));
            return std::nullopt;
        }
        auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            fail(u"%1 is not valid base64"_qs.arg(which));
            return std::nullopt;
        }
        return *decoded;
    }

    QJsonValue fail(const QString &problem)
    {
        if (!failed())
            m_problem = problem;
        return {};
    }

private:
    QString m_problem;
};

} // namespace

DataSets::Records FetchRecord::recordViews() const
{
    DataSets::Records views;
    for (int i = 0; i < DataSets::Count; ++i)
        if (records[i])
            views[i] = std::string_view(records[i]->constData(), std::size_t(records[i]->size()));
    return views;
}

namespace FetchFile {

Result<FetchRecord> fromJson(const QByteArray &bytes)
{
    if (bytes.size() > MaxFileBytes)
        return failure(u"it is larger than 1 MiB, far more than a fetch file holds"_qs);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return failure(u"it is not a fetch file: its contents are not JSON text"_qs);
    const QJsonObject file = document.object();
    if (!document.isObject() || file.value(u"format"_qs) != QLatin1String(Format))
        return failure(u"it is not a fetch file of Voltrane Meter"_qs);
    Members members;
    const double version =
        members.get(file, u"version"_qs, QJsonValue::Double, "a number").toDouble();
    if (!members.failed() && version > Version)
        members.fail(u"it was made by a newer version of the program"_qs);
    else if (!members.failed() && version != Version)
        members.fail(u"its version (%1) is not one the program knows"_qs.arg(version));

    FetchRecord fetch;
    const QString saved = members.text(file, u"saved"_qs);
    fetch.saved = QDateTime::fromString(saved, Qt::ISODate);
    // Kept in whole seconds, as written; without an offset the time would be read as local time
    // wherever the file is opened.
    fetch.saved = fetch.saved.addMSecs(-fetch.saved.time().msec());
    if (!members.failed() && (!fetch.saved.isValid() || fetch.saved.timeSpec() == Qt::LocalTime))
        members.fail(u"the entry “saved” is not a date, time and UTC offset"_qs);
    members.text(file, u"program"_qs);
    fetch.port = members.text(file, u"port"_qs);
    fetch.complete = members.get(file, u"complete"_qs, QJsonValue::Bool, "true or false").toBool();
    const QJsonObject meter =
        members.get(file, u"meter"_qs, QJsonValue::Object, "a group of entries").toObject();
    for (const auto &[name, reply] :
         {std::pair(u"model"_qs, &fetch.modelReply), std::pair(u"serial"_qs, &fetch.serialReply)}) {
        const QString entry = u"the entry “meter.%1”"_qs.arg(name);
        const QJsonValue value = meter.value(name);
        if (!members.failed() && value.isUndefined())
            members.fail(entry + u" is missing"_qs);
        *reply = members.bytes(value, entry);
    }
    const QJsonArray records =
        members.get(file, u"records"_qs, QJsonValue::Array, "a list").toArray();
    if (!members.failed() && records.size() != int(fetch.records.size()))
        members.fail(u"it holds %1 data sets instead of 4"_qs.arg(records.size()));
    for (int i = 0; i < records.size() && i < int(fetch.records.size()); ++i)
        fetch.records[i] = members.bytes(records[i], u"data set %1 in “records”"_qs.arg(i + 1));
    if (members.failed())
        return failure(members.problem());
    return fetch;
}

QString timeText(const QDateTime &when)
{
    // Written out digit by digit: QDateTime::toString() is slow for thousands of records.
    const int minutes = when.offsetFromUtc() / 60;
    const QDate date = when.date();
    const QTime time = when.time();
    QString text(25, u'0');
    const auto put = [&text](qsizetype at, int value, int digits) {
        for (qsizetype i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = QChar(u'0' + value % 10);
    };
    put(0, date.year(), 4), put(5, date.month(), 2), put(8, date.day(), 2);
    put(11, time.hour(), 2), put(14, time.minute(), 2), put(17, time.second(), 2);
    put(20, std::abs(minutes) / 60, 2), put(23, std::abs(minutes) % 60, 2);
    text[4] = text[7] = u'-', text[10] = u'T', text[13] = text[16] = text[22] = u':';
    text[19] = minutes < 0 ? u'-' : u'+';
    return text;
}

QString historyFolder()
{
    return AppFolders::data() + u"/fetches"_qs;
}

QString fileName(const QDateTime &when, const std::optional<QByteArray> &serialReply)
{
    // The serial as the CSV shows it, trimmed of blanks, then made safe for any file system.
    QString serial = QString::fromLatin1(serialReply ? serialReply->mid(2) : QByteArray())
                         .trimmed()
                         .left(MaxSerialLength);
    for (QChar &c : serial) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != '.' && c != '_' && c != '-')
            c = '_';
    }
    return when.toLocalTime().toString(u"yyyy-MM-dd_HHmmss_"_qs) +
           (serial.isEmpty() ? u"meter"_qs : serial) + QLatin1String(Suffix);
}

QByteArray toJson(const FetchRecord &fetch, const DataSets &decoded, const QString &program)
{
    std::vector<OrderedJson> records, counts;
    for (int i = 0; i < DataSets::Count; ++i) {
        records.push_back(bytesJson(fetch.records[i]));
        counts.push_back(decodedJson(decoded.measurement(i)));
    }
    // The file reads best for people in this order.
    const OrderedJson file = OrderedJson::object(
        {{u"format"_qs, QLatin1String(Format)},
         {u"version"_qs, Version},
         {u"saved"_qs, timeText(fetch.saved)},
         {u"program"_qs, program},
         {u"port"_qs, fetch.port},
         {u"complete"_qs, fetch.complete},
         {u"meter"_qs, OrderedJson::object({{u"model"_qs, bytesJson(fetch.modelReply)},
                                            {u"serial"_qs, bytesJson(fetch.serialReply)}})},
         {u"records"_qs, OrderedJson::array(std::move(records))},
         {u"decoded"_qs, OrderedJson::array(std::move(counts))}});
    return file.toJson(OrderedJson::Layout::Readable) + '\n';
}

Result<ReadFile> readFile(const QString &path)
{
    const auto failed = [&](const QString &problem) {
        return failure(u"“%1” cannot be opened: %2."_qs.arg(QFileInfo(path).fileName(), problem));
    };
    if (QFileInfo(path).isFile() && QFileInfo(path).size() > MaxFileBytes)
        return failed(u"it is larger than 1 MiB, far more than a fetch file holds"_qs);
    Result<QByteArray> bytes = SmallFile::read(path, MaxFileBytes);
    if (!bytes)
        return failed(QString::fromStdString(bytes.error()));
    Result<FetchRecord> fetch = fromJson(*bytes);
    if (!fetch)
        return failed(QString::fromStdString(fetch.error()));
    return ReadFile{std::move(*fetch), std::move(*bytes)};
}

Result<FetchRecord> read(const QString &path)
{
    Result<ReadFile> file = readFile(path);
    if (!file)
        return failure(file.error());
    return std::move(file->fetch);
}

Result<QString> keep(const QByteArray &fileBytes, const QString &name, const QString &folder)
{
    const auto failed = [&](const QString &why) {
        return failure(u"The fetch could not be kept in “%1”: %2."_qs.arg(
            QDir::toNativeSeparators(folder), why));
    };
    if (!QDir().mkpath(folder)) {
        // Say what stands in the way: the first part of the path that is there but no folder.
        for (QString part = folder; !part.isEmpty() && part != u'/'; part = QFileInfo(part).path())
            if (QFileInfo(part).exists() && !QFileInfo(part).isDir())
                return failed(u"the folder cannot be created there, as “%1” is a file"_qs.arg(
                    QDir::toNativeSeparators(part)));
        return failed(u"the folder cannot be created there"_qs);
    }
    const QString stem = name.chopped(int(sizeof Suffix) - 1);
    const Result<QString> path = FileSave::writeNew(
        folder,
        [&](int n) {
            return n == 1 ? name : stem + u'-' + QString::number(n) + QLatin1String(Suffix);
        },
        fileBytes);
    if (!path)
        return failed(QString::fromStdString(path.error()));
    return path;
}

} // namespace FetchFile
