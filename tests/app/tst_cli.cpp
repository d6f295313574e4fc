// voltrane-meter-cli as a lab's script runs it, against the meter simulator on a real
// pseudo-terminal and with no display: what it prints, keeps and writes, and its exit codes.
#include "DataSetCsv.h"
#include "FetchFile.h"
#include "FileSave.h"
#include "MeterSimulator.h"
#include "PdfText.h"
#include "PortNames.h"

#include <QtTest>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dataHome = m_dir.filePath("data");
    struct Run
    {
        int code;
        QString out;
        QStringList err; // one entry a line
    };
    // "OUT/" in an argument stands for the temporary folder, "SIM" for the simulator's device.
    // As user "nobody" when asked and run as root.
    Run cli(QStringList args, const QString &device = {}, bool asNobody = false)
    {
        for (QString &a : args)
            a.replace("OUT/", m_dir.path() + '/').replace("SIM", device);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dataHome);
        for (const char *display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(display);
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([asNobody] {
            if (asNobody && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
                _exit(3);
        });
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
        // Each valid data set's measures from the samples and its indicative check.
        QCOMPARE(set2["measures"].toObject().keys(),
                 QStringList({"cutOff", "energyFromSamplesJ", "peakCurrentA", "peakTimeUs",
                              "riseTimeUs", "widthAt50Us"}));
        QCOMPARE(set2["check"].toObject()["profile"].toString(),
                 "Energizer safety limits (indicative)");
        QCOMPARE(set2["check"].toObject()["energy"].toString(), "pass");
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
            "^The connection to the meter on COM \\d+ \\(/dev/pts/\\d+\\) failed: .*\\. Check the "
            "cable and the meter, then fetch again\\.$",
            "\nData 1  Voltage = 7.3 KV .*\nData 2  no valid data\n");
        row("save over a file", {"fetch", "--port", "SIM", "--save", "OUT/bad.vmfetch"}, 2,
            "^voltrane-meter-cli: .*/bad.vmfetch exists; give --force to replace it$");
        row("CSV over its fetch",
            {"export", "OUT/cut.vmfetch", "--data-set", "1", "--csv", "OUT/./cut.vmfetch"}, 1,
            "^The data set cannot be saved as \".*/./cut.vmfetch\": that is the fetch it is made "
            "from\\.$");
        row("PDF over its fetch",
            {"report", "OUT/cut.vmfetch", "--data-set", "1", "--pdf", "OUT/cut.vmfetch"}, 1,
            "^The report cannot be saved as \".*/cut.vmfetch\": that is the fetch it is made "
            "from\\.$");
        row("a FIFO", {"show", "OUT/fifo.vmfetch"}, 1,
            "^“fifo.vmfetch” cannot be opened: it is not a regular file\\.$");
        row("not a serial port", {"fetch", "--port", "/dev/null"}, 1,
            "^/dev/null: this is not a serial port\\.$");
        row("a folder as the CSV",
            {"export", "OUT/cut.vmfetch", "--data-set", "1", "--csv", "OUT/"}, 1,
            "^The data set could not be saved as \".*/\"\\. It is a folder\\.$");
        row("empty --pdf", {"report", "OUT/cut.vmfetch", "--data-set", "1", "--pdf", ""}, 2,
            usage + "report");
        row("empty --csv", {"export", "OUT/cut.vmfetch", "--data-set", "1", "--csv", ""}, 2,
            usage + "export");
        row("empty --port", {"fetch", "--port", ""}, 2, usage + "fetch");
        row("empty --save", {"fetch", "--port", "SIM", "--no-history", "--save", ""}, 2,
            usage + "fetch");
        row("a repeated option",
            {"export", "OUT/cut.vmfetch", "--data-set", "1", "--data-set", "2", "--csv", "x"}, 2,
            usage + "export");
        row("--version and more", {"--version", "extra"}, 2, usage + "COMMAND");
        row("no such profile", {"show", "OUT/cut.vmfetch", "--json", "--profile", "Nope"}, 2,
            "^There is no limit profile named “Nope”; the profiles are “Energizer safety limits "
            "\\(indicative\\)”\\.?$");
        row("a date that is none", {"records", "--since", "2026-13-01"}, 2, usage + "records");
        row("both listings", {"records", "--json", "--csv"}, 2, usage + "records");
        row("a trend of nothing", {"trend"}, 2, usage + "trend");
        row("a record with a data set", {"report", "--record", "x", "--data-set", "1", "--print"},
            2, usage + "report");
        row("CSV on standard output",
            {"export", "OUT/cut.vmfetch", "--data-set", "1", "--csv", "-"}, 0, "^$",
            "^Model No.,VM-2000\r\nSerial No.,SN-104233\r\n");
        row("-- ends the options", {"show", "--", "OUT/cut.vmfetch"}, 0, "^$",
            "^Model No.: VM-2000\nSerial No.: SN-104233\nData 1 ");
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
        if (!QFile::exists(m_dir.filePath("fifo.vmfetch")))
            QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("fifo.vmfetch")), 0600), 0);
        const QByteArray cut = bytes(m_dir.filePath("cut.vmfetch"));
        const qsizetype kept = QDir(history()).entryList(QDir::Files).size();
        const Run run = cli(args, sim.devicePath());
        QCOMPARE(run.code, code);
        // Wrong usage asks the meter nothing; no output replaces a file it was not asked to.
        if (code == 2)
            QCOMPARE(sim.receivedCommands(), QByteArrayList());
        QCOMPARE(bytes(m_dir.filePath("bad.vmfetch")), "not a fetch");
        if (!args.contains("--save"))
            QCOMPARE(bytes(m_dir.filePath("cut.vmfetch")), cut);
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

    void portsSayWhichCannotBeOpened_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("not in the group")
            << QByteArray("dialout") << 0660 << "  (no permission: not in group dialout)";
        QTest::newRow("a pseudo-terminal")
            << QByteArray("tty") << 0620 << "  (no permission: only root may open it)";
        QTest::newRow("open to all") << QByteArray("tty") << 0666 << "";
    }
    void portsSayWhichCannotBeOpened()
    {
        QFETCH(QByteArray, group);
        QFETCH(int, mode);
        QFETCH(QString, suffix);
        if (geteuid() != 0)
            QSKIP("needs root, to hand the device to another user");
        MeterSimulator sim;
        QVERIFY(sim.start());
        const QByteArray device = QFile::encodeName(sim.devicePath());
        QVERIFY(chown(device, 0, getgrnam(group)->gr_gid) == 0 && chmod(device, mode) == 0);
        const Run run = cli({"ports"}, {}, true);
        QCOMPARE(run.code, 0);
        const QString entry =
            PortNames::entryText(*PortNames::portNumberForDevice(sim.devicePath()));
        QVERIFY2(run.out.split('\n').contains(entry + "  " + sim.devicePath() +
                                              "  pseudo-terminal" + suffix),
                 qPrintable(run.out));
    }

    void testsAreRecordedAndFoundAgain()
    {
        // Each report issued records its test, unless --no-record; records and trend find them
        // again; a record's page again is the same page and records nothing.
        MeterSimulator sim;
        QVERIFY(sim.start());
        m_dataHome = m_dir.filePath("records-home");
        QVERIFY(cli({"fetch", "--port", sim.devicePath(), "--save", "OUT/r.vmfetch"}).code == 0);
        const QStringList report{"report", "OUT/r.vmfetch", "--date", "d"};
        for (const QStringList &more :
             {QStringList{"--pdf", "OUT/r3.pdf", "--data-set", "3", "--energizer-serial", " Ü-7788",
                          "--customer", "Hof Bäcker"},
              {"--pdf", "OUT/r2.pdf", "--data-set", "2", "--energizer-serial", "ü-7788",
               "--energizer-model", "M 450"},
              {"--pdf", "OUT/r1.pdf", "--data-set", "1", "--energizer-serial", "9", "--no-record"}})
            QCOMPARE(cli(report + more).code, 0);
        const auto json = [&](QStringList args) {
            return QJsonDocument::fromJson(cli(args).out.toUtf8());
        };
        const QJsonArray all = json({"records", "--json"}).array();
        QCOMPARE(all.size(), 2);
        const QJsonObject newest = all[0].toObject();
        QCOMPARE(
            newest.keys(),
            QStringList({"check", "customer", "dataSet", "date", "energizerModel",
                         "energizerSerial", "energyJ", "id", "intervalMs", "loadOhms", "meterModel",
                         "meterSerial", "pulseWidthUs", "recorded", "technician", "voltageKV"}));
        QCOMPARE(QStringList({newest["energizerModel"].toString(),
                              QString::number(newest["dataSet"].toInt()),
                              QString::number(newest["voltageKV"].toDouble())}),
                 QStringList({"M 450", "2", "5.2"}));
        QCOMPARE(json({"records", "--json", "--search", "BÄCKER"}).array().size(), 1);
        QCOMPARE(json({"records", "--json", "--energizer-serial", "Ü-7788 "}).array().size(), 2);
        QCOMPARE(json({"records", "--json", "--until", "2000-01-01"}).array().size(), 0);
        QCOMPARE(cli({"records", "--csv"}).out.count("\r\n"), 3);
        const QJsonObject trend =
            json({"trend", "--energizer-serial", "ü-7788", "--json"}).object();
        QCOMPARE(trend["baseline"].toString(), all[1].toObject()["id"].toString());
        QCOMPARE(trend["dropKV"].toDouble(), -4.6); // 9.8 kV, then 5.2
        QCOMPARE(trend["warning"].toBool(), true);
        QCOMPARE(
            cli({"report", "--record", newest["id"].toString(), "--pdf", "OUT/again.pdf"}).code, 0);
        QCOMPARE(PdfText::read(m_dir.filePath("again.pdf")).words,
                 PdfText::read(m_dir.filePath("r2.pdf")).words);
        QCOMPARE(json({"records", "--json"}).array().size(), 2);
        // A store that cannot be opened: the page is issued all the same, and the test not
        // recorded is said.
        QVERIFY(FileSave::write(m_dataHome + "/voltrane-meter/records.sqlite", "not a database"));
        const Run failed = cli(report + QStringList{"--data-set", "1", "--pdf", "OUT/kept.pdf"});
        QCOMPARE(failed.code, 1);
        QVERIFY(QFile::exists(m_dir.filePath("kept.pdf")));
        QVERIFY(failed.err.value(0).startsWith("The test was not recorded. The test records in “"));
        QCOMPARE(cli({"records"}).code, 1);
        m_dataHome = m_dir.filePath("data");
    }

    void meterTextsAreShownNeverInterpreted()
    {
        // A NUL in the model, a line break, ESC and BEL in the serial: each shown in one line,
        // visible, and the meter's own line end dropped; --json gives the texts as they came.
        MeterSimulator sim({.model = QByteArray("VM\0\0\0-2000", 10),
                            .serial = "SN-1\nData 1  Voltage = 99.9 KV\x1b[2J\x07"});
        QVERIFY(sim.start());
        const Run run = cli({"fetch", "--port", sim.devicePath(), "--no-history"});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split('\n');
        QCOMPARE(lines.mid(0, 2), QStringList({"Model No.: VM\\x00\\x00\\x00-2000",
                                               "Serial No.: SN-1\\x0AData 1  Voltage = 99.9 "
                                               "KV\\x1B[2J\\x07"}));
        QCOMPARE(lines.size(), 2 + 4 + 1);
        QVERIFY(lines[2].startsWith("Data 1  Voltage = 7.3 KV"));
        QVERIFY(cli({"fetch", "--port", sim.devicePath(), "--no-history", "--save",
                     "OUT/texts.vmfetch"})
                    .code == 0);
        const QJsonObject json =
            QJsonDocument::fromJson(cli({"show", "OUT/texts.vmfetch", "--json"}).out.toUtf8())
                .object();
        QCOMPARE(json["model"].toString(), QString::fromLatin1("VM\0\0\0-2000", 10));
        QCOMPARE(json["serial"].toString(), "SN-1\nData 1  Voltage = 99.9 KV\x1b[2J\x07");
    }

    void interruptedFetchKeepsWhatArrived_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void interruptedFetchKeepsWhatArrived()
    {
        // Signalled once data set 1 has come: kept, marked cut short, and the shell sees the
        // signal.
        QFETCH(int, signal);
        MeterSimulator sim;
        QVERIFY(sim.start());
        QDir(history()).removeRecursively();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        p.setProcessEnvironment(env);
        p.start(VOLTRANE_CLI, {"fetch", "--port", sim.devicePath()});
        QByteArray progress;
        QVERIFY(QTest::qWaitFor(
            [&] { return (progress += p.readAllStandardError()).contains("?2 (4 of 6)"); },
            20'000));
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20'000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(p.exitCode(), signal);
        const QStringList kept = QDir(history()).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        const Result<FetchRecord> fetch = FetchFile::read(history() + kept.value(0));
        QVERIFY(fetch);
        QCOMPARE(fetch->complete, false);
        QVERIFY(fetch->records[0]);
    }

    void outputThatCannotBeWrittenIsSaid_data()
    {
        QTest::addColumn<QString>("shell"); // "$0" is the program, "$1" a kept fetch
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        const QString cannot = "^voltrane-meter-cli: the output cannot be written: ";
        QTest::newRow("full disk")
            << "\"$0\" show \"$1\" >/dev/full" << 1 << cannot + "No space left on device\\.$";
        QTest::newRow("full disk, JSON") << "\"$0\" show \"$1\" --json >/dev/full" << 1
                                         << cannot + "No space left on device\\.$";
        QTest::newRow("closed") << "\"$0\" show \"$1\" >&-" << 1
                                << cannot + "Bad file descriptor\\.$";
        QTest::newRow("closed pipe")
            << "\"$0\" export \"$1\" --data-set 1 --csv - | head -c 1 >/dev/null" << 0 << "^$";
        QTest::newRow("file name not UTF-8")
            << "n=\"$(dirname \"$1\")/$(printf '\\377').vmfetch\"; cp \"$1\" \"$n\" && \"$0\" show "
               "\"$n\"; said=$?; rm -f \"$n\"; exit $said"
            << 1 << "^“.*” cannot be opened: its name is not valid UTF-8 text\\.$";
    }
    void outputThatCannotBeWrittenIsSaid()
    {
        QFETCH(QString, shell);
        QFETCH(int, code);
        QFETCH(QString, error);
        const QString file = m_dir.filePath("whole.vmfetch");
        QVERIFY(
            FileSave::write(file, bytes(VOLTRANE_TEST_DATA "/../../fuzz/corpus/fetchfile/clean")));
        QProcess p;
        p.start("sh", {"-c", shell, VOLTRANE_CLI, file});
        QVERIFY(p.waitForFinished(30'000));
        QCOMPARE(p.exitCode(), code);
        const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        QVERIFY2(QRegularExpression(error).match(err).hasMatch(), qPrintable(err));
    }

    void reportHelperThatCannotRunIsSaid()
    {
        QTemporaryDir installed;
        const QString cli = installed.filePath("voltrane-meter-cli");
        QVERIFY(QFile::copy(VOLTRANE_CLI, cli));
        QVERIFY(FileSave::write(installed.filePath("voltrane-meter-cli-report"), "#!/bin/sh\n"));
        QProcess p;
        p.start(cli, {"report", "x.vmfetch", "--data-set", "1", "--print"});
        QVERIFY(p.waitForFinished(30'000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 "The report could not be made: its helper program \"" +
                     installed.filePath("voltrane-meter-cli-report") +
                     "\" cannot be started: it is not executable. Install the program again.\n");
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
