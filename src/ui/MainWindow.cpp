#include "MainWindow.h"

#include "DataSetCsv.h"
#include "Dialogs.h"
#include "FetchProgress.h"
#include "FileSave.h"
#include "FixedLayout.h"
#include "MeterLink.h"
#include "PortComboBox.h"
#include "PortNames.h"
#include "PrintDialog.h"
#include "RetainedCanvas.h"
#include "ValueTexts.h"
#include "WaveformPlot.h"

#include <QAction>
#include <QBuffer>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtConcurrent>

using FixedLayout::button;
using FixedLayout::label;
using FixedLayout::place;

namespace {

const QString PlainTitle = QStringLiteral("Voltrane Meter - PC Utility");
// Written into every kept fetch.
const QString ProgramName = QStringLiteral("voltrane-meter " VOLTRANE_VERSION);

void setCaption(QLabel *label, const std::string &utf8)
{
    FixedLayout::setFittedCaption(label, QString::fromStdString(utf8));
}

} // namespace

MainWindow::MainWindow(MeterLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_link(link)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(PlainTitle);
    setAcceptDrops(true); // a kept fetch dropped on the window opens
    setFixedSize(Twips::size(12240, 6510));

    createControls();
    setKeyboardOrder();
    connectLink();

    // Prepared once, before the window is first shown: scale, axis lines, captions.
    WaveformPlot::prepareWaveformArea(*pic);
    cmbPort->setFocus();

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() = default;

QIcon MainWindow::programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/voltrane-%1.png").arg(size), QSize(size, size));
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
    actSaveFetch = action(tr("Save Fetch As…"), "actSaveFetch");
    actSaveFetch->setShortcut(QKeySequence::Save);
    actExportCsv = action(tr("Export Data Set as CSV…"), "actExportCsv");
    actSaveImage = action(tr("Save Waveform Image…"), "actSaveImage");
    for (QAction *a : {actSaveFetch, actExportCsv, actSaveImage})
        a->setEnabled(false);
    pic->setContextMenuPolicy(Qt::ActionsContextMenu);
    pic->setToolTip(tr("Right-click for more: open or save a fetch, export the data set as CSV, "
                       "save the waveform as a picture."));
    connect(actOpenFetch, &QAction::triggered, this, &MainWindow::askOpenFetch);
    connect(actSaveFetch, &QAction::triggered, this, &MainWindow::saveFetchAs);
    connect(actExportCsv, &QAction::triggered, this, &MainWindow::exportDataSet);
    connect(actSaveImage, &QAction::triggered, this, &MainWindow::saveWaveformImage);
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
    // Through QIcon, a screen scaled by two gets the sharper logo@2x.png.
    Image1->setPixmap(QIcon(QStringLiteral(":/logo.png")).pixmap(Image1->size()));
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

void MainWindow::connectLink()
{
    const FetchSequence *fetch = m_link.fetch;
    connect(m_link.cm, &MeterPort::failed, this, &MainWindow::portFailed);
    connect(fetch, &FetchSequence::modelReplyReceived, this, [this](const QByteArray &reply) {
        m_fetch.modelReply = reply;
        m_data.setModelReply(reply.toStdString());
        setCaption(lblModel, ValueTexts::modelCaption(m_data.modelReply()));
    });
    connect(fetch, &FetchSequence::serialReplyReceived, this, [this](const QByteArray &reply) {
        m_fetch.serialReply = reply;
        m_data.setSerialReply(reply.toStdString());
        setCaption(lblSN, ValueTexts::serialCaption(m_data.serialReply()));
    });
    connect(fetch, &FetchSequence::recordReceived, this,
            [this](int index, const QByteArray &record) {
                m_fetch.records.at(index) = record;
                m_data.setRecord(index, record.toStdString());
            });
    connect(fetch, &FetchSequence::finished, this, [this] {
        endFetch();
        optData[0]->setChecked(true);
        ShowData(0);
        keepFetch();
        reportUnreadData();
    });
    connect(fetch, &FetchSequence::failed, this, [this](const QString &message) {
        endFetch();
        m_fetch.complete = false;
        if (FetchFile::worthKeeping(m_fetch))
            keepFetch();
        // A failing port is reported by portFailed(); this is the meter's own trouble (it
        // answers too late).
        if (m_link.cm->isOpen())
            Dialogs::showError(this, "fetchError", tr("Fetch Data"), message);
    });
}

void MainWindow::cmdSetPort_Click()
{
    MeterPort *cm = m_link.cm;
    const QString typed = cmbPort->currentText().trimmed();
    if (cmbPort->portNumber() == 0 && !typed.isEmpty()) {
        Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"),
                           tr("\"%1\" is not one of the ports \"COM 1\" to \"COM 255\". Choose "
                              "one from the list (or type it as the list names it), then press "
                              "\"Set Port\".")
                               .arg(typed));
        return;
    }
    if (!cm->open(cmbPort->portNumber())) {
        Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"),
                           cm->errorString());
        return;
    }
    // Whatever the port held when it was opened stands as data set 1 until the first fetch.
    m_data.setRecord(0, cm->takeAll().toStdString());
    m_portText =
        QStringLiteral("%1 (%2)").arg(PortNames::entryText(cmbPort->portNumber()),
                                      PortNames::devicePath(cmbPort->portNumber()).value());
    FrameFetch->setEnabled(true);
    FrameSet->setEnabled(false);
}

