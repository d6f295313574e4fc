#include "Golden.h"
#include "PgCluster.h"
#include "SampleRecords.h"
#include "TeamSharing.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <iostream>

namespace {

// `n` records of energizers "<prefix>0"…, one a minute.
QList<TestRecord> records(int n, const QString &prefix)
{
    QList<TestRecord> made;
    for (int i = 0; i < n; ++i)
        made << record(u"M 1"_qs, prefix + QString::number(i), {}, at(1, 8, 0).addSecs(60 * i));
    return made;
}

Result<std::unique_ptr<TeamStore>> teamAt(const QString &connection)
{
    const Result<TeamServer> server = TeamServer::parse(connection);
    return server ? TeamStore::connect(*server) : failure(server.error());
}

// This program again (see childMain()); the last line it printed.
QString childSays(QProcess &child, const QStringList &args = {})
{
    if (!args.isEmpty())
        child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_qs} + args);
    child.waitForFinished(120'000);
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().section(u'\n', -1);
}

} // namespace

class TestTeam : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<RecordStore> m_local; // shared with database "shared"
    std::unique_ptr<TeamStore> m_team;

    QString psql(const QString &sql, const QString &db = {}) { return m_pg->psql(sql, db); }

private slots:
    void initTestCase()
    {
        m_pg = std::make_unique<PgCluster>("local all tech2 scram-sha-256\n");
        REQUIRE_PG_CLUSTER(*m_pg);
        for (const char *sql :
             {"CREATE ROLE tech2 LOGIN SUPERUSER PASSWORD 'right'", "CREATE DATABASE shared",
              "CREATE DATABASE pair", "CREATE DATABASE stop", "CREATE DATABASE newer",
              "CREATE DATABASE cli"})
            QCOMPARE(psql(QString::fromLatin1(sql)), "");
        QCOMPARE(psql(u"CREATE TABLE schema_version AS SELECT 2 AS version"_qs, u"newer"_qs), "");
        QFile pgpass(m_pg->path(u"pg pass's"_qs));
        QVERIFY(pgpass.open(QIODevice::WriteOnly) && pgpass.write("*:*:*:tech2:right\n") > 0);
        pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        TestRecord c = record(u"m 100"_qs, u"SN-3"_qs, u"=1+2, \"ACME\""_qs, at(3, 0, 10), 65);
        c.check = u"{\"energy\": \"pass\"}"_qs, c.technician = u"Zoë"_qs;
        m_local = std::move(*RecordStore::open(m_pg->path(u"local.sqlite"_qs)));
        QVERIFY(m_local->add({record(u"M 450"_qs, u"SN-Ü1"_qs, u"Müller Hof"_qs, at(1, 10, 0)), c,
                              record(u"Über 9"_qs, u"sn-2"_qs, {}, at(2, 23, 30), 80, 0),
                              record(u"Z"_qs, u" sn-ü1 "_qs, u"müller"_qs, at(4, 8, 0, -570))}));
    }

    void testFirstShareCreatesTheSchema()
    {
        auto team = teamAt(m_pg->connection(u"shared"_qs));
        QVERIFY_OK(team);
        m_team = std::move(*team);
        QCOMPARE(psql(u"SELECT version FROM schema_version"_qs, u"shared"_qs), "1");
        const Result<ShareReport> shared = m_team->share(*m_local);
        QVERIFY_OK(shared);
        QCOMPARE(QList<int>({shared->sent, shared->pending}), QList<int>({4, 0}));
        QCOMPARE(psql(u"SELECT count(*) FROM tests"_qs, u"shared"_qs), "4");
        QCOMPARE(m_team->share(*m_local)->sent, 0);
    }

    // The same records, whole, in the same order as the local store's.
    void testTeamSearchAgreesWithLocal_data()
    {
        QTest::addColumn<RecordQuery>("query");
        const QDate any, d3(2026, 12, 3);
        QTest::newRow("all") << RecordQuery{{}, {}, any, any, 0, true};
        QTest::newRow("text, other case") << RecordQuery{u"MÜLLER"_qs, {}, any, any, 1, true};
        QTest::newRow("text in any of three") << RecordQuery{u"m"_qs};
        QTest::newRow("energizer") << RecordQuery{{}, u" SN-Ü1"_qs, d3};
    }
    void testTeamSearchAgreesWithLocal()
    {
        QFETCH(RecordQuery, query);
        QVERIFY(m_team);
        QCOMPARE(*m_team->find(query), *m_local->find(query));
        const QString last = m_local->find(query)->last().id;
        QCOMPARE(*m_team->record(last), *m_local->record(last));
        QCOMPARE(m_team->trend(u"sn-ü1"_qs)->points, m_local->trend(u"SN-Ü1 "_qs)->points);
    }

    void testCommandLineSharesAndSearchesTheTeam()
    {
        // voltrane-meter-cli with the server in VOLTRANE_RECORDS_SERVER: share sends what is
        // pending; records --team finds a record only the server has; with the server gone,
        // share fails with why and records --team says so and lists this computer's.
        QTemporaryDir home;
        const QString local = home.filePath(u"voltrane-meter/records.sqlite"_qs);
        QVERIFY(QDir(home.path()).mkpath(u"voltrane-meter"_qs));
        QVERIFY((*RecordStore::open(local))->add(records(3, u"CLI-"_qs)));
        auto other = std::move(*RecordStore::open(home.filePath(u"other.sqlite"_qs)));
        QList<TestRecord> only = records(1, u"ONLY-"_qs); // another computer's, on the server only
        only[0].technician = u"Ana Ruiz"_qs;
        QVERIFY(other->add(only));
        QVERIFY((*teamAt(m_pg->connection(u"cli"_qs)))->share(*other));
        const auto cli = [&](const QStringList &args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"XDG_DATA_HOME"_qs, home.path());
            env.insert(u"VOLTRANE_RECORDS_SERVER"_qs, m_pg->connection(u"cli"_qs));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(VOLTRANE_CLI), args);
            p.waitForFinished(60'000);
            return QStringList{QString::number(p.exitCode()),
                               QString(p.readAllStandardOutput()).trimmed(),
                               QString(p.readAllStandardError()).trimmed()};
        };
        QCOMPARE(cli({u"share"_qs}), QStringList({"0", "sent 3, pending 0", ""}));
        const QStringList team = cli({u"records"_qs, u"--team"_qs, u"--search"_qs, u"only-"_qs});
        QCOMPARE(team.mid(0, 1), QStringList({"0"}));
        QVERIFY(team[1].contains(u"ONLY-0"_qs));
        QVERIFY(team[1].endsWith(u"  Ana Ruiz"_qs)); // the team's lines say who tested
        QVERIFY(m_pg->stop());
        const QStringList down = cli({u"share"_qs});
        QCOMPARE(down[0], "1");
        QVERIFY(down[2].contains(u"cannot be reached"_qs));
        const QStringList fallback = cli({u"records"_qs, u"--team"_qs});
        QCOMPARE(fallback[0], "0");
        QVERIFY(fallback[2].startsWith(u"The team's records cannot be reached: "_qs));
        QCOMPARE(fallback[1].count(u'\n') + 1, 3);
        // A report with the server gone: recorded here, the send's failure one line, exit 0.
        QFile fetch(home.filePath(u"f.vmfetch"_qs));
        QVERIFY(fetch.open(QIODevice::WriteOnly) && fetch.write(records(1, u"R-"_qs)[0].fetchFile));
        fetch.close();
        const QStringList report = cli({u"report"_qs, fetch.fileName(), u"--data-set"_qs, u"1"_qs,
                                        u"--pdf"_qs, home.filePath(u"r.pdf"_qs)});
        QCOMPARE(report[0], "0");
        QCOMPARE(report[2].count(u'\n'), 0);
        QVERIFY(report[2].contains(u"cannot be reached"_qs));
        QVERIFY(m_pg->start());
    }

    void testTwoProcessesShareAtOnce()
    {
        QProcess a, b;
        const QString server = m_pg->connection(u"pair"_qs), storeA = m_pg->path(u"a.sqlite"_qs);
        a.start(QCoreApplication::applicationFilePath(),
                {u"--child"_qs, storeA, server, u"300"_qs, u"A-"_qs});
        QCOMPARE(childSays(b, {m_pg->path(u"b.sqlite"_qs), server, u"300"_qs, u"B-"_qs}),
                 "sent 300, pending 0");
        QCOMPARE(childSays(a), "sent 300, pending 0");
        QCOMPARE(psql(u"SELECT count(DISTINCT id) FROM tests"_qs, u"pair"_qs), "600");
        // A finds B's records on the team server, and keeps none of them.
        const QList<TestRecord> found = *(*teamAt(server))->find({{}, u"b-7"_qs});
        QCOMPARE(found.size(), 1);
        QCOMPARE((*RecordStore::open(storeA))->record(found.first().id).ok(), false);
    }

    void testServerStoppedMidShare()
    {
        // Two shares of one store at once, each through its own connections: the second within
        // the first one's first batch, the server stopped after the second one's first batch.
        const QString path = m_pg->path(u"stop.sqlite"_qs), server = m_pg->connection(u"stop"_qs);
        auto local = std::move(*RecordStore::open(path)),
             again = std::move(*RecordStore::open(path));
        QVERIFY(local->add(records(40, u"S-"_qs)));
        auto team = std::move(*teamAt(server)), other = std::move(*teamAt(server));
        QStringList said;
        const auto stop = [&](int sent, int) { return sent > 5 || m_pg->stop(); };
        const auto shareAgain = [&](int sent, int) {
            return sent > 5 || (said << error(other->share(*again, stop, 5)), true);
        };
        said << error(team->share(*local, shareAgain, 5));
        said.replaceInStrings(QRegularExpression(u"lost \\(.*\\)"_qs), u"lost (…)"_qs);
        QCOMPARE(said, QStringList(2, u"Sharing the test records with “%1” stopped: the connection "
                                      "to the server was lost (…). 5 sent; 30 still pending on "
                                      "this computer, sent at the next share."_qs.arg(server)));
        // Not pending here exactly when on the server: the next share sends the rest, once.
        QVERIFY(m_pg->start());
        QCOMPARE(local->counts()->pending, 30);
        QCOMPARE(team->share(*local)->sent, 30);
        QCOMPARE(psql(u"SELECT count(*) FROM tests"_qs, u"stop"_qs), "40");
    }

    void testFaultsSaidPlainly()
    {
        // Each server's message, given in the environment, which overrides the settings; none
        // when it connects. The cluster's folder is written DIR.
        Settings settings(m_pg->path(u"voltrane-meter.conf"_qs));
        settings.setText(Settings::RecordsServer, u"host=office"_qs);
        QStringList said;
        for (const char *given :
             {"dbname=nosuch", "user=tech2 password=wrong", "user=tech2 passfile='DIR/no ne'",
              "user=tech2 passfile='DIR/pg pass\\'s'", "port=5433", "dbname=newer", "dbname='x"}) {
            const QString server = u"host=DIR port=5432 dbname=shared user=postgres "_qs + given;
            qputenv(TeamServer::EnvironmentVariable,
                    QString(server).replace(u"DIR"_qs, m_pg->dir.path()).toUtf8());
            const auto configured = TeamServer::configured(settings);
            said << given + u": "_qs +
                        (configured ? error(TeamStore::connect(**configured)) : error(configured))
                            .replace(m_pg->dir.path(), u"DIR"_qs);
        }
        qputenv(TeamServer::EnvironmentVariable, "");
        said << u"set empty: %1"_qs.arg(TeamServer::configured(settings)->has_value());
        qunsetenv(TeamServer::EnvironmentVariable);
        said << u"not set: "_qs + (*TeamServer::configured(settings))->display();
        QCOMPARE_GOLDEN(u"team-faults.txt"_qs, said);
    }

    void testSharingInTheBackground()
    {
        // Shares that wait for a table another connection holds, till the statement timeout.
        const QString path = m_pg->path(u"background.sqlite"_qs);
        QVERIFY((*RecordStore::open(path))->add(records(3, u"T-"_qs)));
        TeamServer server = *TeamServer::parse(m_pg->connection(u"shared"_qs));
        server.setStatementTimeoutMs(300);
        TeamSharing sharing(path, server);
        QSignalSpy shared(&sharing, &TeamSharing::shared), failed(&sharing, &TeamSharing::failed);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_qs, u"locker"_qs);
            db.setHostName(m_pg->dir.path()), db.setDatabaseName(u"shared"_qs);
            QVERIFY(db.open(u"postgres"_qs, {}) && db.transaction());
            QVERIFY(QSqlQuery(db).exec(u"LOCK TABLE tests IN EXCLUSIVE MODE"_qs));
            sharing.setRetryInterval(10), sharing.shareNow();
            QVERIFY(QTest::qWaitFor([&] { return failed.size() >= 2; }, 60'000));
        }
        QSqlDatabase::removeDatabase(u"locker"_qs);
        QVERIFY(shared.wait(60'000)); // tried again by itself
        QCOMPARE(shared.first().first().value<ShareReport>().sent, 3);
        QCOMPARE(failed.first().first(),
                 u"Sharing the test records with “%1” stopped: the server did not finish within "
                 "0.3 s (its statement timeout). 0 sent; 3 still pending on this computer, sent "
                 "at the next share."_qs.arg(server.display()));
        QCOMPARE(QList<bool>({failed[0][1].toBool(), failed[1][1].toBool()}),
                 QList<bool>({false, true}));
    }
};

// "--child STORE CONNECTION N PREFIX": adds N records of energizers PREFIX… to STORE and shares
// it, 5 records a batch.
int childMain(const QStringList &args)
{
    const auto say = [](const QString &line) { std::cout << line.toStdString() << std::endl; };
    auto local = RecordStore::open(args.at(2));
    auto team = teamAt(args.at(3));
    if (!local || !team || !(*local)->add(records(args.at(4).toInt(), args.at(5))))
        return say(error(local) + error(team)), 1;
    const Result<ShareReport> shared = (*team)->share(**local, {}, 5);
    say(shared ? u"sent %1, pending %2"_qs.arg(shared->sent).arg(shared->pending) : error(shared));
    return !shared;
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
