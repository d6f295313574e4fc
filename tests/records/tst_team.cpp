#include "PgCluster.h"
#include "RecordStore.h"
#include "SampleRecords.h"
#include "TeamStore.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <iostream>

#define QVERIFY_OK(result) QVERIFY2(result, (result).error().c_str())

namespace {

template <typename T> QString error(const Result<T> &result)
{
    return QString::fromStdString(result.error());
}

// `n` records of energizers "<prefix>0"… one a minute.
QList<TestRecord> records(int n, const QString &prefix)
{
    QList<TestRecord> made;
    for (int i = 0; i < n; ++i)
        made << record(u"M 1"_qs, prefix + QString::number(i), {}, at(1, 8, 0).addSecs(60 * i));
    return made;
}

Result<std::unique_ptr<TeamStore>> teamAt(const QString &connection, int timeoutMs = 15000)
{
    Result<TeamServer> server = TeamServer::parse(connection);
    if (!server)
        return failure(server.error());
    server->setStatementTimeoutMs(timeoutMs);
    return TeamStore::connect(*server);
}

// This program again, sharing the store `path` with the server `connection`: "--child PATH
// CONNECTION N PREFIX PAUSE" adds N records first; "pause" waits for a line on its standard
// input after the first batch (of 5).
void startChild(QProcess &child, const QStringList &args)
{
    child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_qs} + args);
}

QString lastLine(QProcess &child)
{
    child.waitForFinished(120'000);
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().section(u'\n', -1);
}

} // namespace

class TestTeam : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<RecordStore> m_local; // records A to D, shared with database "shared"
    std::unique_ptr<TeamStore> m_team;

    QString psql(const QString &sql, const QString &db) { return m_pg->psql(sql, db); }

