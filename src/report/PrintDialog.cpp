#include "PrintDialog.h"

#include "PrinterSurface.h"
#include "measurement/ReportValues.h"
#include "ui/CaptionFit.h"
#include "ui/FixedLayout.h"
#include "ui/SaveLocation.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStandardPaths>

using FixedLayout::button;
using FixedLayout::label;
using FixedLayout::place;

namespace {

void setUpReportPage(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(false); // the logical page spans the printable area
    printer.setCopyCount(1);
    printer.setDocName(QStringLiteral("Voltrane test report"));
}

} // namespace

PrintDialog::PrintDialog(const ReportValues &values, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      values_(values)
{
    setObjectName(QStringLiteral("frmPrint"));
    setWindowTitle(tr("Print"));
    setFixedSize(Twips::size(6405, 2325));

    cmdClose = place(button(tr("Close"), this), "cmdClose", 4800, 1680, 1335, 375);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    cmdPrint = place(button(tr("P R I N T"), this), "cmdPrint", 4800, 360, 1335, 615);
    connect(cmdPrint, &QPushButton::clicked, this, &PrintDialog::cmdPrint_Click);

    Frame1 = place(new QGroupBox(tr("Details:"), this), "Frame1", 240, 120, 4335, 1935);
    txtDate = place(new QLineEdit(Frame1), "txtDate", 1920, 1320, 2175, 285);
    txtEserial = place(new QLineEdit(Frame1), "txtEserial", 1920, 840, 2175, 285);
    txtEmodel = place(new QLineEdit(Frame1), "txtEmodel", 1920, 360, 2175, 285);
    Label3 = place(label(QString(), Frame1), "Label3", 240, 1320, 735, 255);
    Label2 = place(label(QString(), Frame1), "Label2", 240, 840, 1455, 255);
    Label1 = place(label(QString(), Frame1), "Label1", 240, 360, 1575, 255);
    setFittedCaption(Label3, tr("Date:"));
    setFittedCaption(Label2, tr("Energizer Serial No.:"));
    setFittedCaption(Label1, tr("Energizer Model No.:"));

    QWidget::setTabOrder(txtEmodel, txtEserial);
    QWidget::setTabOrder(txtEserial, txtDate);
    QWidget::setTabOrder(txtDate, cmdPrint);
    QWidget::setTabOrder(cmdPrint, cmdClose);

    // Every opening starts fresh: empty boxes, today's date, the focus on the model number.
    txtDate->setText(reportDate(QDate::currentDate()));
    txtEmodel->setFocus();
}

QString PrintDialog::dateSeparator(const QString &shortDateFormat)
{
    // The first character between two date fields that is not a field letter or a quote.
    bool afterField = false;
    for (const QChar c : shortDateFormat) {
        if (c == u'd' || c == u'M' || c == u'y') {
            afterField = true;
        } else if (afterField && c != u'\'' && !c.isSpace()) {
            return QString(c);
        }
    }
    return QStringLiteral("/");
}

QString PrintDialog::reportDate(QDate date)
{
    const QString separator = dateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat));
    const auto twoDigits = [](int n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    return twoDigits(date.day()) + separator + twoDigits(date.month()) + separator +
           twoDigits(date.year() % 100);
}

ReportDetails PrintDialog::details() const
{
    return {txtEmodel->text(), txtEserial->text(), txtDate->text()};
}

bool PrintDialog::printReport(QPrinter &printer, QString *error) const
{
    setUpReportPage(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = printer.outputFileName().isEmpty()
                     ? tr("The printer \"%1\" could not start the report. Check that it is "
                          "switched on and connected.")
                           .arg(printer.printerName())
                     : tr("The report could not be saved as \"%1\": the file cannot be written "
                          "there. Choose another folder.")
                           .arg(printer.outputFileName());
        return false;
    }
    PrinterSurface page(painter);
    ReportPage::draw(page, details(), values_);
    if (printer.printerState() == QPrinter::Error) {
        printer.abort();
        painter.end();
        *error = tr("Printing the report failed; the job was cancelled. Check the printer, then "
                    "press \"P R I N T\" again.");
        return false;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        *error = tr("The report could not be finished on \"%1\". Check the printer, then press "
                    "\"P R I N T\" again.")
                     .arg(printer.outputFileName().isEmpty() ? printer.printerName()
                                                             : printer.outputFileName());
        return false;
    }
    return true;
}

void PrintDialog::cmdPrint_Click()
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        offerPdf();
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    QString error;
    if (!printReport(printer, &error))
        showFailure(error);
}

void PrintDialog::offerPdf()
{
    auto *question = new QMessageBox(
        QMessageBox::Warning, tr("Print"),
        tr("No printer is installed on this computer. Save the report as a PDF file instead?"),
        QMessageBox::Save | QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("noPrinter"));
    question->setDefaultButton(QMessageBox::Save);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this](int result) {
        if (result != QMessageBox::Save)
            return;
        const QString folder = documentsFolder();
        const QString name =
            details().serial.trimmed().isEmpty()
                ? QStringLiteral("test-report.pdf")
                : QStringLiteral("test-report-%1.pdf").arg(details().serial.trimmed());
        auto *files = new QFileDialog(this, tr("Save Report as PDF"), folder + u'/' + name,
                                      tr("PDF files (*.pdf)"));
        files->setObjectName(QStringLiteral("savePdf"));
        files->setAcceptMode(QFileDialog::AcceptSave);
        files->setDefaultSuffix(QStringLiteral("pdf"));
        files->setAttribute(Qt::WA_DeleteOnClose);
        connect(files, &QFileDialog::fileSelected, this, &PrintDialog::savePdf);
        files->open();
    });
    question->open();
}

void PrintDialog::savePdf(const QString &fileName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    QString error;
    if (!printReport(printer, &error))
        showFailure(error);
}

void PrintDialog::showFailure(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Critical, tr("Print"), message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("printError"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void PrintDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close the dialog; only "Close" (or the title bar) does.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
