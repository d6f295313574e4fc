#include "FetchFile.h"
#include "FileSave.h"
#include "MeasurementJson.h"
#include "OrderedJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <numeric>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Program = u"voltrane-meter 0.2.0"_qs;
QByteArray json(const FetchRecord &fetch)
{
    return FetchFile::toJson(fetch, DataSets::of(fetch.recordViews()), Program);
}
// A fetch whose replies hold every byte value, data set 1 a valid record (7.3 kV, 1.5 J, 1000 ms,
// 60 µs, 500 Ohms), data set 3 missing; kept at 10:31:05 one hour ahead of UTC.
FetchRecord sample()
{
    QByteArray all(256, 0);
    std::iota(all.begin(), all.end(), 0);
    const QByteArray record = "?1" + QByteArray(200, 127) +
                              QByteArray::fromHex("e8033c0049000f00f401") + QByteArray(10, 0);
    const QDateTime saved(QDate(2026, 12, 7), QTime(10, 31, 5), QTimeZone(3600));
    return {"?MVM-2000\r", "?S" + all, {record, all, {}, all.left(2)}, false, u"COM 33"_qs, saved};
}
} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        // All replies, nothing received, UTC and an offset behind it: read back as written.
        const QDateTime utc(QDate(2027, 1, 2), QTime(3, 4, 5), Qt::UTC);
        for (const auto &[fetch, saved] :
             {std::pair(sample(), "2026-12-07T10:31:05+01:00"),
              std::pair(FetchRecord{{}, {}, {}, true, u"„COM 3“"_qs, utc},
                        "2027-01-02T03:04:05+00:00"),
              std::pair(FetchRecord{{}, "", {}, true, {}, utc.toOffsetFromUtc(-34200)},
                        "2027-01-01T17:34:05-09:30")}) {
            const QByteArray json = ::json(fetch);
            const Result<FetchRecord> back = FetchFile::fromJson(json);
            QVERIFY2(back, back.error().c_str());
            QCOMPARE(*back, fetch);
            QCOMPARE(back->saved.offsetFromUtc(), fetch.saved.offsetFromUtc());
            // The members in the documented order; only a valid record decoded, for people.
            QVERIFY(json.startsWith("{\n    \"format\": \"voltrane-meter-fetch\",\n    "
                                    "\"version\": 1,\n    \"saved\": \"" +
                                    QByteArray(saved)));
            QCOMPARE(json.contains("7.3, \"energyJ\": 1.5, \"intervalMs\": 1000, \"pulseWidthUs\": "
                                   "60, \"loadOhms\": 500},\n        null,"),
                     bool(fetch.records[0]));
        }
    }

    void orderedJsonWritesScalarsAsQtDoes()
    {
        // Every scalar exactly as QJsonDocument writes it: a random string of all of UTF-16 (half
        // pairs too), numbers at the edges, true, false, null.
        QString any;
        QRandomGenerator random(7);
        for (int i = 0; i < 20000; ++i)
            any += QChar(char16_t(random.bounded(0x10000)));
        const QJsonValue values[] = {any,
                                     "\"\\/\b\f\n\r\t\x01\x1f\x7f é €",
                                     0,
                                     -0.0,
                                     1e21,
                                     1e-7,
                                     7.3,
                                     0.1 + 0.2,
                                     qQNaN(),
                                     qInf(),
                                     qint64(9007199254740993LL),
                                     -3,
                                     true,
                                     false,
                                     QJsonValue::Null};
        QCOMPARE(
            OrderedJson::object(countMembers(Measurement{})).toJson(),
            "{\"voltageKV\":0,\"energyJ\":0,\"intervalMs\":0,\"pulseWidthUs\":0,\"loadOhms\":0}");
        for (const QJsonValue &value : values) {
            const QByteArray qt = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
            QCOMPARE(OrderedJson::scalarJson(value), qt.mid(1, qt.size() - 2));
        }
    }

    void fileNames()
    {
        // The reply to "?S" ("|": none); its part of the name: trimmed as the CSV does, then safe.
        const QDateTime when(QDate(2026, 12, 7), QTime(10, 31, 5));
        for (const QByteArray row : {"?SSN-104233\r|SN-104233", "?S \t 12 34\xa0\r\n|12_34",
                                     "?Sa/b\\c:d.e_f|a_b_c_d.e_f", "?SM\xfcller\xb5|M_ller_",
                                     "?S\xa0 \r|meter", "?S|meter", "|meter", "?S../..|.._.."}) {
            const qsizetype bar = row.lastIndexOf('|');
            QCOMPARE(FetchFile::fileName(when, bar ? std::optional(row.left(bar)) : std::nullopt),
                     "2026-12-07_103105_" + row.mid(bar + 1) + ".vmfetch");
        }
        QCOMPARE(FetchFile::fileName(when, "?S" + QByteArray(1000, 'x')).size(), 18 + 64 + 8);
    }

    void historyFolderFollowsTheDataHome_data()
    {
        // XDG_DATA_HOME and HOME ("-": unset); a relative data home is no data home (the XDG
        // rules), and without HOME the user's home from the system.
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("folder");
        const QString system = QString::fromLocal8Bit(getpwuid(getuid())->pw_dir);
        QTest::newRow("data home") << "/data/home"
                                   << "/h"
                                   << "/data/home/voltrane-meter/fetches";
        QTest::newRow("unset") << "-"
                               << "/h"
                               << "/h/.local/share/voltrane-meter/fetches";
        QTest::newRow("relative") << "data"
                                  << "/h"
                                  << "/h/.local/share/voltrane-meter/fetches";
        QTest::newRow("no HOME") << "-"
                                 << "-" << system + "/.local/share/voltrane-meter/fetches";
    }
    void historyFolderFollowsTheDataHome()
    {
        QFETCH(QString, dataHome);
        QFETCH(QString, home);
        QFETCH(QString, folder);
        const QByteArray wasData = qgetenv("XDG_DATA_HOME"), wasHome = qgetenv("HOME");
        for (const auto &[name, value] : {std::pair("XDG_DATA_HOME", dataHome), {"HOME", home}})
            value == "-" ? qunsetenv(name) : qputenv(name, value.toLocal8Bit());
        const QString found = FetchFile::historyFolder();
        qputenv("XDG_DATA_HOME", wasData), qputenv("HOME", wasHome);
        QCOMPARE(found, folder);
    }

    void keepTakesAFreeNameForAWholeFile()
    {
        // Two processes keep 40 fetches each of one meter at one second into one folder: every
        // one lands whole under a name of its own.
        QTemporaryDir dir;
        const QString folder = dir.filePath("fetches");
        if (qEnvironmentVariableIsSet("VOLTRANE_KEEP_INTO")) {
            const QString into = qEnvironmentVariable("VOLTRANE_KEEP_INTO");
            for (int i = 0; i < 40; ++i) {
                const QByteArray bytes = qgetenv("VOLTRANE_KEEPER") + ' ' + QByteArray::number(i);
                QVERIFY(FetchFile::keep(bytes, "2026-12-07_103105_SN-1.vmfetch", into));
            }
            return;
        }
        QList<QProcess *> keepers;
        for (const char *keeper : {"a", "b"}) {
            auto *p = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("VOLTRANE_KEEP_INTO", folder), env.insert("VOLTRANE_KEEPER", keeper);
            p->setProcessEnvironment(env);
            p->start(QCoreApplication::applicationFilePath(), {"keepTakesAFreeNameForAWholeFile"});
            keepers << p;
        }
        for (QProcess *p : keepers) {
            QVERIFY(p->waitForFinished(60'000));
            QVERIFY2(p->exitCode() == 0, p->readAll().constData());
        }
        QSet<QByteArray> contents;
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : names) {
            QFile f(QDir(folder).filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            contents << f.readAll();
        }
        QCOMPARE(names.size(), 80);
        QCOMPARE(contents.size(), 80);
        QVERIFY(names.contains("2026-12-07_103105_SN-1-80.vmfetch"));
    }

    void keep()
    {
        // Three fetches at the same second from the same meter, into a folder made for them; then
        // one where a file stands in the folder's way.
        QTemporaryDir dir;
        FetchRecord fetch = sample();
        fetch.saved = QDateTime(QDate(2026, 12, 7), QTime(10, 31, 5));
        fetch.serialReply = "?SSN-1\r";
        const QString folder = dir.filePath(u"a/fetches"_qs);
        const QString name = FetchFile::fileName(fetch.saved, fetch.serialReply);
        for (const char *suffix : {"", "-2", "-3"}) {
            const Result<QString> path = FetchFile::keep(json(fetch), name, folder);
            QCOMPARE(*path, folder + "/2026-12-07_103105_SN-1" + suffix + ".vmfetch");
            QCOMPARE(*FetchFile::read(*path), fetch);
        }
        const QString blocked = folder + u"/2026-12-07_103105_SN-1.vmfetch/x"_qs;
        QCOMPARE(QString::fromStdString(FetchFile::keep(json(fetch), name, blocked).error()),
                 "The fetch could not be kept in “" + blocked +
                     "”: the folder cannot be created "
                     "there, as “" +
                     folder + "/2026-12-07_103105_SN-1.vmfetch” is a file.");
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const Result<QString> readOnly = FetchFile::keep(json(fetch), name, folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (geteuid() != 0) // root may write anywhere
            QCOMPARE(QString::fromStdString(readOnly.error()),
                     "The fetch could not be kept in “" + folder + "”: Permission denied.");
    }

    void badFiles()
    {
        // A good file with one member changed, or other bytes; what read() says.
        QTemporaryDir dir;
        const QString path = dir.filePath(u"bad.vmfetch"_qs);
        const QByteArray good = json(sample());
        const QByteArray huge = good + QByteArray(1024 * 1024 - good.size(), ' ');
        for (const auto &[change, problem] : std::initializer_list<std::pair<QByteArray, QString>>{
                 {"", u"No such file or directory"_qs},
                 {"{", u"it is not a fetch file: its contents are not JSON text"_qs},
                 {"format \"vm-fetch\"", u"it is not a fetch file of Voltrane Meter"_qs},
                 {"version 2", u"it was made by a newer version of the program"_qs},
                 {"version 0.5", u"its version (0.5) is not one the program knows"_qs},
                 {"saved \"10:31\"", u"the entry “saved” is not a date, time and UTC offset"_qs},
                 {"program -", u"the entry “program” is missing"_qs},
                 {"port 33", u"the entry “port” is not text"_qs},
                 {"complete 1", u"the entry “complete” is not true or false"_qs},
                 {"meter []", u"the entry “meter” is not a group of entries"_qs},
                 {"meter {\"model\":null}", u"the entry “meter.serial” is missing"_qs},
                 {"records [null,null,null]", u"it holds 3 data sets instead of 4"_qs},
                 {"records [1,0,0,0]", u"data set 1 in “records” is neither text nor null"_qs},
                 {"records [null,null,\"ä\",0]", u"data set 3 in “records” is not valid base64"_qs},
                 {huge + ' ', u"it is larger than 1 MiB, far more than a fetch file holds"_qs},
                 {"fifo", u"it is not a regular file"_qs},
                 {"folder", u"it is not a regular file"_qs},
                 {huge, QString()}}) {
            QByteArray bytes = change;
            if (const qsizetype blank = change.indexOf(' '); blank > 0 && change.size() < 100) {
                QJsonObject file = QJsonDocument::fromJson(good).object();
                file.insert(QString::fromUtf8(change.left(blank)), // "-" is no JSON: removed
                            QJsonDocument::fromJson("[" + change.mid(blank + 1) + "]")[0]);
                bytes = QJsonDocument(file).toJson();
            }
            QFile::remove(path), QDir(path).removeRecursively();
            if (change == "fifo")
                QCOMPARE(::mkfifo(QFile::encodeName(path), 0600), 0);
            else if (change == "folder")
                QVERIFY(QDir().mkpath(path));
            else if (!change.isEmpty())
                QVERIFY(FileSave::write(path, bytes));
            const Result<FetchRecord> read = FetchFile::read(path);
            QCOMPARE(read.ok(), problem.isEmpty());
            QCOMPARE(QString::fromStdString(read.error()),
                     problem.isEmpty() ? QString()
                                       : "“bad.vmfetch” cannot be opened: " + problem + '.');
        }
    }
};

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
