// The meter session as the window and the command line use it, on a scripted line: what a fetch
// holds and how it ends, when it is kept, what is shown, and fetch files opened and saved.
#include "FileSave.h"
#include "MeterSession.h"
#include "ScriptedLine.h"
#include "SimulatedDataSets.h"

#include <QtTest>

using namespace std::chrono_literals;
using SimulatedDataSets::record;
using Replies = QList<QByteArray>;

namespace {
const PortChoice Port{33, "/dev/ttyUSB0"};
const Replies Whole = {"?MVM-2000\r", "?SSN-1\r", record(1), record(2), record(3), record(4)};

// A session on a scripted line with a 5 ms reply wait, and what it said.
struct Session
{
    explicit Session(Replies replies, bool keepHistory = false)
        : line(std::move(replies)),
          session(line,
                  {.program = "voltrane-meter test", .keepHistory = keepHistory, .replyWait = 5ms})
    {
        QObject::connect(&session, &MeterSession::commandSent,
                         [this](int, const QString &command) { said << command; });
        QObject::connect(&session, &MeterSession::fetchEnded,
                         [this](const FetchOutcome &o) { said << "ended", outcome = o; });
        QObject::connect(&session, &MeterSession::portFailed,
                         [this](const QString &m) { said << "port failed: " + m; });
        QObject::connect(&session, &MeterSession::fetchKept, [this](const Result<QString> &p) {
            kept = p ? *p : QString::fromStdString(p.error());
        });
    }
    // Opens the port and fetches; whether the fetch ended.
    bool fetch()
    {
        return session.openPort(Port) && session.startFetch() &&
               QTest::qWaitFor([&] { return !session.isFetching() && !session.isKeeping(); });
    }
    ScriptedLine line;
    MeterSession session;
    QStringList said;
    FetchOutcome outcome;
    QString kept;
};

int voltCount(const std::optional<ShownDataSet> &shown)
{
    return shown ? shown->measurement.voltCount : -1;
}
} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit()); }

    void fetchHoldsEveryReplyAndShowsDataSetOne()
    {
        Session s(Whole);
        QVERIFY(s.fetch());
        QCOMPARE(s.said, QStringList({"?M", "?S", "?1", "?2", "?3", "?4", "ended"}));
        const FetchRecord &fetch = s.session.fetch();
        QCOMPARE(fetch.modelReply, Whole[0]);
        QCOMPARE(fetch.serialReply, Whole[1]);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fetch.records[i], Whole[2 + i]);
        QCOMPARE(fetch.port, "COM 33");
        QCOMPARE(fetch.complete, true);
        QCOMPARE(s.session.shown()->index, 0);
        QCOMPARE(s.session.shown()->measurement, *decodeRecord(record(1).toStdString()));
        QCOMPARE(s.session.shown()->modelReply, "?MVM-2000\r");
    }

    void fetchEndsAsOneOutcome_data()
    {
        QTest::addColumn<Replies>("replies");
        QTest::addColumn<int>("failAt"); // the line fails as this command goes out; -1: never
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("unreadable");
        QTest::addColumn<bool>("kept");
        using Kind = FetchOutcome::Kind;
        QTest::newRow("complete") << Whole << -1 << int(Kind::Complete) << "" << QStringList()
                                  << true;
        QTest::newRow("some unreadable")
            << Replies{"?MVM\r", "?SSN\r", "short", "", record(3), record(4)} << -1
            << int(Kind::SomeUnreadable) << "Not every data set could be read:"
            << QStringList{"Data set 1: the meter sent 5 bytes instead of 222",
                           "Data set 2: no answer"}
            << true;
        QTest::newRow("nothing received")
            << Replies{} << -1 << int(Kind::NothingReceived)
            << "The meter on COM 33 (/dev/ttyUSB0) did not answer. Is it switched on and "
               "connected to this port?"
            << QStringList() << true;
        QTest::newRow("too late") << Replies{"?MVM\r", "?MVM\r"} << -1 << int(Kind::MeterTooLate)
                                  << "The meter answers too late: its model number came only "
                                     "after its serial number had been asked for. The fetch has "
                                     "stopped, so that no reply is taken for another. Check the "
                                     "meter and its cable, then press \"Fetch Data\" again."
                                  << QStringList() << false;
        QTest::newRow("cut before a data set")
            << Whole << 2 << int(Kind::CutByPort) << "gone" << QStringList() << false;
        QTest::newRow("cut after a data set")
            << Whole << 3 << int(Kind::CutByPort) << "gone" << QStringList() << true;
    }
    void fetchEndsAsOneOutcome()
    {
        QFETCH(Replies, replies);
        QFETCH(int, failAt);
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QStringList, unreadable);
        QFETCH(bool, kept);
        Session s(replies, true);
        QObject::connect(&s.session, &MeterSession::commandSent, [&](int step) {
            if (step == failAt)
                s.line.fail("gone");
        });
        QVERIFY(s.fetch());
        QCOMPARE(int(s.outcome.kind), kind);
        QCOMPARE(s.outcome.message, message);
        QCOMPARE(s.outcome.unreadable, unreadable);
        QCOMPARE(s.outcome.kept, kept);
        QCOMPARE(s.session.canSave(), kept);
        QCOMPARE(s.kept.isEmpty(), !kept); // written into the history exactly when kept
        QCOMPARE(s.session.fetch().complete,
                 failAt < 0 && kind != int(FetchOutcome::Kind::MeterTooLate));
        // A whole fetch shows data set 1; one cut short shows nothing.
        QCOMPARE(s.session.shown().has_value(), kind == int(FetchOutcome::Kind::Complete));
        // A failing line is said once the fetch has ended.
        QCOMPARE(s.said.filter("port failed").size(), failAt >= 0 ? 1 : 0);
        QCOMPARE(s.said.endsWith("port failed: gone"), failAt >= 0);
    }

    void keptFetchIsOneFileForTheHistoryAndSaveAs()
    {
        Session s(Whole, true);
        QVERIFY(s.fetch());
        QFile kept(s.kept);
        QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(s.kept));
        QVERIFY(s.kept.startsWith(m_home.path() + "/voltrane-meter/fetches/"));
        QVERIFY(s.kept.contains("_SN-1"));
        QCOMPARE(*FetchFile::read(s.kept), s.session.fetch());
        const QString copy = m_home.filePath("copy.vmfetch");
        QVERIFY(s.session.saveAs(copy));
        QFile saved(copy);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), kept.readAll());
        QCOMPARE(QString::fromStdString(s.session.saveAs(m_home.filePath("no/such/x")).error())
                     .startsWith("The fetch could not be saved as \"" +
                                 m_home.filePath("no/such/x") + "\". "),
                 true);
    }

    void bytesWaitingAtOpenStandAsDataSetOne()
    {
        Session s(Whole);
        s.line.meter.arriving = record(2);
        QVERIFY(s.session.openPort(Port));
        s.session.show(0);
        QCOMPARE(voltCount(s.session.shown()),
                 voltCount(ShownDataSet{0, *decodeRecord(record(2).toStdString())}));
        s.session.show(1);
        QCOMPARE(QString::fromStdString(s.session.fault()), "Data set 2: nothing fetched yet");
        QVERIFY(s.session.startFetch()); // until the next fetch
        QCOMPARE(s.session.shown().has_value(), false);
        QCOMPARE(QString::fromStdString(s.session.dataSets().fault(0)), "Data set 1: no answer");
    }

    void showKeepsTheChoiceForOtherIndexes()
    {
        Session s({"?MVM\r", "?SSN\r", record(1), "x", record(3), record(4)});
        QVERIFY(s.fetch());
        QList<int> shown;
        for (int index : {2, -1, 4, 0, 1}) {
            s.session.show(index);
            shown << (s.session.shown() ? s.session.shown()->index : -1);
        }
        QCOMPARE(shown, QList<int>({2, 2, 2, 0, -1}));
        QCOMPARE(QString::fromStdString(s.session.fault()),
                 "Data set 2: the meter sent 1 byte instead of 222");
    }

    void openFileHoldsItAsIfFetched()
    {
        Session fetched(Whole);
        QVERIFY(fetched.fetch());
        const QString path = m_home.filePath("2026-12-07_103105_SN-1.vmfetch");
        QVERIFY(fetched.session.saveAs(path));
        Session s({});
        QVERIFY(s.session.openFile(path));
        QCOMPARE(s.session.fileName(), "2026-12-07_103105_SN-1.vmfetch");
        QCOMPARE(s.session.fetch(), fetched.session.fetch());
        QCOMPARE(s.session.shown(), fetched.session.shown());
        QCOMPARE(s.session.canSave(), true);
        // A file that cannot be read changes nothing.
        QVERIFY(FileSave::write(m_home.filePath("bad.vmfetch"), "{}"));
        QCOMPARE(QString::fromStdString(s.session.openFile(m_home.filePath("bad.vmfetch")).error()),
                 "“bad.vmfetch” cannot be opened: it is not a fetch file of Voltrane Meter.");
        QCOMPARE(s.session.fileName(), "2026-12-07_103105_SN-1.vmfetch");
        QCOMPARE(s.session.shown(), fetched.session.shown());
        // A fetch forgets it.
        QVERIFY(s.session.openPort(Port) && s.session.startFetch());
        QCOMPARE(s.session.fileName(), "");
        QCOMPARE(s.session.canSave(), false);
        QCOMPARE(s.session.modelReply().has_value(), false);
        QCOMPARE(s.session.shown().has_value(), false);
        QCOMPARE(QString::fromStdString(s.session.openFile(path).error()),
                 "“2026-12-07_103105_SN-1.vmfetch” cannot be opened while a fetch runs.");
    }

    void abortStopsWithoutAWord()
    {
        Session s(Whole);
        QObject::connect(&s.session, &MeterSession::commandSent, [&](int step) {
            if (step == 2)
                s.session.abortFetch();
        });
        QVERIFY(s.session.openPort(Port) && s.session.startFetch());
        QTest::qWait(50);
        QCOMPARE(s.said, QStringList({"?M", "?S", "?1"}));
        QCOMPARE(s.line.meter.written, "?M\r?S\r");
        QCOMPARE(s.session.isFetching(), false);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
