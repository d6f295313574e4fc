#include "Golden.h"
#include "LimitProfiles.h"
#include "Remembered.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

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

// What `run` writes on standard error.
template <typename Run> QByteArray stderrOf(Run run)
{
    QTemporaryFile captured;
    (void)captured.open();
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(captured.handle(), 2);
    run();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    captured.seek(0);
    return captured.readAll();
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
    }

    // A settings file that cannot be read or written, asked and set by three objects in turn:
    // the defaults, the reason as save() gives it, one line on standard error for them all, and
    // what stands in the file's place as it was ("…" is the folder).
    void unusableSettingsFileIsSaidOnce_data()
    {
        QTest::addColumn<QString>("conf");     // its first part is in the way: a folder or a file
        QTest::addColumn<QByteArray>("bytes"); // the file's; none: a folder
        QTest::addColumn<QString>("said");
        const auto unreadable = [](const char *tag, const QByteArray &bytes, const char *why) {
            QTest::newRow(tag) << "voltrane-meter.conf" << bytes
                               << u"The settings file “…/voltrane-meter.conf” cannot be read: "_qs +
                                      why +
                                      u". The defaults are used, and the file is left as it is."_qs;
        };
        unreadable("folder", {}, "it is a folder, not a file");
        unreadable("garbage", "[report]\naddLimitCheck=true\nnot a setting\n",
                   "it is not a settings file (damaged, or mistyped by hand)");
        if (::geteuid() != 0) // root reads it all the same
            unreadable("no permission", "[a]\nb=1\n", "there is no permission to read it");
        QTest::newRow("under a file")
            << "taken/voltrane-meter.conf" << QByteArray("mine")
            << "The settings could not be saved in “…/taken/voltrane-meter.conf”: “…/taken” is a "
               "file, not a folder.";
    }
    void unusableSettingsFileIsSaidOnce()
    {
        QFETCH(QString, conf);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString in = dir.filePath(conf.section(u'/', 0, 0));
        bytes.isNull() ? (void)QDir().mkdir(in) : write(in, bytes);
        if (QTest::currentDataTag() == QByteArray("no permission"))
            QFile::setPermissions(in, {});
        std::string saved;
        const QByteArray stderrText = stderrOf([&] {
            for (int k = 0; k < 3; ++k) {
                Settings settings(dir.filePath(conf));
                QCOMPARE(settings.flag(Settings::AddLimitCheck, false), false);
                settings.setFlag(Settings::AddLimitCheck, true);
                saved = settings.save().error();
            }
        });
        QCOMPARE(QString::fromStdString(saved).replace(dir.path(), u"…"_qs), said);
        QCOMPARE(QString::fromLocal8Bit(stderrText).replace(dir.path(), u"…"_qs), said + u'\n');
        QCOMPARE(contents(in), bytes);
    }

    // Fetch files opened or saved in turn, the list as the menu gets it from another object:
    // newest first, each file once however its path is written, the eight newest, the gone left
    // out.
    void recentFetchesAreTheNewestEight()
    {
        QTemporaryDir dir;
        const QStringList names = u"a,b \"x\"|Müller|3|4|5|6|7|8|9"_qs.split(u'|');
        for (const QString &name : names)
            write(dir.filePath(name), "{}");
        QVERIFY(QFile::link(dir.filePath(names[0]), dir.filePath(u"link"_qs)));
        QVERIFY(QDir(dir.path()).mkdir(u"sub"_qs));
        const auto add = [&](const QStringList &added) {
            for (const QString &name : added) {
                Settings settings(dir.filePath(u"voltrane-meter.conf"_qs));
                Remembered::addRecentFetch(settings, dir.filePath(name));
            }
            return Remembered::recentFetches(Settings(dir.filePath(u"voltrane-meter.conf"_qs)))
                .replaceInStrings(dir.path() + u'/', QString())
                .join(u'|');
        };
        QCOMPARE(add(names.mid(0, 2)), u"Müller|a,b \"x\""_qs);
        QCOMPARE(add({u"sub/../"_qs + names[0]}), u"a,b \"x\"|Müller"_qs);
        QCOMPARE(add({u"link"_qs}), u"link|Müller"_qs);
        QVERIFY(QFile::remove(dir.filePath(u"6"_qs)));
        QCOMPARE(add(names.mid(2)), u"9|8|7|5|4|3|link"_qs);
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
