#pragma once

#include <QString>

class QPrinter;
struct ReportDetails;
struct ReportValues;

// Prints the report page on a printer or into a PDF file, with no window involved.
namespace ReportPrinter {

// Sets `printer` up for the report (A4 portrait, one copy, the logical page on the printable
// area), draws the page and ends the job. False, with the reason in words for the operator, on
// failure; a failed job is aborted, so nothing half-drawn is printed.
bool print(QPrinter &printer, const ReportDetails &details, const ReportValues &values,
           QString *error);

// The same page into the PDF file `fileName`; a file that could not be written whole (a full
// disk) is a failure too.
bool writePdf(const QString &fileName, const ReportDetails &details, const ReportValues &values,
              QString *error);

} // namespace ReportPrinter
