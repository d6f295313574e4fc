#pragma once

#include <QIODevice>

// A line whose far end is a script: each write (a command) makes the next reply arrive whole.
// Unlike a QBuffer, what is written and what is read are two streams, as on a serial line.
class ScriptedMeter : public QIODevice
{
public:
    explicit ScriptedMeter(QList<QByteArray> replies) : m_replies(std::move(replies))
    {
        open(ReadWrite | Unbuffered);
    }
    bool isSequential() const override { return true; }
    QByteArray written;  // every byte sent to the meter
    QByteArray arriving; // sent by the meter, not read yet

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const QByteArray taken = arriving.first(std::min(max, arriving.size()));
        std::copy(taken.begin(), taken.end(), data);
        arriving.remove(0, taken.size());
        return taken.size();
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, size);
        arriving += m_replies.isEmpty() ? QByteArray() : m_replies.takeFirst();
        return size;
    }

private:
    QList<QByteArray> m_replies;
};
