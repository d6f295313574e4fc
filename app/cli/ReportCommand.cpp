// "report" in voltrane-meter-cli-report, the helper that draws: the page as the print dialog
// makes it, and the test it records.
#include "Commands.h"

#include "PrintService.h"
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "ReportValues.h"

int Commands::report(const ReportRequest &request)
{
    if (!request.pdf.isEmpty() && !request.file.isEmpty() && sameFile(request.file, request.pdf)) {
        err(QStringLiteral("The report cannot be saved as \"%1\": that is the fetch it is made "
                           "from.")
                .arg(request.pdf));
        return Failed;
    }
    // A test record's page again, as it was issued; or a data set of a kept fetch, with the texts
    // given.
    std::optional<ReadDataSet> read = request.recordId.isEmpty()
                                          ? readDataSet(request.file, request.dataSet)
                                          : readRecord(request.recordId);
    if (!read)
        return Failed;
    IssuedPage &page = read->page;
    if (request.recordId.isEmpty()) {
        page.energizerModel = request.model;
        page.energizerSerial = request.serial;
        page.customer = request.customer;
        page.dateText = request.date.value_or(ReportPage::dateText(QDate::currentDate()));
    }
    const ReportDetails details{page.energizerModel, page.energizerSerial, page.dateText};
    const ReportValues values = ReportValues::of(read->shown);
    if (!request.pdf.isEmpty()) {
        if (const Result<> written = ReportPrinter::writePdf(request.pdf, details, values);
            !written) {
            err(QString::fromStdString(written.error()));
            return Failed;
        }
    } else {
        using Kind = PrintService::Outcome::Kind;
        PrintService::setPluginFolder(QStringLiteral(VOLTRANE_PRINTING_FOLDER));
        const PrintService::Outcome outcome = PrintService::printReport(details, values);
        if (outcome.kind == Kind::NoPrinter || outcome.kind == Kind::NotRunning)
            err(outcome.message +
                QStringLiteral(" Save the report as a PDF file with --pdf FILE."));
        else if (!outcome.message.isEmpty()) // a paused printer: the page waits in its queue
            err(outcome.message);
        if (outcome.kind != Kind::Printed && outcome.kind != Kind::Paused)
            return Failed;
    }
    // The page is issued: it records the test, unless asked not to or it is a record's again.
    if (!request.record || !request.recordId.isEmpty())
        return Done;
    if (const Result<TestRecord> made = TestRecorder::recordNow(page, RecordStore::defaultPath());
        !made) {
        err(QStringLiteral("The test was not recorded. %1")
                .arg(QString::fromStdString(made.error())));
        return Failed;
    }
    shareQuietly(); // the record is made: a send that fails is said, and changes nothing
    return Done;
}
