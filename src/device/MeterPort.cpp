#include "MeterPort.h"

#include "PortNames.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

MeterPort::MeterPort(QObject *parent) : QObject(parent), cm(new QSerialPort(this))
{
    cm->setObjectName(QStringLiteral("cm"));
    cm->setReadBufferSize(ReceiveBufferSize);
    connect(cm, &QSerialPort::errorOccurred, this, &MeterPort::handleError);
}

MeterPort::~MeterPort()
{
    close();
}

bool MeterPort::open(int portNumber)
{
    const std::optional<QString> device = PortNames::devicePath(portNumber);
    if (!device) {
        m_errorString =
            portNumber == 0
                ? tr("No port is selected. Choose one of the entries \"COM 1\" to \"COM 255\" "
                     "from the list, then press \"Set Port\".")
                : tr("There is no port number %1. Choose one of the entries \"COM 1\" to "
                     "\"COM 255\" from the list.")
                      .arg(portNumber);
        return false;
    }
    return openDevice(*device, PortNames::entryText(portNumber));
}

bool MeterPort::openDevice(const QString &devicePath, const QString &entry)
{
    close();
    m_description = entry.isEmpty() ? devicePath : QStringLiteral("%1 (%2)").arg(entry, devicePath);

    cm->setPortName(devicePath);
    cm->setBaudRate(BaudRate);
    cm->setDataBits(QSerialPort::Data8);
    cm->setParity(QSerialPort::NoParity);
    cm->setStopBits(QSerialPort::OneStop);
    cm->setFlowControl(QSerialPort::NoFlowControl);
    if (!cm->open(QIODevice::ReadWrite)) {
        m_errorString = openErrorText(devicePath);
        cm->clearError();
        return false;
    }
    m_errorString.clear();
    return true;
}

QString MeterPort::openErrorText(const QString &devicePath) const
{
    switch (cm->error()) {
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // Qt reports a port that another program holds as a permission error too; if we may
        // read and write the device, it is busy, not forbidden.
        const QByteArray path = devicePath.toLocal8Bit();
        if (::access(path.constData(), R_OK | W_OK) == 0)
            return tr("%1: the port is in use by another program. Close that program, or "
                      "choose another port.")
                .arg(m_description);
        return tr("%1: Permission denied. To use serial ports your user must be in the "
                  "\"dialout\" group: run \"sudo usermod -aG dialout $USER\", then log out and "
                  "in again.")
            .arg(m_description);
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
    emit failed(tr("The connection to the meter on %1 failed: %2. Check the cable and the "
                   "meter, then press \"Set Port\" to open the port again.")
                    .arg(m_description, reason));
}
