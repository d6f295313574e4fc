#include "PortAccess.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>
#endif

namespace PortAccess {

#ifdef Q_OS_UNIX
namespace {

// The name of user `uid` or group `gid` from the system's databases, or the number when it has
// none. The buffer grows for a group with many members.
template <typename Entry, typename Id, typename Lookup>
QString nameOf(Id id, Lookup lookup, char *Entry::*name)
{
    std::vector<char> buffer(4096);
    Entry entry;
    Entry *found = nullptr;
    int error;
    while ((error = lookup(id, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return error == 0 && found ? QString::fromLocal8Bit(found->*name) : QString::number(id);
}

bool inGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(std::max(count, 0));
    if (count <= 0 || ::getgroups(count, groups.data()) != count)
        return false;
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

#ifdef Q_OS_LINUX
QByteArray readSmall(const QByteArray &path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

// The name the process runs under. The kernel keeps at most 15 characters of it
// ("voltrane-meter-" for voltrane-meter-cli); the command line's first word gives the whole name
// when it starts with those.
QString programName(const QByteArray &processFolder)
{
    const QString shortName = QString::fromLocal8Bit(readSmall(processFolder + "/comm")).trimmed();
    QByteArray commandLine = readSmall(processFolder + "/cmdline");
    commandLine.truncate(commandLine.indexOf('\0'));
    const QString program = QFileInfo(QString::fromLocal8Bit(commandLine)).fileName();
    return !shortName.isEmpty() && program.startsWith(shortName) ? program : shortName;
}

bool allDigits(const char *text)
{
    for (const char *c = text; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return *text != '\0';
}

// Whether one of the process's open files is the device `device`.
bool holds(const QByteArray &processFolder, dev_t device)
{
    const QByteArray fdFolder = processFolder + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR *)> fds(::opendir(fdFolder.constData()), ::closedir);
    if (!fds) // gone, or another user's
        return false;
    while (const dirent *fd = ::readdir(fds.get())) {
        const QByteArray link = fdFolder + '/' + fd->d_name;
        char target[6] = {};
        struct stat status;
        // Device nodes live in /dev; looking only at those keeps a file on a network share that
        // does not answer from holding this up.
        if (::readlink(link.constData(), target, sizeof target - 1) == 5 &&
            qstrcmp(target, "/dev/") == 0 && ::stat(link.constData(), &status) == 0 &&
            S_ISCHR(status.st_mode) && status.st_rdev == device)
            return true;
    }
    return false;
}
#endif

} // namespace
#endif

std::optional<Forbidden> forbidden(const QString &devicePath)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(devicePath);
    struct stat status;
    if (::access(path.constData(), R_OK | W_OK) == 0 || errno != EACCES ||
        ::stat(path.constData(), &status) != 0)
        return std::nullopt;
    Forbidden why{.owner = nameOf<passwd>(status.st_uid, ::getpwuid_r, &passwd::pw_name),
                  .group = nameOf<group>(status.st_gid, ::getgrgid_r, &group::gr_name)};
    why.groupIsForUsers = status.st_gid != 0 && why.group != QLatin1String("tty");
    why.inGroup = inGroup(status.st_gid);
    return why;
#else
    Q_UNUSED(devicePath);
    return std::nullopt;
#endif
}

QList<Holder> holders(const QString &devicePath)
{
    QList<Holder> found;
#ifdef Q_OS_LINUX
    struct stat device;
    if (::stat(QFile::encodeName(devicePath).constData(), &device) != 0 || !S_ISCHR(device.st_mode))
        return found;
    const std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    const QByteArray self = QByteArray::number(::getpid());
    while (const dirent *entry = proc ? ::readdir(proc.get()) : nullptr) {
        const QByteArray pid(entry->d_name);
        const QByteArray folder = "/proc/" + pid;
        if (!allDigits(entry->d_name) || pid == self || !holds(folder, device.st_rdev))
            continue;
        if (const QString name = programName(folder); !name.isEmpty()) // empty: it has ended
            found.append({name, pid.toLongLong()});
    }
    std::sort(found.begin(), found.end(),
              [](const Holder &a, const Holder &b) { return a.pid < b.pid; });
#else
    Q_UNUSED(devicePath);
#endif
    return found;
}

} // namespace PortAccess
