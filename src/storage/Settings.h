#pragma once

#include "Result.h"

#include <QSettings>
#include <QString>

// The program's settings: one INI file that the window and the command line share,
// <AppFolders::config()>/voltrane-meter.conf, read and written by QSettings at that path. Every
// text reads back as it was set, commas, semicolons, quotes, "=", "#", blanks at either end and
// non-ASCII characters included (QSettings quotes and escapes them in the file).
//
// A hand-edited file is read as QSettings reads it: a value with a comma outside quotes reads as
// its parts joined by ", "; a flag reads true from true, 1, yes or on, false from false, 0, no or
// off (any letter case), and anything else as the default asked for.
class Settings
{
public:
    // The keys the program uses.
    static constexpr char AddLimitCheck[] = "report/addLimitCheck"; // flag, off by default
    static constexpr char CheckProfile[] = "check/profile"; // the limit profile's name, text
    // Where the records go: a libpq connection string, "host=db.example port=5432 dbname=records
    // user=tech" (a password belongs in ~/.pgpass, not here).
    static constexpr char RecordsServer[] = "records/server";

    // <AppFolders::config()>/voltrane-meter.conf
    static QString defaultPath();

    explicit Settings(const QString &path = defaultPath());

    QString path() const { return m_settings.fileName(); }

    QString text(const QString &key, const QString &fallback = {}) const;
    void setText(const QString &key, const QString &value);
    bool flag(const QString &key, bool fallback = false) const;
    void setFlag(const QString &key, bool value);

    // Writes what was set to the file now (creating its folder); otherwise it is written when the
    // object goes. On failure the reason: "The settings could not be saved in “…”: the file
    // cannot be written there."
    Result<> save();

private:
    QSettings m_settings;
};
