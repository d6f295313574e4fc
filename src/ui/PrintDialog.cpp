#include "PrintDialog.h"

#include "Dialogs.h"
#include "FixedLayout.h"
#include "LimitProfiles.h"
#include "MeasurementJson.h"
#include "ReportPrinter.h"
#include "ScreenReader.h"
#include "Settings.h"

#include <QCheckBox>
#include <QCompleter>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtConcurrent>

using FixedLayout::button;
using FixedLayout::label;
using FixedLayout::place;

PrintDialog::PrintDialog(std::optional<ShownDataSet> shown, IssuedPage page, TestRecorder *recorder,
                         QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_shown(std::move(shown)), m_values(ReportValues::of(m_shown)), m_page(std::move(page)),
      m_recorder(recorder)
{
    setObjectName(QStringLiteral("frmPrint"));
    setWindowTitle(tr("Print"));
    // Two rows more than the first layout, 480 twips each below the date: "Customer / site:" and
    // the limit check.
    setFixedSize(Twips::size(6405, 2325 + 2 * 480));
    FixedLayout::useFace(this);

    cmdClose = place(button(tr("Close"), this), "cmdClose", 4800, 1680, 1335, 375);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    cmdPrint = place(button(tr("P R I N T"), this), "cmdPrint", 4800, 360, 1335, 615);
    connect(cmdPrint, &QPushButton::clicked, this, &PrintDialog::cmdPrint_Click);
    cmdSavePdf = place(button(tr("Save PDF…"), this), "cmdSavePdf", 4800, 1140, 1335, 375);
    connect(cmdSavePdf, &QPushButton::clicked, this, &PrintDialog::askPdf);
    connect(&m_printing, &QFutureWatcher<PrintService::Outcome>::finished, this,
            &PrintDialog::printed);

    Frame1 = place(new QGroupBox(tr("Details:"), this), "Frame1", 240, 120, 4335, 1935 + 2 * 480);
    chkLimitCheck = place(new QCheckBox(tr("Add the limit check to the report"), Frame1),
                          "chkLimitCheck", 240, 2280, 3855, 255);
    chkLimitCheck->setChecked(Settings().flag(Settings::AddLimitCheck));
    connect(chkLimitCheck, &QCheckBox::toggled, this, [](bool on) {
        Settings settings;
        settings.setFlag(Settings::AddLimitCheck, on);
        (void)settings.save(); // a choice not remembered is no loss to the page
    });
    txtCustomer = place(new QLineEdit(Frame1), "txtCustomer", 1920, 1800, 2175, 285);
    txtDate = place(new QLineEdit(Frame1), "txtDate", 1920, 1320, 2175, 285);
    txtEserial = place(new QLineEdit(Frame1), "txtEserial", 1920, 840, 2175, 285);
    txtEmodel = place(new QLineEdit(Frame1), "txtEmodel", 1920, 360, 2175, 285);
    Label4 = place(label(QString(), Frame1), "Label4", 240, 1800, 1575, 255);
    Label3 = place(label(QString(), Frame1), "Label3", 240, 1320, 735, 255);
    Label2 = place(label(QString(), Frame1), "Label2", 240, 840, 1455, 255);
    Label1 = place(label(QString(), Frame1), "Label1", 240, 360, 1575, 255);
    FixedLayout::setFittedCaption(Label4, tr("Customer / site:"));
    FixedLayout::setFittedCaption(Label3, tr("Date:"));
    FixedLayout::setFittedCaption(Label2, tr("Energizer Serial No.:"));
    FixedLayout::setFittedCaption(Label1, tr("Energizer Model No.:"));

    QWidget::setTabOrder(txtEmodel, txtEserial);
    QWidget::setTabOrder(txtEserial, txtDate);
    QWidget::setTabOrder(txtDate, txtCustomer);
    QWidget::setTabOrder(txtCustomer, chkLimitCheck);
    QWidget::setTabOrder(chkLimitCheck, cmdPrint);
    QWidget::setTabOrder(cmdPrint, cmdSavePdf);
    QWidget::setTabOrder(cmdSavePdf, cmdClose);
    describeControls();

    // Every opening starts fresh: empty boxes, today's date, the focus on the model number. The
    // model and serial boxes complete what is typed from the energizers recorded.
    txtDate->setText(ReportPage::dateText(QDate::currentDate()));
    txtEmodel->setFocus();
    if (m_recorder) {
        connect(m_recorder, &TestRecorder::energizerTextsFound, this,
                [this](const EnergizerTexts &texts) {
                    for (const auto &[box, list] :
                         {std::pair(txtEmodel, texts.models), {txtEserial, texts.serials}}) {
                        auto *completer = new QCompleter(list, box);
                        completer->setCaseSensitivity(Qt::CaseInsensitive);
                        box->setCompleter(completer);
                    }
                });
        connect(m_recorder, &TestRecorder::recorded, this, [this](const Result<TestRecord> &made) {
            if (!made)
                Dialogs::showError(
                    this, "recordError", tr("Print"),
                    tr("The test was not recorded. %1").arg(QString::fromStdString(made.error())));
        });
        m_recorder->askEnergizerTexts();
    }
}

void PrintDialog::describeControls()
{
    setAccessibleDescription(tr("Type the energizer's details, then print a test report of the "
                                "data set shown, or save it as a PDF file."));
    ScreenReader::describe({
        {cmdPrint, tr("Print"),
         tr("Prints one A4 report page on the default printer; each press prints another.")},
        {cmdSavePdf, {}, tr("Saves the same report page as a PDF file.")},
        {cmdClose, {}, tr("Closes this dialog.")},
        {txtEmodel, tr("Energizer model number"),
         tr("Printed on the report; offers the models recorded before as you type.")},
        {txtEserial, tr("Energizer serial number"),
         tr("Printed on the report; offers the serial numbers recorded before as you type.")},
        {txtDate, tr("Date"), tr("Printed on the report; today's date to begin with.")},
        {txtCustomer, tr("Customer or site"),
         tr("Kept with the test record to find it by; not printed.")},
        {chkLimitCheck,
         {},
         tr("Adds the indicative limit check against the chosen profile to the report.")},
        {Label1, {}, tr("The caption of the energizer model number box.")},
        {Label2, {}, tr("The caption of the energizer serial number box.")},
        {Label3, {}, tr("The caption of the date box.")},
        {Label4, {}, tr("The caption of the customer or site box.")},
    });
}

IssuedPage PrintDialog::page() const
{
    IssuedPage page = m_page;
    if (chkLimitCheck->isChecked() && m_shown) {
        const LimitProfile profile = chosenProfile();
        page.check = QString::fromUtf8(
            checkJson(profile.name, LimitCheck::check(m_shown->measurement, profile)).toJson());
    }
    page.energizerModel = txtEmodel->text();
    page.energizerSerial = txtEserial->text();
    page.customer = txtCustomer->text();
    page.dateText = txtDate->text();
    return page;
}

void PrintDialog::issued()
{
    if (const IssuedPage now = page(); m_recorder && m_issued.firstTime(now))
        m_recorder->record(now);
}

ReportDetails PrintDialog::details() const
{
    ReportDetails details{txtEmodel->text(), txtEserial->text(), txtDate->text()};
    if (chkLimitCheck->isChecked() && m_shown) {
        const LimitProfile profile = chosenProfile();
        details.limitCheck =
            ReportPage::limitCheckLines(profile, LimitCheck::check(m_shown->measurement, profile));
    }
    return details;
}

LimitProfile PrintDialog::chosenProfile()
{
    const Result<LimitProfile> chosen =
        LimitProfiles::load().find(Settings().text(Settings::CheckProfile));
    return chosen ? *chosen : builtInLimitProfile();
}

void PrintDialog::cmdPrint_Click()
{
    if (m_waiting)
        return;
    setWaiting(true);
    // The print service may be slow to answer, or not answer at all: it is asked on a worker
    // thread, which gets its own copy of what it prints.
    m_printing.setFuture(QtConcurrent::run(&PrintService::printReport, details(), m_values,
                                           std::chrono::seconds(8)));
}

void PrintDialog::setWaiting(bool waiting)
{
    m_waiting = waiting;
    for (QPushButton *b : {cmdPrint, cmdSavePdf, cmdClose})
        b->setEnabled(!waiting);
    setWindowTitle(waiting ? tr("Print - printing…") : tr("Print"));
    if (waiting)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void PrintDialog::printed()
{
    setWaiting(false);
    cmdPrint->setFocus(); // back where it was when pressed
    using Kind = PrintService::Outcome::Kind;
    const PrintService::Outcome outcome = m_printing.result();
    if (outcome.kind == Kind::Printed || outcome.kind == Kind::Paused) // in the queue
        issued();
    if (outcome.kind == Kind::NoPrinter || outcome.kind == Kind::NotRunning)
        offerPdf(outcome.message);
    else if (outcome.kind == Kind::Paused)
        Dialogs::showMessage(this, "printPaused", tr("Print"), outcome.message);
    else if (outcome.kind != Kind::Printed)
        Dialogs::showError(this, "printError", tr("Print"), outcome.message);
}

void PrintDialog::offerPdf(const QString &why)
{
    auto *question = new QMessageBox(QMessageBox::Warning, tr("Print"),
                                     why + ' ' + tr("Save the report as a PDF file instead?"),
                                     QMessageBox::Save | QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("noPrinter"));
    question->setDefaultButton(QMessageBox::Save);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this](int result) {
        if (result == QMessageBox::Save)
            askPdf();
    });
    question->open();
}

// "Save PDF…", and the offer to save when there is no printer: the page that "P R I N T" prints,
// into a file the operator names.
void PrintDialog::askPdf()
{
    Dialogs::askSaveFileName(this, "savePdf", tr("Save Report as PDF"),
                             ReportPrinter::fileName(details().model, QDate::currentDate()),
                             tr("PDF files (*.pdf)"),
                             [this](const QString &fileName) { savePdf(fileName); });
}

void PrintDialog::savePdf(const QString &fileName)
{
    if (const Result<> written = ReportPrinter::writePdf(fileName, details(), m_values); !written)
        Dialogs::showError(this, "printError", tr("Print"),
                           QString::fromStdString(written.error()));
    else
        issued();
}

void PrintDialog::closeEvent(QCloseEvent *event)
{
    // The answer about the page on its way is still to come, and must be shown.
    if (m_waiting)
        event->ignore();
    else
        QDialog::closeEvent(event);
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
