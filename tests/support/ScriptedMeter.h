#pragma once

#include <QIODevice>
#include <QList>

#include <algorithm>

// A line whose far end is a script: each write (a command) makes the next reply of the list
// arrive whole, as from a meter that answers at once. Unlike a QBuffer, what is written and what
// is read are two streams, as on a serial line.
class ScriptedMeter : public QIODevice
{
public:
    explicit ScriptedMeter(QList<QByteArray> replies) : m_replies(std::move(replies))
    {
        open(ReadWrite | Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return arriving.size() + QIODevice::bytesAvailable(); }

    QByteArray written;  // every byte sent to the meter
    QByteArray arriving; // sent by the meter, not read yet

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = std::min<qint64>(max, arriving.size());
        std::copy_n(arriving.constData(), n, data);
        arriving.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, size);
        if (!m_replies.isEmpty())
            arriving += m_replies.takeFirst();
        return size;
    }

private:
    QList<QByteArray> m_replies;
};
