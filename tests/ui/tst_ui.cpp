#include "Golden.h"
#include "PortComboBox.h"
#include "PrintDialog.h"
#include "ProgramFixture.h"
#include "RecordingSurface.h"
#include "RetainedCanvas.h"
#include "SimulatedDataSets.h"
#include "WaveformPlot.h"

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>

namespace {
QImage picture(QWidget &w, bool onScreen = false) // as painted, or as the screen shows it
{
    return (onScreen ? w.screen()->grabWindow(w.winId()) : w.grab())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}
QRect cyanIn(const QImage &image, QRect part) // the bounding box of the cyan (text) pixels
{
    QRect found;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if (const QRgb p = image.pixel(x, y);
                qRed(p) == 0 && qGreen(p) > 0 && qGreen(p) == qBlue(p))
                found |= QRect(x, y, 1, 1);
    return found;
}
Measurement::Samples samples(std::initializer_list<int> indexValue, int rest = 0) // 1..200
{
    Measurement::Samples s{};
    std::fill(s.begin() + 1, s.end(), rest);
    for (auto i = indexValue.begin(); i != indexValue.end(); i += 2)
        s[i[0]] = std::int16_t(i[1]);
    return s;
}
template <typename T = QMessageBox> T *shown(const QWidget &window, const char *name)
{
    T *found = nullptr;
    (void)QTest::qWaitFor(
        [&] { return (found = window.findChild<T *>(name)) && found->isVisible(); }, 10'000);
    return found;
}
void click(QWidget &window, const char *name, int k = -1)
{
    QTest::mouseClick(child(window, name, k), Qt::LeftButton);
}
void answer(QWidget &window, const char *dialog, const QString &fileName) // as its Save button does
{
    auto *files = shown<QFileDialog>(window, dialog); // (browsing would read every folder shown)
    emit files->fileSelected(fileName);
    files->reject();
    QTRY_VERIFY(!window.findChild<QFileDialog *>());
}
QWidget *progressStrip() // "Fetching Data ...", when it is shown
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == "frmFetch" && top->isVisible())
            return top;
    return nullptr;
}
} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void mainWindow()
    {
        ProgramFixture f({.model = "<b>VM</b>"});
        MainWindow &w = f.window;
        const std::optional<int> port = PortNames::portNumberForDevice(f.sim.devicePath());
        if (!port)
            QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
        Road road{w};
        road.step("shown");
        auto *ports = child<PortComboBox>(w, "cmbPort");
        QVERIFY(ports->count() == 255 && ports->itemText(254) == "COM 255" && ports->isEditable());
        ports->setEditText("com 1");
        QVERIFY(ports->portNumber() == 1 && (ports->setEditText("COM 1"), true)); // any letter case
        QVERIFY(!child<QLabel>(w, "Image1")->pixmap().isNull() &&
                MainWindow::programIcon().availableSizes().size() == 6);
        const QImage before = picture(*child(f.window, "pic"));
        click(w, "optData", 3), click(w, "optData", 0);
        road.step("Data 4, then Data 1, before a fetch: nothing changes but the choice");
        QVERIFY(picture(*child(f.window, "pic")) == before && w.reportValues() == ReportValues{} &&
                !child<QAction>(w, "actSaveImage")->isEnabled());
        QTest::keyClicks(ports->lineEdit(), "my meter");
        click(w, "cmdSetPort");
        road.step("\"Set Port\" on a text that names no entry");
        QVERIFY(ports->count() == 255);
        shown(w, "commPortError")->accept();
        QTRY_VERIFY(!w.findChild<QMessageBox *>());
        QVERIFY(f.setPort(f.sim));
        road.step("\"Set Port\" on the simulator's entry, which is there");
        QCOMPARE(ports->itemData(*port - 1, Qt::ToolTipRole).toString(),
                 f.sim.devicePath() + " - pseudo-terminal");
        QVERIFY(ports->itemData(*port - 1, Qt::FontRole).value<QFont>().bold() &&
                (QFile::exists("/dev/ttyUSB31") ||
                 ports->itemData(63, Qt::ToolTipRole) == "/dev/ttyUSB31"));
        click(w, "cmdFetch");
        road.step("\"Fetch Data\": the choice stays usable meanwhile");
        QCOMPARE(controls(*progressStrip()).mid(0, 2).join("|"),
                 "frmFetch \"\" 5550 x 885|Label1 in frmFetch at 840 240 3855 615 "
                 "\"Fetching Data ...\" bold 18");
        QTRY_VERIFY_WITH_TIMEOUT(!progressStrip(), 10'000);
        road.step("the fetch ended: data set 1, the meter's texts as they came");
        QVERIFY(w.reportValues().PrnModel == "Model No.: <b>VM</b>\r" &&
                w.reportValues().PrnData[200] == quint8(SimulatedDataSets::record(1)[201]));
        const QImage dataSet1 = picture(*child(f.window, "pic"));
        click(w, "optData", 2);
        road.step("Data 3");
        QVERIFY(w.reportValues().PrnLoad == "Load (Ohms): 1000" &&
                picture(*child(f.window, "pic")) != dataSet1);
        for (QLabel *l : w.findChildren<QLabel *>()) // seen whole, whatever the font; plain text
            QVERIFY(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width() &&
                    (l->textFormat() == Qt::PlainText || l->objectName() == "Image1"));
        // Data set 2 as CSV, the waveform as PNG as shown; where no file can be made, said so.
        click(w, "optData", 1);
        QTemporaryDir dir;
        child<QAction>(w, "actExportCsv")->trigger();
        road.step("Data 2, \"Export Data Set as CSV…\"");
        answer(w, "exportCsv", dir.filePath("set2.csv"));
        child<QAction>(w, "actSaveImage")->trigger();
        road.step("\"Save Waveform Image…\"");
        answer(w, "saveImage", dir.filePath("set2.png"));
        QFile csv(dir.filePath("set2.csv"));
        QVERIFY(
            csv.open(QIODevice::ReadOnly) &&
            csv.readAll().startsWith(
                "\xEF\xBB\xBFModel No.,<b>VM</b>\r\nSerial No.,SN-104233\r\nVoltage (kV),5.2\r\n"));
        QCOMPARE(QImage(dir.filePath("set2.png")).convertToFormat(QImage::Format_RGB32),
                 picture(*child(w, "pic")));
        child<QAction>(w, "actExportCsv")->trigger();
        answer(w, "exportCsv", "/proc/voltrane.csv");
        road.step("the CSV into /proc");
        shown(w, "exportError")->accept();
        // The cable is pulled; then, during a fetch from a meter whose records come a byte short,
        // again: a message each time, back to choosing a port, what was shown stays.
        f.sim.hangUp();
        QVERIFY(shown(w, "commPortError"));
        road.step("the cable pulled");
        shown(w, "commPortError")->accept();
        QTRY_VERIFY(!w.findChild<QMessageBox *>());
        MeterSimulator other({.recordLength = 221, .hangUpAfter = 4, .model = "VM-9"});
        QVERIFY(other.start() && f.setPort(other));

        click(w, "cmdFetch");
        QVERIFY(shown(w, "commPortError"));
        click(w, "optData", 0); // the short record: nothing
        road.step("another meter, records a byte short, the cable pulled during its fetch (the "
                  "same message); Data 1");
        QVERIFY(!progressStrip() && w.reportValues().PrnModel == "Model No.: <b>VM</b>\r");
        QCOMPARE_GOLDEN("main-window.txt", road.lines);
    }

    void mainWindowStopsAFetchOnClose()
    {
        ProgramFixture f;
        SET_PORT(f, f.sim);
        click(f.window, "cmdFetch");
        QTRY_COMPARE(f.sim.receivedCommands().size(), 2);
        f.window.close();
        QTest::qWait(400);
        QVERIFY(f.sim.receivedCommands().size() == 2 && !f.link.cm->isOpen() && !progressStrip());
    }

    void printDialog()
    {
        ProgramFixture f;
        click(f.window, "cmdPrint");
        auto *dialog = shown<PrintDialog>(f.window, "frmPrint"); // before any fetch all the same
        QVERIFY(dialog->parentWidget() == &f.window && dialog->isModal());
        // Today's date, with the separator of the regional settings.
        QCOMPARE(child<QLineEdit>(*dialog, "txtDate")->text(),
                 ReportPage::dateText(QDate::currentDate()));
        QString dates =
            ReportPage::dateText(QDate(2026, 12, 6)) + ReportPage::dateText(QDate(2100, 7, 4));
        for (const char *format :
             {"dd.MM.yy", "yyyy-MM-dd", "M/d/yy", "'Date' d.M.yy", "d MMM yyyy", ""})
            dates += ReportPage::dateSeparator(format);
        QCOMPARE(
            dates.replace(
                ReportPage::dateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat)), "/"),
            "06/12/2604/07/00.-/.//");
        child<QLineEdit>(*dialog, "txtDate")->setText("today");
        Road road{*dialog};
        road.step("opened");
        QTest::keyClicks(child(*dialog, "txtEmodel"), "FE-300");
        QTest::keyClick(child(*dialog, "txtEmodel"), Qt::Key_Return);
        QTest::keyClick(dialog, Qt::Key_Escape);
        road.step("typed; Enter and Escape press nothing");
        click(*dialog, "cmdClose");
        QTRY_VERIFY(!f.window.findChild<PrintDialog *>());
        // After a fetch, a fresh dialog; "P R I N T" with no printer: the offer of a PDF; where no
        // file can be made (/proc), said so, and the dialog stays.
        SET_PORT(f, f.sim);
        QVERIFY(f.fetch());
        click(f.window, "cmdPrint");
        Road again{*shown<PrintDialog>(f.window, "frmPrint")};
        QWidget &fresh = *f.window.findChild<PrintDialog *>();
        child<QLineEdit>(fresh, "txtDate")->setText("today");
        QTest::keyClicks(child(fresh, "txtEserial"), "A1234");
        click(fresh, "cmdPrint");
        again.step("after a fetch: \"P R I N T\" with no printer");
        shown(fresh, "noPrinter")->button(QMessageBox::Save)->click();
        again.step("Save");
        QTemporaryDir dir;
        answer(fresh, "savePdf", dir.filePath("report.pdf"));
        click(fresh, "cmdPrint");
        shown(fresh, "noPrinter")->button(QMessageBox::Save)->click();
        answer(fresh, "savePdf", "/proc/report.pdf");
        QVERIFY(shown(fresh, "printError"));
        again.step("the PDF saved; then into /proc");
        QFile pdf(dir.filePath("report.pdf")); // the page itself is the report tests' matter
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
        QCOMPARE_GOLDEN("print-dialog.txt", road.lines + again.lines);
    }

    void waveformArea()
    {
        // As the main window prepares it: the white axes, and "Volts" with its text cell at pixel
        // (24, 10) and "Time (µs)" at (493, 225) in cyan, whatever the font.
        RetainedCanvas area, twips;
        area.resize(617, 297);
        WaveformPlot::prepareWaveformArea(area);
        const QImage prepared = picture(area);
        const QRect volts = cyanIn(prepared, {0, 0, 300, 150}),
                    time = cyanIn(prepared, {300, 150, 317, 147});
        QVERIFY(cyanIn(prepared, prepared.rect()) == (volts | time) &&
                QRect(23, 9, 5, 8).contains(volts.topLeft()) &&
                QRect(492, 224, 5, 8).contains(time.topLeft()));
        // clear() leaves the axes and takes the captions for good. Each sample a yellow box: 127
        // over the x-axis, 255 at the top, 70 below the area, 71 just in it, no wrap in 16 bits.
        // Kept through repaints and resizes, and shown as drawn.
        area.clear();
        RecordingSurface log;
        WaveformPlot::drawAxisCaptions(log);
        for (DrawingSurface *s :
             {static_cast<DrawingSurface *>(&area), static_cast<DrawingSurface *>(&log)})
            WaveformPlot::plotSamples(*s, samples({1, 129, 2, 127, 100, 255, 150, 70, 151, 71, 160,
                                                   32767, 170, -32768, 200, 127}));
        QCOMPARE_GOLDEN("waveform.log", log.log);
        QCOMPARE(picture(area), golden("waveform.png", picture(area)));
        area.resize(1234, 594);
        QCOMPARE(picture(area), golden("waveform-large.png", picture(area)));
        area.resize(617, 297);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QCOMPARE(picture(area, true), golden("waveform.png", picture(area)));
        // Before a scale is set, 15 twips a pixel: lines take both end pixels, outlines the edge
        // pixels of their box.
        twips.resize(617, 297);
        twips.drawBox({150, 150}, {300, 300}, Qt::yellow, DrawingSurface::Fill::Filled);
        twips.drawBox({1500, 1500}, {3000, 3000}, Qt::red, DrawingSurface::Fill::Outline);
        twips.drawLine({750, 3600}, {1500, 3600}, Qt::green);
        twips.drawLine({370, 40}, {1120, 790}, Qt::blue);
        QCOMPARE(picture(twips), golden("twips.png", picture(twips)));
        QCOMPARE(DrawingSurface::numberText(-32768) + DrawingSurface::numberText(0) +
                     DrawingSurface::numberText(14),
                 "-32768  0  14 ");
    }
};

int main(int argc, char *argv[])
{
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock"); // no printer, whatever this machine has
    QApplication app(argc, argv);
    TestUi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui.moc"
