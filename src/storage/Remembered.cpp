#include "Remembered.h"

#include <QDir>
#include <QFileInfo>

namespace Remembered {

namespace {

// The file a path stands for: its canonical path while it is there, else the path made absolute.
QString sameFile(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

} // namespace

QString dialogFolder(const Settings &settings, const QString &dialog, const QString &fallback)
{
    const QString remembered = settings.text(Settings::folderKey(dialog));
    return !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : fallback;
}

void rememberDialogFolder(Settings &settings, const QString &dialog, const QString &chosenFile)
{
    settings.setText(Settings::folderKey(dialog), QFileInfo(chosenFile).absolutePath());
}

QStringList recentFetches(const Settings &settings)
{
    QStringList present = settings.list(QString::fromLatin1(Settings::RecentFetches));
    present.removeIf([](const QString &path) { return !QFileInfo(path).isFile(); });
    return present;
}

void addRecentFetch(Settings &settings, const QString &path)
{
    const QString key = QString::fromLatin1(Settings::RecentFetches);
    const QString added = sameFile(path);
    QStringList recent{QDir::cleanPath(QFileInfo(path).absoluteFilePath())};
    for (const QString &earlier : settings.list(key))
        if (recent.size() < RecentFetchCount && sameFile(earlier) != added)
            recent << earlier;
    settings.setList(key, recent);
}

} // namespace Remembered
