#include "MainWindow.h"
#include "MeterLink.h"
#include "MeterSimulator.h"
#include "PortNames.h"
#include "RetainedCanvas.h"
#include "SimulatedDataSets.h"
#include "WidgetLookup.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {
constexpr auto ShortWait = 200ms;
constexpr int FetchTimeout = 15000;

// Initial captions of the value labels.
const QMap<QString, QString> initialCaptions{
    {"lblVoltage", "Voltage ="},   {"lblEnergy", "Energy ="},
    {"lblInterval", "Interval ="}, {"lblPulseWidth", "Pulse Width = "},
    {"lblLoad", "Load = "},        {"lblModel", "Model No.:"},
    {"lblSN", "Serial No."},
};

QRadioButton *dataSetOption(QWidget &window, int k)
{
    return qobject_cast<QRadioButton *>(child<QButtonGroup>(window, "optDataGroup")->button(k));
}

QMessageBox *commPortError(QWidget &window)
{
    const auto boxes = window.findChildren<QMessageBox *>(QStringLiteral("commPortError"));
    return boxes.isEmpty() ? nullptr : boxes.last();
}

QString labelText(QWidget &window, const char *name)
{
    return child<QLabel>(window, name)->text();
}

// The window with the simulator's port chosen in the list, as an operator would type it.
struct Road
{
    explicit Road(MeterSimulatorOptions options = {}) : sim(options), link(ShortWait), window(link)
    {
        if (!sim.start())
            qFatal("cannot start the meter simulator");
        window.show();
    }
    // Types the simulator's entry and presses "Set Port". False when no entry maps to it.
    bool setPort()
    {
        const std::optional<int> port = PortNames::portNumberForDevice(sim.devicePath());
        if (!port)
            return false;
        auto *combo = child<QComboBox>(window, "cmbPort");
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), PortNames::entryText(*port));
        QTest::mouseClick(child<QPushButton>(window, "cmdSetPort"), Qt::LeftButton);
        return child(window, "FrameFetch")->isEnabled();
    }
    bool fetch()
    {
        QTest::mouseClick(child<QPushButton>(window, "cmdFetch"), Qt::LeftButton);
        return QTest::qWaitFor([&] { return !isFetching(); }, FetchTimeout);
    }
    bool isFetching() const { return link.fetch->isRunning(); }

    MeterSimulator sim;
    MeterLink link;
    MainWindow window;
};

#define SET_PORT_OR_SKIP(road)                                                                     \
    if (!(road).setPort())                                                                         \
        QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowIsFixedAndTitled();
    void controlsSitAtTheirPlaces_data();
    void controlsSitAtTheirPlaces();
    void initialState();
    void keyboardOrder();
    void noButtonIsPressedByEnter();
    void failedOpenShowsTheErrorAndChangesNothing();
    void goodOpenLocksThePortChoice();
    void wholeRoadFetchAndChooseDataSets();
    void dataSetBeforeAnyFetchChangesNothing();
    void recordOfWrongLengthChangesNothing();
    void meterTextsAreShownAsPlainText();
    void portFailureDuringFetchReturnsToPortChoice();
    void closingDuringAFetchStopsIt();
    void portEntriesNameTheirDevices();
    void exportIsOfferedOnlyOnceADataSetIsShown();
    void exportWritesTheCsvAndTheImageAsShown();
};

void TestMainWindow::windowIsFixedAndTitled()
{
    MeterLink link;
    MainWindow window(link);
    QCOMPARE(window.objectName(), "frmMain");
    QCOMPARE(window.windowTitle(), "Voltrane Meter - PC Utility");
    QCOMPARE(window.size(), QSize(816, 434));
    QCOMPARE(window.minimumSize(), QSize(816, 434));
    QCOMPARE(window.maximumSize(), QSize(816, 434));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
}

