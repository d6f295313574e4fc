#pragma once

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
