#include "FetchFile.h"
#include "FileSave.h"
#include "FixedLayout.h"
#include "Golden.h"
#include "PdfText.h"
#include "PortComboBox.h"
#include "PrintDialog.h"
#include "ProgramFixture.h"
#include "RecordingSurface.h"
#include "ReportPrinter.h"
#include "RetainedCanvas.h"
#include "WaveformPlot.h"

#include <signal.h>
#include <sys/resource.h>

namespace {
QImage picture(QWidget &w) // as painted
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
void answer(QWidget &window, const char *dialog, const QString &fileName)
{
    emit shown<QFileDialog>(window, dialog)->fileSelected(fileName); // as its Save button does
    window.findChild<QFileDialog *>()->reject();
    QTRY_VERIFY(!window.findChild<QFileDialog *>());
}
void dismiss(QWidget &window, const char *box)
{
    shown<QMessageBox>(window, box)->accept();
    QTRY_VERIFY(!window.findChild<QMessageBox *>());
}
QWidget *progressStrip() // "Fetching Data ...", while it is shown
{
    for (QWidget *strip : QApplication::topLevelWidgets())
        if (strip->objectName() == "frmFetch" && strip->isVisible())
            return strip;
    return nullptr;
}
} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void mainWindow()
    {
        ProgramFixture f({.model = "<b>x</b>&amp;<img src=/x>"});
        MainWindow &w = f.window;
        QWidget *pic = child(w, "pic");
        auto *ports = child<PortComboBox>(w, "cmbPort");
        // The print dialog, fresh each time, with today's date; Enter and Escape press nothing;
        // with no printer it offers a PDF; where none can be made (/proc), said so, the dialog
        // stays.
        QStringList printing;
        const auto print = [&](const QString &pdf) {
            click(child(w, "cmdPrint"));
            auto *dialog = shown<PrintDialog>(w, "frmPrint");
            QVERIFY(dialog->parentWidget() == &w && dialog->isModal());
            QCOMPARE(child<QLineEdit>(*dialog, "txtDate")->text(),
                     ReportPage::dateText(QDate::currentDate()));
            child<QLineEdit>(*dialog, "txtDate")->setText("today");
            Road road{*dialog};
            road.step("opened");
            QTest::keyClicks(child(*dialog, "txtEserial"), "A1234");
            QTest::keyClick(child(*dialog, "txtEserial"), Qt::Key_Return);
            QTest::keyClick(dialog, Qt::Key_Escape);
            click(child(*dialog, "cmdPrint"));
            road.step("typed, Enter, Escape, \"P R I N T\" with no printer");
            road.step((shown<QMessageBox>(*dialog, "noPrinter"), "the print service answered"));
            shown<QMessageBox>(*dialog, "noPrinter")->button(QMessageBox::Save)->click();
            road.step("Save");
            answer(*dialog, "savePdf", pdf);
            QVERIFY(pdf.startsWith("/proc") ? shown(*dialog, "printError") != nullptr
                                            : QFile(pdf).size() > 1000);
            road.step("the PDF saved");
            // "Save PDF…": the same question, and the very page the print service gets (one A4).
            if (!pdf.startsWith("/proc")) {
                child<QLineEdit>(*dialog, "txtEmodel")->insert("EF 2/ü");
                click(child(*dialog, "cmdSavePdf"));
                road.step("a model typed, \"Save PDF…\"");
                answer(*dialog, "savePdf", pdf + ".saved");
                const QByteArray printed =
                    ReportPrinter::pdf(dialog->details(), ReportValues::of(f.session.shown()));
                QVERIFY(FileSave::write(pdf + ".printed", printed).ok() &&
                        PdfText::read(pdf + ".saved").words ==
                            PdfText::read(pdf + ".printed").words);
                QVERIFY(QString(PdfText::run("pdfinfo", {pdf + ".saved"}).value_or(""))
                            .simplified()
                            .contains(QRegularExpression(
                                "^Title: Test Report Creator: Voltrane Meter " VOLTRANE_VERSION
                                " .* Pages: 1 .*\\(A4\\)")));
            }
            printing << road.lines;
            click(child(*dialog, "cmdClose"));
            QTRY_VERIFY(!w.findChild<PrintDialog *>());
        };
        Road road{w};
        road.step("shown");
        ports->setEditText("com 1"); // any letter case
        QVERIFY(ports->count() == 255 && ports->itemText(254) == "COM 255" &&
                ports->maxVisibleItems() == 16 && ports->portNumber() == 1 &&
                MainWindow::programIcon().availableSizes().size() == 6 &&
                !child<QLabel>(w, "Image1")->pixmap().isNull());
        click(child(w, "optData", 3)), click(child(w, "optData", 2));
        road.step("Data 4, then Data 3, before a fetch: nothing to show, print or export");
        QVERIFY(!f.session.shown() && !child<QAction>(w, "actSaveImage")->isEnabled());
        QCOMPARE(picture(*pic), golden("nothing-fetched.png", picture(*pic)));
        QTemporaryDir dir;
        ports->setEditText("my meter");
        click(child(w, "cmdSetPort"));
        road.step("\"Set Port\" on a text that names no entry");
        dismiss(w, "commPortError");
        if (!f.setPort(f.sim))
            QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
        road.step("\"Set Port\" on the simulator's entry, which is there");
        const int entry = *PortNames::portNumberForDevice(f.sim.devicePath()) - 1;
        const auto plain = [](const QVariant &tip) { // a tooltip as it reads
            return QTextDocumentFragment::fromHtml(tip.toString()).toPlainText();
        };
        ports->showPopup(); // the bold entry whole in the list
        const QFont bold = ports->itemData(entry, Qt::FontRole).value<QFont>();
        QVERIFY(plain(ports->itemData(entry, Qt::ToolTipRole)) ==
                    f.sim.devicePath() + " - pseudo-terminal" &&
                bold.bold() &&
                ports->view()->visualRect(ports->model()->index(entry, 0)).width() >
                    QFontMetrics(bold).horizontalAdvance(ports->itemText(entry)) + 8 &&
                (QFile::exists("/dev/ttyUSB31") ||
                 plain(ports->itemData(63, Qt::ToolTipRole)) == "/dev/ttyUSB31"));
        click(child(w, "cmdFetch"));
        road.step("\"Fetch Data\": the choice stays usable meanwhile");
        road.lines << controls(*progressStrip()).mid(0, 2)
                   << "frame " +
                          QString::number(static_cast<QFrame *>(progressStrip())->lineWidth());
        QTRY_VERIFY_WITH_TIMEOUT(!progressStrip(), 10'000);
        road.step("the fetch ended: data set 1, the meter's texts as they came");
        QCOMPARE(picture(*pic), golden("data-set-1.png", picture(*pic)));
        QCOMPARE(plain(child(w, "lblModel")->toolTip()), "Model No.: <b>x</b>&amp;<img src=/x>");
        print(dir.filePath("report.pdf"));
        click(child(w, "optData", 2));
        road.step("Data 3");
        QCOMPARE(picture(*pic), golden("data-set-3.png", picture(*pic)));
        for (QLabel *l : w.findChildren<QLabel *>()) // whole, or in the tooltip; plain text
            QVERIFY((QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width()) !=
                        (l->toolTip() > "") &&
                    (l->textFormat() == Qt::PlainText || l->objectName() == "Image1"));
        QLabel exact(&w); // a caption exactly as wide as its label keeps the size
        exact.resize(QFontMetrics(w.font()).horizontalAdvance("Model No.: VM-2000"), 20);
        FixedLayout::setFittedCaption(&exact, "Model No.: VM-2000");
        QVERIFY(exact.font() == w.font() && exact.toolTip().isEmpty());
        // Data set 2 as CSV, the waveform as PNG as shown; where no file can be made, said so.
        click(child(w, "optData", 1));
        child<QAction>(w, "actExportCsv")->trigger();
        road.step("Data 2, \"Export Data Set as CSV…\"");
        answer(w, "exportCsv", dir.filePath("set2.csv"));
        child<QAction>(w, "actSaveImage")->trigger();
        road.step("\"Save Waveform Image…\"");
        answer(w, "saveImage", dir.filePath("set2.png"));
        QFile csv(dir.filePath("set2.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly) && csv.read(3) == "\xEF\xBB\xBF");
        road.lines << QString(csv.readAll()).split("\r\n").mid(0, 3);
        QCOMPARE(QImage(dir.filePath("set2.png")).convertToFormat(QImage::Format_RGB32),
                 picture(*pic));
        child<QAction>(w, "actExportCsv")->trigger();
        answer(w, "exportCsv", "/proc/voltrane.csv");
        road.step("the CSV into /proc");
        dismiss(w, "exportError");
        print("/proc/report.pdf");
        QCOMPARE_GOLDEN(
            "print-dialog.txt",
            printing.replaceInStrings(QDate::currentDate().toString(Qt::ISODate), "<today>"));
        // The cable is pulled: a message, back to choosing a port. A meter that does not answer at
        // all: said, back to choosing a port. Another one, whose records come a byte short:
        // nothing of the first meter stays, each data set says why.
        f.sim.hangUp();
        QVERIFY(shown(w, "commPortError"));
        road.step("the cable pulled");
        dismiss(w, "commPortError");
        MeterSimulator other({.recordLength = 221, .model = "VM-9"}), silent({.silent = true}),
            late({.replyDelay = std::chrono::milliseconds(1100)}); // mid-way through "?2"
        QVERIFY(other.start() && silent.start() && late.start() && f.setPort(silent));
        click(child(w, "cmdFetch"));
        QVERIFY(shown(w, "commPortError"));
        road.step("a meter that does not answer");
        dismiss(w, "commPortError");
        QVERIFY(f.setPort(late));
        click(child(w, "cmdFetch"));
        QVERIFY(shown(w, "fetchError"));
        road.step("a meter that answers too late, then its cable pulled");
        const QDir history(FetchFile::historyFolder()); // kept all the same, marked cut short
        const auto newest = [&] {
            const auto read = FetchFile::read(
                history.filePath(history.entryList(QDir::Files, QDir::Time).value(0)));
            return read ? std::optional(*read) : std::nullopt;
        };
        QTRY_VERIFY(newest() && !newest()->complete && newest()->records[0] == "");
        dismiss(w, "fetchError");
        late.hangUp();
        dismiss(w, "commPortError");
        QVERIFY(f.setPort(other));
        click(child(w, "cmdFetch"));
        QVERIFY(shown(w, "fetchError"));
        road.step("another meter, records a byte short");
        QCOMPARE(picture(*pic), golden("data-set-short.png", picture(*pic)));
        QVERIFY(!f.session.shown());
        QCOMPARE_GOLDEN("main-window.txt", road.lines);
        // Closed in the middle of a fetch: it stops, nothing more goes to the meter.
        dismiss(w, "fetchError");
        click(child(w, "cmdFetch"));
        QTRY_COMPARE(other.receivedCommands().size(), 6 + 2);
        w.close();
        QTest::qWait(400);
        QVERIFY(other.receivedCommands().size() == 8 && !f.cm.isOpen() && !progressStrip());
    }

    void savesUnderAFileSizeLimit()
    {
        // In a child process whose files may not grow past 512 bytes, every save fails as on a
        // full disk: said, and a file of that name keeps its contents.
        if (qgetenv("VOLTRANE_FILE_SIZE_LIMIT") != "512") {
            QProcess child; // with the variable set, so that it tries the saves
            qputenv("VOLTRANE_FILE_SIZE_LIMIT", "512");
            child.setChildProcessModifier([] {
                const rlimit limit{512, 512};
                setrlimit(RLIMIT_FSIZE, &limit);
                signal(SIGXFSZ, SIG_IGN);
            });
            child.start(QCoreApplication::applicationFilePath(), {"savesUnderAFileSizeLimit"});
            QVERIFY(child.waitForFinished(60'000) && qunsetenv("VOLTRANE_FILE_SIZE_LIMIT"));
            QVERIFY2(child.exitCode() == 0, child.readAll().constData());
            return;
        }
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTemporaryDir dir;
        click(child(f.window, "cmdPrint"));
        QWidget &print = *shown(f.window, "frmPrint");
        for (const auto &[save, command] : {std::pair{"exportCsv", "actExportCsv"},
                                            {"saveImage", "actSaveImage"},
                                            {"savePdf", "cmdSavePdf"}}) {
            QFile file(dir.filePath(save));
            QVERIFY(FileSave::write(file.fileName(), "kept").ok());
            const bool pdf = command[0] == 'c'; // the print dialog's button
            QWidget &window = pdf ? print : f.window;
            pdf ? click(child(print, command)) : child<QAction>(f.window, command)->trigger();
            answer(window, save, file.fileName());
            auto *error = shown<QMessageBox>(window, pdf ? "printError" : "exportError");
            QVERIFY(error->text().contains(". File too large."));
            error->accept();
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "kept");
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"exportCsv", "saveImage", "savePdf"})); // no temporary file left
    }

    void keptFetches()
    {
        // A fetch is kept in the history folder with every byte the meter sent; opened in a fresh
        // window it shows, prints and saves as after the fetch; a bad file changes nothing.
        QDir history(FetchFile::historyFolder());
        history.removeRecursively();
        ProgramFixture f;
        QVERIFY(f.fetched());
        QVERIFY(QTest::qWaitFor([&] { return history.entryList({"*.vmfetch"}).size() == 1; }));
        const QString path = history.filePath(history.entryList({"*.vmfetch"})[0]);
        QString menu;
        const Result<FetchRecord> fetch = FetchFile::read(path);
        QVERIFY(fetch && fetch->complete &&
                fetch->modelReply == MeterSimulator::replyFor("?M", {}));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fetch->records[i],
                     MeterSimulator::replyFor("?" + QByteArray::number(i + 1), {}));
        MeterPort port;
        MeterSession session(port, {.program = "voltrane-meter test"});
        MainWindow opened(session);
        for (const QAction *a : child(opened, "pic")->actions())
            menu +=
                a->text() + ' ' + a->shortcut().toString() + (a->isEnabled() ? "|" : " greyed|");
        QCOMPARE(menu, "Open Saved Fetch… Ctrl+O|Save Fetch As… Ctrl+S greyed|Export Data Set as "
                       "CSV…  greyed|Save Waveform Image…  greyed|");
        opened.openFetch(path);
        QVERIFY(opened.windowTitle() ==
                    "Voltrane Meter - PC Utility - " + QFileInfo(path).fileName() &&
                controls(opened).filter("lbl") == controls(f.window).filter("lbl") &&
                picture(*child(opened, "pic")) == picture(*child(f.window, "pic")) &&
                ReportValues::of(session.shown()) == ReportValues::of(f.session.shown()));
        child<QAction>(opened, "actSaveFetch")->trigger();
        QTemporaryDir dir;
        answer(opened, "saveFetch", dir.filePath("again.vmfetch"));
        QCOMPARE(*FetchFile::read(dir.filePath("again.vmfetch")), *fetch);
        const QStringList before = controls(opened);
        opened.openFetch(dir.filePath("gone.vmfetch"));
        QVERIFY(shown(opened, "openError") && controls(opened).mid(0, before.size()) == before);
        // While a fetch runs, a dropped file is refused; afterwards it opens. A fetch that cannot
        // be kept says so.
        qputenv("XDG_DATA_HOME", "/proc/none");
        click(child(f.window, "cmdFetch"));
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter({9, 9}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&f.window, &enter);
        QVERIFY(!enter.isAccepted() && !child<QAction>(f.window, "actOpenFetch")->isEnabled());
        QVERIFY(shown(f.window, "fetchNotKept"));
        qputenv("XDG_DATA_HOME", history.absolutePath().section('/', 0, -3).toLocal8Bit());
        QApplication::sendEvent(&f.window, &enter);
        QDropEvent drop({9, 9}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&f.window, &drop);
        QVERIFY(enter.isAccepted() && f.window.windowTitle().endsWith(QFileInfo(path).fileName()));
    }

    void waveformArea()
    {
        // As the main window prepares it: the white axes, and "Volts" with its text cell at pixel
        // (24, 10) and "Time (µs)" at (493, 225) in cyan, whatever the font.
        RetainedCanvas area; // before a scale is set, 15 twips a pixel
        area.resize(617, 297);
        area.drawBox({150, 150}, {300, 300}, Qt::yellow, DrawingSurface::Fill::Filled);
        QVERIFY(picture(area).pixel(10, 19) == 0xffffff00 &&
                picture(area).pixel(20, 20) == 0xff000000);
        area.drawBox({600, 600}, {1200, 1200}, Qt::yellow, DrawingSurface::Fill::Outline);
        QVERIFY(picture(area).pixel(40, 50) == 0xffffff00 &&
                picture(area).pixel(41, 50) == 0xff000000);
        WaveformPlot::prepareWaveformArea(area);
        QRect volts, time;
        const QImage prepared = picture(area);
        for (int y = 0; y < 297; ++y)
            for (int x = 0; x < 617; ++x)
                if (const QRgb p = prepared.pixel(x, y);
                    qRed(p) == 0 && qGreen(p) > 0 && qGreen(p) == qBlue(p))
                    (x < 300 ? volts : time) |= QRect(x, y, 1, 1);
        QVERIFY(QRect(23, 9, 5, 8).contains(volts.topLeft()) &&
                QRect(492, 224, 5, 8).contains(time.topLeft()) && time.width() > volts.width());
        // clear() leaves the axes, the captions go for good. Each sample a yellow box: 127 over the
        // x-axis, 255 at the top, 70 below the area, 71 just in it, no wrap in 16 bits; resized.
        area.clear();
        RecordingSurface log;
        WaveformPlot::drawAxisCaptions(log);
        Measurement::Samples samples{};
        const int at[] = {1, 2, 100, 150, 151, 160, 170, 200},
                  code[] = {129, 127, 255, 70, 71, 32767, -32768, 127};
        for (int k = 0; k < 8; ++k)
            samples[at[k]] = std::int16_t(code[k]);
        WaveformPlot::plotSamples(area, samples);
        WaveformPlot::plotSamples(log, samples);
        QCOMPARE_GOLDEN("waveform.log", log.log);
        QCOMPARE(picture(area), golden("waveform.png", picture(area)));
        area.resize(1234, 594);
        QCOMPARE(picture(area), golden("waveform-large.png", picture(area)));
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