void MainWindow::cmdFetch_Click()
{
    if (m_link.fetch->isRunning())
        return;
    // One fetch at a time on the port; the data-set choice stays usable meanwhile.
    cmdFetch->setEnabled(false);
    // A clean display: nothing of an earlier fetch (maybe another meter's) stays under this one.
    setWindowTitle(PlainTitle);
    setFetchActionsEnabled(false);
    m_fetch = FetchRecord();
    m_fetch.port = PortNames::entryText(cmbPort->portNumber());
    m_data.startFetch();
    setCaption(lblModel, ValueTexts::modelCaption(std::nullopt));
    setCaption(lblSN, ValueTexts::serialCaption(std::nullopt));
    showChosenDataSet();
    if (!frmFetch)
        frmFetch = std::make_unique<FetchProgress>();
    frmFetch->showCentred();
    if (!m_link.fetch->start())
        endFetch();
}

void MainWindow::cmdPrint_Click()
{
    // A fresh dialog each time: empty boxes and today's date. Modal over this window; the data
    // set shown last is what it prints.
    auto *frmPrint = new PrintDialog(m_data, this);
    frmPrint->setAttribute(Qt::WA_DeleteOnClose);
    frmPrint->open();
}

void MainWindow::endFetch()
{
    if (frmFetch)
        frmFetch->hide();
    cmdFetch->setEnabled(true);
    setFetchActionsEnabled(true);
}

void MainWindow::setFetchActionsEnabled(bool enabled)
{
    // While a fetch runs nothing is opened (menu, shortcut or drop), and it is not saved half-way.
    actOpenFetch->setEnabled(enabled);
    actSaveFetch->setEnabled(enabled && m_fetch.saved.isValid()); // kept or opened
}

void MainWindow::keepFetch()
{
    // Written on a worker thread, so a slow disk never holds up the window.
    m_fetch.saved = QDateTime::currentDateTime();
    setFetchActionsEnabled(true);
    auto *keeping = new QFutureWatcher<QString>(this);
    connect(keeping, &QFutureWatcher<QString>::finished, this, [this, keeping] {
        keeping->deleteLater();
        if (const QString error = keeping->result(); !error.isEmpty())
            Dialogs::showError(this, "fetchNotKept", tr("Fetch not kept"), error);
    });
    keeping->setFuture(QtConcurrent::run(
        [fetch = m_fetch, folder = FetchFile::historyFolder(), program = ProgramName] {
            QString error;
            FetchFile::keep(fetch, folder, program, &error);
            return error;
        }));
}

void MainWindow::askOpenFetch()
{
    Dialogs::askOpenFileName(this, "openFetch", tr("Open Saved Fetch"), FetchFile::historyFolder(),
                             tr("Voltrane fetches (*.vmfetch)"),
                             [this](const QString &fileName) { openFetch(fileName); });
}

void MainWindow::openFetch(const QString &path)
{
    if (m_link.fetch->isRunning())
        return;
    QString error;
    const std::optional<FetchRecord> fetch = FetchFile::read(path, &error);
    if (!fetch) {
        Dialogs::showError(this, "openError", tr("Open Saved Fetch"), error);
        return;
    }
    // The same way as a fetch's replies: the raw bytes, decoded here.
    m_fetch = *fetch;
    m_data = FetchFile::dataSets(m_fetch);
    setCaption(lblModel, ValueTexts::modelCaption(m_data.modelReply()));
    setCaption(lblSN, ValueTexts::serialCaption(m_data.serialReply()));
    optData[0]->setChecked(true);
    ShowData(0);
    setWindowTitle(PlainTitle + QStringLiteral(" - ") + QFileInfo(path).fileName());
    setFetchActionsEnabled(true);
}

