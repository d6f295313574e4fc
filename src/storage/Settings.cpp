#include "Settings.h"

#include "AppFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <cstdio>

namespace {

QMutex guard;
QSet<QString> said;                  // what was said on standard error in this run
QHash<QString, QString> unreadables; // the files found unreadable in this run, and why

// One line on standard error, the first time it is to be said in this run.
void sayOnce(const QString &line)
{
    const QMutexLocker locked(&guard);
    if (said.contains(line))
        return;
    said.insert(line);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString readProblem(const QString &path, QSettings::Status status)
{
    const QFileInfo file(path);
    if (status == QSettings::FormatError)
        return u"it is not a settings file (damaged, or mistyped by hand)"_qs;
    if (file.isDir())
        return u"it is a folder, not a file"_qs;
    return u"there is no permission to read it"_qs;
}

QString writeProblem(const QString &path, QSettings::Status status)
{
    if (status == QSettings::FormatError)
        return u"the file is not one of settings"_qs;
    QFileInfo file(path);
    if (file.isDir())
        return u"it is a folder, not a file"_qs;
    // The nearest part of the path that is there: a file where a folder must be?
    QFileInfo above(file.absolutePath());
    while (!above.exists() && !above.isRoot())
        above.setFile(above.absolutePath());
    if (!above.isDir())
        return u"“%1” is a file, not a folder"_qs.arg(native(above.filePath()));
    return u"the file cannot be written there"_qs;
}

} // namespace

QString Settings::defaultPath()
{
    return AppFolders::config() + u"/voltrane-meter.conf"_qs;
}

Settings::Settings(const QString &path) : m_settings(path, QSettings::IniFormat)
{
    // QSettings reads the file at the first question, once per process, and shares what it read:
    // only the first object on it sees its status.
    (void)m_settings.allKeys();
    if (const QSettings::Status read = m_settings.status(); read != QSettings::NoError) {
        m_unreadable = u"The settings file “%1” cannot be read: %2. The defaults are used, and "
                       "the file is left as it is."_qs.arg(native(path), readProblem(path, read));
        sayOnce(m_unreadable);
        const QMutexLocker locked(&guard);
        unreadables.insert(m_settings.fileName(), m_unreadable);
    } else {
        const QMutexLocker locked(&guard);
        m_unreadable = unreadables.value(m_settings.fileName());
    }
}

Settings::~Settings()
{
    if (m_changed)
        (void)save(); // said on standard error
}

QString Settings::text(const QString &key, const QString &fallback) const
{
    if (!m_unreadable.isEmpty())
        return fallback;
    const QVariant value = m_settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_qs);
    // A value set in this process comes back as it was set (a flag as a bool); one from the file
    // as text.
    return value.isValid() && value.canConvert<QString>() ? value.toString() : fallback;
}

void Settings::setText(const QString &key, const QString &value)
{
    set(key, value);
}

bool Settings::flag(const QString &key, bool fallback) const
{
    const QString value = text(key).trimmed().toLower();
    if (value == u"true" || value == u"1" || value == u"yes" || value == u"on")
        return true;
    if (value == u"false" || value == u"0" || value == u"no" || value == u"off")
        return false;
    return fallback;
}

void Settings::setFlag(const QString &key, bool value)
{
    set(key, value);
}

QStringList Settings::list(const QString &key) const
{
    return m_unreadable.isEmpty() ? m_settings.value(key).toStringList() : QStringList();
}

void Settings::setList(const QString &key, const QStringList &values)
{
    set(key, values);
}

void Settings::set(const QString &key, const QVariant &value)
{
    if (!m_unreadable.isEmpty())
        return; // what could not be read is not written over
    m_settings.setValue(key, value);
    m_changed = true;
}

Result<> Settings::save()
{
    if (!m_unreadable.isEmpty())
        return failure(m_unreadable);
    m_changed = false;
    m_settings.sync();
    if (const QSettings::Status status = m_settings.status(); status != QSettings::NoError) {
        const QString why = u"The settings could not be saved in “%1”: %2."_qs.arg(
            native(path()), writeProblem(path(), status));
        sayOnce(why);
        return failure(why);
    }
    return {};
}
