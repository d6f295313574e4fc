#pragma once

#include "FetchFile.h"
#include "PrintService.h"
#include "RecordPage.h"
#include "RecordStore.h"
#include "Result.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QWidget>

#include <memory>

class ChartView;
class MeterSession;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QProgressDialog;
class QPushButton;
class QSplitter;
class QTableView;
class RecordTableModel;

// The records window, `frmRecords` ("Test Records"): the test records of this computer and the
// kept fetches that have no test yet, in a sortable table, found by a search text (the
// energizer's serial, model or customer, any letter case) and a date range; the trend of the
// selected record's energizer in a panel below the table. Resizable.
//
// - A double click (or Enter) on a row opens its fetch in the main window through the session,
//   with the record's data set shown; a fetch without a test opens there to be printed.
// - "Print Again" and "Save PDF Again" make the selected record's page as it was issued (see
//   RecordPage), on the default printer or into a PDF file, with the print dialog's messages;
//   they add no record. "Export…" writes the rows shown as a CSV file.
// - The window reads the store through a connection of its own on its thread, and never writes
//   to it there: a store that is not there yet is made by the listing of the fetch history on a
//   worker thread (at start, or after a store was set aside). A store that cannot be opened is
//   said in one message, naming the file and why; the window stays empty and says so. A damaged
//   store (or a file that is not a store) may be set aside under a new name; the kept fetches are
//   then listed into a new one on a worker thread, with a progress window past 300 files.
class RecordsWindow : public QWidget
{
    Q_OBJECT

public:
    struct Places
    {
        QString store = RecordStore::defaultPath();
        QString history = FetchFile::historyFolder(); // listed into a store started anew
    };

    // The window opens records in `session`'s main window, `owner`; both must outlive it.
    RecordsWindow(MeterSession &session, Places places, QWidget *owner = nullptr);
    ~RecordsWindow() override;

    // The rows afresh from the store (after a record was made), opening the store first when it
    // is not open. Each showing of the window does this.
    void reload();

    // A failure of RecordStore::open() that setting the file aside mends: a damaged file, or one
    // that is not a store.
    static bool setAsideHelps(const QString &openFailure);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    bool openStore();
    void offerSetAside(const QString &openFailure);
    void setAside();
    void listKeptFetches();
    void listed();
    RecordQuery query() const;
    void filter();
    void showCounts();
    void selectionChanged();
    void showTrend(const QString &energizerSerial);
    void openRow(const QModelIndex &index);
    Result<RecordPage> selectedPage() const;
    void printAgain();
    void printed();
    void offerPdf(const QString &why, const RecordPage &page);
    void savePdfAgain();
    void askPdf(const RecordPage &page);
    void exportCsv();
    void setWaiting(bool waiting);
    void setStatus(const QString &text);

    MeterSession &m_session;
    const Places m_places;
    std::unique_ptr<RecordStore> m_store; // this thread's connection; none when it cannot open
    RecordTableModel *m_model;
    QString m_trendSerial; // folded; the trend shown is this energizer's
    Trend m_trend;
    QFutureWatcher<PrintService::Outcome> m_printing;
    std::optional<RecordPage> m_printingPage;
    bool m_waiting = false; // for the print service's answer, until it is shown
    QFutureWatcher<Result<Listing>> m_listing;
    QPointer<QProgressDialog> m_listingProgress;
    QString m_note; // what happened to the store, said until the window closes
    bool m_shownOnce = false;

    QLineEdit *txtSearch;
    QDateEdit *dtFrom;
    QDateEdit *dtUntil;
    QPushButton *cmdAnyDates;
    QLabel *lblCount;
    QSplitter *splitter;
    QTableView *tblRecords;
    QGroupBox *grpTrend;
    ChartView *chtTrend;
    QLabel *lblTrendSummary;
    QLabel *lblTrendWarning;
    QLabel *lblTrendRule;
    QLabel *lblStatus;
    QPushButton *cmdPrintAgain;
    QPushButton *cmdSavePdfAgain;
    QPushButton *cmdExport;
    QPushButton *cmdClose;
};
