// One report printed as the operator prints it, through CUPS onto a default cups-pdf queue
// (scripts/cups-setup.sh), read back from ~/PDF (or VOLTRANE_CUPS_PDF_DIR). Without that queue it
// is skipped, or fails under CI=true or VOLTRANE_TEST_CUPS=1; it prints on nothing else.
#include "PdfText.h"
#include "ProgramFixture.h"

#include <QPrinterInfo>

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString queue = QPrinterInfo::defaultPrinter().printerName();
        if (PdfText::run("lpstat", {"-v", queue}).value_or("").contains(": cups-pdf:"))
            return;
        if (qgetenv("CI") == "true" || qgetenv("VOLTRANE_TEST_CUPS") == "1")
            QFAIL("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
        QSKIP("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
    }

    void printsOnePageOfA4ThroughCups()
    {
        const QDir folder(qEnvironmentVariable("VOLTRANE_CUPS_PDF_DIR", QDir::homePath() + "/PDF"));
        const QStringList before = folder.entryList({"*.pdf"});
        const QString token = "VT" + QString::number(QDateTime::currentMSecsSinceEpoch());
        ProgramFixture f;
        click(child(f.window, "cmdPrint"));
        QTest::keyClicks(child(f.window, "txtEserial"), token);
        click(child(*child(f.window, "frmPrint"), "cmdPrint"));
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
