#include "FileSave.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace {

QString reason(const QSaveFile &file)
{
    // Qt gives the system's text for the failed call; a full disk deserves plain words.
    if (file.errorString() == QString::fromLocal8Bit(std::strerror(ENOSPC)))
        return QStringLiteral("The disk is full");
    return file.errorString();
}

} // namespace

namespace FileSave {

Result<> write(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile file(fileName);
    // Unbuffered, so that a failing write (a full disk, a file-size limit) fails here, where it
    // is checked, rather than in a flush on the way to commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(reason(file));
    // A write cut short (the disk filled up during it) is tried again for the rest, which then
    // fails with the system's reason.
    for (qint64 written = 0, n = 0; written < bytes.size(); written += n) {
        n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            const QString why = reason(file);
            file.cancelWriting();
            return failure(why);
        }
    }
    if (!file.commit())
        return failure(reason(file));
    return {};
}

} // namespace FileSave
