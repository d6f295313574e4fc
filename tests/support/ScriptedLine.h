#pragma once

#include "MeterLine.h"
#include "ScriptedMeter.h"

// A meter line whose far end is a ScriptedMeter: it opens on any port (or refuses with `refusal`),
// and fail() pulls its cable.
class ScriptedLine : public MeterLine
{
public:
    explicit ScriptedLine(QList<QByteArray> replies) : meter(std::move(replies)) { meter.close(); }
    Result<> open(const PortChoice &port) override
    {
        if (!refusal.isEmpty())
            return failure(port.text() + ": " + refusal);
        meter.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        return {};
    }
    bool isOpen() const override { return meter.isOpen(); }
    void close() override { meter.close(); }
    QIODevice *device() const override { return const_cast<ScriptedMeter *>(&meter); }
    QByteArray takeAll() override { return meter.isOpen() ? meter.readAll() : QByteArray(); }
    void fail(const QString &message)
    {
        meter.close();
        emit failed(message);
    }
    ScriptedMeter meter;
    QString refusal;
};
