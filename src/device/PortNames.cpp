#include "PortNames.h"

#include <QCoreApplication>

#include <array>

namespace PortNames {
namespace {

#ifndef Q_OS_WIN
struct DeviceRange
{
    int firstPort;
    int count;
    const char *prefix; // the device is prefix + (port - firstPort)
};

constexpr std::array<DeviceRange, 5> deviceRanges{{
    {1, 32, "/dev/ttyS"},
    {33, 32, "/dev/ttyUSB"},
    {65, 32, "/dev/ttyACM"},
    {97, 32, "/dev/rfcomm"},
    {129, 127, "/dev/pts/"},
}};
#endif

// A device number: plain decimal digits, no sign, no leading zero ("/dev/ttyS01" is no device of
// ours).
std::optional<int> plainNumber(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 4)
        return std::nullopt;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    if (digits.size() > 1 && digits.front() == u'0')
        return std::nullopt;
    return digits.toInt();
}

} // namespace

QStringList portList()
{
    QStringList entries;
    entries.reserve(LastPort);
    for (int port = FirstPort; port <= LastPort; ++port)
        entries << entryText(port);
    return entries;
}

QString entryText(int portNumber)
{
    return QStringLiteral("COM %1").arg(portNumber);
}

std::optional<QString> devicePath(int portNumber)
{
    if (portNumber < FirstPort || portNumber > LastPort)
        return std::nullopt;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    for (const DeviceRange &range : deviceRanges) {
        if (portNumber >= range.firstPort && portNumber < range.firstPort + range.count)
            return QLatin1String(range.prefix) + QString::number(portNumber - range.firstPort);
    }
    return std::nullopt;
#endif
}

std::optional<int> portNumberForDevice(const QString &path)
{
#ifdef Q_OS_WIN
    const QString prefix = QStringLiteral("COM");
    if (!path.startsWith(prefix, Qt::CaseInsensitive))
        return std::nullopt;
    const std::optional<int> number = plainNumber(QStringView(path).mid(prefix.size()));
    if (number && *number >= FirstPort && *number <= LastPort)
        return number;
#else
    for (const DeviceRange &range : deviceRanges) {
        const QString prefix = QLatin1String(range.prefix);
        if (!path.startsWith(prefix))
            continue;
        const std::optional<int> number = plainNumber(QStringView(path).mid(prefix.size()));
        if (number && *number < range.count)
            return range.firstPort + *number;
    }
#endif
    return std::nullopt;
}

} // namespace PortNames

QString PortChoice::name() const
{
    return number ? PortNames::entryText(number) : device;
}

QString PortChoice::text() const
{
    return number ? QStringLiteral("%1 (%2)").arg(PortNames::entryText(number), device) : device;
}

Result<PortChoice> PortChoice::ofEntry(int number)
{
    if (const std::optional<QString> device = PortNames::devicePath(number))
        return PortChoice{number, *device};
    if (number == 0)
        return failure(QCoreApplication::translate(
            "PortChoice", "No port is selected. Choose one of the entries \"COM 1\" to \"COM 255\" "
                          "from the list, then press \"Set Port\"."));
    return failure(QCoreApplication::translate("PortChoice",
                                               "There is no port number %1. Choose one of the "
                                               "entries \"COM 1\" to \"COM 255\" from the list.")
                       .arg(number));
}

std::optional<PortChoice> PortChoice::parse(const QString &text)
{
    const QString typed = text.trimmed();
    for (int number = PortNames::FirstPort; number <= PortNames::LastPort; ++number)
        if (typed.compare(PortNames::entryText(number), Qt::CaseInsensitive) == 0)
            return PortChoice{number, *PortNames::devicePath(number)};
    if (text.startsWith(u'/'))
        return PortChoice{PortNames::portNumberForDevice(text).value_or(0), text};
    return std::nullopt;
}
