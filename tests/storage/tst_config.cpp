#include "Golden.h"
#include "LimitProfiles.h"
#include "Settings.h"

#include <QTemporaryDir>

#include <sys/stat.h>

namespace {
const QString BuiltIn = u"Energizer safety limits (indicative)"_qs;

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
    // tests/data/profiles (a file for each way a profile can be good or bad, named for it) and
    // beside them a FIFO, a folder, a dangling link and files at and over 64 KiB: the good
    // profiles sorted by name after the built-in one, one message per file left out (in
    // file-name order), and every file as it was.
    void testProfileFolder()
    {
        QTemporaryDir dir;
        const auto file = [&](const QString &name) { return dir.filePath(name); };
        const QDir data(GoldenFolder + u"profiles"_qs);
        for (const QString &name : data.entryList(QDir::Files))
            QVERIFY(QFile::copy(data.filePath(name), file(name)));
        const QByteArray padded = contents(file(u"zeta.json"_qs)).replace("Zeta", "Max size");
        write(file(u"max-size.json"_qs), padded.leftJustified(64 * 1024, ' '));
        write(file(u"over-size.json"_qs), padded.leftJustified(64 * 1024 + 1, ' '));
        QVERIFY(QDir(dir.path()).mkdir(u"folder.json"_qs));
        QCOMPARE(::mkfifo(QFile::encodeName(file(u"fifo.json"_qs)), 0600), 0);
        QVERIFY(QFile::link(file(u"nowhere"_qs), file(u"gone.json"_qs)));

        const LimitProfiles profiles = LimitProfiles::load(dir.path());
        QCOMPARE(profiles.names(),
                 QStringList({BuiltIn, "alpha", "Ceilings", "Max size", "With a byte-order mark",
                              "Zeros", "Zeta", QString(100, u'é')}));
        QCOMPARE_GOLDEN("profile-messages.txt",
                        QStringList(profiles.problems()).replaceInStrings(dir.path(), "…"));
        QCOMPARE(*profiles.find(u"Zeta"_qs), (LimitProfile{"Zeta", 4.5, 1200, 8000, 100, 500}));
        QCOMPARE(profiles.find(u"zeta"_qs).error(),
                 "There is no limit profile named “zeta”; the profiles are “" +
                     BuiltIn.toStdString() +
                     "”, “alpha”, “Ceilings”, “Max size”, “With a byte-order mark”, “Zeros”, "
                     "“Zeta”, “" +
                     QString(100, u'é').toStdString() + "”.");
        QCOMPARE(contents(file(u"cut-short.json"_qs)),
                 contents(data.filePath(u"cut-short.json"_qs)));
        // No folder: no more profiles and nothing to say; a file in the folder's place.
        QCOMPARE(LimitProfiles::load(file(u"none"_qs)).names(), QStringList{BuiltIn});
        QCOMPARE(LimitProfiles::load(file(u"none"_qs)).problems(), QStringList());
        QCOMPARE(LimitProfiles::load(file(u"list.json"_qs)).problems(),
                 QStringList{"The limit profiles in “" + file(u"list.json"_qs) +
                             "” cannot be read: it is not a folder."});
    }

    // XDG_CONFIG_HOME unset, empty, relative (invalid: ignored) or absolute, with HOME /home/tech.
    void testConfigFolder()
    {
        qputenv("HOME", "/home/tech");
        for (const auto &[configHome, folder] : {std::pair(QByteArray(), "/home/tech/.config"),
                                                 {"", "/home/tech/.config"},
                                                 {"cfg", "/home/tech/.config"},
                                                 {"/srv/cfg/", "/srv/cfg"}}) {
            configHome.isNull() ? qunsetenv("XDG_CONFIG_HOME")
                                : qputenv("XDG_CONFIG_HOME", configHome);
            QCOMPARE(Settings::defaultPath(), folder + u"/voltrane-meter/voltrane-meter.conf"_qs);
            QCOMPARE(LimitProfiles::folder(), folder + u"/voltrane-meter/profiles"_qs);
        }
    }

    // Texts that mean something of their own in INI files, through a second settings object and,
    // read from the file alone, a copy of it (QSettings shares what it read of a path within the
    // process).
    void testSettingsRoundTrip()
    {
        const QString values =
            u"a,b|a, b|a;b|;a|#a|\"a\"|a\"b,c\"|=| lead|trail |\ttab|Müller µs €|"
            "@Variant(x)|@a|line\nend|back\\slash|[section]||true|host=db.example "
            "port=5432 dbname=records user=tech"_qs;
        for (const QString &value : values.split(u'|')) {
            QTemporaryDir dir;
            const QString path = dir.filePath(u"new/voltrane-meter.conf"_qs);
            Settings first(path);
            first.setText(Settings::RecordsServer, value);
            QVERIFY(first.save());
            QCOMPARE(Settings(path).text(Settings::RecordsServer, u"unset"_qs), value);
            QVERIFY(QFile::copy(path, dir.filePath(u"copy.conf"_qs)));
            QCOMPARE(Settings(dir.filePath(u"copy.conf"_qs)).text(Settings::RecordsServer), value);
        }
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
        QVERIFY(QFile::copy(path, dir.filePath(u"copy.conf"_qs)));
        QCOMPARE(Settings(dir.filePath(u"copy.conf"_qs)).flag(Settings::AddLimitCheck), true);
        // The settings' folder taken by a file: nothing is written, the file stays, and why.
        write(dir.filePath(u"taken"_qs), "mine");
        Settings taken(dir.filePath(u"taken/voltrane-meter.conf"_qs));
        taken.setFlag(Settings::AddLimitCheck, true);
        QCOMPARE(taken.save().error(),
                 "The settings could not be saved in “" + dir.filePath(u"taken"_qs).toStdString() +
                     "/voltrane-meter.conf”: the file cannot be written there.");
        QCOMPARE(contents(dir.filePath(u"taken"_qs)), "mine");
    }

    // A line as someone may type it into the file: its text | its flag with the default false,
    // and with the default true.
    void testHandWrittenSettings()
    {
        QTemporaryDir dir;
        for (const auto &[line, expected] : {std::pair(" On ", "On|true true"),
                                             {"1", "1|true true"},
                                             {"no", "no|false false"},
                                             {"maybe", "maybe|false true"},
                                             {"x,y", "x, y|false true"},
                                             {"\"x,y\"", "x,y|false true"}}) {
            const QString path = dir.filePath(QLatin1String(line).trimmed() + ".conf");
            write(path, "[report]\naddLimitCheck=" + QByteArray(line) + "\n");
            const Settings s(path);
            QCOMPARE(s.text(Settings::AddLimitCheck) + '|' +
                         QVariant(s.flag(Settings::AddLimitCheck, false)).toString() + ' ' +
                         QVariant(s.flag(Settings::AddLimitCheck, true)).toString(),
                     QLatin1String(expected));
        }
        QCOMPARE(Settings(dir.filePath(u"none.conf"_qs)).flag(Settings::AddLimitCheck), false);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
