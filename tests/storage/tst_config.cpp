#include "LimitProfiles.h"
#include "Settings.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QJsonObject Good{{"name", "Dairy farm"},    {"energyMaxJ", 4.5},  {"intervalMinMs", 1200},
                       {"pulseWidthMaxUs", 8000}, {"loadMinOhms", 100}, {"loadMaxOhms", 500}};
const QString BuiltIn = u"Energizer safety limits (indicative)"_qs;

// The good profile with some entries changed (or added), one left out.
QByteArray profile(const QJsonObject &change, const QString &drop = {})
{
    QJsonObject object = Good;
    for (auto it = change.begin(); it != change.end(); ++it)
        object.insert(it.key(), it.value());
    object.remove(drop);
    return QJsonDocument(object).toJson();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void testProfileFromJson_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem"); // empty: a valid profile
        const QString e = u"the entry “%1” "_qs;
        QTest::newRow("good") << profile({}) << QString();
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + profile({}) << QString();
        QTest::newRow("zero limits, one load")
            << profile({{"energyMaxJ", 0}, {"intervalMinMs", 0}, {"loadMinOhms", 500}})
            << QString();
        QTest::newRow("ceilings") << profile({{"energyMaxJ", 1000},
                                              {"intervalMinMs", 60000},
                                              {"pulseWidthMaxUs", 65535},
                                              {"loadMaxOhms", 65535}})
                                  << QString();
        QTest::newRow("100 characters") << profile({{"name", QString(100, u'é')}}) << QString();
        QTest::newRow("cut short")
            << QByteArray("{\"name\": ")
            << u"it is not JSON text (unterminated object at character 10)"_qs;
        QTest::newRow("empty") << QByteArray()
                               << u"it is not JSON text (illegal value at character 1)"_qs;
        QTest::newRow("infinite") << profile({}).replace("4.5", "1e999")
                                  << u"it is not JSON text (illegal number at character 26)"_qs;
        QTest::newRow("a list") << QByteArray("[{}]") << u"it is not one JSON object"_qs;
        QTest::newRow("no name") << profile({}, "name") << e.arg("name") + "is missing";
        QTest::newRow("no loadMaxOhms")
            << profile({}, "loadMaxOhms") << e.arg("loadMaxOhms") + "is missing";
        QTest::newRow("name a number") << profile({{"name", 5}}) << e.arg("name") + "is not text";
        QTest::newRow("limit as text")
            << profile({{"energyMaxJ", "5"}}) << e.arg("energyMaxJ") + "is not a number";
        QTest::newRow("limit null") << profile({{"pulseWidthMaxUs", QJsonValue()}})
                                    << e.arg("pulseWidthMaxUs") + "is not a number";
        QTest::newRow("negative") << profile({{"intervalMinMs", -0.1}})
                                  << e.arg("intervalMinMs") + "is negative (-0.1)";
        QTest::newRow("energy over")
            << profile({{"energyMaxJ", 1000.5}})
            << e.arg("energyMaxJ") + "is 1000.5, more than the 1000 a profile may set";
        QTest::newRow("interval over")
            << profile({{"intervalMinMs", 60001}})
            << e.arg("intervalMinMs") + "is 60001, more than the 60000 a profile may set";
        QTest::newRow("width huge")
            << profile({{"pulseWidthMaxUs", 1e300}})
            << e.arg("pulseWidthMaxUs") + "is 1e+300, more than the 65535 a profile may set";
        QTest::newRow("load over")
            << profile({{"loadMaxOhms", 65536}})
            << e.arg("loadMaxOhms") + "is 65536, more than the 65535 a profile may set";
        QTest::newRow("loads crossed")
            << profile({{"loadMinOhms", 600}})
            << u"the entry “loadMinOhms” (600) is above the entry “loadMaxOhms” (500)"_qs;
        QTest::newRow("empty name") << profile({{"name", ""}}) << e.arg("name") + "is empty";
        QTest::newRow("blank name") << profile({{"name", " \t "}}) << e.arg("name") + "is empty";
        QTest::newRow("line end in name")
            << profile({{"name", "a\nb"}})
            << e.arg("name") + "holds a control character (a tab or line end)";
        QTest::newRow("101 characters") << profile({{"name", QString(101, u'é')}})
                                        << e.arg("name") + "is longer than 100 characters";
        QTest::newRow("unknown entry")
            << profile({{"comment", "x"}})
            << u"it has an entry “comment”, which a limit profile does not have"_qs;
    }
    void testProfileFromJson()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QCOMPARE(QString::fromStdString(LimitProfiles::fromJson(bytes).error()), problem);
    }

    // A folder of good, bad and odd files: the good ones sorted by name after the built-in one,
    // one message per file left out (in file-name order), and every file as it was.
    void testProfileFolder()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(u"a.json"_qs), max = dir.filePath(u"max.json"_qs);
        write(good, profile({{"name", "Zeta"}}));
        write(dir.filePath(u"b.json"_qs), profile({{"name", "alpha"}}));
        write(dir.filePath(u"c.json"_qs), profile({{"name", "Zeta"}, {"energyMaxJ", 1}}));
        write(dir.filePath(u"d.json"_qs), profile({{"name", BuiltIn}}));
        write(dir.filePath(u"e.json"_qs), "{");
        write(dir.filePath(u"notes.txt"_qs), "{");
        const QByteArray padded = profile({{"name", "Max size"}}).leftJustified(65536, ' ');
        write(max, padded);
        write(dir.filePath(u"over.json"_qs), padded + ' ');
        QVERIFY(QDir(dir.path()).mkdir(u"folder.json"_qs));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"fifo.json"_qs)), 0600), 0);
        QVERIFY(QFile::link(dir.filePath(u"nowhere"_qs), dir.filePath(u"gone.json"_qs)));

        const LimitProfiles profiles = LimitProfiles::load(dir.path());
        QCOMPARE(profiles.names(), QStringList({BuiltIn, "alpha", "Max size", "Zeta"}));
        const QString left = "The limit profile “" + dir.path() + "/%1” is left out: %2.";
        QCOMPARE(
            profiles.problems(),
            QStringList(
                {left.arg("c.json", "the name “Zeta” is taken by “a.json”"),
                 left.arg("d.json", "the name “" + BuiltIn + "” is taken by the built-in profile"),
                 left.arg("e.json", "it is not JSON text (unterminated object at character 2)"),
                 left.arg("fifo.json", "it is not a regular file"),
                 left.arg("folder.json", "it is not a regular file"),
                 left.arg("gone.json", "No such file or directory"),
                 left.arg("over.json", "it is larger than 64 KiB")}));
        QCOMPARE(profiles.all().back(), (LimitProfile{"Zeta", 4.5, 1200, 8000, 100, 500}));
        QCOMPARE(contents(dir.filePath(u"c.json"_qs)),
                 profile({{"name", "Zeta"}, {"energyMaxJ", 1}}));
        QCOMPARE(contents(dir.filePath(u"e.json"_qs)), "{");
        QCOMPARE(profiles.find(u"alpha"_qs)->name, "alpha");
        QCOMPARE(profiles.find(u"zeta"_qs).error(),
                 "There is no limit profile named “zeta”; the profiles are “" +
                     BuiltIn.toStdString() + "”, “alpha”, “Max size”, “Zeta”.");
    }

    void testProfileFolderMissingOrAFile()
    {
        QTemporaryDir dir;
        const LimitProfiles none = LimitProfiles::load(dir.filePath(u"none"_qs));
        QCOMPARE(none.names(), QStringList{BuiltIn});
        QCOMPARE(none.problems(), QStringList());
        write(dir.filePath(u"file"_qs), "");
        QCOMPARE(LimitProfiles::load(dir.filePath(u"file"_qs)).problems(),
                 QStringList{"The limit profiles in “" + dir.filePath(u"file"_qs) +
                             "” cannot be read: it is not a folder."});
    }

    // XDG_CONFIG_HOME, absent, empty, relative (invalid: ignored) or absolute; HOME /home/tech.
    void testConfigFolder_data()
    {
        QTest::addColumn<QByteArray>("configHome");
        QTest::addColumn<QString>("folder");
        QTest::newRow("unset") << QByteArray() << u"/home/tech/.config/voltrane-meter"_qs;
        QTest::newRow("empty") << QByteArray("") << u"/home/tech/.config/voltrane-meter"_qs;
        QTest::newRow("relative") << QByteArray("cfg") << u"/home/tech/.config/voltrane-meter"_qs;
        QTest::newRow("absolute") << QByteArray("/srv/cfg/") << u"/srv/cfg/voltrane-meter"_qs;
    }
    void testConfigFolder()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QString, folder);
        qputenv("HOME", "/home/tech");
        if (configHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configHome);
        QCOMPARE(Settings::defaultPath(), folder + "/voltrane-meter.conf");
        QCOMPARE(LimitProfiles::folder(), folder + "/profiles");
    }

    // Texts that INI files treat specially, through a second settings object and, read from the
    // file alone, a copy of it (QSettings shares what it read of a path within the process).
    void testSettingsRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        for (const QString value : {"host=db.example port=5432 dbname=records user=tech",
                                    "a,b",
                                    "a, b",
                                    "a;b",
                                    ";a",
                                    "#a",
                                    "\"a\"",
                                    "a\"b,c\"",
                                    "=",
                                    " lead",
                                    "trail ",
                                    "\ttab",
                                    "Müller µs €",
                                    "@Variant(x)",
                                    "@a",
                                    "line\nend",
                                    "back\\slash",
                                    "[section]",
                                    "",
                                    "true"})
            QTest::newRow(qPrintable(QString(value).replace(u'\n', u"\\n"_qs))) << value;
    }
    void testSettingsRoundTrip()
    {
        QFETCH(QString, value);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"new/voltrane-meter.conf"_qs);
        Settings first(path);
        first.setText(Settings::RecordsServer, value);
        QVERIFY(first.save());
        QCOMPARE(Settings(path).text(Settings::RecordsServer, u"unset"_qs), value);
        QVERIFY(QFile::copy(path, dir.filePath(u"copy.conf"_qs)));
        QCOMPARE(Settings(dir.filePath(u"copy.conf"_qs)).text(Settings::RecordsServer), value);
    }

    void testSettingsFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"voltrane-meter.conf"_qs);
        Settings settings(path);
        settings.setFlag(Settings::AddLimitCheck, true);
        settings.setText(Settings::CheckProfile, u"Dairy farm"_qs);
        settings.setText(Settings::RecordsServer, u"host=db.example port=5432"_qs);
        QVERIFY(settings.save());
        QCOMPARE(contents(path),
                 "[check]\nprofile=Dairy farm\n\n[records]\nserver=\"host=db.example "
                 "port=5432\"\n\n[report]\naddLimitCheck=true\n");
        QCOMPARE(Settings(path).flag(Settings::AddLimitCheck), true);
        QVERIFY(QFile::copy(path, dir.filePath(u"copy.conf"_qs)));
        QCOMPARE(Settings(dir.filePath(u"copy.conf"_qs)).flag(Settings::AddLimitCheck), true);
    }

    // A line as someone may type it into the file; what text() and flag() make of it.
    void testHandWrittenSettings_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flags"); // with the default false, with the default true
        QTest::newRow("true") << QByteArray("addLimitCheck=true") << "true"
                              << "true true";
        QTest::newRow(" On ") << QByteArray("addLimitCheck= On ") << "On"
                              << "true true";
        QTest::newRow("1") << QByteArray("addLimitCheck=1") << "1"
                           << "true true";
        QTest::newRow("no") << QByteArray("addLimitCheck=no") << "no"
                            << "false false";
        QTest::newRow("OFF") << QByteArray("addLimitCheck=OFF") << "OFF"
                             << "false false";
        QTest::newRow("maybe") << QByteArray("addLimitCheck=maybe") << "maybe"
                               << "false true";
        QTest::newRow("a comma") << QByteArray("addLimitCheck=x,y") << "x, y"
                                 << "false true";
        QTest::newRow("quoted") << QByteArray("addLimitCheck=\"x,y\"") << "x,y"
                                << "false true";
        QTest::newRow("none") << QByteArray("other=1") << ""
                              << "false true";
    }
    void testHandWrittenSettings()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, text);
        QFETCH(QString, flags);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"voltrane-meter.conf"_qs);
        write(path, "[report]\n" + line + '\n');
        const Settings settings(path);
        QCOMPARE(settings.text(Settings::AddLimitCheck), text);
        QCOMPARE(QStringList({settings.flag(Settings::AddLimitCheck, false) ? "true" : "false",
                              settings.flag(Settings::AddLimitCheck, true) ? "true" : "false"})
                     .join(' '),
                 flags);
    }

    // The settings' folder is taken by a file: nothing is written, the file stays, and why.
    void testSettingsCannotBeSaved()
    {
        QTemporaryDir dir;
        write(dir.filePath(u"taken"_qs), "mine");
        Settings settings(dir.filePath(u"taken/voltrane-meter.conf"_qs));
        settings.setFlag(Settings::AddLimitCheck, true);
        QCOMPARE(settings.save().error(),
                 "The settings could not be saved in “" + dir.filePath(u"taken"_qs).toStdString() +
                     "/voltrane-meter.conf”: the file cannot be written there.");
        QCOMPARE(contents(dir.filePath(u"taken"_qs)), "mine");
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
