#include "DataSets.h"
#include "FetchSequence.h"
#include "MeterPort.h"
#include "MeterSimulator.h"
#include "SimulatedDataSets.h"
#include "SimulatedLine.h"
#include "ValueTexts.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
// Short waits keep the suite quick; the simulator answers at once, so a fifth of a second is
// plenty even on a loaded machine.
constexpr auto ShortWait = 200ms;
constexpr int FetchTimeout = 15000;

// Everything one fetch delivered, as the main window would keep it.
struct FetchResult
{
    QString model;
    QString serial;
    QList<QByteArray> records = QList<QByteArray>(4);
    QList<int> progress;
    int finished = 0;
    QStringList failures;
};

void collect(FetchSequence &fetch, FetchResult &result)
{
    QObject::connect(&fetch, &FetchSequence::modelReplyReceived, [&](const QByteArray &r) {
        result.model = QString::fromStdString(ValueTexts::modelCaption(r.toStdString()));
    });
    QObject::connect(&fetch, &FetchSequence::serialReplyReceived, [&](const QByteArray &r) {
        result.serial = QString::fromStdString(ValueTexts::serialCaption(r.toStdString()));
    });
    QObject::connect(&fetch, &FetchSequence::recordReceived,
                     [&](int i, const QByteArray &r) { result.records[i] = r; });
    QObject::connect(&fetch, &FetchSequence::progress,
                     [&](int done, int) { result.progress << done; });
    QObject::connect(&fetch, &FetchSequence::finished, [&] { ++result.finished; });
    QObject::connect(&fetch, &FetchSequence::failed,
                     [&](const QString &m) { result.failures << m; });
}

QByteArray allCommands()
{
    return "?M\r?S\r?1\r?2\r?3\r?4\r";
}

// A simulator, a port opened on it and a fetch sequence, wired together.
struct Bench
{
    explicit Bench(MeterSimulatorOptions options = {}, std::chrono::milliseconds wait = ShortWait)
        : sim(options), fetch(port.device(), wait)
    {
        connectToSimulator(sim, port);
        QObject::connect(&port, &MeterPort::failed, &fetch, &FetchSequence::portFailed);
        collect(fetch, result);
    }
    bool runToEnd()
    {
        if (!fetch.start())
            return false;
        return QTest::qWaitFor([&] { return !fetch.isRunning(); }, FetchTimeout);
    }

    MeterSimulator sim;
    MeterPort port;
    FetchSequence fetch;
    FetchResult result;
};
} // namespace

class TestFetchSequence : public QObject
{
    Q_OBJECT

private slots:
    void fetchesModelSerialAndFourRecords();
    void pacesCommandsByTheRealOneSecondWait();
    void silentMeterLeavesBarePrefixes();
    void bytesBeforeACommandBelongToItsReply();
    void lateReplyIsTakenWithTheNextOne();
    void recordsOfTheWrongLengthAreDeliveredButDecodeToNothing_data();
    void recordsOfTheWrongLengthAreDeliveredButDecodeToNothing();
    void garbledRecordDecodesToNothing();
    void cablePulledMidFetchStopsOnceAndCanBeRetried();
    void startIsRefusedWhileRunningOrClosed();
    void abortStopsEverything();
    void receiverMayDeleteTheSequence();
    void captionsKeepEveryByte_data();
    void captionsKeepEveryByte();
};

