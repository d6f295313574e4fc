// A meter that floods the line with noise: a megabyte of random bytes in the middle of a fetch.
// The program must not crash, must keep its event loop running, must not hold more than its
// 1024-byte receive buffer of the flood at a time, and the port must carry a clean fetch once the
// noise has passed.

#include "DataSets.h"
#include "FetchSequence.h"
#include "MeterPort.h"
#include "MeterSimulator.h"
#include "SimulatedDataSets.h"
#include "SimulatedLine.h"
#include "ValueTexts.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstddef>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define NOISEFLOOD_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NOISEFLOOD_ASAN 1
#endif
#endif
#ifdef NOISEFLOOD_ASAN
// From the sanitizer runtime's allocator interface; gcc ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace std::chrono_literals;

namespace {

constexpr auto ShortWait = 200ms;
constexpr qsizetype FloodSize = 1024 * 1024;
constexpr int FetchTimeout = 15000;
constexpr int DrainTimeout = 60000;
// The flood passes through the port's 1024-byte buffer, so the process needs next to nothing
// for it; the bound leaves room for the test's own copies of the megabyte.
constexpr qint64 MemoryGrowthLimit = 64 * 1024 * 1024;
// A timer that ticks every 10 ms must never go longer than this without a tick.
constexpr qint64 LongestTickGapMs = 500;

// Resident set size of this process, from /proc/self/statm (second field, in pages).
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// The memory the bound applies to: the resident set. Under AddressSanitizer, whose quarantine
// keeps freed blocks resident on purpose (up to 256 MiB), the resident set counts every byte the
// flood passed through; there it is the heap in use, allocated and not yet freed.
#ifdef NOISEFLOOD_ASAN
constexpr const char *HeldMemoryName = "heap in use";
qint64 heldBytes()
{
    return qint64(__sanitizer_get_current_allocated_bytes());
}
#else
constexpr const char *HeldMemoryName = "resident set";
qint64 heldBytes()
{
    return residentBytes();
}
#endif

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    // A fixed seed: a failure can be repeated with the very same noise.
    QRandomGenerator generator(20240611);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / qsizetype(4));
    return bytes;
}

// Ticks every 10 ms while it lives, and notes the longest gap between two ticks and the most
// memory it saw held.
class Watchdog
{
public:
    Watchdog()
    {
        baseline_ = peak_ = heldBytes();
        residentBaseline_ = residentPeak_ = residentBytes();
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10ms);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longestGap_ = std::max(longestGap_, sinceTick_.restart());
            ++ticks_;
            peak_ = std::max(peak_, heldBytes());
            residentPeak_ = std::max(residentPeak_, residentBytes());
        });
        sinceTick_.start();
        timer_.start();
    }

    qint64 baseline() const { return baseline_; }
    qint64 peakGrowth() const { return peak_ - baseline_; }
    qint64 residentBaseline() const { return residentBaseline_; }
    qint64 residentPeakGrowth() const { return residentPeak_ - residentBaseline_; }
    qint64 longestGapMs() const { return std::max(longestGap_, sinceTick_.elapsed()); }
    int ticks() const { return ticks_; }

private:
    QTimer timer_;
    QElapsedTimer sinceTick_;
    qint64 longestGap_ = 0;
    qint64 baseline_ = 0;
    qint64 peak_ = 0;
    qint64 residentBaseline_ = 0;
    qint64 residentPeak_ = 0;
    int ticks_ = 0;
};

// A simulator, a port opened on it and a fetch sequence, wired together; `replies` keeps what
// each step of the last fetch took.
struct Bench
{
    Bench() : fetch(port.device(), ShortWait)
    {
        connectToSimulator(sim, port);
        QObject::connect(&port, &MeterPort::failed, &fetch, &FetchSequence::portFailed);
        QObject::connect(&fetch, &FetchSequence::modelReplyReceived, [this](const QByteArray &r) {
            model = QString::fromStdString(ValueTexts::modelCaption(r.toStdString()));
        });
        QObject::connect(&fetch, &FetchSequence::serialReplyReceived, [this](const QByteArray &r) {
            serial = QString::fromStdString(ValueTexts::serialCaption(r.toStdString()));
        });
        QObject::connect(&fetch, &FetchSequence::recordReceived,
                         [this](int i, const QByteArray &r) { records[i] = r; });
        QObject::connect(&fetch, &FetchSequence::finished, [this] { ++finished; });
        QObject::connect(&fetch, &FetchSequence::failed,
                         [this](const QString &m) { failures << m; });
    }

    // Runs one fetch to its end; the time it took, or -1 when it did not end in time.
    qint64 runFetch()
    {
        model.clear();
        serial.clear();
        records = QList<QByteArray>(4);
        // A plain event loop, as the program runs one: no polling pauses between events.
        QEventLoop loop;
        QObject::connect(&fetch, &FetchSequence::finished, &loop, &QEventLoop::quit);
        QObject::connect(&fetch, &FetchSequence::failed, &loop, &QEventLoop::quit);
        QTimer::singleShot(FetchTimeout, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        if (!fetch.start())
            return -1;
        if (fetch.isRunning())
            loop.exec();
        return fetch.isRunning() ? -1 : clock.elapsed();
    }

    MeterSimulator sim;
    MeterPort port;
    FetchSequence fetch;
    QString model;
    QString serial;
    QList<QByteArray> records = QList<QByteArray>(4);
    int finished = 0;
    QStringList failures;
};

} // namespace