private slots:
    void initTestCase()
    {
        m_pg = std::make_unique<PgCluster>(0, u"local all tech2 scram-sha-256\n"_qs);
        QString missing = m_pg->error;
        if (missing.isEmpty() && !QSqlDatabase::isDriverAvailable(u"QPSQL"_qs))
            missing = u"Qt's PostgreSQL driver is not installed (package libqt6sql6-psql)"_qs;
        if (!missing.isEmpty() && qgetenv("CI") == "true")
            QFAIL(qPrintable(missing));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        for (const char *db : {"shared", "pair", "stop", "newer", "slow"})
            QCOMPARE(psql(u"CREATE DATABASE "_qs + db, u"postgres"_qs), "");
        QCOMPARE(psql(u"CREATE ROLE tech2 LOGIN SUPERUSER PASSWORD 'right'"_qs, u"postgres"_qs),
                 "");
        QCOMPARE(psql(u"CREATE TABLE schema_version (version integer); "
                      "INSERT INTO schema_version VALUES (2)"_qs,
                      u"newer"_qs),
                 "");
        QFile pgpass(m_pg->path(u"pg pass's"_qs));
        QVERIFY(pgpass.open(QIODevice::WriteOnly) && pgpass.write("*:*:*:tech2:right\n") > 0);
        pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        m_local = std::move(*RecordStore::open(m_pg->path(u"local.sqlite"_qs)));
        TestRecord c = record(u"m 100"_qs, u"SN-3"_qs, u"=1+2, \"ACME\""_qs, at(3, 0, 10), 65);
        c.check = u"{\"energy\": \"pass\"}"_qs;
        c.technician = u"Zoë"_qs;
        QVERIFY(m_local->add(
            {record(u"M 450"_qs, u"SN-Ü1"_qs, u"Müller Hof"_qs, at(1, 10, 0)), c,
             record(u"Über 9"_qs, u"sn-2"_qs, {}, at(2, 23, 30).addMSecs(250), 80, 0),
             record(u"Z"_qs, u" sn-ü1 "_qs, u"müller hof"_qs, at(4, 8, 0, -570), 70)}));
    }

    void testFirstShareCreatesTheSchema()
    {
        QCOMPARE(psql(u"SELECT to_regclass('tests') IS NULL"_qs, u"shared"_qs), "t");
        auto team = teamAt(m_pg->connection(u"shared"_qs));
        QVERIFY_OK(team);
        m_team = std::move(*team);
        QCOMPARE(psql(u"SELECT version FROM schema_version"_qs, u"shared"_qs), "1");
        const Result<ShareReport> shared = m_team->share(*m_local);
        QVERIFY_OK(shared);
        QCOMPARE(QList<int>({shared->sent, shared->pending}), QList<int>({4, 0}));
        QCOMPARE(m_local->counts()->pending, 0);
        QCOMPARE(psql(u"SELECT count(*) FROM tests"_qs, u"shared"_qs), "4");
        QCOMPARE(m_team->share(*m_local)->sent, 0); // nothing twice
    }

    void testTeamSearchAgreesWithLocal_data()
    {
        QTest::addColumn<RecordQuery>("query");
        const QDate any, d3(2026, 12, 3);
        QTest::newRow("all") << RecordQuery{{}, {}, any, any, 0, true};
        QTest::newRow("text, non-ASCII case") << RecordQuery{u"MÜLLER"_qs, {}, any, any, 0, true};
        QTest::newRow("text in any of three") << RecordQuery{u"m"_qs, {}, any, any, 0, false};
        QTest::newRow("energizer") << RecordQuery{{}, u" SN-Ü1"_qs, any, any, 0, false};
        QTest::newRow("local date") << RecordQuery{{}, {}, d3, d3, 0, false};
        QTest::newRow("limit") << RecordQuery{{}, {}, any, any, 2, false};
    }
    void testTeamSearchAgreesWithLocal()
    {
        QFETCH(RecordQuery, query);
        QVERIFY(m_team);
        const Result<QList<TestRecord>> team = m_team->find(query);
        QVERIFY_OK(team);
        QCOMPARE(*team, *m_local->find(query));
        QCOMPARE(*m_team->record(team->first().id), *m_local->record(team->first().id));
    }

    void testTrendFromTheTeam()
    {
        QVERIFY(m_team);
        QCOMPARE(m_team->trend(u"sn-ü1"_qs)->points, m_local->trend(u"sn-ü1"_qs)->points);
        QCOMPARE(m_team->trend(u"sn-ü1"_qs)->points.size(), 2);
    }

    void testTwoProcessesShareAtOnce()
    {
        QProcess a, b;
        startChild(
            a, {m_pg->path(u"a.sqlite"_qs), m_pg->connection(u"pair"_qs), u"300"_qs, u"A-"_qs, {}});
        startChild(
            b, {m_pg->path(u"b.sqlite"_qs), m_pg->connection(u"pair"_qs), u"300"_qs, u"B-"_qs, {}});
        QCOMPARE(lastLine(a), "sent 300, pending 0");
        QCOMPARE(lastLine(b), "sent 300, pending 0");
        QCOMPARE(psql(u"SELECT count(*), count(DISTINCT id) FROM tests"_qs, u"pair"_qs), "600|600");
        // The team's search shows B's records at A, and copies nothing to A.
        auto team = teamAt(m_pg->connection(u"pair"_qs));
        QVERIFY_OK(team);
        const QList<TestRecord> found = *(*team)->find({{}, u"b-7"_qs});
        QCOMPARE(found.size(), 1);
        auto storeA = RecordStore::open(m_pg->path(u"a.sqlite"_qs));
        QCOMPARE(error((*storeA)->record(found.first().id)),
                 u"There is no test record “%1” in “%2”."_qs.arg(found.first().id,
                                                                 m_pg->path(u"a.sqlite"_qs)));
        QCOMPARE((*storeA)->counts()->tests, 300);
    }

    void testServerStoppedMidShare()
    {
        // Two shares of one store, both stopped by the server stopping after their first batch.
        const QString path = m_pg->path(u"stop.sqlite"_qs), server = m_pg->connection(u"stop"_qs);
        QVERIFY((*RecordStore::open(path))->add(records(40, u"S-"_qs)));
        QProcess a, b;
        for (QProcess *child : {&a, &b}) {
            startChild(*child, {path, server, u"0"_qs, {}, u"pause"_qs});
            while (!child->canReadLine())
                QVERIFY(child->waitForReadyRead(60'000));
        }
        QVERIFY2(m_pg->stop(), qPrintable(m_pg->error));
        a.write("go\n"), b.write("go\n");
        const QString stopped = u"Sharing the test records with “%1” stopped: the connection to "
                                "the server was lost"_qs.arg(server);
        QVERIFY2(lastLine(a).startsWith(stopped), qPrintable(a.readAllStandardError()));
        QVERIFY(lastLine(b).startsWith(stopped));
        QVERIFY2(m_pg->start(), qPrintable(m_pg->error));
        // Not pending here exactly when on the server; the next share sends the rest, once.
        auto local = std::move(*RecordStore::open(path));
        QStringList shared;
        const QList<TestRecord> kept = *local->find({});
        for (const TestRecord &r : kept)
            shared << (r.pending ? QString() : r.id);
        shared.removeAll({});
        shared.sort();
        QCOMPARE(psql(u"SELECT id FROM tests ORDER BY id::text"_qs, u"stop"_qs).split(u'\n'),
                 shared);
        QVERIFY(shared.size() >= 5 && shared.size() < 40);
        QCOMPARE((*teamAt(server))->share(*local)->sent, 40 - shared.size());
        QCOMPARE(psql(u"SELECT count(*) FROM tests"_qs, u"stop"_qs), "40");
    }

    void testStatementTimeoutKeepsRecordsPending()
    {
        auto local = std::move(*RecordStore::open(m_pg->path(u"slow.sqlite"_qs)));
        QVERIFY(local->add(records(3, u"T-"_qs)));
        auto team = teamAt(m_pg->connection(u"slow"_qs), 300);
        QVERIFY_OK(team);
        {
            // Another connection holds the table, so that the share waits for it.
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_qs, u"locker"_qs);
            db.setHostName(m_pg->folder()), db.setDatabaseName(u"slow"_qs);
            db.setUserName(u"postgres"_qs);
            QVERIFY(db.open() && db.transaction());
            QVERIFY(QSqlQuery(db).exec(u"LOCK TABLE tests IN EXCLUSIVE MODE"_qs));
            QCOMPARE(error((*team)->share(*local)),
                     u"Sharing the test records with “%1” stopped: the server did not finish "
                     "within 0.3 s (its statement timeout). 0 sent; 3 still pending on this "
                     "computer, sent at the next share."_qs.arg(m_pg->connection(u"slow"_qs)));
            db.rollback();
        }
        QSqlDatabase::removeDatabase(u"locker"_qs);
        QCOMPARE(local->counts()->pending, 3);
        QCOMPARE((*team)->share(*local)->sent, 3);
    }

    void testFaultsSaidPlainly_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("message");
        const QString cannot = u"The team's records on “%1” cannot be opened: "_qs;
        const QString tech2 = u"host=DIR port=5432 dbname=shared user=tech2"_qs;
        QTest::newRow("database missing")
            << u"host=DIR port=5432 dbname=nosuch user=postgres"_qs
            << cannot.arg(u"host=DIR port=5432 dbname=nosuch user=postgres"_qs) +
                   u"the database “nosuch” does not exist there."_qs;
        QTest::newRow("wrong password")
            << tech2 + u" password=wrong"_qs
            << cannot.arg(tech2) + u"the server refused the password of the user “tech2” (libpq "
                                   "reads it from ~/.pgpass)."_qs;
        QTest::newRow("no password") << tech2 + u" passfile=DIR/none"_qs
                                     << cannot.arg(tech2 + u" passfile=DIR/none"_qs) +
                                            u"the server asks for a password, and ~/.pgpass "
                                            "holds none for it."_qs;
        QTest::newRow("password from a pgpass file")
            << tech2 + u" passfile='DIR/pg pass\\'s'"_qs << QString();
        QTest::newRow("no server there")
            << u"host=DIR port=5433"_qs
            << cannot.arg(u"host=DIR port=5433"_qs) +
                   u"the server cannot be reached (No such file or directory)."_qs;
        QTest::newRow("newer schema")
            << u"host=DIR port=5432 dbname=newer user=postgres"_qs
            << cannot.arg(u"host=DIR port=5432 dbname=newer user=postgres"_qs) +
                   u"its records were set up by a newer version of Voltrane Meter (schema "
                   "version 2; this program knows up to 1): update the program on this "
                   "computer."_qs;
    }
    void testFaultsSaidPlainly()
    {
        QFETCH(QString, connection);
        QFETCH(QString, message);
        QCOMPARE(error(teamAt(connection.replace(u"DIR"_qs, m_pg->folder()))),
                 message.replace(u"DIR"_qs, m_pg->folder()));
    }

    void testConnectionStringRead_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("display"); // or the reason it is refused
        QTest::newRow("quotes, blanks, password")
            << u"host=db.example  port = 5432 dbname='my \\'records\\'' user=t\\ 1 password=x"_qs
            << u"host=db.example port=5432 dbname='my \\'records\\'' user='t 1'"_qs;
        QTest::newRow("empty value")
            << u"sslmode=require passfile=''"_qs << u"sslmode=require passfile=''"_qs;
        QTest::newRow("no =") << u"host db"_qs << u"“host” has no “=” after it"_qs;
        QTest::newRow("open quote")
            << u"dbname='x"_qs << u"the quote after “dbname=” is not closed"_qs;
        QTest::newRow("port") << u"port=54x"_qs << u"the port is not a number from 1 to 65535"_qs;
        QTest::newRow(";") << u"sslmode=a;b"_qs << u"the value of “sslmode” holds a “;”"_qs;
    }
    void testConnectionStringRead()
    {
        QFETCH(QString, connection);
        QFETCH(QString, display);
        const Result<TeamServer> server = TeamServer::parse(connection);
        QCOMPARE(server ? server->display()
                        : error(server).section(u"cannot be used: "_qs, 1).chopped(1),
                 display);
    }

    void testServerFromSettingsOrEnvironment()
    {
        Settings settings(m_pg->path(u"voltrane-meter.conf"_qs));
        settings.setText(Settings::RecordsServer, u"host=office dbname=records"_qs);
        const auto configured = [&] {
            const auto server = TeamServer::configured(settings);
            return !server ? error(server) : *server ? (*server)->display() : u"none"_qs;
        };
        qunsetenv(TeamServer::EnvironmentVariable);
        QCOMPARE(configured(), "host=office dbname=records");
        qputenv(TeamServer::EnvironmentVariable, "host=lab");
        QCOMPARE(configured(), "host=lab");
        qputenv(TeamServer::EnvironmentVariable, "");
        QCOMPARE(configured(), "none");
        qunsetenv(TeamServer::EnvironmentVariable);
    }
};

// "--child PATH CONNECTION N PREFIX PAUSE" (see startChild()): prints what the share did.
int childMain(const QStringList &args)
{
    const auto print = [](const QString &line) { std::cout << line.toStdString() << std::endl; };
    auto local = RecordStore::open(args.at(2));
    if (const int n = args.at(4).toInt(); local && n > 0 && !(*local)->add(records(n, args.at(5))))
        return print(u"cannot add"_qs), 1;
    auto team = teamAt(args.at(3));
    if (!local || !team)
        return print(error(local) + error(team)), 1;
    bool pause = args.at(6) == u"pause";
    const auto shared = (*team)->share(
        **local,
        [&](int, int) {
            std::string line;
            if (std::exchange(pause, false))
                print(u"paused"_qs), std::getline(std::cin, line);
            return true;
        },
        5);
    print(shared ? u"sent %1, pending %2"_qs.arg(shared->sent).arg(shared->pending)
                 : error(shared));
    return shared ? 0 : 1;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == u"--child")
        return childMain(app.arguments());
    TestTeam test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_team.moc"
