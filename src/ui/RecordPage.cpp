#include "RecordPage.h"

#include "FetchFile.h"
#include "ReportPrinter.h"
#include "TestRecord.h"

#include <QCoreApplication>

namespace {

std::optional<std::string> text(const std::optional<QByteArray> &reply)
{
    return reply ? std::optional(reply->toStdString()) : std::nullopt;
}

} // namespace

Result<RecordPage> RecordPage::of(const TestRecord &record)
{
    const auto failed = [&](const std::string &why) {
        return failure(QCoreApplication::translate("RecordPage",
                                                   "The page of test record “%1” cannot be made: "
                                                   "%2.")
                           .arg(record.id, QString::fromStdString(why)));
    };
    const Result<FetchRecord> fetch = FetchFile::fromJson(record.fetchFile);
    if (!fetch)
        return failed(fetch.error());
    const int index = record.dataSet - 1;
    const DataSets dataSets = DataSets::of(fetch->recordViews());
    const std::optional<Measurement> &m = dataSets.measurement(index);
    if (!m)
        return failed(index >= 0 && index < DataSets::Count
                          ? dataSets.fault(index)
                          : "its data set " + std::to_string(record.dataSet) +
                                " is not one of 1 to 4");
    // The data set as the session shows it once the fetch is open, and so as it was printed.
    const ShownDataSet shown{index, *m, text(fetch->modelReply), text(fetch->serialReply)};
    RecordPage page;
    page.details = {record.energizerModel, record.energizerSerial, record.dateText};
    page.values = ReportValues::of(shown);
    page.m_fileName = ReportPrinter::fileName(record.energizerModel, record.recorded.date());
    return page;
}
