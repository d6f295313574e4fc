#include "PrintDialog.h"

#include "DataSets.h"
#include "Dialogs.h"
#include "FixedLayout.h"
#include "ReportPrinter.h"
#include "ReportValues.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>

using FixedLayout::button;
using FixedLayout::label;
using FixedLayout::place;

PrintDialog::PrintDialog(const DataSets &data, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_data(data)
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
    FixedLayout::setFittedCaption(Label3, tr("Date:"));
    FixedLayout::setFittedCaption(Label2, tr("Energizer Serial No.:"));
    FixedLayout::setFittedCaption(Label1, tr("Energizer Model No.:"));

    QWidget::setTabOrder(txtEmodel, txtEserial);
    QWidget::setTabOrder(txtEserial, txtDate);
    QWidget::setTabOrder(txtDate, cmdPrint);
    QWidget::setTabOrder(cmdPrint, cmdClose);

    // Every opening starts fresh: empty boxes, today's date, the focus on the model number.
    txtDate->setText(ReportPage::dateText(QDate::currentDate()));
    txtEmodel->setFocus();
}

ReportDetails PrintDialog::details() const
{
    return {txtEmodel->text(), txtEserial->text(), txtDate->text()};
}

void PrintDialog::cmdPrint_Click()
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        offerPdf();
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    QString error;
    if (!ReportPrinter::print(printer, details(), ReportValues::of(m_data.shown()), &error))
        Dialogs::showError(this, "printError", tr("Print"), error);
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
        const QString serial = details().serial.trimmed();
        Dialogs::askSaveFileName(
            this, "savePdf", tr("Save Report as PDF"),
            serial.isEmpty() ? QStringLiteral("test-report.pdf")
                             : QStringLiteral("test-report-%1.pdf").arg(serial),
            tr("PDF files (*.pdf)"), [this](const QString &fileName) { savePdf(fileName); });
    });
    question->open();
}

void PrintDialog::savePdf(const QString &fileName)
{
    QString error;
    if (!ReportPrinter::writePdf(fileName, details(), ReportValues::of(m_data.shown()), &error))
        Dialogs::showError(this, "printError", tr("Print"), error);
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
