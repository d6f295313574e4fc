#include "CompiledPictures.h"
#include "FetchFile.h"
#include "FetchProgress.h"
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
#include "Settings.h"
#include "WaveformPlot.h"

#include <fcntl.h>
#include <list>
#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
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
QWidget *progressStrip() // "Fetching Data ...", while it is shown
{
    for (QWidget *strip : QApplication::topLevelWidgets())
        if (strip->objectName() == "frmFetch" && strip->isVisible())
            return strip;
    return nullptr;
}
// "Recent Fetches" as the waveform area's context menu opens: its entries, "greyed" when it is.
QString recentMenu(QWidget &window)
{
    QString entries;
    QTimer::singleShot(0, [&] { // inside the menu's own event loop
        auto *menu = child<QMenu>(window, "menuRecent");
        for (const QAction *a : menu->actions())
            entries += a->text() + '|';
        entries += menu->menuAction()->isEnabled() ? "" : "greyed";
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, {9, 9}, {9, 9}); // where: no matter
    QApplication::sendEvent(child(window, "pic"), &event);
    return entries;
}
// A message box's text.
QString said(QWidget &window, const char *box)
{
    auto *shownBox = shown<QMessageBox>(window, box);
    return shownBox ? shownBox->text() : QStringLiteral("no message %1").arg(box);
}
} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void init() // every test on a settings file of its own
    {
        qputenv("XDG_CONFIG_HOME", configs.emplace_back().path().toUtf8());
    }

    void windowStartsWithThePortChoiceOpen()
    {
        ProgramFixture f;
        Road road{f.window};
        road.step("shown");
        QCOMPARE_GOLDEN("main-window.txt", road.lines);
        auto *ports = child<PortComboBox>(f.window, "cmbPort");
        QCOMPARE(ports->count(), 255);
        QCOMPARE(ports->itemText(254), "COM 255");
        QCOMPARE(ports->maxVisibleItems(), 16);
        ports->setEditText("com 1"); // any letter case
        QCOMPARE(ports->portNumber(), 1);
        QCOMPARE(MainWindow::programIcon().availableSizes().size(), 4);
        QVERIFY(!child<QLabel>(f.window, "Image1")->pixmap().isNull());
    }

    void compiledPicturesAreTheirFiles_data()
    {
        QTest::addColumn<QImage>("compiled");
        QTest::addColumn<QString>("file");
        QTest::newRow("logo") << CompiledPictures::logo.image()
                              << QStringLiteral(VOLTRANE_RESOURCES_DIR "/logo.png");
        QTest::newRow("logo@2x") << CompiledPictures::logo2x.image()
                                 << QStringLiteral(VOLTRANE_RESOURCES_DIR "/logo@2x.png");
        QTest::newRow("group box frame")
            << CompiledPictures::groupBoxFrame.image()
            << QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png");
    }
    void compiledPicturesAreTheirFiles()
    {
        QFETCH(QImage, compiled);
        QFETCH(QString, file);
        QImage read(file);
        QVERIFY2(!read.isNull(), qPrintable(file));
        read.setDevicePixelRatio(1); // Qt reads "@2x" in a file's name as a ratio of 2
        QCOMPARE(compiled.convertToFormat(QImage::Format_ARGB32),
                 read.convertToFormat(QImage::Format_ARGB32));
    }

    void dataSetBeforeAFetchSaysNothingFetched()
    {
        ProgramFixture f;
        click(child(f.window, "optData", 3)), click(child(f.window, "optData", 2));
        QVERIFY(!f.session.shown());
        QVERIFY(!child(f.window, "cmdPrint")->isEnabled());
        QVERIFY(!child<QAction>(f.window, "actSaveImage")->isEnabled());
        QWidget &pic = *child(f.window, "pic");
        QCOMPARE(picture(pic), golden("nothing-fetched.png", picture(pic)));
    }

    void setPortRefusesTextThatNamesNoEntry()
    {
        ProgramFixture f;
        child<QComboBox>(f.window, "cmbPort")->setEditText("my meter");
        click(child(f.window, "cmdSetPort"));
        QCOMPARE(said(f.window, "commPortError"),
                 "\"my meter\" is not one of the ports \"COM 1\" to \"COM 255\". Choose one from "
                 "the list (or type it as the list names it), then press \"Set Port\".");
        QCOMPARE(shown<QMessageBox>(f.window, "commPortError")->windowTitle(), "Comm Port Error!");
        QVERIFY(child(f.window, "FrameSet")->isEnabled());
    }

    void portListMarksPresentDevices()
    {
        // The simulator's entry in bold, whole in the list, its device in its tooltip; an absent
        // device's entry names it too.
        ProgramFixture f;
        auto *ports = child<PortComboBox>(f.window, "cmbPort");
        const std::optional<int> port = PortNames::portNumberForDevice(f.sim.devicePath());
        if (!port)
            QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
        const auto plain = [](const QVariant &tip) { // a tooltip as it reads
            return QTextDocumentFragment::fromHtml(tip.toString()).toPlainText();
        };
        ports->showPopup();
        const QFont bold = ports->itemData(*port - 1, Qt::FontRole).value<QFont>();
        QCOMPARE(plain(ports->itemData(*port - 1, Qt::ToolTipRole)),
                 f.sim.devicePath() + " - pseudo-terminal");
        QVERIFY(bold.bold());
        QVERIFY(ports->view()->visualRect(ports->model()->index(*port - 1, 0)).width() >
                QFontMetrics(bold).horizontalAdvance(ports->itemText(*port - 1)) + 8);
        if (!QFile::exists("/dev/ttyUSB31"))
            QCOMPARE(plain(ports->itemData(63, Qt::ToolTipRole)), "/dev/ttyUSB31");
    }

    void fetchShowsDataSetOneAsTheMeterSentIt()
    {
        // The road from "Set Port" to data set 3; the meter's texts shown as the characters they
        // are; every label whole, or whole in its tooltip.
        ProgramFixture f({.model = "<b>x</b>&amp;<img src=/x>", .serial = "SN-1\nB"});
        MainWindow &w = f.window;
        QWidget &pic = *child(w, "pic");
        Road road{w};
        road.step("shown");
        road.lines.clear();
        if (!f.setPort(f.sim))
            QSKIP("the simulator's pseudo-terminal has no COM entry on this machine");
        road.step("\"Set Port\" on the simulator's entry, which is there");
        click(child(w, "cmdFetch"));
        road.step("\"Fetch Data\": the choice stays usable meanwhile");
        road.lines << controls(*progressStrip()).mid(0, 2)
                   << "frame " +
                          QString::number(static_cast<QFrame *>(progressStrip())->lineWidth());
        QTRY_VERIFY_WITH_TIMEOUT(!progressStrip(), 10'000);
        road.step("the fetch ended: data set 1, the meter's texts as they came");
        QCOMPARE(picture(pic), golden("data-set-1.png", picture(pic)));
        click(child(w, "optData", 2));
        road.step("Data 3");
        QCOMPARE(picture(pic), golden("data-set-3.png", picture(pic)));
        QCOMPARE_GOLDEN("main-window-fetch.txt", road.lines);
        const auto plain = [](const QString &tip) {
            return QTextDocumentFragment::fromHtml(tip).toPlainText();
        };
        QCOMPARE(plain(child(w, "lblModel")->toolTip()), "Model No.: <b>x</b>&amp;<img src=/x>");
        for (QLabel *l : w.findChildren<QLabel *>()) {
            const bool whole = QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width();
            QCOMPARE(whole, l->toolTip().isEmpty());
            QVERIFY(l->textFormat() == Qt::PlainText || l->objectName() == "Image1");
        }
        QLabel exact(&w); // a caption exactly as wide as its label keeps the size
        exact.resize(QFontMetrics(w.font()).horizontalAdvance("Model No.: VM-2000"), 20);
        FixedLayout::setFittedCaption(&exact, "Model No.: VM-2000");
        QCOMPARE(exact.font(), w.font());
        QCOMPARE(exact.toolTip(), "");
    }

    void twipsWindowsKeepTheirFaceOnALargeDesktopFont_data()
    {
        // On an 11-point desktop font, every control in Liberation Sans at the one size but the
        // bold headline at the layout's, every caption whole in its control (none cut).
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("others"); // the controls not whole at the one size
        QTest::newRow("frmMain, data set 3")
            << 0 << QStringList{"Label6 Liberation Sans 13.5 bold"};
        QTest::newRow("frmPrint") << 1 << QStringList{};
        QTest::newRow("frmFetch") << 2 << QStringList{"Label1 Liberation Sans 18 bold"};
    }
    void twipsWindowsKeepTheirFaceOnALargeDesktopFont()
    {
        QFETCH(int, window);
        QFETCH(QStringList, others);
        const QFont desktop = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
        QApplication::setFont(QFont(desktop.family(), 11));
        std::optional<ProgramFixture> f;
        std::unique_ptr<QWidget> own;
        if (window == 0) {
            QVERIFY(f.emplace().fetched());
            click(child(f->window, "optData", 2));
        }
        if (window == 1)
            own = std::make_unique<PrintDialog>(std::nullopt, IssuedPage{}, nullptr, nullptr);
        if (window == 2)
            own = std::make_unique<FetchProgress>();
        QCOMPARE(QApplication::font(), QFont(desktop.family(), 11)); // still the new windows' font
        QStringList found;
        const QWidget &w = own ? *own : f->window;
        for (const QWidget *c : w.findChildren<QWidget *>(QRegularExpression("^[^q]"))) {
            const QString face = QFontInfo(c->font()).family() + ' ' +
                                 QString::number(c->font().pointSizeF()) +
                                 (c->font().bold() ? " bold" : "") +
                                 (c->minimumSizeHint().width() > c->width() ? " cut" : "");
            if (c->window() == &w && face != "Liberation Sans 7.5")
                found << c->objectName() + ' ' + face;
        }
        QCOMPARE(found, others);
    }

    void printDialogOffersAPdfWithoutAPrinter()
    {
        // The print dialog, fresh each time, with today's date; Enter and Escape press nothing;
        // with no printer it offers a PDF; where none can be made (/proc), said so, the dialog
        // stays. "Save PDF…" saves the very page the print service gets.
        ProgramFixture f;
        QVERIFY(f.fetched());
        MainWindow &w = f.window;
        QTemporaryDir dir;
        QStringList printing;
        for (const QString &pdf : {dir.filePath("report.pdf"), QString("/proc/report.pdf")}) {
            click(child(w, "cmdPrint"));
            auto *dialog = shown<PrintDialog>(w, "frmPrint");
            QCOMPARE(dialog->parentWidget(), &w);
            QVERIFY(dialog->isModal());
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
            if (pdf.startsWith("/proc"))
                QVERIFY(shown(*dialog, "printError"));
            else
                QVERIFY(QFile(pdf).size() > 1000);
            road.step("the PDF saved");
            if (!pdf.startsWith("/proc")) {
                child<QLineEdit>(*dialog, "txtEmodel")->insert("EF 2/ü");
                click(child(*dialog, "cmdSavePdf"));
                road.step("a model typed, \"Save PDF…\"");
                answer(*dialog, "savePdf", pdf + ".saved");
                const QByteArray printed =
                    ReportPrinter::pdf(dialog->details(), ReportValues::of(f.session.shown()));
                QVERIFY(FileSave::write(pdf + ".printed", printed));
                QCOMPARE(PdfText::read(pdf + ".saved").words,
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
        }
        QCOMPARE_GOLDEN(
            "print-dialog.txt",
            printing.replaceInStrings(QDate::currentDate().toString(Qt::ISODate), "<today>"));
    }

    void pagesIssuedRecordTheTestOnce()
    {
        // Each page saved as a PDF records the test, with the texts typed and the fetch held; the
        // same page again is the same test; a page that is not issued records nothing.
        ProgramFixture f;
        QVERIFY(f.fetched());
        click(child(f.window, "optData", 1));
        QTemporaryDir dir;
        click(child(f.window, "cmdPrint"));
        auto *dialog = shown<PrintDialog>(f.window, "frmPrint");
        const auto save = [&](const QString &customer) {
            child<QLineEdit>(*dialog, "txtCustomer")->setText(customer);
            click(child(*dialog, "cmdSavePdf"));
            answer(*dialog, "savePdf", dir.filePath(customer + ".pdf"));
        };
        QTest::keyClicks(child(*dialog, "txtEmodel"), "M 450");
        QTest::keyClicks(child(*dialog, "txtEserial"), "7788");
        save("Farm A");
        save("Farm A");
        QTRY_COMPARE(f.recorded().size(), 1);
        save("Farm B");
        QTRY_COMPARE(f.recorded().size(), 2);
        click(child(*dialog, "cmdPrint")); // no print service: offered a PDF, nothing recorded
        shown<QMessageBox>(*dialog, "noPrinter")->reject();
        // With the limit check on the page, the record keeps its verdicts.
        child<QCheckBox>(*dialog, "chkLimitCheck")->click();
        save("Farm C");
        QTRY_COMPARE(f.recorded().size(), 3);
        QCOMPARE(f.recorded().first().check,
                 "{\"profile\":\"Energizer safety limits (indicative)\",\"energy\":\"pass\","
                 "\"interval\":\"pass\",\"pulseWidth\":\"pass\"}");
        const QList<TestRecord> records = f.recorded();
        const TestRecord &test = records.last();
        QCOMPARE(QStringList({test.energizerModel, test.energizerSerial, test.customer,
                              test.dateText, test.meterModel, test.meterSerial}),
                 QStringList({"M 450", "7788", "Farm A", ReportPage::dateText(QDate::currentDate()),
                              "VM-2000", "SN-104233"}));
        QCOMPARE(test.dataSet, 2);
        QCOMPARE(test.voltCount, 52);
        QCOMPARE(test.fetchFile, f.session.fileBytes());
        // The next dialog completes what is typed from the energizers recorded.
        click(child(*dialog, "cmdClose"));
        click(child(f.window, "cmdPrint"));
        auto *next = shown<PrintDialog>(f.window, "frmPrint");
        QVERIFY(child<QCheckBox>(*next, "chkLimitCheck")->isChecked()); // remembered
        child<QCheckBox>(*next, "chkLimitCheck")->click();
        QTRY_VERIFY(child<QLineEdit>(*next, "txtEserial")->completer());
        QCOMPARE(child<QLineEdit>(*next, "txtEserial")->completer()->model()->index(0, 0).data(),
                 "7788");
    }

    void keptFetchesAreListedInTheRecordsAtStart()
    {
        // The fetches of the history that the records do not know are taken into them as
        // fetches without a test; a file that is no fetch is skipped.
        QDir history(FetchFile::historyFolder());
        history.removeRecursively();
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTRY_COMPARE(history.entryList({"*.vmfetch"}).size(), 1);
        QVERIFY(f.session.saveAs(history.filePath("copy.vmfetch")));
        QVERIFY(FileSave::write(history.filePath("bad.vmfetch"), "{}"));
        QSignalSpy ended(&f.recorder, &TestRecorder::listingEnded);
        f.window.listKeptFetches();
        QVERIFY(ended.wait());
        const auto store = RecordStore::open(f.recorder.storePath());
        QCOMPARE((*store)->counts()->untested, 1); // two files of one fetch: one fetch
        QVERIFY(!f.window.findChild<QMessageBox *>("recordsError"));
    }

    void aStartWithNothingKeptLeavesTheRecordsUnmade()
    {
        // Nothing to list: the records file is not made (nor Qt's SQL driver loaded) at start.
        QDir(FetchFile::historyFolder()).removeRecursively();
        ProgramFixture f;
        QFile::remove(f.recorder.storePath());
        QSignalSpy ended(&f.recorder, &TestRecorder::listingEnded);
        f.window.listKeptFetches();
        QVERIFY(ended.wait());
        QVERIFY(!f.window.findChild<QMessageBox *>("recordsError"));
        QVERIFY(!QFile::exists(f.recorder.storePath()));
    }

    void exportWritesTheDataSetAndItsPicture()
    {
        // Data set 2 as CSV, the waveform as PNG as shown; where no file can be made, said so.
        ProgramFixture f;
        QVERIFY(f.fetched());
        MainWindow &w = f.window;
        QTemporaryDir dir;
        click(child(w, "optData", 1));
        child<QAction>(w, "actExportCsv")->trigger();
        QCOMPARE(shown<QFileDialog>(w, "exportCsv")->selectedFiles().value(0).section('/', -1),
                 "data-set-2.csv");
        answer(w, "exportCsv", dir.filePath("set2.csv"));
        child<QAction>(w, "actSaveImage")->trigger();
        QCOMPARE(shown<QFileDialog>(w, "saveImage")->selectedFiles().value(0).section('/', -1),
                 "waveform-data-set-2.png");
        answer(w, "saveImage", dir.filePath("set2.png"));
        QFile csv(dir.filePath("set2.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.read(3), "\xEF\xBB\xBF");
        QCOMPARE(QString(csv.readAll()).split("\r\n").mid(0, 3),
                 QStringList({"Model No.,VM-2000", "Serial No.,SN-104233", "Voltage (kV),5.2"}));
        QCOMPARE(QImage(dir.filePath("set2.png")).convertToFormat(QImage::Format_RGB32),
                 picture(*child(w, "pic")));
        child<QAction>(w, "actExportCsv")->trigger();
        answer(w, "exportCsv", "/proc/voltrane.csv");
        QCOMPARE(said(w, "exportError"), "The data set could not be saved as "
                                         "\"/proc/voltrane.csv\". No such file or directory.");
        child<QAction>(w, "actExportCsv")->trigger(); // where it was last saved, not /proc
        QCOMPARE(shown<QFileDialog>(w, "exportCsv")->directory().absolutePath(), dir.path());
    }

    void meterTroubleIsSaid_data()
    {
        // What goes wrong; the window's road is in the reviewed copy meter-<row>.txt: the message
        // that says so, whether the port choice is open again, what is shown then.
        QTest::addColumn<int>("trouble");
        QTest::newRow("cable-pulled") << 0; // after a good fetch: what was shown stays
        QTest::newRow("silent") << 1;
        QTest::newRow("late") << 2;          // the first answer in the middle of the wait for "?2"
        QTest::newRow("short-records") << 3; // after a good fetch of another meter
    }
    void meterTroubleIsSaid()
    {
        QFETCH(int, trouble);
        ProgramFixture f(trouble == 1   ? MeterSimulatorOptions{.silent = true}
                         : trouble == 2 ? MeterSimulatorOptions{.replyDelay = 1100ms}
                                        : MeterSimulatorOptions{});
        MeterSimulator other({.recordLength = 221, .model = "VM-9"});
        QVERIFY(trouble == 1 || trouble == 2 ? f.setPort(f.sim) : f.fetched());
        Road road{f.window};
        road.step("before");
        road.lines.clear();
        if (trouble == 0 || trouble == 3)
            f.sim.hangUp();
        if (trouble == 3) {
            shown<QMessageBox>(f.window, "commPortError")->accept();
            QVERIFY(other.start() && f.setPort(other));
        }
        if (trouble != 0)
            click(child(f.window, "cmdFetch"));
        QVERIFY(shown<QMessageBox>(f.window,
                                   trouble == 2 || trouble == 3 ? "fetchError" : "commPortError"));
        road.step(QTest::currentDataTag());
        QCOMPARE_GOLDEN("meter-" + QString(QTest::currentDataTag()) + ".txt", road.lines);
        if (trouble == 3) {
            QWidget &pic = *child(f.window, "pic");
            QCOMPARE(picture(pic), golden("data-set-short.png", picture(pic)));
        }
    }

    void closingInTheMiddleOfAFetchStopsIt()
    {
        ProgramFixture f;
        QVERIFY(f.setPort(f.sim));
        click(child(f.window, "cmdFetch"));
        QTRY_COMPARE(f.sim.receivedCommands().size(), 2);
        f.window.close();
        QTest::qWait(400);
        QCOMPARE(f.sim.receivedCommands().size(), 2);
        QVERIFY(!f.cm.isOpen());
        QVERIFY(!progressStrip());
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

    void keptFetchOpensInAFreshWindowAsFetched()
    {
        // Kept in the history folder with every byte the meter sent; opened in a fresh window it
        // shows as after the fetch and saves the same fetch; a bad file changes nothing.
        QDir history(FetchFile::historyFolder());
        history.removeRecursively();
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTRY_COMPARE(history.entryList({"*.vmfetch"}).size(), 1);
        const QString path = history.filePath(history.entryList({"*.vmfetch"})[0]);
        const Result<FetchRecord> fetch = FetchFile::read(path);
        QVERIFY(fetch);
        QCOMPARE(*fetch, f.session.fetch());
        QCOMPARE(fetch->modelReply, MeterSimulator::replyFor("?M", {}));
        MeterPort port;
        MeterSession session(port, {.program = "voltrane-meter test"});
        MainWindow opened(session);
        QString menu;
        for (const QAction *a : child(opened, "pic")->actions())
            menu +=
                a->text() + ' ' + a->shortcut().toString() + (a->isEnabled() ? "|" : " greyed|");
        QCOMPARE(menu, "Open Saved Fetch… Ctrl+O|Recent Fetches  greyed|Save Fetch As… Ctrl+S "
                       "greyed|Export Data Set as "
                       "CSV…  greyed|Save Waveform Image…  greyed|Examine Waveform…  greyed|Test "
                       "Records… Ctrl+R|");
        opened.openFetch(path); // read on a worker thread
        QTRY_COMPARE(opened.windowTitle(),
                     "Voltrane Meter - PC Utility - " + QFileInfo(path).fileName());
        QCOMPARE(controls(opened).filter("lbl"), controls(f.window).filter("lbl"));
        QCOMPARE(picture(*child(opened, "pic")), picture(*child(f.window, "pic")));
        QCOMPARE(session.shown(), f.session.shown());
        child<QAction>(opened, "actSaveFetch")->trigger();
        QTemporaryDir dir;
        answer(opened, "saveFetch", dir.filePath("again.vmfetch"));
        QCOMPARE(*FetchFile::read(dir.filePath("again.vmfetch")), *fetch);
        const QStringList before = controls(opened);
        opened.openFetch(dir.filePath("gone.vmfetch"));
        QCOMPARE(said(opened, "openError"),
                 "“gone.vmfetch” cannot be opened: No such file or directory.");
        QCOMPARE(controls(opened).mid(0, before.size()), before);
    }

    void droppedFetchWaitsForTheFetchToEnd()
    {
        // While a fetch runs, a dropped file is refused and nothing opens; afterwards it opens.
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTemporaryDir dir;
        const QString path = dir.filePath("dropped.vmfetch");
        QVERIFY(f.session.saveAs(path));
        click(child(f.window, "cmdFetch"));
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter({9, 9}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&f.window, &enter);
        QVERIFY(!enter.isAccepted());
        QVERIFY(!child<QAction>(f.window, "actOpenFetch")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!f.session.isFetching(), 10'000);
        QApplication::sendEvent(&f.window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop({9, 9}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&f.window, &drop);
        QTRY_COMPARE(f.window.windowTitle(), "Voltrane Meter - PC Utility - dropped.vmfetch");
    }

    void fetchNotKeptIsSaid()
    {
        const QByteArray home = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/proc/none");
        ProgramFixture f;
        QVERIFY(f.fetched());
        QCOMPARE(said(f.window, "fetchNotKept"),
                 "The fetch could not be kept in “/proc/none/voltrane-meter/fetches”: the folder "
                 "cannot be created there.");
        qputenv("XDG_DATA_HOME", home);
        QVERIFY(child<QAction>(f.window, "actSaveFetch")->isEnabled()); // it can be saved still
    }

    void openingAFifoNeverFreezesTheWindow()
    {
        // A FIFO named like a kept fetch, with a fetch waiting to be written into it: refused
        // unread.
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath("x.vmfetch"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(f.session.saveAs(dir.filePath("whole.vmfetch")));
        QFile whole(dir.filePath("whole.vmfetch"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        std::thread writer([&fifo, bytes = whole.readAll()] {
            const int fd = ::open(fifo.constData(), O_WRONLY); // until someone opens it to read
            (void)!::write(fd, bytes.constData(), size_t(bytes.size()));
            ::close(fd);
        });
        signal(SIGPIPE, SIG_IGN);
        f.window.openFetch(dir.filePath("x.vmfetch"));
        QCOMPARE(said(f.window, "openError"),
                 "“x.vmfetch” cannot be opened: it is not a regular file.");
        ::close(::open(fifo.constData(), O_RDONLY | O_NONBLOCK)); // lets the writer go
        writer.join();
        QVERIFY(!f.window.windowTitle().contains("x.vmfetch"));
    }

    void openSavedFetchOffersTheNewestFirst()
    {
        ProgramFixture f;
        QDir history(FetchFile::historyFolder());
        history.removeRecursively();
        QVERIFY(history.mkpath("."));
        for (const char *name : {"2026-01-02_100000_SN.vmfetch", "2026-11-30_090000_SN.vmfetch",
                                 "2025-12-31_235959_SN.vmfetch"})
            QVERIFY(FileSave::write(history.filePath(name), "{}"));
        child<QAction>(f.window, "actOpenFetch")->trigger();
        auto *files = shown<QFileDialog>(f.window, "openFetch");
        auto *view = files->findChild<QTreeView *>("treeView");
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 3);
        QTRY_COMPARE(view->model()->index(0, 0, view->rootIndex()).data().toString(),
                     "2026-11-30_090000_SN.vmfetch");
        files->reject();
    }

    void recentFetchesAreWhatWasOpenedOrSaved()
    {
        // Saved as a, gone and "b & c", newest first; the one deleted since left out as the menu
        // opens; an entry opens its file, which goes to the top. A fetch kept is none of them.
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTRY_VERIFY(!f.session.keptPath().isEmpty());
        QCOMPARE(recentMenu(f.window), "greyed");
        QTemporaryDir dir;
        for (const char *name : {"a.vmfetch", "gone.vmfetch", "b & c.vmfetch"}) {
            child<QAction>(f.window, "actSaveFetch")->trigger();
            answer(f.window, "saveFetch", dir.filePath(name));
        }
        QVERIFY(QFile::remove(dir.filePath("gone.vmfetch")));
        QCOMPARE(recentMenu(f.window), "&1 b && c.vmfetch|&2 a.vmfetch|");
        child<QMenu>(f.window, "menuRecent")->actions().value(1)->trigger();
        QTRY_COMPARE(f.window.windowTitle(), "Voltrane Meter - PC Utility - a.vmfetch");
        QCOMPARE(recentMenu(f.window), "&1 a.vmfetch|&2 b && c.vmfetch|");
        click(child(f.window, "cmdFetch"));
        QCOMPARE(recentMenu(f.window), "&1 a.vmfetch|&2 b && c.vmfetch|greyed");
        QTRY_VERIFY_WITH_TIMEOUT(!f.session.isFetching(), 10'000);
    }

    void dialogsStartWhereAFileWasLastChosen()
    {
        // Each kind of dialog by itself: first in its usual folder, then where it was last used.
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTemporaryDir dir;
        QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        documents = QFileInfo(documents).isDir() ? documents : QDir::homePath();
        QWidget *print = nullptr;
        QString dialog;
        const auto open = [&] {
            print ? click(child(*print, "cmdSavePdf"))
                  : child<QAction>(f.window,
                                   qPrintable("act" + dialog.left(1).toUpper() + dialog.mid(1)))
                        ->trigger();
            return shown<QFileDialog>(print ? *print : f.window, qPrintable(dialog));
        };
        const auto folder = [&](const QString &chosen = {}) { // where it starts; a file chosen
            QFileDialog *files = open();
            const QString in = files->directory().path();
            if (!chosen.isEmpty())
                emit files->fileSelected(chosen);
            files->reject();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return in;
        };
        for (const char *kind : {"openFetch", "saveFetch", "exportCsv", "saveImage", "savePdf"}) {
            dialog = kind;
            if (dialog == "savePdf")
                click(child(f.window, "cmdPrint")), print = shown(f.window, "frmPrint");
            QCOMPARE(folder(), dialog == "openFetch" ? FetchFile::historyFolder() : documents);
            QVERIFY(QDir(dir.path()).mkdir(dialog));
            QVERIFY(FileSave::write(dir.filePath(dialog + "/x.vmfetch"), "{}")); // to open
            folder(dir.filePath(dialog + "/x.vmfetch"));
            QCOMPARE(folder(), dir.filePath(dialog));
        }
        QVERIFY(QDir(dir.filePath("savePdf")).removeRecursively()); // gone: the usual one again
        QCOMPARE(folder(), documents);
    }

    void portOfTheLastFetchIsMarkedInItsTooltip()
    {
        // In the window, and in the list of the next start, which still starts at "COM 1".
        ProgramFixture f;
        QVERIFY(f.fetched());
        QWidget nextStart;
        for (PortComboBox *ports :
             {child<PortComboBox>(f.window, "cmbPort"), new PortComboBox(&nextStart)}) {
            ports->showPopup();
            const QModelIndexList marked =
                ports->model()->match(ports->model()->index(0, 0), Qt::ToolTipRole,
                                      " - pseudo-terminal (last used)</p>", -1, Qt::MatchEndsWith);
            QCOMPARE(marked.value(0).data().toString() + ' ' + QString::number(marked.size()),
                     f.session.port().name() + " 1");
        }
        QCOMPARE(nextStart.findChild<PortComboBox *>()->currentText(), "COM 1");
    }

    void unreadableSettingsLeaveTheWindowWorking()
    {
        // What cannot be read is not written over: the fetch is saved, nothing is remembered.
        QVERIFY(QDir(configs.back().path()).mkdir("voltrane-meter"));
        const QString conf = Settings::defaultPath();
        QVERIFY(FileSave::write(conf, "not a setting\n"));
        ProgramFixture f;
        QVERIFY(f.fetched());
        QTemporaryDir dir;
        child<QAction>(f.window, "actSaveFetch")->trigger();
        answer(f.window, "saveFetch", dir.filePath("a.vmfetch"));
        QCOMPARE(recentMenu(f.window), "greyed");
        QFile file(conf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "not a setting\n");
    }

    void waveformAreaIsPreparedWithItsCaptions()
    {
        // Before a scale is set, 15 twips a pixel: a filled box, an outline's one-pixel edge.
        // Prepared: the white axes, and "Volts" with its text cell at pixel (24, 10) and
        // "Time (µs)" at (493, 225) in cyan, whatever the font; clear() leaves the axes only.
        RetainedCanvas area;
        area.resize(617, 297);
        area.drawBox({150, 150}, {300, 300}, Qt::yellow, DrawingSurface::Fill::Filled);
        area.drawBox({600, 600}, {1200, 1200}, Qt::yellow, DrawingSurface::Fill::Outline);
        const QImage boxes = picture(area);
        QCOMPARE(QList<QRgb>({boxes.pixel(10, 19), boxes.pixel(20, 20), boxes.pixel(40, 50),
                              boxes.pixel(41, 50)}),
                 QList<QRgb>({0xffffff00, 0xff000000, 0xffffff00, 0xff000000}));
        area.clear();
        WaveformPlot::prepareWaveformArea(area);
        QRect volts, time;
        const QImage prepared = picture(area);
        for (int y = 0; y < 297; ++y)
            for (int x = 0; x < 617; ++x)
                if (const QRgb p = prepared.pixel(x, y);
                    qRed(p) == 0 && qGreen(p) > 0 && qGreen(p) == qBlue(p))
                    (x < 300 ? volts : time) |= QRect(x, y, 1, 1);
        QVERIFY(QRect(23, 9, 5, 8).contains(volts.topLeft()));
        QVERIFY(QRect(492, 224, 5, 8).contains(time.topLeft()));
        QVERIFY(time.width() > volts.width());
        area.clear();
        QCOMPARE(picture(area).pixel(300, 213), 0xffffffff); // the x-axis at y 9000
        RetainedCanvas dot; // a text's logical size on an area one pixel wide
        dot.resize(1, 1), dot.setLogicalSize(100, 100);
        QCOMPARE(dot.textSize("x").width(),
                 100.0 * QFontMetrics(dot.font()).horizontalAdvance("x"));
        QCOMPARE(picture(area).pixel(volts.center()), 0xff000000);
    }

    void samplesAreBoxesOnTheirRows()
    {
        // Each sample a yellow box: 127 over the x-axis, 255 at the top, 70 below the area, 71
        // just in it, no wrap in 16 bits; the same when the area is resized.
        RetainedCanvas area;
        area.resize(617, 297);
        WaveformPlot::prepareWaveformArea(area);
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

private:
    std::list<QTemporaryDir> configs; // all kept: Qt's file dialog stays with the first it used
};

int main(int argc, char *argv[])
{
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock"); // no printer, whatever this machine has
    QApplication app(argc, argv);
    TestUi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui.moc"
