#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;
class QSerialPort;

// The serial port the meter is plugged into, with the meter's fixed line settings:
// 9600 baud, 8 data bits, no parity, 1 stop bit, no handshaking, 1024-byte receive buffer.
// Bytes are handled as they come: one character per byte, no translation.
//
// open() reports an open failure through its result and errorString(). Once open, a failure of
// the line (cable pulled, adapter unplugged, I/O error) closes the port and emits failed() once.
class MeterPort : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 BaudRate = 9600;
    static constexpr qint64 ReceiveBufferSize = 1024;

    explicit MeterPort(QObject *parent = nullptr);
    ~MeterPort() override;

    // Opens "COM n" through the port-name table. Port 0 means no entry is selected.
    bool open(int portNumber);
    // Opens a device by path; `entry` names it in messages ("COM 129"), may be empty.
    bool openDevice(const QString &devicePath, const QString &entry = {});
    bool isOpen() const;
    void close();

    // Why the last open failed, in words for the operator, naming the entry and the device:
    // "COM 33 (/dev/ttyUSB0): No such file or directory".
    QString errorString() const { return m_errorString; }

    // The port's line, for whatever talks to the meter (the fetch sequence).
    QIODevice *device() const;
    // Everything received so far; empties the receive buffer. Empty when nothing came.
    QByteArray takeAll();

signals:
    // The open port failed; it is already closed when this arrives. Emitted once per failure.
    void failed(const QString &message);

private:
    void handleError();
    QString openErrorText(const QString &devicePath) const;
    QString failureReason() const;

    QSerialPort *cm;
    QString m_description; // "COM 33 (/dev/ttyUSB0)", or the device alone: for messages
    QString m_errorString;
};
