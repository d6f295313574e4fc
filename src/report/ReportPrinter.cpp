#include "ReportPrinter.h"

#include "PrinterSurface.h"
#include "ReportPage.h"

#include <QFile>
#include <QObject>
#include <QPainter>
#include <QPrinter>

namespace {

// Qt's PDF writer does not notice a write that fails (a full disk): a whole PDF file ends with
// its "%%EOF" line.
bool isWholePdf(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.size() > 16 && file.seek(file.size() - 16) &&
           file.read(16).contains("%%EOF");
}

} // namespace

namespace ReportPrinter {

bool print(QPrinter &printer, const ReportDetails &details, const ReportValues &values,
           QString *error)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(false); // the logical page spans the printable area
    printer.setCopyCount(1);
    printer.setDocName(QStringLiteral("Voltrane test report"));

    const bool toFile = !printer.outputFileName().isEmpty();
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = toFile ? QObject::tr("The report could not be saved as \"%1\": the file cannot "
                                      "be written there. Choose another folder.")
                              .arg(printer.outputFileName())
                        : QObject::tr("The printer \"%1\" could not start the report. Check "
                                      "that it is switched on and connected.")
                              .arg(printer.printerName());
        return false;
    }
    PrinterSurface page(painter);
    ReportPage::draw(page, details, values);
    if (printer.printerState() == QPrinter::Error) {
        printer.abort();
        painter.end();
        *error = QObject::tr("Printing the report failed; the job was cancelled. Check the "
                             "printer, then press \"P R I N T\" again.");
        return false;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        *error = QObject::tr("The report could not be finished on \"%1\". Check the printer, "
                             "then press \"P R I N T\" again.")
                     .arg(toFile ? printer.outputFileName() : printer.printerName());
        return false;
    }
    if (toFile && !isWholePdf(printer.outputFileName())) {
        *error = QObject::tr("The report could not be saved whole as \"%1\" (is the disk full?). "
                             "Choose another folder.")
                     .arg(printer.outputFileName());
        return false;
    }
    return true;
}

bool writePdf(const QString &fileName, const ReportDetails &details, const ReportValues &values,
              QString *error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    return print(printer, details, values, error);
}

} // namespace ReportPrinter
