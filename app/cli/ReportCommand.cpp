// "report" in voltrane-meter-cli-report, the helper that draws: the page as the print dialog
// makes it.
#include "Commands.h"

#include "PrintService.h"
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "ReportValues.h"

int Commands::report(const ReportRequest &request)
{
    if (!request.pdf.isEmpty() && sameFile(request.file, request.pdf)) {
        err(QStringLiteral("The report cannot be saved as \"%1\": that is the fetch it is made "
                           "from.")
                .arg(request.pdf));
        return Failed;
    }
    const std::optional<ShownDataSet> shown = readDataSet(request.file, request.dataSet);
    if (!shown)
        return Failed;
    const ReportDetails details{request.model, request.serial,
                                request.date.value_or(ReportPage::dateText(QDate::currentDate()))};
    const ReportValues values = ReportValues::of(shown);
    if (!request.pdf.isEmpty()) {
        if (const Result<> written = ReportPrinter::writePdf(request.pdf, details, values);
            !written) {
            err(QString::fromStdString(written.error()));
            return Failed;
        }
        return Done;
    }
    using Kind = PrintService::Outcome::Kind;
    const PrintService::Outcome outcome = PrintService::printReport(details, values);
    if (outcome.kind == Kind::NoPrinter || outcome.kind == Kind::NotRunning)
        err(outcome.message + QStringLiteral(" Save the report as a PDF file with --pdf FILE."));
    else if (!outcome.message.isEmpty()) // a paused printer: the page waits in its queue
        err(outcome.message);
    return outcome.kind == Kind::Printed || outcome.kind == Kind::Paused ? Done : Failed;
}
