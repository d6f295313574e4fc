#pragma once

#include "PortNames.h"
#include "Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;

// The line to the meter: a port that opens, carries the exchange and may fail. The program's is
// the serial port (MeterPort); anything else that behaves like one (a scripted line) can stand in.
//
// The meter's line settings are fixed: 9600 baud, 8 data bits, no parity, 1 stop bit, no
// handshaking, and a 1024-byte receive buffer, so a reply keeps at most its first 1024 bytes.
class MeterLine : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 BaudRate = 9600;
    static constexpr qint64 ReceiveBufferSize = 1024;

    using QObject::QObject;

    // Opens the port; why not, naming it: "COM 33 (/dev/ttyUSB0): No such file or directory".
    virtual Result<> open(const PortChoice &port) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // The line while it is open, for whatever talks to the meter. The same object for the whole
    // life of the line.
    virtual QIODevice *device() const = 0;
    // Everything received so far; empties the receive buffer. Empty when nothing came.
    virtual QByteArray takeAll() = 0;

signals:
    // The open line failed; it is already closed when this arrives. Emitted once per failure.
    // The message says what failed and why, not what to do: that is each view's to say.
    void failed(const QString &message);
};
