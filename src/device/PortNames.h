#pragma once

#include "Result.h"

#include <QString>
#include <QStringList>

#include <optional>

// The port list offers "COM 1" ... "COM 255". Linux has no COM numbers, so each entry stands for a
// fixed device:
//
//   COM 1   - COM 32    /dev/ttyS0    - /dev/ttyS31
//   COM 33  - COM 64    /dev/ttyUSB0  - /dev/ttyUSB31
//   COM 65  - COM 96    /dev/ttyACM0  - /dev/ttyACM31
//   COM 97  - COM 128   /dev/rfcomm0  - /dev/rfcomm31   (Bluetooth serial)
//   COM 129 - COM 255   /dev/pts/0    - /dev/pts/126    (pseudo-terminals: simulator, bridges)
//
// On Windows "COM n" is simply the port COMn.
namespace PortNames {

inline constexpr int FirstPort = 1;
inline constexpr int LastPort = 255;

// "COM 1" ... "COM 255", in that order.
QStringList portList();

// "COM n" for a port number, e.g. "COM 7".
QString entryText(int portNumber);

// The device a port number stands for; nullopt outside 1..255.
std::optional<QString> devicePath(int portNumber);

// The port number whose device is `path`; nullopt when no entry maps to it.
std::optional<int> portNumberForDevice(const QString &path);

} // namespace PortNames

// A port as the operator names it: an entry of the list, or a device that no entry may stand for.
struct PortChoice
{
    int number = 0; // the entry "COM n" it is; 0 for a device no entry stands for
    QString device; // "/dev/ttyUSB0"

    // "COM 33", or the device when no entry stands for it: what a kept fetch names its port by.
    QString name() const;
    // "COM 33 (/dev/ttyUSB0)", or the device alone: how messages name it.
    QString text() const;

    // The entry "COM n" for n in 1..255; why not otherwise (0: none is selected).
    static Result<PortChoice> ofEntry(int number);
    // A port as typed: an entry as the list names it, in any letter case ("com 7"; not "COM7" or
    // "7"), or a device path ("/dev/ttyUSB0"), which may stand for an entry. Nothing when the text
    // is neither.
    static std::optional<PortChoice> parse(const QString &text);

    friend bool operator==(const PortChoice &, const PortChoice &) = default;
};