void TestMainWindow::controlsSitAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // Left, Top, Width, Height
    // Twips convert to pixels at 15 to one.
    const auto row = [](const char *name, const char *container, const char *caption, int l, int t,
                        int w, int h) {
        QTest::newRow(name) << QString(name) << QString(container) << QString::fromUtf8(caption)
                            << QRect(l, t, w, h);
    };
    row("cmdClose", "frmMain", "Close", 10680, 5880, 1335, 375);
    row("FrameUtility", "frmMain", "Utility", 120, 2520, 2055, 3135);
    row("cmdPrint", "FrameUtility", "Print", 240, 2400, 1335, 375);
    row("Frame1", "frmMain", "", 2280, 120, 9735, 5535);
    row("pic", "Frame1", "", 240, 240, 9255, 4455);
    row("lblSN", "Frame1", "Serial No.", 6840, 5160, 2055, 255);
    row("lblModel", "Frame1", "Model No.:", 6840, 4800, 1935, 255);
    row("lblInterval", "Frame1", "Interval =", 2280, 4800, 1695, 255);
    row("lblPulseWidth", "Frame1", "Pulse Width = ", 2280, 5160, 1695, 255);
    row("lblVoltage", "Frame1", "Voltage =", 240, 4800, 1695, 255);
    row("lblEnergy", "Frame1", "Energy =", 240, 5160, 1935, 255);
    row("lblLoad", "Frame1", "Load = ", 4680, 5160, 1935, 255);
    row("FrameFetch", "frmMain", "Get Data from Device", 120, 1440, 2055, 975);
    row("cmdFetch", "FrameFetch", "Fetch Data", 360, 360, 1215, 375);
    row("FrameSet", "frmMain", "Set Port", 120, 120, 2055, 1215);
    row("cmdSetPort", "FrameSet", "Set Port", 360, 720, 1215, 375);
    row("cmbPort", "FrameSet", "COM 1", 360, 240, 1215, 315);
    row("Label1", "frmMain", "Developed by: Brindlecove", 120, 6240, 3015, 255);
    row("Image1", "frmMain", "", 120, 5640, 705, 540);
    row("Label6", "frmMain", "Quillmarsh, Fenhollow", 960, 5760, 4095, 375);
    row("optData 3", "FrameUtility", "Data 4", 240, 1800, 1455, 255);
    row("optData 2", "FrameUtility", "Data 3", 240, 1320, 1455, 255);
    row("optData 1", "FrameUtility", "Data 2", 240, 840, 1455, 255);
    row("optData 0", "FrameUtility", "Data 1", 240, 360, 1455, 255);
}

void TestMainWindow::controlsSitAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    MeterLink link;
    MainWindow window(link);
    QWidget *control = name.startsWith("optData ") ? dataSetOption(window, name.back().digitValue())
                                                   : child(window, qPrintable(name));
    QCOMPARE(control->geometry(), pixelsOfTwips(twips));
    QCOMPARE(control->parentWidget()->objectName(), container);

    QCOMPARE(captionOf(control), caption);
}

void TestMainWindow::initialState()
{
    MeterLink link;
    MainWindow window(link);
    window.show();
    QVERIFY(child(window, "FrameSet")->isEnabled());
    QVERIFY(!child(window, "FrameFetch")->isEnabled());
    QVERIFY(!child(window, "cmdFetch")->isEnabled()); // greyed out with its frame
    QVERIFY(child(window, "FrameUtility")->isEnabled());
    QVERIFY(child(window, "cmdPrint")->isEnabled());
    QVERIFY(child(window, "cmdClose")->isEnabled());
    QVERIFY(dataSetOption(window, 0)->isChecked());
    for (int k = 1; k < 4; ++k)
        QVERIFY(!dataSetOption(window, k)->isChecked());
    for (auto it = initialCaptions.cbegin(); it != initialCaptions.cend(); ++it)
        QCOMPARE(labelText(window, qPrintable(it.key())), it.value());

    auto *combo = child<QComboBox>(window, "cmbPort");
    QCOMPARE(combo->count(), 255);
    QCOMPARE(combo->itemText(0), "COM 1");
    QCOMPARE(combo->itemText(254), "COM 255");
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(combo->isEditable());

    const QFont vendor = child(window, "Label6")->font();
    QVERIFY(vendor.bold());
    QCOMPARE(vendor.pointSizeF(), 13.5);
    QVERIFY(!qobject_cast<QLabel *>(child(window, "Image1"))->pixmap().isNull());
    QCOMPARE(window.focusWidget(), child(window, "cmbPort"));
}

