#include "FetchFile.h"
#include "RecordStore.h"
#include "RecordTableModel.h"
#include "SampleRecords.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// A connection of its own to a store's file, for what a test does behind the store's back.
struct RawConnection
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"raw"_qs);
    explicit RawConnection(const QString &path) { db.setDatabaseName(path), db.open(); }
    ~RawConnection() { db.close(), db = {}, QSqlDatabase::removeDatabase(u"raw"_qs); }
    QVariant run(const QString &sql)
    {
        QSqlQuery query(db);
        return query.exec(sql) && query.next() ? query.value(0) : QVariant();
    }
};

// This program again, as a child doing `mode` (see childMain()); as user "nobody" when run as
// root, so that file permissions count; its files may not grow past `fileLimit` bytes.
void startChild(QProcess &child, const QStringList &args, bool asNobody = false,
                rlim_t fileLimit = RLIM_INFINITY)
{
    child.setChildProcessModifier([=] {
        const rlimit limit{fileLimit, fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        if (asNobody && geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
            _exit(3);
    });
    child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_qs} + args);
}

QStringList childLines(QProcess &child)
{
    return QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<RecordStore> m_store; // records A to D, and fetch F without a test
    QHash<QString, QString> m_labels;     // id -> A…D

    QString labels(const QList<TestRecord> &records)
    {
        QString text;
        for (const TestRecord &r : records)
            text += m_labels.value(r.id, u"?"_qs);
        return text;
    }

private slots:
    void initTestCase()
    {
        m_store = std::move(*RecordStore::open(m_dir.filePath(u"records.sqlite"_qs)));
        const QList<std::pair<QString, TestRecord>> records = {
            {"A", record(u"M 450"_qs, u"SN-Ü1"_qs, u"Müller Hof"_qs, at(1, 10, 0))},
            {"C", record(u"m 100"_qs, u"SN-3"_qs, u"=1+2, \"ACME\""_qs, at(3, 0, 10), 65)},
            {"B", record(u"Über 9"_qs, u"sn-2"_qs, {}, at(2, 23, 30), 80, 0)},
            {"D", record(u"Z"_qs, u" sn-ü1 "_qs, u"müller hof"_qs, at(4, 8, 0, -570), 70)}};
        for (const auto &[label, r] : records) {
            QVERIFY2(m_store->add(r), m_store->add(r).error().c_str());
            m_labels.insert(r.id, label);
        }
        // "a": another test of A's fetch, made now.
        const TestRecord again =
            *TestRecord::ofFetch(m_store->record(records[0].second.id)->fetchFile, 1);
        QVERIFY(m_store->add(again));
        m_labels.insert(again.id, u"a"_qs);
        QDir().mkpath(m_dir.filePath(u"fetches"_qs));
        writeFile(m_dir.filePath(u"fetches/F.vmfetch"_qs), fetchFile(90, at(2, 12, 0)));
        QCOMPARE(m_store->listKeptFetches(m_dir.filePath(u"fetches"_qs))->added, 1);
    }

    void testRecordReadsBackWhole()
    {
        TestRecord r = record(u"M 450 \"Ü\"<b>"_qs, u"x'); DROP TABLE tests; --"_qs, u"Hof ß"_qs,
                              at(5, 7, 8, -570).addMSecs(123));
        r.dateText = u"5. Dezember 2026"_qs;
        r.technician = u"Zoë"_qs;
        r.check = u"{\"voltage\": \"ok\"}"_qs;
        r.pending = false;
        QDir().mkpath(m_dir.filePath(u"copy"_qs));
        const Result<std::unique_ptr<RecordStore>> store =
            RecordStore::open(m_dir.filePath(u"copy/records.sqlite"_qs));
        QVERIFY((*store)->add(r));
        QVERIFY((*store)->add(r)); // adds nothing
        const Result<TestRecord> back = (*store)->record(r.id);
        QCOMPARE(*back, r);
        QCOMPARE(back->recorded.offsetFromUtc(), -570 * 60);
        QCOMPARE((*store)->counts()->tests, 1);
        // What the factories fill in.
        QCOMPARE(QStringList({r.meterModel, r.meterSerial}), QStringList({"VM-2000", "SN-1"}));
        QCOMPARE(QList<int>({r.voltCount, r.energyCount, r.intervalMs, r.pulseWidthUs, r.loadOhms}),
                 QList<int>({73, 15, 1000, 60, 500}));
        const QByteArray user = qgetenv("USER");
        qputenv("TZ", "Asia/Kolkata");
        qputenv("USER", "Zoë");
        const TestRecord made = TestRecord::stamped();
        qunsetenv("TZ");
        qputenv("USER", user);
        QCOMPARE(QUuid(made.id).toString(QUuid::WithoutBraces), made.id);
        QCOMPARE(made.recorded.offsetFromUtc(), 5 * 3600 + 1800);
        QCOMPARE(made.technician, u"Zoë"_qs);
        QCOMPARE(error(TestRecord::ofFetch(fetchFile(73), 2)), "Data set 2: no answer.");
        // Refused, said, and nothing kept.
        const QString path = m_dir.filePath(u"copy/records.sqlite"_qs);
        r.id = r.id.toUpper();
        QCOMPARE(error((*store)->add(r)), "The test record could not be kept in “" + path +
                                              "”: its id “" + r.id +
                                              "” is not a UUID in lowercase without braces.");
        QCOMPARE(error((*store)->record(r.id)),
                 "There is no test record “" + r.id + "” in “" + path + "”.");
    }

    void testSameFetchStoredOnce()
    {
        const RecordCounts counts = *m_store->counts();
        QCOMPARE(counts.tests, 5);
        QCOMPARE(counts.fetches, 5); // A (and a) to D, and F
        QCOMPARE(counts.untested, 1);
        QCOMPARE(m_store->record(m_labels.key(u"a"_qs))->fetchFile,
                 m_store->record(m_labels.key(u"A"_qs))->fetchFile);
    }

    void testFindFindsAndOrders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QDate>("since");
        QTest::addColumn<QDate>("until");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("found");
        const QDate any, d2(2026, 12, 2), d3(2026, 12, 3);
        QTest::newRow("all, newest first") << ""
                                           << "" << any << any << 0 << "aDCBA";
        QTest::newRow("serial, other case") << "SN-ü1"
                                            << "" << any << any << 0 << "DA";
        QTest::newRow("model, other case") << "ÜBER"
                                           << "" << any << any << 0 << "B";
        QTest::newRow("model, inner part") << "450"
                                           << "" << any << any << 0 << "A";
        QTest::newRow("customer") << "acme"
                                  << "" << any << any << 0 << "C";
        QTest::newRow("customer, non-ASCII case") << "MÜLLER"
                                                  << "" << any << any << 0 << "DA";
        QTest::newRow("in any of the three") << "m"
                                             << "" << any << any << 0 << "DCA";
        QTest::newRow("nothing") << "sn-4"
                                 << "" << any << any << 0 << "";
        QTest::newRow("energizer") << ""
                                   << " SN-Ü1" << any << any << 0 << "DA";
        QTest::newRow("energizer, whole") << ""
                                          << "SN" << any << any << 0 << "";
        QTest::newRow("dates inclusive") << ""
                                         << "" << d2 << d3 << 0 << "CB";
        QTest::newRow("local date, not UTC's") << ""
                                               << "" << d3 << any << 0 << "aDC";
        QTest::newRow("until") << ""
                               << "" << any << d2 << 0 << "BA";
        QTest::newRow("limit") << ""
                               << "" << any << any << 2 << "aD";
        QTest::newRow("text and date") << "m"
                                       << "" << d3 << any << 0 << "DC";
    }
    void testFindFindsAndOrders()
    {
        QFETCH(QString, text);
        QFETCH(QString, serial);
        QFETCH(QDate, since);
        QFETCH(QDate, until);
        QFETCH(int, limit);
        QFETCH(QString, found);
        const RecordQuery query{text, serial, since, until, limit, false};
        QCOMPARE(labels(*m_store->find(query)), found);
        QCOMPARE(m_store->ids(query)->size(), found.size());
    }

    void testTrendWarnsPast2kV_data()
    {
        QTest::addColumn<QList<int>>("volts"); // oldest first
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("warning");
        QTest::newRow("20 tenths lower") << QList<int>{73, 90, 53} << -20 << false;
        QTest::newRow("21 tenths lower") << QList<int>{73, 52} << -21 << true;
        QTest::newRow("higher") << QList<int>{50, 20, 90} << 40 << false;
        QTest::newRow("one record") << QList<int>{73} << 0 << false;
        QTest::newRow("none") << QList<int>{} << 0 << false;
    }
    void testTrendWarnsPast2kV()
    {
        QFETCH(QList<int>, volts);
        QFETCH(int, change);
        QFETCH(bool, warning);
        QTemporaryDir dir;
        auto store = RecordStore::open(dir.filePath(u"records.sqlite"_qs));
        for (int i = int(volts.size()) - 1; i >= 0; --i) // newest added first
            QVERIFY((*store)->add(record({}, u"Trend-X"_qs, {}, at(1 + i, 9, 0), volts[i])));
        QVERIFY((*store)->add(record({}, u"Trend-Y"_qs, {}, at(9, 9, 0), 10)));
        const Trend trend = *(*store)->trend(u"  trend-x "_qs);
        QList<int> points;
        for (const TrendPoint &p : trend.points)
            points << p.voltCount;
        QCOMPARE(points, volts);
        QCOMPARE(trend.baseline.has_value(), !volts.isEmpty());
        QCOMPARE(trend.changeTenths, change);
        QCOMPARE(trend.warning, warning);
    }

    void testListsKeptFetches()
    {
        // Four good files, one already recorded with its path, and a bad one, listed two a batch;
        // stopped after the first batch, then gone on with; a fetch tested is no longer untested.
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"fetches"_qs), one = folder + u"/1.vmfetch"_qs;
        QDir().mkpath(folder);
        for (int i = 1; i <= 4; ++i)
            writeFile(folder + u"/%1.vmfetch"_qs.arg(i), fetchFile(70 + i, at(i, 9, 0)));
        writeFile(folder + u"/0-bad.vmfetch"_qs, "{");
        auto store = RecordStore::open(dir.filePath(u"records.sqlite"_qs));
        QVERIFY((*store)->add(*TestRecord::ofFetch(fileBytes(one), 1), one));
        const Listing first = *(*store)->listKeptFetches(
            folder, [](int, int) { return false; }, 2);
        QCOMPARE(QList<int>({first.added, first.known, int(first.cancelled)}),
                 QList<int>({2, 1, 1}));
        QCOMPARE(first.unreadable,
                 QStringList({"“0-bad.vmfetch” cannot be opened: it is not a fetch "
                              "file: its contents are not JSON text."}));
        QList<int> progress;
        const Listing rest = *(*store)->listKeptFetches(
            folder, [&](int done, int total) { return progress << done << total, true; }, 2);
        QCOMPARE(QList<int>({rest.total, rest.added, rest.known, int(rest.cancelled)}),
                 QList<int>({5, 1, 3, 0}));
        QCOMPARE(progress, QList<int>({5, 5}));
        QCOMPARE(fileBytes(folder + u"/0-bad.vmfetch"_qs), "{");
        QList<KeptFetch> untested = *(*store)->untested();
        QCOMPARE(untested.size(), 3);
        QCOMPARE(untested[0].path, folder + u"/4.vmfetch"_qs);
        QCOMPARE(untested[0].saved, at(4, 9, 0));
        QCOMPARE(*(*store)->fetchFile(untested[0].id), fileBytes(untested[0].path));
        QVERIFY((*store)->add(*TestRecord::ofFetch(fileBytes(untested[0].path), 1)));
        QCOMPARE((*store)->untested()->size(), 2);
        QCOMPARE((*store)->listKeptFetches(folder)->known, 4);
        QCOMPARE((*store)->counts()->fetches, 4);
    }

    void testKeepsWhatWasReportedWhenKilled_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("recording") << "add";
        QTest::newRow("listing") << "list";
    }
    void testKeepsWhatWasReportedWhenKilled()
    {
        // A child adds records (or lists 400 kept fetches, 25 a batch), printing each one made;
        // killed with SIGKILL, the store opens whole with every one of them.
        QFETCH(QString, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"records.sqlite"_qs), folder = dir.filePath(u"f"_qs);
        QDir().mkpath(folder);
        for (int i = 0; mode == u"list" && i < 400; ++i)
            writeFile(folder + u"/%1.vmfetch"_qs.arg(i), fetchFile(50, at(1, 0, 0).addSecs(i)));
        QProcess child;
        startChild(child, {mode, path, mode == u"list" ? folder : u"0"_qs});
        QByteArray out;
        while (out.count('\n') < (mode == u"list" ? 1 : 20) && child.waitForReadyRead(30'000))
            out += child.readAllStandardOutput();
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30'000));
        const QStringList lines =
            QString::fromUtf8(out + child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(RawConnection(path).run(u"PRAGMA integrity_check"_qs), u"ok"_qs);
        auto store = RecordStore::open(path);
        QVERIFY2(store, store.error().c_str());
        if (mode == u"list") {
            QVERIFY((*store)->counts()->fetches >= lines.last().section(u' ', 1).toInt());
            QVERIFY((*store)->listKeptFetches(folder));
            QCOMPARE((*store)->counts()->fetches, 400);
        }
        for (const QString &line : mode == u"add" ? lines : QStringList())
            QVERIFY2((*store)->record(line.section(u' ', 1)), qPrintable(line));
    }

    void testTwoWritersAtOnce()
    {
        // Two processes add 100 records each of the same fetch at the same time.
        QTemporaryDir dir;
        const QString path = dir.filePath(u"records.sqlite"_qs);
        QProcess one, two;
        startChild(one, {u"add"_qs, path, u"100"_qs});
        startChild(two, {u"add"_qs, path, u"100"_qs});
        QVERIFY(one.waitForFinished(120'000));
        QVERIFY(two.waitForFinished(120'000));
        // Both open the new file at once: neither may take the other's half-made store for a
        // foreign file (a child's last line says why it stopped).
        const QStringList lines = childLines(one) + childLines(two);
        for (const QString &line : lines)
            QVERIFY2(line.startsWith(u"added "), qPrintable(line));
        QCOMPARE(QSet<QString>(lines.begin(), lines.end()).size(), 200);
        auto store = RecordStore::open(path);
        QCOMPARE((*store)->counts()->tests, 200);
        QCOMPARE((*store)->counts()->fetches, 1);
        for (const QString &line : lines)
            QVERIFY2((*store)->record(line.section(u' ', 1)), qPrintable(line));
    }

    void testRefusesBadStore_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<qint64>("fileLimit");
        QTest::addColumn<QString>("problem");
        const qint64 none = RLIM_INFINITY;
        QTest::newRow("garbage") << "open" << none << "the file is damaged (not a database)";
        QTest::newRow("truncated") << "open" << none << "the file is damaged";
        QTest::newRow("foreign") << "open" << none
                                 << "it is not a file of test records of Voltrane Meter";
        QTest::newRow("newer") << "open" << none << "it was made by a newer version of the program";
        QTest::newRow("read-only file") << "open" << none << "the file is read-only";
        QTest::newRow("read-only folder") << "open" << none << "its folder is read-only";
        QTest::newRow("locked") << "open" << none
                                << "another program has kept it locked for more than 0.3 seconds";
        QTest::newRow("full disk, new")
            << "open" << qint64(16384) << "the disk is full or takes no more data";
        QTest::newRow("full disk, adding")
            << "add" << qint64(40000) << "the disk is full or takes no more data";
    }
    void testRefusesBadStore()
    {
        // Each opened by a child (as "nobody" when run as root): said, and not a byte changed.
        QFETCH(QString, mode);
        QFETCH(qint64, fileLimit);
        QFETCH(QString, problem);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"data"_qs), path = folder + u"/records.sqlite"_qs;
        QDir().mkpath(folder);
        if (tag == u"garbage") {
            writeFile(path, QByteArray(4096, 'x'));
        } else if (tag == u"foreign") {
            RawConnection(path).run(u"CREATE TABLE notes (text)"_qs);
        } else if (tag != u"full disk, new") {
            auto store = RecordStore::open(path);
            for (int i = 0; i < 40; ++i)
                QVERIFY((*store)->add(record({}, {}, {}, at(1, 9, i))));
        }
        if (tag == u"truncated")
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        if (tag == u"newer")
            RawConnection(path).run(u"PRAGMA user_version = 99"_qs);
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        QFile::setPermissions(
            folder, QFileDevice::Permissions(tag == u"read-only folder" ? 0x5555 : 0x7777));
        QFile::setPermissions(path,
                              QFileDevice::Permissions(tag == u"read-only file" ? 0x4444 : 0x6666));
        std::optional<RawConnection> locker;
        if (tag == u"locked") {
            locker.emplace(path);
            locker->run(u"BEGIN EXCLUSIVE"_qs);
            locker->run(u"DELETE FROM tests"_qs);
        }
        const QByteArray before = fileBytes(path);
        QProcess child;
        startChild(child, {mode, path, mode == u"add" ? u"20"_qs : u"300"_qs}, true,
                   rlim_t(fileLimit));
        QVERIFY(child.waitForFinished(60'000));
        const QStringList lines = childLines(child);
        QCOMPARE(
            lines.value(lines.size() - 1),
            (mode == u"add" ? "The test record could not be kept in “" : "The test records in “") +
                path + (mode == u"add" ? "”: " : "” cannot be opened: ") + problem + '.');
        if (mode == u"open" && before != "(none)")
            QCOMPARE(fileBytes(path), before);
        locker.reset();
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
        if (lines.size() < 2)
            return;
        auto store = RecordStore::open(path);
        for (const QString &line : lines.mid(0, lines.size() - 1)) // added before the disk filled
            QVERIFY2((*store)->record(line.section(u' ', 1)), qPrintable(line));
    }

    void testSetAsideKeepsBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"records.sqlite"_qs);
        writeFile(path, "damaged");
        writeFile(path + u"-wal"_qs, "its journal");
        const Result<QString> aside = RecordStore::setAside(path);
        QVERIFY(QRegularExpression(u"/records\\.sqlite\\.damaged-\\d{4}-\\d\\d-\\d\\d_\\d{6}$"_qs)
                    .match(*aside)
                    .hasMatch());
        QCOMPARE(fileBytes(*aside) + fileBytes(*aside + u"-wal"_qs), "damagedits journal");
        QCOMPARE(fileBytes(path), "(none)");
        writeFile(path, "damaged again"); // set aside within the same second: beside the first
        QCOMPARE(fileBytes(*RecordStore::setAside(path)) + fileBytes(*aside),
                 "damaged againdamaged");
        QVERIFY(RecordStore::open(path));
    }

    void testModelListsRecordsAndFetches()
    {
        RecordTableModel model;
        QVERIFY(model.load(*m_store, {.text = u"m"_qs}));
        QCOMPARE(model.rowCount(), 3);                     // a search shows no fetch without a test
        QVERIFY(model.load(*m_store, {.text = u"sn"_qs})); // B read now, the others known
        QCOMPARE(model.rowCount(), 4);
        QVERIFY(model.load(*m_store, {.until = QDate(2026, 12, 4)}));
        QCOMPARE(model.rowCount(), 5);
        QVERIFY(model.data(model.index(3, 0), RecordTableModel::FetchIdRole).toLongLong() > 0);
        QCOMPARE(model.data(model.index(0, 0), RecordTableModel::IdRole), m_labels.key(u"D"_qs));
        model.sort(RecordTableModel::Voltage, Qt::AscendingOrder);
        QCOMPARE(
            model.csv(),
            "\xEF\xBB\xBF" +
                u"Recorded,Energizer Model,Energizer Serial,Customer/Site,Meter Serial,"
                "Data Set,Voltage (kV),Energy (J),Interval (s),Pulse Width (µs),Load (Ohms)\r\n"
                "2026-12-02 12:00,no test yet,,,SN-1,,,,,,\r\n"
                "2026-12-03 00:10,m 100,SN-3,\"'=1+2, \"\"ACME\"\"\",SN-1,1,6.5,1.5,1.0,60,500\r\n"
                "2026-12-04 08:00,Z, sn-ü1 ,müller hof,SN-1,1,7.0,1.5,1.0,60,500\r\n"
                "2026-12-01 10:00,M 450,SN-Ü1,Müller Hof,SN-1,1,7.3,1.5,1.0,60,500\r\n"
                "2026-12-02 23:30,Über 9,sn-2,,SN-1,1,8.0,1.5,1.0,60,No Load\r\n"_qs.toUtf8());
    }
};

// The child processes the tests start: "--child MODE PATH ARG". "open": opens the store with a
// busy timeout of ARG ms; "add": adds ARG records (0: without end), printing "added <id>" after
// each; "list": lists the fetch files of folder ARG, 25 a batch, printing "listed <done>" after
// each batch. A failure is printed as the last line.
int childMain(const QStringList &args)
{
    const QString &mode = args.at(2), &path = args.at(3), &arg = args.at(4);
    const auto print = [](const QString &line) {
        std::fputs(qPrintable(line + u'\n'), stdout);
        std::fflush(stdout);
    };
    auto store = RecordStore::open(path, mode == u"open" ? arg.toInt() : 5000);
    if (!store)
        return print(QString::fromStdString(store.error())), 0;
    if (mode == u"list") {
        const Result<Listing> listed = (*store)->listKeptFetches(
            arg, [&](int done, int) { return print(u"listed %1"_qs.arg(done)), true; }, 25);
        return listed ? 0 : (print(QString::fromStdString(listed.error())), 1);
    }
    for (int i = 0; mode == u"add" && (arg == u"0" || i < arg.toInt()); ++i) {
        TestRecord r = *TestRecord::ofFetch(fetchFile(73), 1);
        if (const Result<> added = (*store)->add(r); !added)
            return print(QString::fromStdString(added.error())), 1;
        print(u"added "_qs + r.id);
    }
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == u"--child")
        return childMain(app.arguments());
    TestRecords test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_records.moc"
