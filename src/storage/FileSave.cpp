#include "FileSave.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

namespace {

QString reason(const QFileDevice &file)
{
    // Qt gives the system's text for the failed call; a full disk deserves plain words.
    if (file.errorString() == QString::fromLocal8Bit(std::strerror(ENOSPC)))
        return QStringLiteral("The disk is full");
    return file.errorString();
}

// Writes every byte, trying again for the rest of a write cut short (the disk filled up during
// it), which then fails with the system's reason.
bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    for (qint64 written = 0, n = 0; written < bytes.size(); written += n)
        if ((n = file.write(bytes.constData() + written, bytes.size() - written)) <= 0)
            return false;
    return true;
}

} // namespace

namespace FileSave {

Result<> write(const QString &fileName, const QByteArray &bytes)
{
    if (QFileInfo(fileName).isDir())
        return failure(QStringLiteral("It is a folder"));
    QSaveFile file(fileName);
    // Unbuffered, so that a failing write (a full disk, a file-size limit) fails here, where it
    // is checked, rather than in a flush on the way to commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(reason(file));
    if (!writeAll(file, bytes)) {
        const QString why = reason(file);
        file.cancelWriting();
        return failure(why);
    }
    if (!file.commit())
        return failure(reason(file));
    return {};
}

Result<QString> writeNew(const QString &folder, const std::function<QString(int)> &name,
                         const QByteArray &bytes)
{
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral(".writing-XXXXXX")));
    if (!file.open())
        return failure(reason(file));
    if (!writeAll(file, bytes) || !file.flush())
        return failure(reason(file));
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return failure(qt_error_string(errno));
    const QByteArray temporary = QFile::encodeName(file.fileName());
    constexpr int MostNames = 100000;
    for (int n = 1; n <= MostNames; ++n) {
        const QString path = QDir(folder).filePath(name(n));
        const QByteArray target = QFile::encodeName(path);
        // link() gives the file its name only if the name is free; the temporary name goes
        // when the temporary file is closed. A file system without hard links takes the name
        // by a rename that never replaces.
        int taken = ::link(temporary.constData(), target.constData());
        if (taken != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)) {
            taken = ::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                                RENAME_NOREPLACE);
            if (taken == 0)
                file.setAutoRemove(false); // it has its name now
        }
        if (taken == 0)
            return path;
        if (errno != EEXIST)
            return failure(errno == ENOSPC ? QStringLiteral("The disk is full")
                                           : qt_error_string(errno));
    }
    return failure(QStringLiteral("There are %1 files of that name already").arg(MostNames));
#else
    // Without link(), a name is checked and then taken: another program may take it between.
    file.setAutoRemove(false);
    for (int n = 1;; ++n)
        if (const QString path = QDir(folder).filePath(name(n)); !QFileInfo::exists(path))
            return file.rename(path) ? Result<QString>(path)
                                     : Result<QString>(failure(reason(file)));
#endif
}

} // namespace FileSave