void TestMainWindow::keyboardOrder()
{
    MeterLink link;
    MainWindow window(link);
    const QStringList expected{"cmbPort", "cmdSetPort", "cmdFetch", "optData", "optData",
                               "optData", "optData",    "cmdPrint", "pic",     "cmdClose"};
    QWidget *w = child(window, "cmbPort");
    QStringList order;
    QList<QWidget *> options;
    do {
        // The combo box hands its focus to its text field; count the box once.
        if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) {
            order << (qobject_cast<QComboBox *>(w->parentWidget()) ? w->parentWidget() : w)
                         ->objectName();
            if (w->objectName() == "optData")
                options << w;
        }
        w = w->nextInFocusChain();
    } while (w != child(window, "cmbPort") && order.size() < 40);
    QCOMPARE(order, expected);
    for (int k = 0; k < 4; ++k)
        QCOMPARE(options[k], dataSetOption(window, k));
}

void TestMainWindow::noButtonIsPressedByEnter()
{
    MeterLink link;
    MainWindow window(link);
    for (QPushButton *b : window.findChildren<QPushButton *>()) {
        QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
    }
}

void TestMainWindow::failedOpenShowsTheErrorAndChangesNothing()
{
    MeterLink link;
    MainWindow window(link);
    window.show();
    auto *combo = child<QComboBox>(window, "cmbPort");
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "my meter");
    QTest::mouseClick(child<QPushButton>(window, "cmdSetPort"), Qt::LeftButton);

    QMessageBox *box = commPortError(window);
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), "Comm Port Error!");
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QVERIFY2(box->text().startsWith("No port is selected."), qPrintable(box->text()));
    QVERIFY(child(window, "FrameSet")->isEnabled());
    QVERIFY(!child(window, "FrameFetch")->isEnabled());
    QCOMPARE(combo->count(), 255); // the typed text was not added

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!commPortError(window));
}

void TestMainWindow::goodOpenLocksThePortChoice()
{
    Road road;
    SET_PORT_OR_SKIP(road);
    QVERIFY(!child(road.window, "FrameSet")->isEnabled());
    QVERIFY(child(road.window, "cmdFetch")->isEnabled());
    QVERIFY(!commPortError(road.window));
}

