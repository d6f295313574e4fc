#include "MainWindow.h"
#include "MeterLink.h"
#include "PrintDialog.h"
#include "ReportPrinter.h"
#include "ReportValues.h"
#include "WidgetLookup.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

template <typename T> T *waitForChild(QWidget &window, const char *name)
{
    T *found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            found = window.findChild<T *>(QLatin1String(name));
            return found && found->isVisible();
        },
        5000);
    return found;
}

PrintDialog *openPrintDialog(MainWindow &main)
{
    QTest::mouseClick(child<QPushButton>(main, "cmdPrint"), Qt::LeftButton);
    return waitForChild<PrintDialog>(main, "frmPrint");
}

// The text of a PDF, or a null string when poppler-utils are missing.
QString pdfText(const QString &file)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        return QString();
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestPrintDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogIsFixedAndTitled();
    void controlsSitAtTheirPlaces_data();
    void controlsSitAtTheirPlaces();
    void dateSeparators_data();
    void dateSeparators();
    void dateIsTodayInDdMmYy();
    void opensModalOverTheMainWindowAndFreshEachTime();
    void enterAndEscapeDoNothing();
    void noPrinterOffersAPdfOfTheSamePage();
    void unwritablePdfIsReportedAndTheDialogStays();
    void eachPressPrintsOneIdenticalPage();
};

void TestPrintDialog::initTestCase()
{
    // main() pointed the CUPS client at a server that does not exist: this machine has no printer.
    QVERIFY(QPrinterInfo::defaultPrinter().isNull());
}

void TestPrintDialog::dialogIsFixedAndTitled()
{
    DataSets data;
    PrintDialog dialog(data, nullptr);
    QCOMPARE(dialog.objectName(), "frmPrint");
    QCOMPARE(dialog.windowTitle(), "Print");
    QCOMPARE(dialog.size(), QSize(427, 155));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
}

void TestPrintDialog::controlsSitAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    const auto row = [](const char *name, const char *container, const char *caption, int l, int t,
                        int w, int h) {
        QTest::newRow(name) << QString(name) << QString(container) << QString(caption)
                            << QRect(l, t, w, h);
    };
    row("cmdClose", "frmPrint", "Close", 4800, 1680, 1335, 375);
    row("cmdPrint", "frmPrint", "P R I N T", 4800, 360, 1335, 615);
    row("Frame1", "frmPrint", "Details:", 240, 120, 4335, 1935);
    row("txtDate", "Frame1", nullptr, 1920, 1320, 2175, 285);
    row("txtEserial", "Frame1", "", 1920, 840, 2175, 285);
    row("txtEmodel", "Frame1", "", 1920, 360, 2175, 285);
    row("Label3", "Frame1", "Date:", 240, 1320, 735, 255);
    row("Label2", "Frame1", "Energizer Serial No.:", 240, 840, 1455, 255);
    row("Label1", "Frame1", "Energizer Model No.:", 240, 360, 1575, 255);
}

void TestPrintDialog::controlsSitAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    DataSets data;
    PrintDialog dialog(data, nullptr);
    QWidget *control = child(dialog, qPrintable(name));
    QCOMPARE(control->geometry(), pixelsOfTwips(twips));
    QCOMPARE(control->parentWidget()->objectName(), container);
    if (!caption.isNull()) // the date box holds today's date
        QCOMPARE(captionOf(control), caption);
}

void TestPrintDialog::dateSeparators_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("separator");
    QTest::newRow("slash") << "dd/MM/yyyy"
                           << "/";
    QTest::newRow("dot") << "dd.MM.yy"
                         << ".";
    QTest::newRow("dash, year first") << "yyyy-MM-dd"
                                      << "-";
    QTest::newRow("month first") << "M/d/yy"
                                 << "/";
    QTest::newRow("quoted text first") << "'Date' d.M.yy"
                                       << ".";
    QTest::newRow("spaces only") << "d MMM yyyy"
                                 << "/";
    QTest::newRow("empty") << ""
                           << "/";
}

void TestPrintDialog::dateSeparators()
{
    QFETCH(QString, format);
    QFETCH(QString, separator);
    QCOMPARE(ReportPage::dateSeparator(format), separator);
}

void TestPrintDialog::dateIsTodayInDdMmYy()
{
    const QString s = ReportPage::dateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat));
    QCOMPARE(ReportPage::dateText(QDate(2026, 12, 6)), "06" + s + "12" + s + "26");
    QCOMPARE(ReportPage::dateText(QDate(2009, 1, 31)), "31" + s + "01" + s + "09");
    QCOMPARE(ReportPage::dateText(QDate(2100, 7, 4)), "04" + s + "07" + s + "00");

    DataSets data;
    PrintDialog dialog(data, nullptr);
    QCOMPARE(child<QLineEdit>(dialog, "txtDate")->text(),
             ReportPage::dateText(QDate::currentDate()));
}

