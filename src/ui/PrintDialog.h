#pragma once

#include "PrintService.h"
#include "ReportPage.h"
#include "ReportValues.h"
#include "TestRecorder.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QPointer>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The print details dialog, `frmPrint`: the operator types the energizer's model and serial
// number (the date is filled in) and presses "P R I N T" for each report page wanted, or
// "Save PDF…" to keep the same page as a PDF file. The dialog stays open until "Close".
//
// A page goes to the system's default printer. The print service is asked on a worker thread, so
// the window lives on meanwhile; the dialog shows that it is printing, its buttons wait and it
// cannot be closed until the service has answered (or not, within seconds). When there is no
// printer or no print service, the operator is offered to save the page as a PDF file instead.
// Nothing goes wrong silently: a refused page, a paused printer or a service that does not answer
// is said in a message; the dialog stays open.
//
// A page issued (taken by the printer, a paused one too, or saved as a PDF file) records the
// test of the energizer, once for the same texts; a test that cannot be recorded is said.
class PrintDialog : public QDialog
{
    Q_OBJECT

public:
    // Each page shows `shown`: the data set shown when the dialog opened (none: empty values),
    // of the fetch that `page` names; `recorder` (may be null: nothing recorded) records the
    // tests. "Add the limit check to the report" adds the indicative check against the profile
    // chosen in the settings (the built-in one by default); the choice is remembered.
    PrintDialog(std::optional<ShownDataSet> shown, IssuedPage page, TestRecorder *recorder,
                QWidget *owner);

    // The details as typed.
    ReportDetails details() const;
    // The page as the texts typed make it.
    IssuedPage page() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Names and descriptions for screen readers, where a control's own text does not say enough.
    void describeControls();
    void cmdPrint_Click();
    void printed();
    void offerPdf(const QString &why);
    void askPdf();
    void savePdf(const QString &fileName);
    void setWaiting(bool waiting);
    void issued();
    static LimitProfile chosenProfile();

    const std::optional<ShownDataSet> m_shown;
    const ReportValues m_values;
    const IssuedPage m_page; // the fetch and the data set
    QPointer<TestRecorder> m_recorder;
    IssuedPages m_issued;
    QFutureWatcher<PrintService::Outcome> m_printing;
    bool m_waiting = false; // for the print service's answer, until it is shown

    QPushButton *cmdClose;
    QPushButton *cmdPrint;
    QPushButton *cmdSavePdf;
    QGroupBox *Frame1;
    QLineEdit *txtCustomer;
    QCheckBox *chkLimitCheck;
    QLineEdit *txtDate;
    QLineEdit *txtEserial;
    QLineEdit *txtEmodel;
    QLabel *Label4;
    QLabel *Label3;
    QLabel *Label2;
    QLabel *Label1;
};
