#pragma once

#include <QList>
#include <QString>

#include <optional>

// Why a serial device cannot be opened, as far as the system tells: this user may not, and
// whose device it is; or other processes have it open, and which. Plain facts for the messages
// to word.
namespace PortAccess {

// A device this user may not read and write.
struct Forbidden
{
    QString owner; // the user that owns the device ("root"), or its number
    QString group; // the group that owns it ("dialout"), or its number
    // Whether users join that group to get devices: not "tty", which owns the pseudo-terminals,
    // nor "root".
    bool groupIsForUsers = false;
    // Whether this process is in that group already (so the device's mode shuts the group out).
    bool inGroup = false;
};

// What keeps this user from reading and writing the device at `devicePath`; nothing when it may,
// or when the device is not there.
std::optional<Forbidden> forbidden(const QString &devicePath);

// A process that has a device open.
struct Holder
{
    QString name; // the program's name ("ModemManager")
    qint64 pid = 0;
    friend bool operator==(const Holder &, const Holder &) = default;
};

// The processes other than this one that have the device at `devicePath` open, lowest process
// id first. Compared by device identity, so a symbolic link or another node of the same device
// finds them too. Processes whose open files this user may not see (another user's) are not
// among them; nor is any on systems other than Linux.
QList<Holder> holders(const QString &devicePath);

} // namespace PortAccess
