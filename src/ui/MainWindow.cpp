#include "MainWindow.h"
#include "CompiledPictures.h"

#include "DataSetCsv.h"
#include "Dialogs.h"
#include "FetchProgress.h"
#include "FileSave.h"
#include "FixedLayout.h"
#include "MeterSession.h"
#include "PortComboBox.h"
#include "PrintDialog.h"
#include "RecordsWindow.h"
#include "Remembered.h"
#include "ReportValues.h"
#include "RetainedCanvas.h"
#include "ScreenReader.h"
#include "TeamSharing.h"
#include "TestRecorder.h"
#include "ValueTexts.h"
#include "WaveformPlot.h"
#include "WaveformWindow.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPixmapCache>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

using FixedLayout::button;
using FixedLayout::label;
using FixedLayout::place;

namespace {

const QString PlainTitle = QStringLiteral("Voltrane Meter - PC Utility");

// A PNG of the program's resources, read as the PNG it is: left to guess the format, Qt loads
// every image-format plugin to ask it first.
QPixmap resourcePng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// The digits of `value` as Qt's pixmap cache keys spell them: a byte at a time from the lowest,
// each low nibble first.
template <typename T> QString cacheKeyDigits(T value)
{
    QString digits;
    const auto *byte = reinterpret_cast<const unsigned char *>(&value);
    for (std::size_t i = 0; i < sizeof(T); ++i, ++byte) {
        digits += QLatin1Char("0123456789abcdef"[*byte & 0xf]);
        digits += QLatin1Char("0123456789abcdef"[*byte >> 4]);
    }
    return digits;
}

// Qt's Fusion style draws each group box's frame from a PNG of its own that it reads without
// naming the format, and so loads every image-format plugin (JPEG among them) at the first paint
// to ask it. The picture goes into the pixmap cache first, as the pixels compiled in, under the key
// QPixmap::load() looks for: "qt_pixmap", the path, its time and size and the pixmap kind (0) in
// those digits. Should another Qt spell the key otherwise, the style reads the picture as before.
void cacheGroupBoxFrame()
{
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        return;
    const QFileInfo frame(
        QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"));
    const QString key = QLatin1String("qt_pixmap") + frame.absoluteFilePath() +
                        cacheKeyDigits(quint32(frame.lastModified().toSecsSinceEpoch())) +
                        cacheKeyDigits(quint64(frame.size())) + cacheKeyDigits(quint32(0));
    if (QPixmap cached; frame.exists() && !QPixmapCache::find(key, &cached))
        QPixmapCache::insert(key, QPixmap::fromImage(CompiledPictures::groupBoxFrame.image()));
}

void setCaption(QLabel *label, const std::string &utf8)
{
    FixedLayout::setFittedCaption(label, QString::fromStdString(utf8));
}

} // namespace

MainWindow::MainWindow(MeterSession &session, TestRecorder *recorder, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_session(session), m_recorder(recorder)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(PlainTitle);
    setAcceptDrops(true); // a kept fetch dropped on the window opens
    setFixedSize(Twips::size(12240, 6510));
    FixedLayout::useFace(this);
    cacheGroupBoxFrame();

    createControls();
    setKeyboardOrder();
    describeControls();
    connectSession();

    // Prepared once, before the window is first shown: scale, axis lines, captions.
    WaveformPlot::prepareWaveformArea(*pic);
    updateRecentFetches();
    cmbPort->setFocus();

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() = default;

bool MainWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        // Once this paint is on the screen, not in the middle of it.
        QMetaObject::invokeMethod(this, &MainWindow::firstPainted, Qt::QueuedConnection);
    }
    return handled;
}

QIcon MainWindow::programIcon()
{
    // The sizes title bars, task bars and window switchers draw; the desktop's menus and software
    // centres take the larger ones from the installed icon theme.
    QIcon icon;
    for (const int size : {16, 32, 48, 64})
        icon.addPixmap(resourcePng(QStringLiteral(":/icons/voltrane-%1.png").arg(size)));
    return icon;
}

