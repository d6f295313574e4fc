#pragma once

#include "DataSets.h"
#include "ValueTexts.h"

#include <QWidget>

#include <array>
#include <memory>

class FetchProgress;
class MeterSession;
class TestRecorder;
class PortComboBox;
struct FetchOutcome;
class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class RecordsWindow;
class RetainedCanvas;
class TeamSharing;
class WaveformWindow;

// The main window, `frmMain`: port choice, fetch, data-set choice, the values and the waveform
// of the data set shown, and the print button. Controls sit at fixed positions; the window
// cannot be resized. It is a view of a meter session: it shows what the session holds and asks
// it to open the port, fetch, show a data set, open and save fetch files.
//
// Port states: closed (the port frame usable, "Fetch Data" greyed out) until "Set Port" opens
// the port; open until the program ends or the line fails, which closes the port, tells the
// operator and returns to the closed state.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // The window works the meter through `session`, which must outlive it; `recorder` (may be
    // null: nothing is recorded) keeps the test of every report page issued.
    explicit MainWindow(MeterSession &session, TestRecorder *recorder = nullptr,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // The program's icon, drawn for 16 to 64 pixels; the program gives it to every window.
    static QIcon programIcon();

    // Opens a kept fetch (a .vmfetch file) as if it had just been fetched, with the file's name in
    // the window's caption. A file that cannot be read is reported and the window keeps what it
    // showed; while a fetch runs, nothing is opened.
    void openFetch(const QString &path);

    // Takes the kept fetches of the history that the test records do not know yet into them (at
    // start), on the recorder's thread; with more than a few hundred, a progress window with
    // Cancel (a cancelled listing goes on at the next start).
    void listKeptFetches();

    // Shares through `sharing` (must outlive the window): each test recorded is sent to the team
    // server, the records window shows the team's records and shares when asked, and a failure to
    // share is said once, in a notice (teamNotice()).
    void setTeamSharing(TeamSharing *sharing);
    // Says trouble with the team's records in a box that blocks no window, `teamNotice`, once
    // the fetch running (if any) has ended: a fetch is never held up by it.
    void teamNotice(const QString &message);

signals:
    // The window has been painted for the first time: what the first paint does not need (the
    // records' listing, the first share) can start without holding it up.
    void firstPainted();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void setKeyboardOrder();
    // Names and descriptions for screen readers, where a control's own text does not say enough.
    void describeControls();
    void connectSession();

    // Shows data set `index` (0 = data set 1): the value labels, the waveform and what is printed
    // and exported change together. When its record is not valid, the labels show their first
    // captions, the waveform area says why, and there is nothing to print or export.
    void ShowData(int index);
    // Draws the samples of the data set shown on the cleared waveform area.
    void Plot();

    void cmdSetPort_Click();
    void cmdFetch_Click();
    void cmdPrint_Click();
    void fetchStarted();
    void fetchEnded(const FetchOutcome &outcome);
    void showMeterTexts();
    void setValueCaptions(const ValueTexts::LabelTexts &texts);
    void showChosenDataSet();
    void portFailed(const QString &message);
    void setFetchActionsEnabled(bool enabled);
    void askOpenFetch();
    // Fills "Recent Fetches" with the files there are of those remembered; greyed when none is,
    // or while nothing may be opened.
    void updateRecentFetches();
    void addRecentFetch(const QString &path);
    void saveFetchAs();
    void exportDataSet();
    void saveWaveformImage();
    void examineWaveform();
    void showRecords();
    void showTeamNotice();

    MeterSession &m_session;
    TestRecorder *m_recorder;
    bool m_painted = false;
    std::unique_ptr<FetchProgress> frmFetch; // a window of its own, owned by no window
    WaveformWindow *frmWaveform = nullptr;   // made when first opened, then kept
    RecordsWindow *frmRecords = nullptr;     // a window of its own, made when first asked for
    TeamSharing *m_sharing = nullptr;
    QString m_teamNotice;  // to be said once the fetch has ended
    QString m_openingPath; // the file openFetch() is reading: a recent fetch once it opens

    QPushButton *cmdClose;
    QGroupBox *FrameUtility;
    QPushButton *cmdPrint;
    std::array<QRadioButton *, DataSets::Count> optData;
    QButtonGroup *optDataGroup;
    QGroupBox *Frame1;
    RetainedCanvas *pic;
    QAction *actOpenFetch; // context menu of the waveform area
    QMenu *menuRecent;     // "Recent Fetches", filled each time the context menu opens
    QAction *actSaveFetch; // usable once there is a fetch
    QAction *actExportCsv; // usable once a data set is shown
    QAction *actSaveImage;
    QAction *actExamine; // usable once a data set is shown; so is a double click on pic
    QAction *actRecords; // the records window, also by Ctrl+R
    QLabel *lblSN;
    QLabel *lblModel;
    QLabel *lblInterval;
    QLabel *lblPulseWidth;
    QLabel *lblVoltage;
    QLabel *lblEnergy;
    QLabel *lblLoad;
    QGroupBox *FrameFetch;
    QPushButton *cmdFetch;
    QGroupBox *FrameSet;
    QPushButton *cmdSetPort;
    PortComboBox *cmbPort;
    QLabel *Label1;
    QLabel *Image1;
    QLabel *Label6;
};
