#pragma once

#include "Result.h"

#include <QSettings>
#include <QString>
#include <QStringList>

// The program's settings: one INI file that the window and the command line share,
// <AppFolders::config()>/voltrane-meter.conf, read and written by QSettings at that path. Every
// text reads back as it was set, commas, semicolons, quotes, "=", "#", blanks at either end and
// non-ASCII characters included (QSettings quotes and escapes them in the file).
//
// A hand-edited file is read as QSettings reads it: a value with a comma outside quotes reads as
// its parts joined by ", "; a flag reads true from true, 1, yes or on, false from false, 0, no or
// off (any letter case), and anything else as the default asked for.
//
// A file that cannot be read (a folder in its place, no permission, not a settings file) never
// stops the program: every value reads as its default, nothing is written to it (QSettings would
// write its lines over what it could not read), and one line on standard error says which file
// and why. So does a file that cannot be written. Each problem is said once per run, however
// often the settings are asked.
class Settings
{
public:
    // The keys the program uses.
    static constexpr char AddLimitCheck[] = "report/addLimitCheck"; // flag, off by default
    static constexpr char CheckProfile[] = "check/profile"; // the limit profile's name, text
    // Where the records go: a libpq connection string, "host=db.example port=5432 dbname=records
    // user=tech" (a password belongs in ~/.pgpass, not here).
    static constexpr char RecordsServer[] = "records/server";
    // The port a fetch was last started on in the window, as the port list names it: "COM 33".
    static constexpr char LastPort[] = "port/lastUsed";
    // The fetch files the operator opened or saved last, newest first: a list of paths.
    static constexpr char RecentFetches[] = "recent/fetches";
    // The folder a file was last chosen in by the file dialog `dialog` ("saveFetch"):
    // "folders/saveFetch".
    static QString folderKey(const QString &dialog) { return u"folders/"_qs + dialog; }

    // <AppFolders::config()>/voltrane-meter.conf
    static QString defaultPath();

    explicit Settings(const QString &path = defaultPath());
    // Writes what was set and not saved yet; a failure is said on standard error.
    ~Settings();
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    QString path() const { return m_settings.fileName(); }

    QString text(const QString &key, const QString &fallback = {}) const;
    void setText(const QString &key, const QString &value);
    bool flag(const QString &key, bool fallback = false) const;
    void setFlag(const QString &key, bool value);
    // A list of texts; a hand-written value without commas reads as a list of one.
    QStringList list(const QString &key) const;
    void setList(const QString &key, const QStringList &values);

    // Writes what was set to the file now (creating its folder); otherwise it is written when the
    // object goes. On failure the reason, which is also said on standard error (once): "The
    // settings could not be saved in “…”: “…” is a file, not a folder."
    Result<> save();

private:
    void set(const QString &key, const QVariant &value);

    QSettings m_settings;
    QString m_unreadable; // why the file could not be read; empty when it was
    bool m_changed = false;
};
