// One report through the real CUPS path as the operator prints it (main window, print dialog,
// default printer, scheduler, a cups-pdf queue), read back from the PDF that cups-pdf wrote into
// ~/PDF (or VOLTRANE_CUPS_PDF_DIR). Needs a scheduler whose default printer is a cups-pdf queue
// (scripts/cups-setup.sh); without one it is skipped, or fails under CI=true or
// VOLTRANE_TEST_CUPS=1. It never prints on anything but a cups-pdf queue.
#include "PdfText.h"
#include "ProgramFixture.h"

#include <QDir>
#include <QPrinterInfo>

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString queue = QPrinterInfo::defaultPrinter().printerName();
        const QString device = PdfText::run("lpstat", {"-v", queue}).value_or("");
        if (device.contains("device for " + queue + ": cups-pdf:"))
            return;
        if (qgetenv("CI") == "true" || qgetenv("VOLTRANE_TEST_CUPS") == "1")
            QFAIL("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
        QSKIP("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
    }

    void printsOnePageOfA4ThroughCups()
    {
        const QDir folder(qEnvironmentVariable("VOLTRANE_CUPS_PDF_DIR", QDir::homePath() + "/PDF"));
        const QStringList before = folder.entryList({"*.pdf"});
        const QString token = QString("VT%1-%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(QDateTime::currentSecsSinceEpoch());
        ProgramFixture f;
        QTest::mouseClick(child(f.window, "cmdPrint"), Qt::LeftButton);
        QTest::keyClicks(child(f.window, "txtEserial"), token);
        QTest::mouseClick(child(*child(f.window, "frmPrint"), "cmdPrint"), Qt::LeftButton);
        QVERIFY2(!f.window.findChild<QMessageBox *>(),
                 "a failure or the no-printer question opened");
        // Ours is a new PDF with the serial number printed, once the queue is empty.
        std::optional<PdfText::Document> ours;
        for (QDeadlineTimer deadline(60'000); !ours && !deadline.hasExpired(); QTest::qWait(250))
            for (const QString &pdf : folder.entryList({"*.pdf"}))
                if (!before.contains(pdf) &&
                    PdfText::run("lpstat", {"-o"}).value_or("busy").isEmpty())
                    if (const PdfText::Document read = PdfText::read(folder.filePath(pdf));
                        std::ranges::any_of(read.words, [&](auto &w) { return w.first == token; }))
                        ours = read;
        QVERIFY2(ours, "no new PDF from the queue within a minute (see /var/log/cups/error_log)");
        QVERIFY(ours->pages.size() == 1 && std::abs(ours->pages[0].width() - 595) <= 1 &&
                std::abs(ours->pages[0].height() - 842) <= 1);
    }
};

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
