#include "AppFolders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace AppFolders {

namespace {

#ifdef Q_OS_UNIX
// An XDG variable's folder, or <home>/`fallback` when it is unset, empty or relative.
QString xdgFolder(const char *variable, const QString &fallback)
{
    const QString set = QFile::decodeName(qgetenv(variable));
    return QDir::cleanPath(QDir::isAbsolutePath(set) ? set : home() + u'/' + fallback) +
           u"/voltrane-meter"_qs;
}
#endif

} // namespace

QString home()
{
#ifdef Q_OS_UNIX
    const QString set = QFile::decodeName(qgetenv("HOME"));
    if (QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    if (const passwd *user = ::getpwuid(::getuid()); user && user->pw_dir)
        return QDir::cleanPath(QFile::decodeName(user->pw_dir));
#endif
    return QDir::homePath();
}

QString data()
{
#ifdef Q_OS_UNIX
    return xdgFolder("XDG_DATA_HOME", u".local/share"_qs);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/voltrane-meter"_qs;
#endif
}

QString config()
{
#ifdef Q_OS_UNIX
    return xdgFolder("XDG_CONFIG_HOME", u".config"_qs);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/voltrane-meter"_qs;
#endif
}

} // namespace AppFolders