void TestMainWindow::wholeRoadFetchAndChooseDataSets()
{
    Road road;
    SET_PORT_OR_SKIP(road);
    MainWindow &w = road.window;
    const QImage before = child(w, "pic")->grab().toImage();

    QTest::mouseClick(child<QPushButton>(w, "cmdFetch"), Qt::LeftButton);
    QVERIFY(road.isFetching());
    QVERIFY(!child(w, "cmdFetch")->isEnabled()); // no second fetch on the same port
    QWidget *progress = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == "frmFetch" && top->isVisible())
            progress = top;
    QVERIFY(progress);
    QCOMPARE(progress->findChild<QLabel *>()->text(), "Fetching Data ...");
    QCOMPARE(progress->size(), QSize(370, 59));

    // The data-set choice stays usable during the fetch.
    QVERIFY(dataSetOption(w, 2)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!road.isFetching(), FetchTimeout);
    QVERIFY(!progress->isVisible());
    QVERIFY(child(w, "cmdFetch")->isEnabled());

    // Data set 1 is shown at once.
    QCOMPARE(labelText(w, "lblVoltage"), "Voltage = 7.3 KV");
    QCOMPARE(labelText(w, "lblEnergy"), "Energy = 1.5 J");
    QCOMPARE(labelText(w, "lblInterval"), "Interval = 1.0 s");
    QCOMPARE(labelText(w, "lblPulseWidth"), QString::fromUtf8("Pulse Width = 60 µs"));
    QCOMPARE(labelText(w, "lblLoad"), "Load = No Load");
    QCOMPARE(labelText(w, "lblModel"), "Model No.: VM-2000\r");
    QCOMPARE(labelText(w, "lblSN"), "Serial No.: SN-104233\r");
    QCOMPARE(QString::fromStdString(w.reportValues().PrnVoltage), "Voltage (KV): 7.3");
    QCOMPARE(QString::fromStdString(w.reportValues().PrnModel), "Model No.: VM-2000\r");
    QCOMPARE(w.reportValues().PrnVoltCount, 73);
    const QByteArray record1 = SimulatedDataSets::record(1);
    for (int i = 1; i <= 200; ++i)
        QCOMPARE(w.reportValues().PrnData[i], std::int16_t(quint8(record1[i + 1])));
    const QImage shown1 = child(w, "pic")->grab().toImage();
    QVERIFY(shown1 != before);

    QTest::mouseClick(dataSetOption(w, 2), Qt::LeftButton);
    QVERIFY(dataSetOption(w, 2)->isChecked());
    QCOMPARE(labelText(w, "lblVoltage"), "Voltage = 9.8 KV");
    QCOMPARE(labelText(w, "lblPulseWidth"), QString::fromUtf8("Pulse Width = 120 µs"));
    // Whatever the font, the captions are seen whole.
    for (const char *name : {"lblVoltage", "lblEnergy", "lblInterval", "lblPulseWidth", "lblLoad",
                             "lblModel", "lblSN"}) {
        auto *l = child<QLabel>(w, name);
        QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width(), name);
    }
    QCOMPARE(labelText(w, "lblLoad"), "Load = 1000 Ohms");
    QCOMPARE(QString::fromStdString(w.reportValues().PrnLoad), "Load (Ohms): 1000");
    QVERIFY(child(w, "pic")->grab().toImage() != shown1);

    QTest::mouseClick(dataSetOption(w, 0), Qt::LeftButton);
    QCOMPARE(labelText(w, "lblVoltage"), "Voltage = 7.3 KV");
    QCOMPARE(child(w, "pic")->grab().toImage(), shown1);
}

void TestMainWindow::dataSetBeforeAnyFetchChangesNothing()
{
    MeterLink link;
    MainWindow window(link);
    window.show();
    const QImage before = child(window, "pic")->grab().toImage();
    for (int k : {3, 1, 0}) {
        QTest::mouseClick(dataSetOption(window, k), Qt::LeftButton);
        QVERIFY(dataSetOption(window, k)->isChecked());
    }
    for (auto it = initialCaptions.cbegin(); it != initialCaptions.cend(); ++it)
        QCOMPARE(labelText(window, qPrintable(it.key())), it.value());
    QCOMPARE(child(window, "pic")->grab().toImage(), before);
    QVERIFY(window.reportValues() == ReportValues{});
}