void MainWindow::createControls()
{
    cmdClose = place(button(tr("Close"), this), "cmdClose", 10680, 5880, 1335, 375);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    FrameUtility = place(new QGroupBox(tr("Utility"), this), "FrameUtility", 120, 2520, 2055, 3135);
    cmdPrint = place(button(tr("Print"), FrameUtility), "cmdPrint", 240, 2400, 1335, 375);
    optDataGroup = new QButtonGroup(this);
    optDataGroup->setObjectName(QStringLiteral("optDataGroup"));
    // One group of four, all named optData; the member number is the button's id in the group
    // and its "index" property. Created from the last to the first, as they are stacked.
    for (int k = DataSets::Count - 1; k >= 0; --k) {
        optData[k] = place(new QRadioButton(tr("Data %1").arg(k + 1), FrameUtility), "optData", 240,
                           360 + 480 * k, 1455, 255);
        optData[k]->setProperty("index", k);
        optDataGroup->addButton(optData[k], k);
    }
    optData[0]->setChecked(true);
    cmdPrint->setEnabled(false); // until a data set is shown
    connect(cmdPrint, &QPushButton::clicked, this, &MainWindow::cmdPrint_Click);
    connect(optDataGroup, &QButtonGroup::idClicked, this, &MainWindow::ShowData);

    Frame1 = place(new QGroupBox(this), "Frame1", 2280, 120, 9735, 5535);
    pic = place(new RetainedCanvas(Frame1), "pic", 240, 240, 9255, 4455);
    pic->setFocusPolicy(Qt::TabFocus);
    // Kept fetches and getting the data out: a right click on the waveform.
    const auto action = [this](const QString &text, const char *name) {
        auto *a = new QAction(text, pic);
        a->setObjectName(QLatin1String(name));
        a->setShortcutContext(Qt::WindowShortcut);
        pic->addAction(a);
        return a;
    };
    actOpenFetch = action(tr("Open Saved Fetch…"), "actOpenFetch");
    actOpenFetch->setShortcut(QKeySequence::Open);
    menuRecent = new QMenu(tr("Recent Fetches"), pic);
    menuRecent->setObjectName(QStringLiteral("menuRecent"));
    menuRecent->menuAction()->setObjectName(QStringLiteral("actRecent"));
    menuRecent->setToolTipsVisible(true); // each entry's tooltip is its path
    pic->addAction(menuRecent->menuAction());
    pic->installEventFilter(this); // the entries are looked at as the menu opens
    actSaveFetch = action(tr("Save Fetch As…"), "actSaveFetch");
    actSaveFetch->setShortcut(QKeySequence::Save);
    actExportCsv = action(tr("Export Data Set as CSV…"), "actExportCsv");
    actSaveImage = action(tr("Save Waveform Image…"), "actSaveImage");
    actExamine = action(tr("Examine Waveform…"), "actExamine");
    actRecords = action(tr("Test Records…"), "actRecords");
    actRecords->setShortcut(Qt::CTRL | Qt::Key_R);
    for (QAction *a : {actSaveFetch, actExportCsv, actSaveImage, actExamine})
        a->setEnabled(false);
    pic->setContextMenuPolicy(Qt::ActionsContextMenu);
    pic->setToolTip(tr("Double-click to examine the waveform. Right-click for more: open or save "
                       "a fetch, export the data set as CSV, save the waveform as a picture."));
    connect(actOpenFetch, &QAction::triggered, this, &MainWindow::askOpenFetch);
    connect(actSaveFetch, &QAction::triggered, this, &MainWindow::saveFetchAs);
    connect(actExportCsv, &QAction::triggered, this, &MainWindow::exportDataSet);
    connect(actSaveImage, &QAction::triggered, this, &MainWindow::saveWaveformImage);
    connect(actExamine, &QAction::triggered, this, &MainWindow::examineWaveform);
    connect(pic, &RetainedCanvas::doubleClicked, this, &MainWindow::examineWaveform);
    connect(actRecords, &QAction::triggered, this, &MainWindow::showRecords);
    const auto meterCaption = [](const std::string &utf8) { return QString::fromStdString(utf8); };
    lblSN = place(label(meterCaption(ValueTexts::serialCaption(std::nullopt)), Frame1), "lblSN",
                  6840, 5160, 2055, 255);
    lblModel = place(label(meterCaption(ValueTexts::modelCaption(std::nullopt)), Frame1),
                     "lblModel", 6840, 4800, 1935, 255);
    lblInterval = place(label({}, Frame1), "lblInterval", 2280, 4800, 1695, 255);
    lblPulseWidth = place(label({}, Frame1), "lblPulseWidth", 2280, 5160, 1695, 255);
    lblVoltage = place(label({}, Frame1), "lblVoltage", 240, 4800, 1695, 255);
    lblEnergy = place(label({}, Frame1), "lblEnergy", 240, 5160, 1935, 255);
    lblLoad = place(label({}, Frame1), "lblLoad", 4680, 5160, 1935, 255);
    setValueCaptions(ValueTexts::InitialLabelTexts);

    FrameFetch =
        place(new QGroupBox(tr("Get Data from Device"), this), "FrameFetch", 120, 1440, 2055, 975);
    FrameFetch->setEnabled(false);
    cmdFetch = place(button(tr("Fetch Data"), FrameFetch), "cmdFetch", 360, 360, 1215, 375);
    connect(cmdFetch, &QPushButton::clicked, this, &MainWindow::cmdFetch_Click);

    FrameSet = place(new QGroupBox(tr("Set Port"), this), "FrameSet", 120, 120, 2055, 1215);
    cmdSetPort = place(button(tr("Set Port"), FrameSet), "cmdSetPort", 360, 720, 1215, 375);
    connect(cmdSetPort, &QPushButton::clicked, this, &MainWindow::cmdSetPort_Click);
    cmbPort = place(new PortComboBox(FrameSet), "cmbPort", 360, 240, 1215, 315);

    Label1 = place(label(tr("Developed by: Brindlecove"), this), "Label1", 120, 6240, 3015, 255);
    Image1 = place(new QLabel(this), "Image1", 120, 5640, 705, 540);
    // A screen scaled by two gets the sharper logo@2x.png.
    const bool sharp = devicePixelRatioF() > 1;
    const qreal ratio = sharp ? 2 : 1;
    QPixmap logo =
        QPixmap::fromImage((sharp ? CompiledPictures::logo2x : CompiledPictures::logo).image())
            .scaled(Image1->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    logo.setDevicePixelRatio(ratio);
    Image1->setPixmap(logo);
    Image1->setScaledContents(true);
    Label6 = place(label(tr("Quillmarsh, Fenhollow"), this), "Label6", 960, 5760, 4095, 375);
    Label6->setFont(FixedLayout::boldSansSerif(13.5));
}

void MainWindow::setKeyboardOrder()
{
    QWidget *const order[] = {cmbPort,    cmdSetPort, cmdFetch, optData[0], optData[1],
                              optData[2], optData[3], cmdPrint, pic,        cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainWindow::describeControls()
{
    setAccessibleDescription(tr("Fetches the four data sets from the meter, shows the one chosen "
                                "as values and as a waveform, and prints its test report."));
    ScreenReader::describe({
        {cmbPort, tr("Port"),
         tr("The meter's serial port, COM 1 to COM 255: choose it in the list or type it as the "
            "list names it, then press Set Port.")},
        {cmbPort->lineEdit(), tr("Port"), tr("Type the port as the list names it, such as COM 3.")},
        {FrameSet, {}, tr("Choosing the meter's port.")},
        {cmdSetPort, {}, tr("Opens the port chosen, so that the meter can be read.")},
        {FrameFetch, {}, tr("Reading the meter, once its port is open.")},
        {cmdFetch,
         {},
         tr("Reads the meter's model and serial number and its four data sets; this takes about "
            "six seconds.")},
        {FrameUtility, {}, tr("The data set to show, and printing its test report.")},
        {cmdPrint, {}, tr("Opens the print dialog for a test report of the data set shown.")},
        {Frame1, tr("Data set shown"),
         tr("The waveform and the values of the data set shown, and the meter's model and serial "
            "number.")},
        {pic, tr("Waveform"), WaveformPlot::description(std::nullopt, {})},
        {lblVoltage, {}, tr("Peak voltage of the data set shown.")},
        {lblEnergy, {}, tr("Pulse energy of the data set shown.")},
        {lblInterval, {}, tr("Time between pulses of the data set shown.")},
        {lblPulseWidth, {}, tr("Pulse width of the data set shown.")},
        {lblLoad, {}, tr("Load of the data set shown.")},
        {lblModel, {}, tr("The meter's model number.")},
        {lblSN, {}, tr("The meter's serial number.")},
        {cmdClose, {}, tr("Closes the program.")},
        {Image1, tr("Logo"), tr("The developer's logo.")},
    });
    for (int k = 0; k < DataSets::Count; ++k)
        optData[k]->setAccessibleDescription(tr("Shows data set %1.").arg(k + 1));
}

void MainWindow::connectSession()
{
    connect(&m_session, &MeterSession::portFailed, this, [this](const QString &message) {
        portFailed(message + ' ' +
                   tr("Check the cable and the meter, then press \"Set Port\" to open the port "
                      "again."));
    });
    connect(&m_session, &MeterSession::openFailed, this, [this](const QString &message) {
        m_openingPath.clear();
        Dialogs::showError(this, "openError", tr("Open Saved Fetch"), message);
    });
    connect(&m_session, &MeterSession::meterTextsChanged, this, &MainWindow::showMeterTexts);
    connect(&m_session, &MeterSession::shownChanged, this, &MainWindow::showChosenDataSet);
    connect(&m_session, &MeterSession::fetchStarted, this, &MainWindow::fetchStarted);
    connect(&m_session, &MeterSession::fetchEnded, this, &MainWindow::fetchEnded);
    connect(&m_session, &MeterSession::fetchKept, this, [this](const Result<QString> &kept) {
        if (!kept)
            Dialogs::showError(this, "fetchNotKept", tr("Fetch not kept"),
                               QString::fromStdString(kept.error()));
    });
    connect(&m_session, &MeterSession::fileOpened, this, [this](const QString &path) {
        // A file the operator opened (not a test record's fetch) is a recent one.
        if (!m_openingPath.isEmpty() && path == m_openingPath)
            addRecentFetch(path);
        m_openingPath.clear();
        optData[m_session.shown() ? m_session.shown()->index : 0]->setChecked(true);
        setWindowTitle(PlainTitle + QStringLiteral(" - ") + m_session.fileName());
        setFetchActionsEnabled(true);
    });
}

void MainWindow::cmdSetPort_Click()
{
    const QString typed = cmbPort->currentText().trimmed();
    if (cmbPort->portNumber() == 0 && !typed.isEmpty()) {
        Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"),
                           tr("\"%1\" is not one of the ports \"COM 1\" to \"COM 255\". Choose "
                              "one from the list (or type it as the list names it), then press "
                              "\"Set Port\".")
                               .arg(typed));
        return;
    }
    const Result<PortChoice> port = PortChoice::ofEntry(cmbPort->portNumber());
    const Result<> opened = port ? m_session.openPort(*port) : Result<>(failure(port.error()));
    if (!opened) {
        Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"),
                           QString::fromStdString(opened.error()));
        return;
    }
    FrameFetch->setEnabled(true);
    FrameSet->setEnabled(false);
}

void MainWindow::cmdFetch_Click()
{
    m_session.startFetch();
}

void MainWindow::fetchStarted()
{
    // One fetch at a time on the port; the data-set choice stays usable meanwhile. A clean
    // display: the session holds nothing of an earlier fetch (maybe another meter's).
    cmdFetch->setEnabled(false);
    const QString port = m_session.port().name();
    Settings().setText(QString::fromLatin1(Settings::LastPort), port);
    cmbPort->setLastUsed(port);
    setWindowTitle(PlainTitle);
    setFetchActionsEnabled(false);
    if (!frmFetch)
        frmFetch = std::make_unique<FetchProgress>();
    frmFetch->showCentred();
}

void MainWindow::fetchEnded(const FetchOutcome &outcome)
{
    if (frmFetch)
        frmFetch->hide();
    showTeamNotice();
    cmdFetch->setEnabled(true);
    setFetchActionsEnabled(true);
    if (outcome.whole())
        optData[0]->setChecked(true);
    using Kind = FetchOutcome::Kind;
    switch (outcome.kind) {
    case Kind::Complete:
    case Kind::CutByPort:   // the port's failure is said by portFailed()
    case Kind::Interrupted: // the window does not interrupt a fetch
        break;
    case Kind::NothingReceived:
        // Most likely the wrong port or a meter switched off: let the operator choose again.
        m_session.closePort();
        portFailed(outcome.message + ' ' + tr("Choose its port and press \"Set Port\" again."));
        break;
    case Kind::SomeUnreadable: // the meter's data, not the program, failed
        Dialogs::showWarning(this, "fetchError", tr("Fetch Data"),
                             outcome.message + '\n' + outcome.unreadable.join('\n'));
        break;
    case Kind::MeterTooLate:
        Dialogs::showError(this, "fetchError", tr("Fetch Data"),
                           outcome.message + ' ' +
                               tr("Check the meter and its cable, then press \"Fetch Data\" "
                                  "again."));
        break;
    }
}

void MainWindow::cmdPrint_Click()
{
    // A fresh dialog each time: empty boxes and today's date. Modal over this window; it prints
    // the data set shown now.
    IssuedPage page;
    page.fetchFile = m_session.fileBytes();
    page.keptPath = m_session.keptPath();
    page.dataSet = m_session.shown() ? m_session.shown()->index + 1 : 1;
    auto *frmPrint = new PrintDialog(m_session.shown(), page, m_recorder, this);
    frmPrint->setAttribute(Qt::WA_DeleteOnClose);
    frmPrint->open();
}

void MainWindow::setFetchActionsEnabled(bool enabled)
{
    // While a fetch runs nothing is opened (menu, shortcut or drop), and it is not saved half-way.
    actOpenFetch->setEnabled(enabled);
    actSaveFetch->setEnabled(enabled && m_session.canSave()); // kept or opened
    updateRecentFetches();
}

void MainWindow::askOpenFetch()
{
    Dialogs::askOpenFileName(this, "openFetch", tr("Open Saved Fetch"), FetchFile::historyFolder(),
                             tr("Voltrane fetches (*.vmfetch)"),
                             [this](const QString &fileName) { openFetch(fileName); });
}

void MainWindow::openFetch(const QString &path)
{
    // Read on a worker thread: a file on a slow disk, or a FIFO named like a fetch, never holds
    // up the window.
    if (!m_session.isFetching() && !m_session.isOpening())
        m_openingPath = path;
    m_session.openFileInBackground(path);
}

void MainWindow::updateRecentFetches()
{
    menuRecent->clear();
    const QStringList recent = Remembered::recentFetches(Settings());
    for (int k = 0; k < recent.size(); ++k) {
        const QString name = QFileInfo(recent[k]).fileName().replace(u'&', QStringLiteral("&&"));
        QAction *entry = menuRecent->addAction(QStringLiteral("&%1 %2").arg(k + 1).arg(name));
        entry->setToolTip(FixedLayout::plainToolTip(QDir::toNativeSeparators(recent[k])));
        connect(entry, &QAction::triggered, this, [this, path = recent[k]] { openFetch(path); });
    }
    menuRecent->menuAction()->setEnabled(actOpenFetch->isEnabled() && !recent.isEmpty());
}

void MainWindow::addRecentFetch(const QString &path)
{
    {
        Settings settings;
        Remembered::addRecentFetch(settings, path);
    }
    updateRecentFetches();
}

void MainWindow::listKeptFetches()
{
    if (!m_recorder)
        return;
    constexpr int QuietListing = 300; // files listed without a progress window
    // Made only when there is much to list: most starts list a few files, or none.
    auto progress = std::make_shared<QPointer<QProgressDialog>>();
    connect(
        m_recorder, &TestRecorder::listingProgress, this, [this, progress](int done, int total) {
            if (total <= QuietListing || done >= total)
                return;
            if (!*progress) {
                *progress = new QProgressDialog(tr("Listing the kept fetches in the test records…"),
                                                tr("Cancel"), 0, total, this);
                (*progress)->setObjectName(QStringLiteral("listingProgress"));
                (*progress)->setWindowTitle(tr("Test Records"));
                (*progress)->setMinimumDuration(0);
                connect(*progress, &QProgressDialog::canceled, m_recorder,
                        &TestRecorder::cancelListing);
            }
            (*progress)->setMaximum(total);
            (*progress)->setValue(done);
            (*progress)->show();
        });
    connect(
        m_recorder, &TestRecorder::listingEnded, this,
        [this, progress](const Result<Listing> &listed) {
            disconnect(m_recorder, &TestRecorder::listingProgress, this, nullptr);
            if (*progress)
                (*progress)->deleteLater();
            if (!listed)
                Dialogs::showError(this, "recordsError", tr("Test Records"),
                                   QString::fromStdString(listed.error()));
        },
        Qt::SingleShotConnection);
    m_recorder->listKeptFetches(FetchFile::historyFolder());
}

void MainWindow::setTeamSharing(TeamSharing *sharing)
{
    m_sharing = sharing;
    if (m_recorder)
        connect(m_recorder, &TestRecorder::recorded, sharing,
                [sharing](const Result<TestRecord> &r) {
                    if (r)
                        sharing->shareNow();
                });
    connect(sharing, &TeamSharing::failed, this, [this](const QString &message, bool repeated) {
        if (!repeated)
            teamNotice(message);
    });
    // Sharing again works: what was waiting for the fetch's end is of the past.
    connect(sharing, &TeamSharing::shared, this, [this] { m_teamNotice.clear(); });
}

void MainWindow::teamNotice(const QString &message)
{
    m_teamNotice = message;
    if (!m_session.isFetching())
        showTeamNotice();
}

void MainWindow::showTeamNotice()
{
    if (m_teamNotice.isEmpty())
        return;
    Dialogs::showNotice(this, "teamNotice", tr("Team Records"), m_teamNotice);
    m_teamNotice.clear();
}

void MainWindow::saveFetchAs()
{
    const FetchRecord &fetch = m_session.fetch();
    Dialogs::askSaveFileName(this, "saveFetch", tr("Save Fetch As"),
                             FetchFile::fileName(fetch.saved, fetch.serialReply),
                             tr("Voltrane fetches (*.vmfetch)"), [this](const QString &fileName) {
                                 if (const Result<> saved = m_session.saveAs(fileName); !saved)
                                     Dialogs::showError(this, "saveFetchError", tr("Save Fetch As"),
                                                        QString::fromStdString(saved.error()));
                                 else
                                     addRecentFetch(fileName);
                             });
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!m_session.isFetching() && !m_session.isOpening() && urls.size() == 1 &&
        urls[0].isLocalFile() && urls[0].toLocalFile().endsWith(QLatin1String(FetchFile::Suffix)))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    openFetch(event->mimeData()->urls().value(0).toLocalFile());
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pic && event->type() == QEvent::ContextMenu)
        updateRecentFetches(); // a file deleted since is left out, and the list greyed if empty
    return QWidget::eventFilter(watched, event);
}

