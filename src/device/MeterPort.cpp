#include "MeterPort.h"

#include <QSerialPort>

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
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
    emit failed(tr("The connection to the meter on %1 failed: %2.").arg(m_description, reason));
}
