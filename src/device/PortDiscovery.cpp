#include "PortDiscovery.h"

#include "PortNames.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace PortDiscovery {

QMap<int, QString> presentPorts()
{
    QMap<int, QString> present;
    // The system's list leaves out the legacy ttyS entries that have no hardware behind them.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (const std::optional<int> port = PortNames::portNumberForDevice(info.systemLocation()))
            present.insert(*port, info.description());
    }
#ifndef Q_OS_WIN
    // Bluetooth serial links and pseudo-terminals (the simulator, network bridges) are not in
    // that list; they are there when their device file is.
    for (int port = PortNames::FirstPort; port <= PortNames::LastPort; ++port) {
        const QString device = *PortNames::devicePath(port);
        const bool pseudoTerminal = device.startsWith(QLatin1String("/dev/pts/"));
        const bool bluetooth = device.startsWith(QLatin1String("/dev/rfcomm"));
        if ((pseudoTerminal || bluetooth) && !present.contains(port) && QFileInfo::exists(device))
            present.insert(port, pseudoTerminal ? QStringLiteral("pseudo-terminal")
                                                : QStringLiteral("Bluetooth serial"));
    }
#endif
    return present;
}

QString entryToolTip(int portNumber, const QMap<int, QString> &present)
{
    const QString device = PortNames::devicePath(portNumber).value_or(QString());
    const auto found = present.constFind(portNumber);
    if (found == present.cend() || found->isEmpty())
        return device;
    return QStringLiteral("%1 - %2").arg(device, *found);
}

} // namespace PortDiscovery