void MainWindow::portFailed(const QString &message)
{
    // The port is closed: back to choosing a port, so the meter can be plugged in again.
    if (frmFetch)
        frmFetch->hide();
    cmdFetch->setEnabled(true);
    FrameSet->setEnabled(true);
    FrameFetch->setEnabled(false);
    Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"), message);
}

void MainWindow::ShowData(int index)
{
    m_session.show(index);
}

void MainWindow::showMeterTexts()
{
    setCaption(lblModel, ValueTexts::modelCaption(m_session.modelReply()));
    setCaption(lblSN, ValueTexts::serialCaption(m_session.serialReply()));
}

void MainWindow::setValueCaptions(const ValueTexts::LabelTexts &texts)
{
    setCaption(lblVoltage, texts.voltage);
    setCaption(lblEnergy, texts.energy);
    setCaption(lblInterval, texts.interval);
    setCaption(lblPulseWidth, texts.pulseWidth);
    setCaption(lblLoad, texts.load);
}

void MainWindow::showChosenDataSet()
{
    // A data set that cannot be shown says why in the waveform area, and leaves nothing behind
    // that could be printed or exported under its name.
    const std::optional<ShownDataSet> &shown = m_session.shown();
    setValueCaptions(shown ? ValueTexts::labelTexts(shown->measurement)
                           : ValueTexts::InitialLabelTexts);
    const QString note = QString::fromStdString(m_session.fault());
    pic->clear();
    if (shown)
        Plot();
    else if (!note.isEmpty())
        WaveformPlot::printNote(*pic, note);
    pic->setAccessibleDescription(WaveformPlot::description(shown, note));
    cmdPrint->setEnabled(shown.has_value());
    actExportCsv->setEnabled(shown.has_value());
    actSaveImage->setEnabled(shown.has_value());
    actExamine->setEnabled(shown.has_value());
}

