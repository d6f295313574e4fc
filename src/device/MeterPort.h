#pragma once

#include "MeterLine.h"
#include "PortAccess.h"

class QSerialPort;

// The serial port the meter is plugged into, with the meter's line settings. Bytes are handled as
// they come: one character per byte, no translation.
//
// open() says why a port cannot be opened. Once open, a failure of the line (cable pulled,
// adapter unplugged, I/O error) closes the port and emits failed() once.
class MeterPort : public MeterLine
{
    Q_OBJECT

public:
    explicit MeterPort(QObject *parent = nullptr);
    ~MeterPort() override;

    Result<> open(const PortChoice &port) override;
    bool isOpen() const override;
    void close() override;
    QIODevice *device() const override;
    QByteArray takeAll() override;

private:
    void handleError();
    QString openErrorText(const QString &devicePath) const;
    QString forbiddenText(const PortAccess::Forbidden &forbidden) const;
    QString busyText(const QString &devicePath, const QList<PortAccess::Holder> &holders) const;
    QString failureReason() const;

    QSerialPort *cm;
    QString m_description; // "COM 33 (/dev/ttyUSB0)", or the device alone: for messages
};