void TestFetchSequence::fetchesModelSerialAndFourRecords()
{
    Bench bench;
    QVERIFY(bench.runToEnd());

    QCOMPARE(bench.sim.receivedBytes(), allCommands());
    QCOMPARE(bench.result.model, "Model No.: VM-2000\r");
    QCOMPARE(bench.result.serial, "Serial No.: SN-104233\r");
    for (int i = 0; i < 4; ++i)
        QCOMPARE(bench.result.records[i], SimulatedDataSets::record(i + 1));
    QCOMPARE(bench.result.progress, (QList<int>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(bench.result.finished, 1);
    QVERIFY(bench.result.failures.isEmpty());

    // Data set 1 is a well-formed record: 7.3 kV, 1.5 J, 1.0 s, 60 µs, no load.
    DataSets sets;
    for (int i = 0; i < 4; ++i)
        sets.setRecord(i, bench.result.records[i].toStdString());
    QVERIFY(sets.show(0));
    const auto m = sets.shown()->measurement;
    QCOMPARE(m.voltCount, 73);
    QCOMPARE(m.energyCount, 15);
    QCOMPARE(m.intervalCount, 1000);
    QCOMPARE(m.pulseWidth, 60);
    QCOMPARE(m.loadOhms, 0);

    // The port stays open for the next fetch, and a second fetch delivers the same again.
    QVERIFY(bench.port.isOpen());
    bench.result = {};
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.sim.receivedBytes(), allCommands() + allCommands());
    QCOMPARE(bench.result.records[3], SimulatedDataSets::record(4));
}

void TestFetchSequence::pacesCommandsByTheRealOneSecondWait()
{
    Bench bench({}, FetchSequence::ReplyWait);
    QList<qint64> sentAt;
    QElapsedTimer clock;
    connect(&bench.sim, &MeterSimulator::commandReceived, [&] { sentAt << clock.elapsed(); });
    clock.start();
    QVERIFY(bench.runToEnd());
    const qint64 total = clock.elapsed();

    QCOMPARE(sentAt.size(), 6);
    for (int i = 1; i < sentAt.size(); ++i)
        QVERIFY2(sentAt[i] - sentAt[i - 1] >= 990,
                 qPrintable(QString::number(sentAt[i] - sentAt[i - 1])));
    QVERIFY(total >= 5990);
    QCOMPARE(bench.result.records[0], SimulatedDataSets::record(1));
    QCOMPARE(bench.result.finished, 1);
}

void TestFetchSequence::silentMeterLeavesBarePrefixes()
{
    MeterSimulatorOptions silent;
    silent.silent = true;
    Bench bench(silent);
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.sim.receivedBytes(), allCommands());
    QCOMPARE(bench.result.model, "Model No.: ");
    QCOMPARE(bench.result.serial, "Serial No.: ");
    QCOMPARE(bench.result.records, QList<QByteArray>(4));
    QCOMPARE(bench.result.finished, 1);
}

void TestFetchSequence::bytesBeforeACommandBelongToItsReply()
{
    Bench bench;
    bench.sim.send("xy"); // noise on the line before the fetch
    QTest::qWait(100);
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.result.model, "Model No.: ?MVM-2000\r");
    QCOMPARE(bench.result.records[0], SimulatedDataSets::record(1));
}

void TestFetchSequence::lateReplyIsTakenWithTheNextOne()
{
    // Each reply comes half a wait too late: it lands in the next command's wait.
    MeterSimulatorOptions slow;
    slow.replyDelay = 300ms;
    Bench bench(slow, ShortWait);
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.result.model, "Model No.: ");
    QCOMPARE(bench.result.serial, "Serial No.: VM-2000\r");
    QCOMPARE(bench.result.records[0], QByteArray("?SSN-104233\r"));
    QCOMPARE(bench.result.records[1], SimulatedDataSets::record(1));
    QCOMPARE(bench.result.records[3], SimulatedDataSets::record(3));
}

void TestFetchSequence::recordsOfTheWrongLengthAreDeliveredButDecodeToNothing_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("one byte short") << 221;
    QTest::newRow("one byte long") << 223;
}

void TestFetchSequence::recordsOfTheWrongLengthAreDeliveredButDecodeToNothing()
{
    QFETCH(int, length);
    MeterSimulatorOptions options;
    options.recordLength = length;
    Bench bench(options);
    QVERIFY(bench.runToEnd());
    DataSets sets;
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(bench.result.records[i].size(), length);
        sets.setRecord(i, bench.result.records[i].toStdString());
        QVERIFY(!sets.show(i));
    }
}

void TestFetchSequence::garbledRecordDecodesToNothing()
{
    MeterSimulatorOptions options;
    options.garbled = true;
    Bench bench(options);
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.result.records[0].size(), 222);
    QVERIFY(!decodeRecord(bench.result.records[0].toStdString()));
}

