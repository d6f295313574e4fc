#pragma once

#include "ReportPage.h"

#include <QDate>
#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
struct ReportValues;

// The print details dialog, `frmPrint`: the operator types the energizer's model and serial
// number (the date is filled in) and presses "P R I N T" for each report page wanted. The
// dialog stays open until "Close".
//
// A page goes to the system's default printer. When there is no printer, the operator is offered
// to save the page as a PDF file instead. A failure is never silent: the job is aborted and a
// message says what went wrong; the dialog stays open.
class PrintDialog : public QDialog
{
    Q_OBJECT

public:
    // `values` is read when a page is printed; it must outlive the dialog.
    explicit PrintDialog(const ReportValues &values, QWidget *owner);

    // Today's date as "dd/mm/yy", with the separator of the operator's regional settings.
    static QString reportDate(QDate date);
    // The separator of a short date format ("dd.MM.yy" gives "."); a slash where none is found.
    static QString dateSeparator(const QString &shortDateFormat);

    // The details as typed.
    ReportDetails details() const;
    // Draws the report page on `printer` and ends the job. False, with the reason, on failure; a
    // failed job is aborted, so nothing half-drawn is printed.
    bool printReport(QPrinter &printer, QString *error) const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdPrint_Click();
    void offerPdf();
    void savePdf(const QString &fileName);
    void showFailure(const QString &message);

    const ReportValues &values_;

    QPushButton *cmdClose;
    QPushButton *cmdPrint;
    QGroupBox *Frame1;
    QLineEdit *txtDate;
    QLineEdit *txtEserial;
    QLineEdit *txtEmodel;
    QLabel *Label3;
    QLabel *Label2;
    QLabel *Label1;
};
