#pragma once

#include "FetchFile.h"
#include "PrintService.h"
#include "RecordPage.h"
#include "RecordStore.h"
#include "Result.h"
#include "Settings.h"
#include "TeamServer.h"

#include <QFutureWatcher>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

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
class TeamReader;
class TeamSharing;
struct ShareReport;

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
//
// With the program's TeamSharing (`sharing`, may be null: no team controls):
// - "Team Server…" sets the team's server in the settings (TeamServerDialog) and shares with it
//   from then on; "Share Now" shares the records not yet on it. A status line says how the last
//   share went: "… sent 3, pending 0." or its failure, once.
// - With a server set, each search also searches the team's records, on a worker thread
//   (TeamReader), and shows them beside this computer's, with the Technician column: the
//   records only the server holds too, nothing of them copied into this computer's store. The
//   trend takes the team's records as well. When the server cannot be reached, or fails, this
//   computer's records stay, and a line says that the team's records cannot be reached, and why;
//   they are tried again at "Share Now", after a share that worked, and when the window is shown
//   or reloaded.
//   A team record opens, prints and saves again as this computer's do, its fetch read from the
//   server. Nothing of this waits for the server; its failures are never a box while a fetch
//   runs.
class RecordsWindow : public QWidget
{
    Q_OBJECT

public:
    struct Places
    {
        QString store = RecordStore::defaultPath();
        QString history = FetchFile::historyFolder(); // listed into a store started anew
        QString settings = Settings::defaultPath();   // where "Team Server…" keeps the server
    };

    // The window opens records in `session`'s main window, `owner`; both must outlive it, and
    // so must `sharing`.
    RecordsWindow(MeterSession &session, Places places, QWidget *owner = nullptr,
                  TeamSharing *sharing = nullptr);
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
    // Names and descriptions for screen readers, where a control's own text does not say enough.
    void describeControls();
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
    void applyTrend(Trend trend);
    void openRow(const QModelIndex &index);
    void openRecord(const TestRecord &record);
    void raiseMain();
    // Gives `then` the record `id` with its fetch file: from this computer's store, or from the
    // team's (later); says why not in a box named `name`.
    void withRecord(const QString &id, const char *name, const QString &title,
                    std::function<void(const TestRecord &)> then);
    void withSelectedPage(std::function<void(const RecordPage &)> then);
    void printAgain();
    void printed();
    void offerPdf(const QString &why, const RecordPage &page);
    void savePdfAgain();
    void askPdf(const RecordPage &page);
    void exportCsv();
    void setWaiting(bool waiting);
    void setStatus(const QString &text);
    void sayFailure(const char *name, const QString &title, const QString &message);
    bool showLocal();
    QString currentId() const;
    void makeCurrent(const QString &id);

    std::optional<TeamServer> teamServer() const;
    void askTeam();
    void teamFound(int ticket, const Result<QList<TestRecord>> &records);
    void teamTrendFound(int ticket, const Result<Trend> &trend);
    void teamRecordRead(int ticket, const Result<TestRecord> &record);
    void teamUnreachable(const std::string &why);
    void retryTeam();
    void showSharing();
    void shared(const ShareReport &report);
    void shareFailed(const QString &message);
    void shareNow();
    void askTeamServer();
    void serverChanged();

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

    TeamSharing *m_sharing;
    TeamReader *m_reader = nullptr; // with m_sharing
    int m_findTicket = 0;           // the team search whose answer is awaited
    int m_trendTicket = 0;
    struct RecordAsk
    {
        const char *name;
        QString title;
        std::function<void(const TestRecord &)> then;
    };
    QHash<int, RecordAsk> m_recordAsks;     // team records asked for, by ticket
    std::optional<RecordQuery> m_teamQuery; // what the team's records of m_teamRows answer
    QList<TestRecord> m_teamRows;
    QSet<QString> m_teamOnly; // rows shown from the team's records only
    bool m_teamFailed = false;

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
    QLabel *lblTeam;    // what the team's records add, or why they cannot
    QLabel *lblSharing; // how the last share went
    QPushButton *cmdTeamServer;
    QPushButton *cmdShareNow;
    QPushButton *cmdPrintAgain;
    QPushButton *cmdSavePdfAgain;
    QPushButton *cmdExport;
    QPushButton *cmdClose;
};