void TestFetchSequence::cablePulledMidFetchStopsOnceAndCanBeRetried()
{
    MeterSimulatorOptions options;
    options.hangUpAfter = 3; // the line dies once "?1" is sent
    Bench bench(options);
    QVERIFY(bench.fetch.start());
    QTRY_COMPARE_WITH_TIMEOUT(bench.result.failures.size(), 1, FetchTimeout);
    QVERIFY(!bench.fetch.isRunning());
    QVERIFY(!bench.port.isOpen());
    QCOMPARE(bench.result.finished, 0);
    // What came before the failure is kept.
    QCOMPARE(bench.result.model, "Model No.: VM-2000\r");
    QCOMPARE(bench.result.serial, "Serial No.: SN-104233\r");
    QCOMPARE(bench.result.records, QList<QByteArray>(4));
    QVERIFY2(bench.result.failures.first().startsWith("The connection to the meter on"),
             qPrintable(bench.result.failures.first()));

    // Nothing more happens on the dead line: no second report, no further step.
    QTest::qWait(3 * ShortWait.count());
    QCOMPARE(bench.result.failures.size(), 1);
    QCOMPARE(bench.result.progress, (QList<int>{1, 2}));

    // The meter is plugged in again: the same port and sequence work.
    MeterSimulator again;
    QVERIFY(again.start(nullptr));
    QVERIFY(bench.port.openDevice(again.devicePath()));
    bench.result = {};
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.result.finished, 1);
    QCOMPARE(bench.result.records[2], SimulatedDataSets::record(3));
}

void TestFetchSequence::startIsRefusedWhileRunningOrClosed()
{
    Bench bench;
    QVERIFY(bench.fetch.start());
    QVERIFY(!bench.fetch.start()); // no second, interleaved sequence on the same port
    QTRY_VERIFY_WITH_TIMEOUT(!bench.fetch.isRunning(), FetchTimeout);
    QCOMPARE(bench.sim.receivedBytes(), allCommands());

    MeterPort closed;
    FetchSequence fetch(closed.device(), ShortWait);
    QSignalSpy failed(&fetch, &FetchSequence::failed);
    QVERIFY(!fetch.start());
    QCOMPARE(failed.count(), 1);
    QVERIFY(!fetch.isRunning());
}

void TestFetchSequence::abortStopsEverything()
{
    Bench bench;
    connect(&bench.fetch, &FetchSequence::serialReplyReceived, &bench.fetch, &FetchSequence::abort);
    QVERIFY(bench.fetch.start());
    QTRY_VERIFY_WITH_TIMEOUT(!bench.fetch.isRunning(), FetchTimeout);
    QTest::qWait(3 * ShortWait.count());
    QCOMPARE(bench.sim.receivedBytes(), QByteArray("?M\r?S\r"));
    QCOMPARE(bench.result.progress, QList<int>{1}); // the aborted step reports nothing more
    QCOMPARE(bench.result.finished, 0);
    QVERIFY(bench.result.failures.isEmpty());
}

void TestFetchSequence::receiverMayDeleteTheSequence()
{
    MeterSimulator sim;
    QVERIFY(sim.start(nullptr));
    MeterPort port;
    QVERIFY(port.openDevice(sim.devicePath()));
    auto *fetch = new FetchSequence(port.device(), ShortWait, &port);
    bool deleted = false;
    connect(fetch, &QObject::destroyed, [&] { deleted = true; });
    // Like a window closing while a record arrives.
    connect(fetch, &FetchSequence::recordReceived, fetch, [fetch] { delete fetch; });
    QVERIFY(fetch->start());
    QTRY_VERIFY_WITH_TIMEOUT(deleted, FetchTimeout);
    QTest::qWait(3 * ShortWait.count());
    QCOMPARE(sim.receivedBytes(), QByteArray("?M\r?S\r?1\r"));
}

void TestFetchSequence::captionsKeepEveryByte_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("model");
    QTest::newRow("six bytes: the last four") << QByteArray("?MAB12") << "Model No.: AB12";
    QTest::newRow("two bytes: the bare prefix") << QByteArray("?M") << "Model No.: ";
    QTest::newRow("one byte") << QByteArray("?") << "Model No.: ";
    QTest::newRow("empty") << QByteArray() << "Model No.: ";
    QTest::newRow("line end kept") << QByteArray("?MVM\r\n") << "Model No.: VM\r\n";
    QTest::newRow("bytes above 127 are Latin-1")
        << QByteArray("?M\xb5\xff") << QString::fromUtf8("Model No.: µÿ");
    QTest::newRow("markup stays text") << QByteArray("?M<b>x</b>") << "Model No.: <b>x</b>";
}

void TestFetchSequence::captionsKeepEveryByte()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, model);
    QCOMPARE(QString::fromStdString(ValueTexts::modelCaption(reply.toStdString())), model);
    QCOMPARE(QString::fromStdString(ValueTexts::serialCaption(reply.toStdString())),
             QString(model).replace("Model No.: ", "Serial No.: "));
}

QTEST_GUILESS_MAIN(TestFetchSequence)
#include "tst_fetchsequence.moc"
