// Prints one page through the real CUPS path: the default QPrinter, the CUPS scheduler and a
// cups-pdf queue, then reads the PDF that cups-pdf wrote back with pdfinfo and pdftotext.
//
// Needs a running scheduler whose default printer is a cups-pdf queue (scripts/cups-setup.sh
// makes one). Without it the test skips; with CI=true or VOLTRANE_TEST_CUPS=1 it fails instead,
// so a CI run can't pass without printing. It never prints when the default printer is anything
// but a cups-pdf queue, so a developer's real printer is safe.

#include "ui/MainWindow.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto PrintTimeout = 60s; // from the end of the page to the PDF in the output folder
constexpr auto PollInterval = 250ms;
constexpr double A4Width = 595.0; // points
constexpr double A4Height = 842.0;

// Whether this run must print: CI (CI=true, as scripts/test checks it), or a developer who asked
// for it.
bool printingRequired()
{
    return qEnvironmentVariable("CI").compare("true", Qt::CaseInsensitive) == 0 ||
           qEnvironmentVariable("VOLTRANE_TEST_CUPS") == "1";
}

#define SKIP_OR_FAIL(reason)                                                                       \
    do {                                                                                           \
        const QString why_ = (reason);                                                             \
        if (printingRequired())                                                                    \
            QFAIL(qPrintable(why_ + " (CI=true or VOLTRANE_TEST_CUPS=1: this run must print)"));   \
        QSKIP(qPrintable(why_));                                                                   \
    } while (false)

struct Run
{
    bool started = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a command line tool with untranslated messages; bounded.
Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    result.started = process.waitForStarted(5000);
    if (!result.started)
        return result;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(1000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QString homeOfCurrentUser()
{
    if (const passwd *entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_dir);
    return QDir::homePath();
}

// Where cups-pdf writes this user's jobs: the "Out" line of its configuration, "~/PDF" by
// default. VOLTRANE_CUPS_PDF_DIR overrides it.
QString cupsPdfOutputDir()
{
    if (const QString dir = qEnvironmentVariable("VOLTRANE_CUPS_PDF_DIR"); !dir.isEmpty())
        return dir;
    QString out = "${HOME}/PDF";
    QFile conf("/etc/cups/cups-pdf.conf");
    if (conf.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression outLine(R"(^\s*Out\s+(\S.*?)\s*$)");
        while (!conf.atEnd()) {
            const auto match = outLine.match(QString::fromLocal8Bit(conf.readLine()));
            if (match.hasMatch()) {
                out = match.captured(1);
                break;
            }
        }
    }
    const passwd *entry = getpwuid(getuid());
    out.replace("${HOME}", homeOfCurrentUser());
    out.replace("${USER}", entry ? QString::fromLocal8Bit(entry->pw_name) : QString());
    return out;
}

// The PDFs in `dir` with their last change, to tell the new one apart.
QHash<QString, QDateTime> pdfFiles(const QString &dir)
{
    QHash<QString, QDateTime> files;
    const auto entries = QDir(dir).entryInfoList({"*.pdf"}, QDir::Files);
    for (const QFileInfo &entry : entries)
        files.insert(entry.absoluteFilePath(), entry.lastModified());
    return files;
}

// The PDFs that appeared or changed since `before`, newest first.
QStringList newPdfFiles(const QString &dir, const QHash<QString, QDateTime> &before)
{
    const auto now = pdfFiles(dir);
    QList<QPair<QDateTime, QString>> fresh;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!before.contains(it.key()) || before.value(it.key()) != it.value())
            fresh.append({it.value(), it.key()});
    }
    std::sort(fresh.begin(), fresh.end(), [](const auto &a, const auto &b) { return a > b; });
    QStringList paths;
    for (const auto &[time, path] : fresh)
        paths.append(path);
    return paths;
}

// What was printed and what the PDF must show of it.
struct PrintedPage
{
    QStringList texts;
};

// Prints one page on the default printer, A4 portrait, the way the program does.
// TODO(print dialog): once PrintDialog lands, construct it here, fill in its fields with the
// texts below and click "cmdPrint" instead of painting by hand.
// Prints a report as the operator does: "Print" in the main window, the details typed into the
// dialog, "P R I N T". Returns the texts the page must carry.
PrintedPage printOnePage(const QString &token)
{
    MainWindow main;
    main.show();
    QTest::mouseClick(main.findChild<QPushButton *>("cmdPrint"), Qt::LeftButton);
    auto *dialog = main.findChild<QDialog *>("frmPrint");
    if (!dialog)
        return {};
    QTest::keyClicks(dialog->findChild<QLineEdit *>("txtEmodel"), "VT-CUPS-1");
    QTest::keyClicks(dialog->findChild<QLineEdit *>("txtEserial"), token);
    QTest::mouseClick(dialog->findChild<QPushButton *>("cmdPrint"), Qt::LeftButton);
    if (dialog->findChild<QMessageBox *>())
        return {}; // a failure or the no-printer question
    PrintedPage page;
    page.texts = {"VOLTRANE ANALYZER", "Energizer Model No. : VT-CUPS-1",
                  "Energizer Serial No. : " + token, "Time (µs)"};
    return page;
}

} // namespace

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsOnePageThroughCups();