void TestMainWindow::recordOfWrongLengthChangesNothing()
{
    Road road;
    SET_PORT_OR_SKIP(road);
    QVERIFY(road.fetch());
    MainWindow &w = road.window;
    const ReportValues shown = w.reportValues();
    const QStringList values{labelText(w, "lblVoltage"), labelText(w, "lblLoad")};
    const QImage picture = child(w, "pic")->grab().toImage();

    // The line drops; the operator plugs in a meter whose records come a byte short.
    road.sim.hangUp();
    QTRY_VERIFY(commPortError(w));
    commPortError(w)->button(QMessageBox::Ok)->click();
    MeterSimulatorOptions shortRecords;
    shortRecords.recordLength = 221;
    shortRecords.model = "VM-9";
    MeterSimulator other(shortRecords);
    QVERIFY(other.start());
    const std::optional<int> port = PortNames::portNumberForDevice(other.devicePath());
    if (!port)
        QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
    auto *combo = child<QComboBox>(w, "cmbPort");
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), PortNames::entryText(*port));
    QTest::mouseClick(child<QPushButton>(w, "cmdSetPort"), Qt::LeftButton);
    QVERIFY(road.fetch());

    QCOMPARE(labelText(w, "lblModel"), "Model No.: VM-9\r"); // captions come with every fetch
    QCOMPARE((QStringList{labelText(w, "lblVoltage"), labelText(w, "lblLoad")}), values);
    QVERIFY(w.reportValues() == shown); // still the model caption of the data set shown
    QCOMPARE(child(w, "pic")->grab().toImage(), picture);
    for (int k : {1, 2, 3}) {
        QTest::mouseClick(dataSetOption(w, k), Qt::LeftButton);
        QCOMPARE(labelText(w, "lblVoltage"), values.first());
    }
}

void TestMainWindow::meterTextsAreShownAsPlainText()
{
    MeterSimulatorOptions options;
    options.model = "<b>bold</b>";
    options.serial = "<img src=x>";
    Road road(options);
    SET_PORT_OR_SKIP(road);
    QVERIFY(road.fetch());
    auto *model = child<QLabel>(road.window, "lblModel");
    QCOMPARE(model->text(), "Model No.: <b>bold</b>\r");
    QCOMPARE(model->textFormat(), Qt::PlainText);
    QCOMPARE(child<QLabel>(road.window, "lblSN")->textFormat(), Qt::PlainText);
    for (QLabel *l : road.window.findChildren<QLabel *>())
        QVERIFY2(l->textFormat() == Qt::PlainText || l->objectName() == "Image1",
                 qPrintable(l->objectName()));
}

