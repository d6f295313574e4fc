// voltrane-meter-cli as a lab's script runs it, against the meter simulator on a real
// pseudo-terminal and with no display: what it prints, keeps and writes, and its exit codes.
#include "DataSetCsv.h"
#include "FetchFile.h"
#include "MeterSimulator.h"
#include "PdfText.h"
#include "PortNames.h"

#include <QtTest>

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    struct Run
    {
        int code;
        QString out;
        QStringList err; // one entry a line
    };
    // "OUT/" in an argument stands for the temporary folder, "SIM" for the simulator's device.
    Run cli(QStringList args, const QString &device = {})
    {
        for (QString &a : args)
            a.replace("OUT/", m_dir.path() + '/').replace("SIM", device);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        for (const char *display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(display);
        p.setProcessEnvironment(env);
        p.start(VOLTRANE_CLI, args);
        // The simulator answers from this event loop.
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60'000))
            p.kill(); // and the exit code shows it
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts)};
    }
    QString history() const { return m_dir.filePath("data/voltrane-meter/fetches/"); }
    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void fetchShowReportExport()
    {
        MeterSimulator sim;
        QVERIFY(sim.start());
        const int port = PortNames::portNumberForDevice(sim.devicePath()).value();
        const Run fetch = cli(
            {"fetch", "--port", PortNames::entryText(port).toLower(), "--save", "OUT/a.vmfetch"});
        QCOMPARE(fetch.code, 0);
        QCOMPARE(fetch.err, QString("?M (1 of 6)|?S (2 of 6)|?1 (3 of 6)|?2 (4 of 6)|?3 (5 of 6)|"
                                    "?4 (6 of 6)")
                                .split('|'));
        QCOMPARE(sim.receivedCommands(), QByteArrayList({"?M", "?S", "?1", "?2", "?3", "?4"}));
        // Kept in the history, the same bytes as saved; "show" prints what the fetch printed.
        const QStringList kept = QDir(history()).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(bytes(history() + kept[0]), bytes(m_dir.filePath("a.vmfetch")));
        const Run show = cli({"show", "OUT/a.vmfetch"});
        QCOMPARE(show.out, fetch.out);
        QCOMPARE(show.out.split('\n').mid(0, 4),
                 QStringList({"Model No.: VM-2000", "Serial No.: SN-104233",
                              "Data 1  Voltage = 7.3 KV  Energy = 1.5 J  Interval = 1.0 s  Pulse "
                              "Width = 60 µs  Load = No Load",
                              "Data 2  Voltage = 5.2 KV  Energy = 2.8 J  Interval = 1.2 s  Pulse "
                              "Width = 80 µs  Load = 500 Ohms"}));
        const QJsonObject json =
            QJsonDocument::fromJson(cli({"show", "OUT/a.vmfetch", "--json"}).out.toUtf8()).object();
        const QJsonObject set2 = json["dataSets"][1].toObject();
        QCOMPARE(json.keys(), QStringList({"dataSets", "model", "serial"}));
        QCOMPARE(QStringList({json["model"].toString(), json["serial"].toString()}),
                 QStringList({"VM-2000", "SN-104233"}));
        QCOMPARE(
            QList<double>({set2["voltageKV"].toDouble(), set2["energyJ"].toDouble(),
                           set2["intervalMs"].toDouble(), set2["pulseWidthUs"].toDouble(),
                           set2["loadOhms"].toDouble(), double(set2["samples"].toArray().size())}),
            QList<double>({5.2, 2.8, 1200, 80, 500, 200}));
        // The report page of data set 2 as a PDF, read back; the CSV as the window exports it.
        QCOMPARE(cli({"report", "OUT/a.vmfetch", "--data-set", "2", "--pdf", "OUT/r.pdf",
                      "--energizer-model", "EZ-9", "--date", "31/12/26"})
                     .code,
                 0);
        const PdfText::Document pdf = PdfText::read(m_dir.filePath("r.pdf"));
        QStringList words;
        for (const auto &word : pdf.words)
            words << word.first;
        QCOMPARE(pdf.pages.size(), 1);
        for (const char *word : {"EZ-9", "31/12/26", "5.2", "VM-2000"})
            QVERIFY2(words.contains(word), word);
        QCOMPARE(cli({"export", "OUT/a.vmfetch", "--data-set", "2", "--csv", "OUT/d.csv"}).code, 0);
        const FetchRecord saved = *FetchFile::read(m_dir.filePath("a.vmfetch"));
        const ShownDataSet second{1, *DataSets::of(saved.recordViews()).measurement(1),
                                  saved.modelReply->toStdString(),
                                  saved.serialReply->toStdString()};
        QCOMPARE(bytes(m_dir.filePath("d.csv")),
                 QByteArray::fromStdString(DataSetCsv::write(second)));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("lastError"); // a pattern for the last line on standard error
        QTest::addColumn<QString>("out");       // a pattern for standard output
        const QString usage = "^usage: voltrane-meter-cli ";
        const auto row = [](const char *name, QStringList args, int code, QString error,
                            QString out = "^$") {
            QTest::newRow(name) << args << code << error << out;
        };
        row("the line drops",
            {"fetch", "--port", "SIM", "--no-history", "--save", "OUT/cut.vmfetch"}, 1,
            "^The connection to the meter on COM \\d+ \\(/dev/pts/\\d+\\) failed: ",
            "\nData 1  Voltage = 7.3 KV .*\nData 2  no valid data\n");
        row("no such port", {"fetch", "--port", "COM 64"}, 1,
            "^COM 64 \\(/dev/ttyUSB31\\): No such file or directory$");
        row("bad file", {"show", "OUT/bad.vmfetch"}, 1,
            "^“bad.vmfetch” cannot be opened: it is not a fetch file: ");
        row("bad file to report", {"report", "OUT/none", "--data-set", "1", "--print"}, 1,
            "^“none” cannot be opened: No such file or directory.$");
        row("no such data set",
            {"export", "OUT/cut.vmfetch", "--data-set", "2", "--csv", "OUT/x.csv"}, 1,
            "^Data set 2: no answer$");
        row("unwritable CSV",
            {"export", "OUT/cut.vmfetch", "--data-set", "1", "--csv", "/proc/x.csv"}, 1,
            "^The data set could not be saved as \"/proc/x.csv\". ");
        row("no command", {}, 2, usage + "COMMAND");
        row("unknown command", {"frob"}, 2, usage + "COMMAND");
        row("no file", {"show", "--json"}, 2, usage + "show FILE");
        row("unknown option", {"show", "f", "--csv", "x"}, 2, usage + "show FILE");
        row("data set 5", {"export", "f", "--data-set", "5", "--csv", "x"}, 2, usage + "export");
        row("no --csv", {"export", "f", "--data-set", "1"}, 2, usage + "export");
        row("neither --pdf nor --print", {"report", "f", "--data-set", "1"}, 2, usage + "report");
        row("--pdf and --print", {"report", "f", "--data-set=1", "--pdf=x", "--print"}, 2,
            usage + "report");
        row("no --port", {"fetch"}, 2, usage + "fetch");
        row("port text", {"fetch", "--port", "COM7"}, 2, usage + "fetch");
        row("--version", {"--version"}, 0, "^$", "^voltrane-meter-cli " VOLTRANE_VERSION "\n$");
        row("ports", {"ports"}, 0, "^$", "(^|\n)COM \\d+  SIM( |\n)");
        row("--help", {"report", "--help"}, 0, "^$", "^usage: voltrane-meter-cli report FILE ");
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, lastError);
        QFETCH(QString, out);
        MeterSimulatorOptions options;
        options.hangUpAfter = 4; // before the meter answers "?2"
        MeterSimulator sim(options);
        QVERIFY(sim.start());
        QFile bad(m_dir.filePath("bad.vmfetch"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("not a fetch") > 0);
        bad.close();
        const qsizetype kept = QDir(history()).entryList(QDir::Files).size();
        const Run run = cli(args, sim.devicePath());
        QCOMPARE(run.code, code);
        const QString last = run.err.value(run.err.size() - 1);
        QVERIFY2(QRegularExpression(lastError).match(last).hasMatch(), qPrintable(last));
        out.replace("SIM", QRegularExpression::escape(sim.devicePath()));
        QVERIFY2(QRegularExpression(out).match(run.out).hasMatch(), qPrintable(run.out));
        // Cut short: what arrived is kept as asked (the rows after this one read it), and only so.
        QCOMPARE(QDir(history()).entryList(QDir::Files).size(), kept);
        if (args.contains("OUT/cut.vmfetch")) {
            const Result<FetchRecord> cut = FetchFile::read(m_dir.filePath("cut.vmfetch"));
            QVERIFY2(cut && !cut->complete && cut->records[0] && !cut->records[1],
                     cut.error().c_str());
        }
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
