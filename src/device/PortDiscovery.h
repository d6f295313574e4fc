#pragma once

#include <QMap>
#include <QString>

// Which "COM n" entries have their device on this machine right now.
namespace PortDiscovery {

// Port number -> the system's description of the device (may be empty), for every entry whose
// device is present: serial ports the system knows, and Bluetooth and pseudo-terminal devices
// that exist.
QMap<int, QString> presentPorts();

// The tooltip of an entry: its device, and the description when the device is present:
// "/dev/ttyUSB0 - FT232R USB UART".
QString entryToolTip(int portNumber, const QMap<int, QString> &present);

} // namespace PortDiscovery