private:
    QString queue_;
    QString outputDir_;
};

void TestCupsPrint::initTestCase()
{
    for (const char *tool : {"lpstat", "pdfinfo", "pdftotext"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            SKIP_OR_FAIL(QString("%1 is not installed (run scripts/cups-setup.sh)").arg(tool));
    }
    const Run scheduler = run("lpstat", {"-r"});
    if (!scheduler.out.contains("scheduler is running"))
        SKIP_OR_FAIL("the CUPS scheduler is not running (run scripts/cups-setup.sh)");

    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull())
        SKIP_OR_FAIL("Qt sees no default printer (run scripts/cups-setup.sh)");
    queue_ = printer.printerName();
    QVERIFY2(QPrinterInfo::availablePrinterNames().contains(queue_), qPrintable(queue_));

    // Only ever print on a cups-pdf queue: "device for VoltranePDF: cups-pdf:/".
    const Run device = run("lpstat", {"-v", queue_});
    if (!device.out.contains(QString("device for %1: cups-pdf:").arg(queue_)))
        SKIP_OR_FAIL(QString("the default printer %1 is not a cups-pdf queue (%2); not printing "
                             "on it (scripts/cups-setup.sh makes one)")
                         .arg(queue_, (device.out + device.err).simplified()));

    outputDir_ = cupsPdfOutputDir();
    qInfo("printing on %s; cups-pdf writes to %s", qPrintable(queue_), qPrintable(outputDir_));
}

void TestCupsPrint::printsOnePageThroughCups()
{
    {
        // The program's printer is the one CUPS calls the default, printed on natively.
        QPrinter printer(QPrinter::HighResolution);
        QCOMPARE(printer.printerName(), queue_);
        QCOMPARE(printer.outputFormat(), QPrinter::NativeFormat);
    }

    const auto before = pdfFiles(outputDir_);
    const QString token = QString("VT%1-%2")
                              .arg(QCoreApplication::applicationPid())
                              .arg(QDateTime::currentSecsSinceEpoch());
    const PrintedPage page = printOnePage(token);
    QVERIFY2(!page.texts.isEmpty(), "the print dialog did not print (a message box opened)");

    // Wait until the queue is empty and a new PDF is there.
    QStringList fresh;
    bool queueEmpty = false;
    QDeadlineTimer deadline(PrintTimeout);
    while (!(queueEmpty && !fresh.isEmpty()) && !deadline.hasExpired()) {
        QTest::qWait(int(PollInterval.count()));
        queueEmpty = run("lpstat", {"-o", queue_}).out.trimmed().isEmpty();
        fresh = queueEmpty ? newPdfFiles(outputDir_, before) : QStringList();
    }
    if (!queueEmpty || fresh.isEmpty()) {
        qWarning().noquote() << "pending jobs:\n"
                             << run("lpstat", {"-o", queue_}).out << "\nlast completed jobs:\n"
                             << run("lpstat", {"-W", "completed", "-o", queue_}).out.right(600)
                             << "\nqueue:\n"
                             << run("lpstat", {"-p", queue_}).out;
        QFAIL(qPrintable(
            QString("%1 after %2 s; see /var/log/cups/error_log and cups-pdf's log "
                    "beside it")
                .arg(queueEmpty ? "no new PDF in " + outputDir_ : "the job is still in the queue")
                .arg(std::chrono::seconds(PrintTimeout).count())));
    }

    // Ours is the new PDF with the texts printed (another job may have ended at the same time).
    QString pdf;
    QString text;
    for (const QString &candidate : std::as_const(fresh)) {
        text = run("pdftotext", {candidate, "-"}).out.simplified();
        const bool ours =
            std::all_of(page.texts.cbegin(), page.texts.cend(),
                        [&](const QString &t) { return text.contains(t.simplified()); });
        if (ours) {
            pdf = candidate;
            break;
        }
    }
    QVERIFY2(!pdf.isEmpty(),
             qPrintable(QString("no new PDF holds the printed texts %1; new: %2; "
                                "text of the last: %3")
                            .arg(page.texts.join(" | "), fresh.join(", "), text.left(400))));
    qInfo("CUPS wrote %s", qPrintable(pdf));

    // One A4 portrait page.
    const Run info = run("pdfinfo", {pdf});
    QVERIFY2(info.exitCode == 0, qPrintable(info.err));
    static const QRegularExpression pagesLine(R"(^Pages:\s+(\d+)\s*$)",
                                              QRegularExpression::MultilineOption);
    static const QRegularExpression sizeLine(R"(^Page size:\s+([\d.]+) x ([\d.]+) pts)",
                                             QRegularExpression::MultilineOption);
    const auto pages = pagesLine.match(info.out);
    const auto size = sizeLine.match(info.out);
    QVERIFY2(pages.hasMatch() && size.hasMatch(), qPrintable(info.out));
    QCOMPARE(pages.captured(1).toInt(), 1);
    const double width = size.captured(1).toDouble();
    const double height = size.captured(2).toDouble();
    QVERIFY2(qAbs(width - A4Width) <= 1 && qAbs(height - A4Height) <= 1,
             qPrintable(QString("page is %1 x %2 pt, not A4 portrait").arg(width).arg(height)));
}

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
