#pragma once

#include "Result.h"

#include <QByteArray>
#include <QDate>
#include <QPageLayout>
#include <QString>

struct ReportDetails;
struct ReportValues;

// Prints the report page on a printer or into a PDF file, with no window involved.
namespace ReportPrinter {

// The document's title, in the PDF file and in the print queue.
inline constexpr const char *DocumentTitle = "Test Report";

// The page as the PDF file and the print service get it: A4 portrait with the margins Qt's PDF
// printer gives it; the logical page spans the area inside the margins.
QPageLayout pageLayout();

// The report page as a whole one-page PDF, made in memory at 1200 dots per inch: vector drawing,
// the fonts embedded, titled "Test Report" and made by "Voltrane Meter <version>". This is what
// the print service gets and what a saved PDF file holds.
QByteArray pdf(const ReportDetails &details, const ReportValues &values);

// The same page into the PDF file `fileName`, written whole or not at all: a file of that name
// that was there is left untouched when writing fails; why not, in words for the operator.
Result<> writePdf(const QString &fileName, const ReportDetails &details,
                  const ReportValues &values);

// The name the report's PDF file is offered under: test-report_<model>_<yyyy-mm-dd>.pdf, with
// every character of the model other than ASCII letters, digits, '.', '_' and '-' replaced by
// '_' (so the name is good on any file system and in any shell) and cut to its first 64
// characters (so that it fits), "energizer" when it is empty.
QString fileName(const QString &model, QDate date);

} // namespace ReportPrinter
