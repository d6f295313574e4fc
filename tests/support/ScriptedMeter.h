#pragma once

#include <QIODevice>
#include <QTimer>

#include <chrono>

// A line whose far end is a script: each write (a command) makes the next reply arrive, whole at
// once, or `late` after the write in pieces of `piece` bytes (0: whole) 5 ms apart, each
// announced by readyRead(). Unlike a QBuffer, what is written and what is read are two streams,
// as on a serial line.
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
    std::chrono::milliseconds late{0};
    qsizetype piece = 0;

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
        const QByteArray reply = m_replies.isEmpty() ? QByteArray() : m_replies.takeFirst();
        late.count() ? arriveLater(reply, late) : void(arriving += reply);
        return size;
    }

private:
    void arriveLater(const QByteArray &rest, std::chrono::milliseconds after)
    {
        if (!rest.isEmpty())
            QTimer::singleShot(after, Qt::PreciseTimer, this, [this, rest] {
                const qsizetype n = piece > 0 ? std::min(piece, rest.size()) : rest.size();
                arriving += rest.first(n);
                emit readyRead();
                arriveLater(rest.sliced(n), std::chrono::milliseconds(5));
            });
    }
    QList<QByteArray> m_replies;
};
