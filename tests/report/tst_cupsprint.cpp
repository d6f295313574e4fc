// The report printed as the operator prints it, through CUPS onto a default cups-pdf queue
// (scripts/cups-setup.sh), read back from ~/PDF (or VOLTRANE_CUPS_PDF_DIR); and what the operator
// is told when the queue is paused or refuses jobs, or the scheduler is stopped or not running.
// Without that queue it is skipped, or fails under CI=true or VOLTRANE_TEST_CUPS=1; it prints on
// nothing else. Each case puts the scheduler and the queue back as they were, even when it fails.
#include "PdfText.h"
#include "ProgramFixture.h"

#include <unistd.h>

class TestCupsPrint : public QObject
{
    Q_OBJECT

    QString m_queue;
    std::unique_ptr<ProgramFixture> m_program; // with data set 1 of the simulator shown

    // Runs a shell command line as root (through sudo when not root); whether it succeeded.
    static bool sh(const QString &command)
    {
        const QStringList line{"sh", "-c", command};
        return geteuid() ? !QProcess::execute("sudo", QStringList{"-n"} + line)
                         : !QProcess::execute("sh", line.mid(1));
    }
    struct Mend // runs its command line when the case ends, however it ends
    {
        QString command;
        ~Mend() { sh(command); }
    };

private slots:
    void initTestCase()
    {
        m_queue = PdfText::run("lpstat", {"-d"}).value_or("").split(':').value(1).trimmed();
        if (PdfText::run("lpstat", {"-v", m_queue}).value_or("").contains(": cups-pdf:")) {
            m_program = std::make_unique<ProgramFixture>();
            QVERIFY(m_program->fetched());
            return;
        }
        if (qgetenv("CI") == "true" || qgetenv("VOLTRANE_TEST_CUPS") == "1")
            QFAIL("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
        QSKIP("no CUPS scheduler with a cups-pdf default printer (scripts/cups-setup.sh)");
    }

    void printsOrSaysWhy_data()
    {
        QTest::addColumn<QString>("breakIt");
        QTest::addColumn<QString>("mendIt");
        QTest::addColumn<QString>("says"); // the message box and its text; none when printed
        const QString pid = "$(cat /run/cups/cupsd.pid || pidof cupsd)", q = m_queue,
                      setup = "VOLTRANE_CUPS_QUEUE=" + q +
                              " bash " VOLTRANE_TEST_DATA "/../../scripts/cups-setup.sh";
        const QString instead = " Save the report as a PDF file instead?";
        QTest::newRow("idle") << "true"
                              << "true"
                              << "";
        QTest::newRow("paused") << "cupsdisable " + q << "cupsenable " + q
                                << "printPaused: The printer \"" + q +
                                       "\" is paused; the page will print when it is resumed.";
        QTest::newRow("rejecting")
            << "cupsreject -r 'out of paper' " + q << "cupsaccept " + q
            << "printError: The printer \"" + q +
                   "\" did not take the report: it does not accept print jobs now (out of paper).";
        QTest::newRow("stopped") << "kill -STOP " + pid << "kill -CONT " + pid
                                 << "printError: The print service does not answer";
        QTest::newRow("no printer")
            << "lpadmin -x " + q << setup
            << "noPrinter: No printer is installed on this computer." + instead;
        QTest::newRow("not running")
            << setup + " --stop" << setup
            << "noPrinter: The print service is not running on this computer." + instead;
    }

    void printsOrSaysWhy()
    {
        QFETCH(QString, breakIt);
        QFETCH(QString, mendIt);
        QFETCH(QString, says);
        if (QFile::exists("/run/systemd/system") && breakIt.contains("--stop"))
            QSKIP("systemd would start the scheduler again on the first request");
        const QDir folder(qEnvironmentVariable("VOLTRANE_CUPS_PDF_DIR", QDir::homePath() + "/PDF"));
        const QStringList before = folder.entryList({"*.pdf"});
        const QString token = "VT" + QString::number(QDateTime::currentMSecsSinceEpoch());
        const Mend mend{mendIt};
        const qsizetype recorded = m_program->recorded().size();
        QVERIFY(sh(breakIt));
        MainWindow &w = m_program->window;
        qDeleteAll(w.findChildren<QDialog *>("frmPrint")); // the last case's
        click(child(w, "cmdPrint"));
        QWidget *dialog = child(w, "frmPrint");
        QTest::keyClicks(child(*dialog, "txtEserial"), token);
        click(child(*dialog, "cmdPrint"));
        // The window lives on while the service is asked: the dialog says so, waits and stays.
        dialog->close();
        QVERIFY(dialog->isVisible() && dialog->windowTitle() == "Print - printing…" &&
                !child(*dialog, "cmdPrint")->isEnabled() &&
                !child(*dialog, "cmdClose")->isEnabled() &&
                dialog->cursor().shape() == Qt::BusyCursor);
        QVERIFY(QTest::qWaitFor([&] { return child(*dialog, "cmdClose")->isEnabled(); }, 20'000));
        QVERIFY(child(*dialog, "cmdPrint")->isEnabled() && dialog->windowTitle() == "Print" &&
                dialog->cursor().shape() != Qt::BusyCursor);
        // A page taken by the printer, a paused one too, records the test; no other does.
        const bool queued = says.isEmpty() || says.startsWith("printPaused");
        QTRY_COMPARE(m_program->recorded().size(), recorded + (queued ? 1 : 0));
        const auto *box = dialog->findChild<QMessageBox *>();
        QVERIFY2(box ? (box->objectName() + ": " + box->text()).startsWith(says) && !says.isEmpty()
                     : says.isEmpty(),
                 qPrintable(box ? box->text() : "no message"));
        if (!says.isEmpty())
            return;
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
