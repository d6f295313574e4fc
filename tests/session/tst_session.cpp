// The meter session as the window and the command line use it, on a scripted line: what a fetch
// holds and how it ends, when it is kept, what is shown, and fetch files opened and saved.
#include "FileSave.h"
#include "Golden.h"
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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

    void fetchEndsAsOneOutcome()
    {
        // The meter's replies, and the command as which the line fails (-1: never); what the
        // fetch holds, how it ended, whether it is kept (and so written into the history), whole,
        // showing data set 1 (its voltage), and what was said, in the reviewed copy
        // session-outcomes.txt.
        const std::pair<Replies, int> fetches[] = {
            {Whole, -1},
            {{"?MVM\r", "?SSN\r", "short", "", record(3), record(4)}, -1},
            {{}, -1},
            {{"?MVM\r", "?MVM\r"}, -1}, // the model's reply again when the serial is asked for
            {Whole, 2},
            {Whole, 3}};
        QStringList lines;
        for (const auto &[replies, failAt] : fetches) {
            Session s(replies, true);
            QObject::connect(&s.session, &MeterSession::commandSent, [&](int step) {
                if (step == failAt)
                    s.line.fail("gone");
            });
            QVERIFY(s.fetch());
            const FetchOutcome &o = s.outcome;
            static const char *const kinds[] = {"complete", "some unreadable", "nothing received",
                                                "cut by the port", "meter too late"};
            const FetchRecord &f = s.session.fetch();
            QStringList held{f.port, f.modelReply.value_or("-"), f.serialReply.value_or("-")};
            for (const std::optional<QByteArray> &r : f.records)
                held << (r ? QString::number(r->size()) + " bytes" : "-");
            lines << "holds " + held.join(", ").replace('\r', "\\r")
                  << QStringLiteral("%1, kept %2 %3 %4, whole %5 %6, shown %7, said %8")
                         .arg(kinds[int(o.kind)])
                         .arg(o.kept)
                         .arg(s.session.canSave())
                         .arg(!s.kept.isEmpty())
                         .arg(o.whole())
                         .arg(s.session.fetch().complete)
                         .arg(voltCount(s.session.shown()))
                         .arg(s.said.filter(QRegularExpression("^[^?]")).join('|'))
                  << "  " + o.message << "  " + o.unreadable.join('|');
        }
        QCOMPARE_GOLDEN("session-outcomes.txt", lines);
    }

    void keptFetchIsOneFileForTheHistoryAndSaveAs()
    {
        Session s(Whole, true);
        QVERIFY(s.fetch());
        QVERIFY(s.kept.startsWith(m_home.path() + "/voltrane-meter/fetches/"));
        QVERIFY(s.kept.contains("_SN-1"));
        QCOMPARE(*FetchFile::read(s.kept), s.session.fetch());
        const QString copy = m_home.filePath("copy.vmfetch");
        QVERIFY(s.session.saveAs(copy));
        QCOMPARE(contents(copy), contents(s.kept));
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
        // A fetch file's bytes from elsewhere (a test record), with the data set asked for.
        Session record({});
        QVERIFY(record.session.openFetchFile(contents(path), "Test of 7788", 2));
        QCOMPARE(record.session.fileName(), "Test of 7788");
        QCOMPARE(record.session.shown()->index, 2);
        QCOMPARE(record.session.fetch(), fetched.session.fetch());
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
        // Aborted as the model's reply comes in: nothing more goes out.
        Session early(Whole);
        QObject::connect(&early.session, &MeterSession::meterTextsChanged, [&] {
            if (early.session.fetch().modelReply)
                early.session.abortFetch();
        });
        QVERIFY(early.session.openPort(Port) && early.session.startFetch());
        QTest::qWait(50);
        QCOMPARE(early.line.meter.written, "?M\r");
    }

    void saveAsWritesTheFileAsItWasRead()
    {
        // A file of a later version: a member this one does not know, another program, the
        // milliseconds of its time. Saved again, it is the same file.
        Session fetched(Whole);
        QVERIFY(fetched.fetch() && fetched.session.saveAs(m_home.filePath("a.vmfetch")));
        QByteArray later = contents(m_home.filePath("a.vmfetch"));
        later.insert(later.indexOf("\"saved\": \"") + 10 + 19, ".250");
        later.replace("voltrane-meter test", "voltrane-meter 9.1");
        later.replace("\n}\n", ",\n    \"pulses\": [1, 2]\n}\n");
        QVERIFY(FileSave::write(m_home.filePath("later.vmfetch"), later));
        Session s({});
        QVERIFY(s.session.openFile(m_home.filePath("later.vmfetch")));
        QVERIFY(s.session.saveAs(m_home.filePath("again.vmfetch")));
        QCOMPARE(contents(m_home.filePath("again.vmfetch")), later);
    }

    void interruptedFetchKeepsWhatArrived()
    {
        // Interrupted (by the operator, a signal) once data set 1 came: kept, cut short; before
        // any data set: nothing kept.
        for (const int at : {3, 2}) {
            Session s(Whole, true);
            QObject::connect(&s.session, &MeterSession::commandSent, [&](int step) {
                if (step == at)
                    s.session.interruptFetch();
            });
            QVERIFY(s.fetch());
            QCOMPARE(int(s.outcome.kind), int(FetchOutcome::Kind::Interrupted));
            QCOMPARE(s.outcome.kept, at == 3);
            QCOMPARE(s.kept.isEmpty(), at != 3);
            QCOMPARE(s.session.fetch().complete, false);
        }
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