class TestNoiseFlood : public QObject
{
    Q_OBJECT

private slots:
    void megabyteOfNoiseDuringAFetch();
};

void TestNoiseFlood::megabyteOfNoiseDuringAFetch()
{
    Bench bench;
    const QByteArray noise = randomBytes(FloodSize);
    // The meter answers the first "?1" with the flood first; its record, and those of "?2" to
    // "?4", queue up behind it.
    const QMetaObject::Connection flood = QObject::connect(
        &bench.sim, &MeterSimulator::commandReceived, [&](const QByteArray &command) {
            if (command == "?1") {
                QObject::disconnect(flood);
                bench.sim.send(noise);
            }
        });

    Watchdog watchdog;
    const qint64 fetchMs = bench.runFetch();
    QVERIFY2(fetchMs >= 0, "the fetch did not end");
    QCOMPARE(bench.finished, 1);
    QVERIFY(bench.failures.isEmpty());
    QVERIFY(bench.port.isOpen());
    // Six reply waits, with room for a loaded machine, not the megabyte's worth of them.
    QVERIFY2(fetchMs < FetchSequence::StepCount * (ShortWait.count() + 300),
             qPrintable(QStringLiteral("the fetch took %1 ms").arg(fetchMs)));

    // The replies before the flood are whole; each of the four data-set steps took a bufferful
    // of noise at most, and something every time: the port reads on after each take.
    QCOMPARE(bench.model, "Model No.: VM-2000\r");
    QCOMPARE(bench.serial, "Serial No.: SN-104233\r");
    QByteArray received;
    DataSets sets;
    for (int i = 0; i < 4; ++i) {
        const QByteArray &record = bench.records[i];
        QVERIFY2(!record.isEmpty() && record.size() <= MeterPort::ReceiveBufferSize,
                 qPrintable(QStringLiteral("step %1 took %2 bytes").arg(i + 3).arg(record.size())));
        received += record;
        sets.setRecord(i, record.toStdString());
        QVERIFY(!sets.show(i)); // noise is no record
    }
    QVERIFY(noise.startsWith(received));

    // The rest of the flood drains through the same 1024-byte buffer, taken as fast as the
    // event loop goes round, then the four records queued behind it arrive.
    QByteArray expectedRest = noise.mid(received.size());
    for (int dataSet = 1; dataSet <= 4; ++dataSet)
        expectedRest += SimulatedDataSets::record(dataSet);
    QByteArray rest;
    qsizetype largestTake = 0;
    QEventLoop loop;
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, [&] {
        const QByteArray bytes = bench.port.takeAll();
        largestTake = std::max(largestTake, bytes.size());
        rest += bytes;
        if (rest.size() >= expectedRest.size())
            loop.quit();
    });
    QTimer::singleShot(DrainTimeout, &loop, &QEventLoop::quit);
    QElapsedTimer drainClock;
    drainClock.start();
    drain.start(0);
    loop.exec();
    const qint64 drainMs = drainClock.elapsed();
    drain.stop();
    QVERIFY2(
        rest.size() >= expectedRest.size(),
        qPrintable(
            QStringLiteral("%1 of %2 bytes arrived").arg(rest.size()).arg(expectedRest.size())));
    QVERIFY(rest == expectedRest); // not a byte lost, doubled or reordered
    QVERIFY(largestTake <= MeterPort::ReceiveBufferSize);

    // The event loop kept running all along, and memory stayed bounded.
    const qint64 longestGap = watchdog.longestGapMs();
    const qint64 growth = watchdog.peakGrowth();
    qInfo("flooded fetch %lld ms, data-set steps took %lld, %lld, %lld, %lld bytes; rest of the "
          "flood (%lld bytes) drained in %lld ms; %d ticks, longest gap %lld ms; resident set "
          "%lld KiB, grew by at most %lld KiB; %s grew by at most %lld KiB",
          fetchMs, qint64(bench.records[0].size()), qint64(bench.records[1].size()),
          qint64(bench.records[2].size()), qint64(bench.records[3].size()),
          qint64(expectedRest.size()), drainMs, watchdog.ticks(), longestGap,
          watchdog.residentBaseline() / 1024, watchdog.residentPeakGrowth() / 1024, HeldMemoryName,
          growth / 1024);
    QVERIFY2(longestGap < LongestTickGapMs,
             qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(longestGap)));
    QVERIFY(watchdog.baseline() > 0);
    QVERIFY2(growth < MemoryGrowthLimit,
             qPrintable(QStringLiteral("memory grew by %1 KiB").arg(growth / 1024)));

    // The noise has passed: the next fetch on the same port and sequence is clean.
    QVERIFY(bench.port.takeAll().isEmpty());
    QVERIFY(bench.runFetch() >= 0);
    QCOMPARE(bench.finished, 2);
    QVERIFY(bench.failures.isEmpty());
    QCOMPARE(bench.model, "Model No.: VM-2000\r");
    QCOMPARE(bench.serial, "Serial No.: SN-104233\r");
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(bench.records[i], SimulatedDataSets::record(i + 1));
        sets.setRecord(i, bench.records[i].toStdString());
        QVERIFY(sets.show(i));
    }
}

QTEST_GUILESS_MAIN(TestNoiseFlood)
#include "tst_noiseflood.moc"