void MainWindow::saveFetchAs()
{
    Dialogs::askSaveFileName(
        this, "saveFetch", tr("Save Fetch As"),
        FetchFile::fileName(m_fetch.saved, m_fetch.serialReply), tr("Voltrane fetches (*.vmfetch)"),
        [this, fetch = m_fetch](const QString &fileName) {
            if (const QString why = FetchFile::save(fetch, fileName, ProgramName); !why.isEmpty())
                Dialogs::showError(
                    this, "saveFetchError", tr("Save Fetch As"),
                    tr("The fetch could not be saved as \"%1\". %2.").arg(fileName, why));
        });
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!m_link.fetch->isRunning() && urls.size() == 1 && urls[0].isLocalFile() &&
        urls[0].toLocalFile().endsWith(QLatin1String(FetchFile::Suffix)))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    openFetch(event->mimeData()->urls().value(0).toLocalFile());
}

void MainWindow::portFailed(const QString &message)
{
    // The port is closed: back to choosing a port, so the meter can be plugged in again.
    endFetch();
    FrameSet->setEnabled(true);
    FrameFetch->setEnabled(false);
    Dialogs::showError(this, "commPortError", QStringLiteral("Comm Port Error!"), message);
}

void MainWindow::reportUnreadData()
{
    if (m_data.nothingReceived()) {
        // Most likely the wrong port or a meter switched off: let the operator choose again.
        m_link.cm->close();
        portFailed(tr("The meter on %1 did not answer. Is it switched on and connected to this "
                      "port? Choose its port and press \"Set Port\" again.")
                       .arg(m_portText));
        return;
    }
    QStringList unread;
    for (const std::string &line : m_data.faults())
        unread << QString::fromStdString(line);
    if (!unread.isEmpty())
        Dialogs::showError(this, "fetchError", tr("Fetch Data"),
                           tr("Not every data set could be read:\n%1").arg(unread.join('\n')));
}

void MainWindow::ShowData(int index)
{
    m_data.show(index);
    showChosenDataSet();
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
    const std::optional<ShownDataSet> &shown = m_data.shown();
    setValueCaptions(shown ? ValueTexts::labelTexts(shown->measurement)
                           : ValueTexts::InitialLabelTexts);
    pic->clear();
    if (shown)
        Plot();
    else if (!m_data.fault().empty())
        WaveformPlot::printNote(*pic, QString::fromStdString(m_data.fault()));
    cmdPrint->setEnabled(shown.has_value());
    actExportCsv->setEnabled(shown.has_value());
    actSaveImage->setEnabled(shown.has_value());
}

void MainWindow::Plot()
{
    if (const auto &shown = m_data.shown())
        WaveformPlot::plotSamples(*pic, shown->measurement.samples);
}

void MainWindow::exportDataSet()
{
    const std::optional<ShownDataSet> &shown = m_data.shown();
    if (!shown)
        return;
    const std::string csv = DataSetCsv::write(*shown);
    Dialogs::askSaveFileName(
        this, "exportCsv", tr("Export Data Set as CSV"),
        QStringLiteral("data-set-%1.csv").arg(shown->index + 1), tr("CSV files (*.csv)"),
        [this, csv](const QString &fileName) {
            if (const QString why = FileSave::write(fileName, QByteArray::fromStdString(csv));
                !why.isEmpty())
                Dialogs::showError(
                    this, "exportError", tr("Export"),
                    tr("The data set could not be saved as \"%1\". %2.").arg(fileName, why));
        });
}

void MainWindow::saveWaveformImage()
{
    const std::optional<ShownDataSet> &shown = m_data.shown();
    if (!shown)
        return;
    const QImage image = pic->grab().toImage();
    Dialogs::askSaveFileName(
        this, "saveImage", tr("Save Waveform Image"),
        QStringLiteral("waveform-data-set-%1.png").arg(shown->index + 1), tr("PNG images (*.png)"),
        [this, image](const QString &fileName) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            if (const QString why = FileSave::write(fileName, png); !why.isEmpty())
                Dialogs::showError(
                    this, "exportError", tr("Export"),
                    tr("The waveform could not be saved as \"%1\". %2.").arg(fileName, why));
        });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing in the middle of a fetch stops it at once; nothing more reaches the window.
    m_link.fetch->abort();
    m_link.cm->close();
    if (frmFetch)
        frmFetch->hide();
    event->accept();
}
