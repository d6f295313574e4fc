#include "TestRecord.h"

#include "FetchFile.h"
#include "MeasurementRecord.h"
#include "ValueTexts.h"

#include <QUuid>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

TestRecord TestRecord::stamped()
{
    TestRecord record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QDateTime now = QDateTime::currentDateTime();
    record.recorded = now.toOffsetFromUtc(now.offsetFromUtc());
    record.technician = userName();
    return record;
}

Result<TestRecord> TestRecord::ofFetch(const QByteArray &fetchFile, int dataSet)
{
    const Result<FetchRecord> fetch = FetchFile::fromJson(fetchFile);
    if (!fetch)
        return failure(
            u"The fetch cannot be read: %1."_qs.arg(QString::fromStdString(fetch.error())));
    if (dataSet < 1 || dataSet > int(fetch->records.size()))
        return failure(
            u"There is no data set %1: the meter keeps data sets 1 to 4."_qs.arg(dataSet));
    const std::string reply = fetch->records.at(dataSet - 1).value_or(QByteArray()).toStdString();
    const std::optional<Measurement> m = decodeRecord(reply);
    if (!m)
        return failure(
            u"Data set %1: %2."_qs.arg(dataSet).arg(QString::fromStdString(recordFault(reply))));
    TestRecord record = stamped();
    record.fetchFile = fetchFile;
    record.dataSet = dataSet;
    record.meterModel = meterText(fetch->modelReply);
    record.meterSerial = meterText(fetch->serialReply);
    record.voltCount = m->voltCount;
    record.energyCount = m->energyCount;
    record.intervalMs = m->intervalCount;
    record.pulseWidthUs = m->pulseWidth;
    record.loadOhms = m->loadOhms;
    return record;
}

QString TestRecord::meterText(const std::optional<QByteArray> &reply)
{
    return reply ? QString::fromStdString(ValueTexts::meterText(reply->toStdString())).trimmed()
                 : QString();
}

QString TestRecord::userName()
{
    QString name = qEnvironmentVariable("USER");
#ifdef Q_OS_UNIX
    if (const passwd *account = name.isEmpty() ? getpwuid(getuid()) : nullptr; account)
        name = QString::fromLocal8Bit(account->pw_name);
#else
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
#endif
    return name.isEmpty() ? u"unknown"_qs : name;
}

QString TestRecord::folded(const QString &text)
{
    // Composed first, so that "Ü" typed as U and a combining diaeresis finds "ü".
    return text.trimmed().normalized(QString::NormalizationForm_C).toCaseFolded();
}