void MainWindow::Plot()
{
    if (const auto &shown = m_session.shown())
        WaveformPlot::plotSamples(*pic, shown->measurement.samples);
}

void MainWindow::exportDataSet()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    if (!shown)
        return;
    const std::string csv = DataSetCsv::write(*shown);
    Dialogs::askSaveFileName(
        this, "exportCsv", tr("Export Data Set as CSV"),
        QStringLiteral("data-set-%1.csv").arg(shown->index + 1), tr("CSV files (*.csv)"),
        [this, csv](const QString &fileName) {
            if (const Result<> saved = FileSave::write(fileName, QByteArray::fromStdString(csv));
                !saved)
                Dialogs::showError(this, "exportError", tr("Export"),
                                   tr("The data set could not be saved as \"%1\". %2.")
                                       .arg(fileName, QString::fromStdString(saved.error())));
        });
}

void MainWindow::saveWaveformImage()
{
    const std::optional<ShownDataSet> &shown = m_session.shown();
    if (!shown)
        return;
    const QImage image = pic->grab().toImage();
    Dialogs::askSaveFileName(this, "saveImage", tr("Save Waveform Image"),
                             QStringLiteral("waveform-data-set-%1.png").arg(shown->index + 1),
                             tr("PNG images (*.png)"), [this, image](const QString &fileName) {
                                 QByteArray png;
                                 QBuffer buffer(&png);
                                 buffer.open(QIODevice::WriteOnly);
                                 image.save(&buffer, "PNG");
                                 if (const Result<> saved = FileSave::write(fileName, png); !saved)
                                     Dialogs::showError(
                                         this, "exportError", tr("Export"),
                                         tr("The waveform could not be saved as \"%1\". %2.")
                                             .arg(fileName, QString::fromStdString(saved.error())));
                             });
}

