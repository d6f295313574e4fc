#include "ConfigFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace ConfigFolder {

QString path()
{
#ifdef Q_OS_UNIX
    QString home = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(home))
        home = QDir::homePath() + u"/.config"_qs;
#else
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return QDir::cleanPath(home) + u"/voltrane-meter"_qs;
}

} // namespace ConfigFolder
