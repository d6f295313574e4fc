#include "MeterPort.h"

#include "PortAccess.h"

#include <QSerialPort>

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#endif

MeterPort::MeterPort(QObject *parent) : MeterLine(parent), cm(new QSerialPort(this))
{
    cm->setObjectName(QStringLiteral("cm"));
    cm->setReadBufferSize(ReceiveBufferSize);
    connect(cm, &QSerialPort::errorOccurred, this, &MeterPort::handleError);
}

MeterPort::~MeterPort()
{
    close();
}

Result<> MeterPort::open(const PortChoice &port)
{
    close();
    m_description = port.text();

    cm->setPortName(port.device);
    cm->setBaudRate(BaudRate);
    cm->setDataBits(QSerialPort::Data8);
    cm->setParity(QSerialPort::NoParity);
    cm->setStopBits(QSerialPort::OneStop);
    cm->setFlowControl(QSerialPort::NoFlowControl);
    if (!cm->open(QIODevice::ReadWrite)) {
        const QString why = openErrorText(port.device);
        cm->clearError();
        return failure(why);
    }
    return {};
}

QString MeterPort::openErrorText(const QString &devicePath) const
{
#ifdef Q_OS_UNIX
    // A regular file, a folder or a device that is no terminal (/dev/null): the system's "not a
    // typewriter" words would puzzle anyone.
    struct stat status;
    if (cm->errorString() == qt_error_string(ENOTTY) ||
        (::stat(QFile::encodeName(devicePath).constData(), &status) == 0 &&
         !S_ISCHR(status.st_mode)))
        return tr("%1: this is not a serial port.").arg(m_description);
#endif
    switch (cm->error()) {
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // Qt reports a port that another program holds as a permission error too: it is
        // forbidden only when we may not read and write the device.
        if (const std::optional<PortAccess::Forbidden> forbidden =
                PortAccess::forbidden(devicePath))
            return forbiddenText(*forbidden);
        return busyText(devicePath, PortAccess::holders(devicePath));
#else
        Q_UNUSED(devicePath);
        return tr("%1: the port is in use by another program, or access to it is denied.")
            .arg(m_description);
#endif
    }
    default: // "No such file or directory" and the like say it well enough
        return tr("%1: %2").arg(m_description, cm->errorString());
    }
}

QString MeterPort::forbiddenText(const PortAccess::Forbidden &forbidden) const
{
    if (forbidden.inGroup)
        return tr("%1: Permission denied. The device belongs to the user \"%2\", and its "
                  "permissions let no one else open it, not even the \"%3\" group your user is "
                  "in.")
            .arg(m_description, forbidden.owner, forbidden.group);
    if (!forbidden.groupIsForUsers)
        return tr("%1: Permission denied. The device belongs to the user \"%2\" (group \"%3\", "
                  "which is not one to join): only %2 may open it. If it is a simulator's or a "
                  "network bridge's, start that as your own user.")
            .arg(m_description, forbidden.owner, forbidden.group);
    return tr("%1: Permission denied. To use this port your user must be in the \"%2\" group, "
              "which owns it: run \"sudo usermod -aG %2 $USER\", then log out and in again.")
        .arg(m_description, forbidden.group);
}

QString MeterPort::busyText(const QString &devicePath,
                            const QList<PortAccess::Holder> &holders) const
{
    if (holders.isEmpty())
        return tr("%1: the port is in use by another program, which this user cannot see (a "
                  "system service, or another user's program). It is usually ModemManager, "
                  "brltty, another copy of this program or a terminal program: \"sudo fuser -v "
                  "%2\" shows which. Close it, or choose another port.")
            .arg(m_description, devicePath);
    const auto listed = [](QStringList items) {
        const QString last = items.takeLast();
        return items.isEmpty() ? last : tr("%1 and %2").arg(items.join(QStringLiteral(", ")), last);
    };
    QStringList named, others, advice;
    for (const PortAccess::Holder &holder : holders) {
        named << tr("%1 (PID %2)").arg(holder.name, QString::number(holder.pid));
        if (holder.name == QLatin1String("ModemManager"))
            advice << tr("ModemManager tries out modem-class devices: stop it with \"sudo "
                         "systemctl disable --now ModemManager\", or keep it away from this "
                         "device with a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\".");
        else if (holder.name == QLatin1String("brltty"))
            advice << tr("brltty, a Braille display driver, claims some USB serial adapters: if "
                         "you use no Braille display, remove it (\"sudo apt remove brltty\"), "
                         "then plug the adapter in again.");
        else
            others << holder.name;
    }
    advice.removeDuplicates(), others.removeDuplicates();
    if (!others.isEmpty())
        advice << tr("Close %1, or choose another port.").arg(listed(others));
    return tr("%1: the port is in use by %2. %3")
        .arg(m_description, listed(named), advice.join(QLatin1Char(' ')));
}

bool MeterPort::isOpen() const
{
    return cm->isOpen();
}

void MeterPort::close()
{
    if (cm->isOpen())
        cm->close();
}

QIODevice *MeterPort::device() const
{
    return cm;
}

QByteArray MeterPort::takeAll()
{
    return cm->isOpen() ? cm->readAll() : QByteArray();
}

QString MeterPort::failureReason() const
{
    switch (cm->error()) {
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        // A line that is gone reads as end-of-file, which Qt reports as a read error with a
        // stale, meaningless system text; say what it means instead.
        return tr("the port stopped working (was the meter's cable or adapter unplugged?)");
    case QSerialPort::WriteError:
        return tr("sending to the port failed (%1)").arg(cm->errorString());
    default:
        return cm->errorString();
    }
}

void MeterPort::handleError()
{
    const QSerialPort::SerialPortError error = cm->error();
    // Errors while opening are reported by open(). Unsupported ioctls (modem lines on a
    // pseudo-terminal) and timeouts of the waitFor... calls are not failures of the line.
    if (!cm->isOpen() || error == QSerialPort::NoError ||
        error == QSerialPort::UnsupportedOperationError || error == QSerialPort::TimeoutError)
        return;

    const QString reason = failureReason();
    // Close first: a dead line keeps reporting the same error as fast as it is polled.
    cm->clearError();
    cm->close();
    emit failed(tr("The connection to the meter on %1 failed: %2.").arg(m_description, reason));
}
