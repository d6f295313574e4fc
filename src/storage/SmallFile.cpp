#include "SmallFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SmallFile {
namespace {

Failure tooLarge(qint64 maxBytes)
{
    return failure(maxBytes % 1024 == 0 ? u"it is larger than %1 KiB"_qs.arg(maxBytes / 1024)
                                        : u"it is larger than %1 bytes"_qs.arg(maxBytes));
}

#ifdef Q_OS_UNIX
// Closes the descriptor whichever way read() returns.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};
#endif

} // namespace

Result<QByteArray> read(const QString &path, qint64 maxBytes)
{
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer. O_NOCTTY: a
    // terminal of that name does not become the program's. fstat() then tells what was opened.
    const Descriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (file.fd() < 0 || ::fstat(file.fd(), &status) != 0)
        return failure(qt_error_string(errno));
    if (!S_ISREG(status.st_mode))
        return failure(u"it is not a regular file"_qs);
    if (status.st_size > maxBytes)
        return tooLarge(maxBytes);
    // One byte more than allowed tells a file that grew past the limit from one at it.
    QByteArray bytes(std::min<qint64>(status.st_size, maxBytes) + 1, Qt::Uninitialized);
    qint64 got = 0;
    while (got <= maxBytes) {
        if (got == bytes.size())
            bytes.resize(std::min<qint64>(2 * bytes.size(), maxBytes + 1));
        const ssize_t n = ::read(file.fd(), bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failure(qt_error_string(errno));
        if (n == 0)
            break;
        got += n;
    }
    if (got > maxBytes)
        return tooLarge(maxBytes);
    bytes.truncate(got);
    return bytes;
#else
    if (!QFileInfo(path).isFile() && QFileInfo::exists(path))
        return failure(u"it is not a regular file"_qs);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(file.errorString());
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return failure(file.errorString());
    if (bytes.size() > maxBytes)
        return tooLarge(maxBytes);
    return bytes;
#endif
}

} // namespace SmallFile