void TestPrintDialog::opensModalOverTheMainWindowAndFreshEachTime()
{
    MeterLink link;
    MainWindow main(link);
    main.show();
    PrintDialog *dialog = openPrintDialog(main); // before any fetch: it opens all the same
    QVERIFY(dialog);
    QCOMPARE(dialog->parentWidget(), &main);
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->focusWidget(), child(*dialog, "txtEmodel"));
    QTest::keyClicks(child<QLineEdit>(*dialog, "txtEmodel"), "FE-300");
    QTest::keyClicks(child<QLineEdit>(*dialog, "txtEserial"), "A1234");
    child<QLineEdit>(*dialog, "txtDate")->setText("yesterday");
    QCOMPARE(dialog->details().model, "FE-300");

    QTest::mouseClick(child<QPushButton>(*dialog, "cmdClose"), Qt::LeftButton);
    QTRY_VERIFY(!main.findChild<PrintDialog *>());

    dialog = openPrintDialog(main);
    QVERIFY(dialog);
    QVERIFY(child<QLineEdit>(*dialog, "txtEmodel")->text().isEmpty());
    QVERIFY(child<QLineEdit>(*dialog, "txtEserial")->text().isEmpty());
    QCOMPARE(child<QLineEdit>(*dialog, "txtDate")->text(),
             ReportPage::dateText(QDate::currentDate()));
}

void TestPrintDialog::enterAndEscapeDoNothing()
{
    DataSets data;
    PrintDialog dialog(data, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (QPushButton *b : dialog.findChildren<QPushButton *>())
        QVERIFY(!b->isDefault() && !b->autoDefault());
    QTest::keyClick(child<QLineEdit>(dialog, "txtEmodel"), Qt::Key_Return);
    QTest::keyClick(child<QLineEdit>(dialog, "txtEmodel"), Qt::Key_Enter);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::qWait(50);
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.findChild<QMessageBox *>()); // nothing was printed
}

void TestPrintDialog::noPrinterOffersAPdfOfTheSamePage()
{
    QTemporaryDir dir;
    DataSets data;
    data.setRecord(0, std::string(222, '\x49'));
    QVERIFY(data.show(0));
    PrintDialog dialog(data, nullptr);
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(dialog, "txtEserial"), "A1234");
    QTest::mouseClick(child<QPushButton>(dialog, "cmdPrint"), Qt::LeftButton);

    auto *question = waitForChild<QMessageBox>(dialog, "noPrinter");
    QVERIFY(question);
    QVERIFY(question->text().startsWith("No printer is installed"));
    question->button(QMessageBox::Save)->click();

    auto *files = waitForChild<QFileDialog>(dialog, "savePdf");
    QVERIFY(files);
    QVERIFY(files->selectedFiles().value(0).endsWith("test-report-A1234.pdf"));
    // Answered as its Save button does; not by browsing, which reads the files of each folder.
    const QString pdf = dir.filePath("report.pdf");
    emit files->fileSelected(pdf);
    files->reject();

    QTRY_VERIFY(QFile::exists(pdf));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
    QVERIFY(dialog.isVisible()); // the dialog stays for the next page
    QVERIFY(!dialog.findChild<QMessageBox *>("printError"));

    // Exactly the page a printer would have had.
    QTemporaryDir other;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(other.filePath("direct.pdf"));
    QString error;
    QVERIFY(
        ReportPrinter::print(printer, dialog.details(), ReportValues::of(data.shown()), &error));
    QCOMPARE(pdfText(pdf), pdfText(other.filePath("direct.pdf")));
}

void TestPrintDialog::unwritablePdfIsReportedAndTheDialogStays()
{
    DataSets data;
    PrintDialog dialog(data, nullptr);
    dialog.show();
    QTest::mouseClick(child<QPushButton>(dialog, "cmdPrint"), Qt::LeftButton);
    waitForChild<QMessageBox>(dialog, "noPrinter")->button(QMessageBox::Save)->click();
    auto *files = waitForChild<QFileDialog>(dialog, "savePdf");
    QVERIFY(files);
    // A place where no file can be made (/proc). The dialog's answer is given directly: browsing
    // /proc would make the dialog read its files.
    emit files->fileSelected("/proc/voltrane-report-test.pdf");
    files->reject();

    auto *failure = waitForChild<QMessageBox>(dialog, "printError");
    QVERIFY(failure);
    QCOMPARE(failure->icon(), QMessageBox::Critical);
    QVERIFY2(failure->text().contains("could not be saved"), qPrintable(failure->text()));
    QVERIFY(dialog.isVisible());
}

void TestPrintDialog::eachPressPrintsOneIdenticalPage()
{
    DataSets data;
    PrintDialog dialog(data, nullptr);
    QTemporaryDir dir;
    QStringList texts;
    for (const char *name : {"first.pdf", "second.pdf"}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(name));
        QString error;
        QVERIFY2(
            ReportPrinter::print(printer, dialog.details(), ReportValues::of(data.shown()), &error),
            qPrintable(error));
        QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
        texts << pdfText(dir.filePath(name));
    }
    QCOMPARE(texts[0], texts[1]);
}

int main(int argc, char *argv[])
{
    // No printer for these tests, whatever this machine has: the CUPS client finds no server.
    qputenv("CUPS_SERVER", "/nonexistent/voltrane-test-cups.sock");
    QApplication app(argc, argv);
    TestPrintDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printdialog.moc"