void TestMainWindow::portFailureDuringFetchReturnsToPortChoice()
{
    MeterSimulatorOptions options;
    options.hangUpAfter = 3; // the cable is pulled once "?1" is sent
    Road road(options);
    SET_PORT_OR_SKIP(road);
    QTest::mouseClick(child<QPushButton>(road.window, "cmdFetch"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(commPortError(road.window), FetchTimeout);
    QVERIFY(!road.isFetching());
    QVERIFY(child(road.window, "FrameSet")->isEnabled());
    QVERIFY(!child(road.window, "FrameFetch")->isEnabled());
    QCOMPARE(labelText(road.window, "lblModel"), "Model No.: VM-2000\r");
    QVERIFY(commPortError(road.window)->text().startsWith("The connection to the meter on"));
    QTest::qWait(500);
    QCOMPARE(road.window.findChildren<QMessageBox *>().size(), 1); // reported once
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY(!(top->objectName() == "frmFetch" && top->isVisible()));
}

void TestMainWindow::closingDuringAFetchStopsIt()
{
    Road road;
    SET_PORT_OR_SKIP(road);
    QTest::mouseClick(child<QPushButton>(road.window, "cmdFetch"), Qt::LeftButton);
    QTRY_COMPARE(road.sim.receivedCommands().size(), 2);
    road.window.close();
    QVERIFY(!road.isFetching());
    QTest::qWait(3 * ShortWait.count());
    QCOMPARE(road.sim.receivedCommands().size(), 2);
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY(!top->isVisible());
}

void TestMainWindow::portEntriesNameTheirDevices()
{
    MeterSimulator sim;
    QVERIFY(sim.start());
    const std::optional<int> port = PortNames::portNumberForDevice(sim.devicePath());
    if (!port)
        QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
    MeterLink link;
    MainWindow window(link);
    auto *combo = child<QComboBox>(window, "cmbPort");
    const int index = *port - 1;
    QCOMPARE(combo->itemData(index, Qt::ToolTipRole).toString(),
             sim.devicePath() + " - pseudo-terminal");
    QVERIFY(combo->itemData(index, Qt::FontRole).value<QFont>().bold());
    // An entry whose device is missing names the device only, in the normal weight.
    if (!QFile::exists("/dev/ttyUSB31")) {
        QCOMPARE(combo->itemData(63, Qt::ToolTipRole).toString(), "/dev/ttyUSB31");
        QVERIFY(!combo->itemData(63, Qt::FontRole).isValid());
    }
}

namespace {
// Triggers a context-menu action of the waveform area and answers its file dialog with
// `fileName`, as its Save button does. The answer is given directly rather than by browsing:
// the dialog reads the files of every folder it shows.
void exportTo(MainWindow &w, const char *action, const char *dialog, const QString &fileName)
{
    child<QWidget>(w, "pic")->findChild<QAction *>(action)->trigger();
    QFileDialog *files = nullptr;
    QTRY_VERIFY((files = w.findChild<QFileDialog *>(dialog)) && files->isVisible());
    emit files->fileSelected(fileName);
    files->reject();
}
} // namespace

void TestMainWindow::exportIsOfferedOnlyOnceADataSetIsShown()
{
    MeterLink link;
    MainWindow window(link);
    QWidget *pic = child(window, "pic");
    QCOMPARE(pic->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList texts;
    for (QAction *action : pic->actions()) {
        texts << action->text();
        QVERIFY(!action->isEnabled());
    }
    QCOMPARE(texts, (QStringList{QString::fromUtf8("Export Data Set as CSV…"),
                                 QString::fromUtf8("Save Waveform Image…")}));
}

void TestMainWindow::exportWritesTheCsvAndTheImageAsShown()
{
    Road road;
    SET_PORT_OR_SKIP(road);
    QVERIFY(road.fetch());
    MainWindow &w = road.window;
    QTest::mouseClick(dataSetOption(w, 1), Qt::LeftButton);
    for (QAction *action : child(w, "pic")->actions())
        QVERIFY(action->isEnabled());

    QTemporaryDir dir;
    exportTo(w, "actExportCsv", "exportCsv", dir.filePath("set2.csv"));
    QFile csv(dir.filePath("set2.csv"));
    QTRY_VERIFY(csv.exists());
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF")); // UTF-8 with a byte-order mark
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
    QCOMPARE(lines[0], "Model No.,VM-2000");
    QCOMPARE(lines[1], "Serial No.,SN-104233");
    QCOMPARE(lines[2], "Voltage (kV),5.2"); // data set 2 is the one shown
    QCOMPARE(lines[6], "Load (Ohms),500");
    const QByteArray record2 = SimulatedDataSets::record(2);
    QVERIFY(lines[9].startsWith(QStringLiteral("1,2,%1,").arg(quint8(record2[2]))));
    QVERIFY(lines[208].startsWith(QStringLiteral("200,400,%1,").arg(quint8(record2[201]))));

    exportTo(w, "actSaveImage", "saveImage", dir.filePath("set2.png"));
    QTRY_VERIFY(QFile::exists(dir.filePath("set2.png")));
    const QImage png(dir.filePath("set2.png"));
    QCOMPARE(png.size(), QSize(617, 297));
    QCOMPARE(png.convertToFormat(QImage::Format_RGB32),
             child(w, "pic")->grab().toImage().convertToFormat(QImage::Format_RGB32));
    QCOMPARE(png.pixelColor(2, 2), QColor(Qt::black));

    // A place where no file can be made (/proc): the operator is told, nothing else changes.
    exportTo(w, "actExportCsv", "exportCsv", "/proc/voltrane-export-test.csv");
    QMessageBox *error = nullptr;
    QTRY_VERIFY((error = w.findChild<QMessageBox *>("exportError")));
    QCOMPARE(error->text(), "The data set could not be saved as "
                            "\"/proc/voltrane-export-test.csv\": No such file or directory.");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