void MainWindow::examineWaveform()
{
    if (!m_session.shown())
        return;
    if (!frmWaveform) // a window of its own that goes with this one
        frmWaveform = new WaveformWindow(m_session, this);
    frmWaveform->show();
    frmWaveform->raise();
    frmWaveform->activateWindow();
}

void MainWindow::showRecords()
{
    if (!frmRecords) {
        RecordsWindow::Places places;
        if (m_recorder)
            places.store = m_recorder->storePath();
        frmRecords = new RecordsWindow(m_session, places, this, m_sharing);
        if (m_recorder) { // a test just recorded, or the history just listed, shows at once
            connect(m_recorder, &TestRecorder::recorded, frmRecords, [this] {
                if (frmRecords->isVisible())
                    frmRecords->reload();
            });
            connect(m_recorder, &TestRecorder::listingEnded, frmRecords, [this] {
                if (frmRecords->isVisible())
                    frmRecords->reload();
            });
        }
    }
    frmRecords->setWindowIcon(windowIcon());
    frmRecords->showNormal();
    frmRecords->raise();
    frmRecords->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing in the middle of a fetch stops it at once; nothing more reaches the window.
    m_session.abortFetch();
    m_session.closePort();
    if (frmFetch)
        frmFetch->hide();
    if (frmRecords) // the program ends with this window
        frmRecords->hide();
    event->accept();
}
