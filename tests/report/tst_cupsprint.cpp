// Prints one report through the real CUPS path as the operator does (main window, print dialog,
// default printer, scheduler, a cups-pdf queue) and reads back the PDF that cups-pdf wrote.
// Needs a running scheduler whose default printer is a cups-pdf queue (scripts/cups-setup.sh);
// without it the test skips, or fails with CI=true or VOLTRANE_TEST_CUPS=1, so CI can't pass
// without printing. It never prints on anything but a cups-pdf queue, so real printers are safe.
#include "MainWindow.h"
#include "MeterLink.h"
#include "PdfText.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

#define SKIP_OR_FAIL(reason)                                                                       \
    do {                                                                                           \
        const QString why_ = (reason);                                                             \
        if (qEnvironmentVariable("CI").compare(u"true", Qt::CaseInsensitive) == 0 ||               \
            qEnvironmentVariable("VOLTRANE_TEST_CUPS") == u"1")                                    \
            QFAIL(qPrintable(why_ + " (CI=true or VOLTRANE_TEST_CUPS=1: this run must print)"));   \
        QSKIP(qPrintable(why_));                                                                   \
    } while (false)

QString lpstat(const QStringList &arguments)
{
    return QString::fromLocal8Bit(PdfText::run(u"lpstat"_qs, arguments).value_or(QByteArray()));
}

// Where cups-pdf writes our jobs: its "Out" setting, ${HOME}/PDF by default; or
// VOLTRANE_CUPS_PDF_DIR.
QString cupsPdfOutputDir()
{
    if (const QString dir = qEnvironmentVariable("VOLTRANE_CUPS_PDF_DIR"); !dir.isEmpty())
        return dir;
    QFile conf(u"/etc/cups/cups-pdf.conf"_qs);
    static const QRegularExpression outLine(uR"(^[ \t]*Out[ \t]+(\S.*?)\s*$)"_qs,
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = outLine.match(
        conf.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(conf.readAll()) : QString());
    QString out = match.hasMatch() ? match.captured(1) : u"${HOME}/PDF"_qs;
    const passwd *entry = getpwuid(getuid());
    out.replace(u"${HOME}"_qs, entry ? QString::fromLocal8Bit(entry->pw_dir) : QDir::homePath());
    out.replace(u"${USER}"_qs, entry ? QString::fromLocal8Bit(entry->pw_name) : QString());
    return out;
}

// The PDFs in `dir` with their last change, to tell a new one apart.
QHash<QString, QDateTime> pdfFiles(const QString &dir)
{
    QHash<QString, QDateTime> files;
    for (const QFileInfo &entry : QDir(dir).entryInfoList({u"*.pdf"_qs}, QDir::Files))
        files.insert(entry.absoluteFilePath(), entry.lastModified());
    return files;
}

} // namespace

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsOnePageOfA4ThroughCups();

private:
    QString queue_;
    QString outputDir_;
};

void TestCupsPrint::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_qs).isEmpty())
        SKIP_OR_FAIL(u"pdftotext is not installed (run scripts/cups-setup.sh)"_qs);
    if (!lpstat({u"-r"_qs}).contains(u"scheduler is running")) // also without lpstat
        SKIP_OR_FAIL(u"the CUPS scheduler is not running (run scripts/cups-setup.sh)"_qs);
    queue_ = QPrinterInfo::defaultPrinter().printerName();
    if (queue_.isEmpty())
        SKIP_OR_FAIL(u"Qt sees no default printer (run scripts/cups-setup.sh)"_qs);
    // Only ever print on a cups-pdf queue: "device for VoltranePDF: cups-pdf:/".
    if (const QString device = lpstat({u"-v"_qs, queue_});
        !device.contains(u"device for %1: cups-pdf:"_qs.arg(queue_)))
        SKIP_OR_FAIL(u"the default printer %1 is not a cups-pdf queue (%2); not printing on it "
                     "(scripts/cups-setup.sh makes one)"_qs.arg(queue_, device.simplified()));
    outputDir_ = cupsPdfOutputDir();
    qInfo("printing on %s; cups-pdf writes to %s", qPrintable(queue_), qPrintable(outputDir_));
}

void TestCupsPrint::printsOnePageOfA4ThroughCups()
{
    // The program's printer is the one CUPS calls the default, printed on natively.
    QCOMPARE(QPrinter(QPrinter::HighResolution).printerName(), queue_);
    QCOMPARE(QPrinter(QPrinter::HighResolution).outputFormat(), QPrinter::NativeFormat);

    // "Print" in the main window, the details typed into the dialog, "P R I N T".
    const auto before = pdfFiles(outputDir_);
    const QString token = u"VT%1-%2"_qs.arg(QCoreApplication::applicationPid())
                              .arg(QDateTime::currentSecsSinceEpoch());
    MeterLink link;
    MainWindow main(link);
    main.show();
    QTest::mouseClick(main.findChild<QPushButton *>(u"cmdPrint"_qs), Qt::LeftButton);
    auto *dialog = main.findChild<QDialog *>(u"frmPrint"_qs);
    QVERIFY(dialog);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(u"txtEmodel"_qs), u"VT-CUPS-1"_qs);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(u"txtEserial"_qs), token);
    QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdPrint"_qs), Qt::LeftButton);
    QVERIFY2(!dialog->findChild<QMessageBox *>(), "a failure or the no-printer question opened");
    const QStringList texts = {u"VOLTRANE ANALYZER"_qs, u"Energizer Model No. : VT-CUPS-1"_qs,
                               u"Energizer Serial No. : "_qs + token, u"Time (\u00b5s)"_qs};

    // Ours is the new PDF with the texts printed, once the queue is empty (another job may end
    // at the same time), within a minute.
    std::optional<PdfText::Document> ours;
    for (QDeadlineTimer deadline(60'000); !ours && !deadline.hasExpired();) {
        QTest::qWait(250);
        if (!lpstat({u"-o"_qs, queue_}).trimmed().isEmpty())
            continue;
        for (const auto &[path, changed] : pdfFiles(outputDir_).asKeyValueRange()) {
            const std::optional<PdfText::Document> read =
                before.value(path) == changed ? std::nullopt : PdfText::read(path);
            if (read && std::all_of(texts.cbegin(), texts.cend(), [&](const QString &t) {
                    return PdfText::find(read->words, t, {}).has_value();
                }))
                ours = read;
        }
    }
    QVERIFY2(ours, qPrintable(u"no new PDF in %1 with %2 within a minute; pending jobs: %3 (see "
                              "/var/log/cups/error_log and cups-pdf's log)"_qs.arg(
                                  outputDir_, texts.join(u" | "), lpstat({u"-o"_qs, queue_}))));

    // One page of A4 portrait.
    QCOMPARE(ours->pages.size(), 1);
    const QSizeF page = ours->pages[0];
    QVERIFY2(
        qAbs(page.width() - 595) <= 1 && qAbs(page.height() - 842) <= 1,
        qPrintable(u"page is %1 x %2 pt, not A4 portrait"_qs.arg(page.width()).arg(page.height())));
}

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
