#pragma once

#include "ReportPage.h"

#include <QDialog>

class DataSets;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    // Each page shows the data set that `data` shows at the time; `data` must outlive the dialog.
    explicit PrintDialog(const DataSets &data, QWidget *owner);

    // The details as typed.
    ReportDetails details() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdPrint_Click();
    void offerPdf();
    void savePdf(const QString &fileName);

    const DataSets &m_data;

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
