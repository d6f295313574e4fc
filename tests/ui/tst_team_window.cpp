#include "ChartView.h"
#include "MainWindow.h"
#include "MeterSession.h"
#include "PgCluster.h"
#include "RecordTableModel.h"
#include "RecordsWindow.h"
#include "SampleRecords.h"
#include "ScriptedLine.h"
#include "TeamSharing.h"
#include "TestRecorder.h"
#include "TrendChart.h"
#include "WidgetLookup.h"

#include <QSettings>
#include <QSqlDatabase>

// The windows sharing with `server`, in a folder of their own; a meter that never answers.
struct Team
{
    QTemporaryDir home;
    ScriptedLine line{{}};
    MeterSession session{line, {u"voltrane-meter test"_qs, false, std::chrono::minutes(5)}};
    TestRecorder recorder{home.filePath(u"records.sqlite"_qs)};
    TeamSharing sharing;
    MainWindow main{session, &recorder};
    RecordsWindow *w = nullptr;
    QTableView *table = nullptr;
    explicit Team(const QString &server) : sharing(recorder.storePath(), *TeamServer::parse(server))
    {
        qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_qs).toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath(u"data"_qs).toUtf8());
        sharing.setRetryInterval(0);
        main.setTeamSharing(&sharing);
    }
    void open()
    {
        child<QAction>(main, "actRecords")->trigger();
        w = shown<RecordsWindow>(main, "frmRecords");
        table = child<QTableView>(*w, "tblRecords");
    }
    QString text(const char *label) const { return child<QLabel>(*w, label)->text(); }
    bool says(const char *label, const QString &text) const
    {
        return QTest::qWaitFor([&] { return this->text(label) == text; }, 20'000);
    }
    QString column(int c) const
    {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            texts << table->model()->index(row, c).data().toString();
        return texts.join(u'|');
    }
    void add(const TestRecord &r) { QVERIFY((*RecordStore::open(recorder.storePath()))->add(r)); }
};

class TestTeamWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgCluster> m_pg;
    QString m_unreachable; // no server listens there
    QTemporaryDir m_qtConfig;
    // A new database on the cluster, its connection string.
    QString server(const QString &db)
    {
        m_pg->psql(u"CREATE DATABASE "_qs + db);
        return m_pg->connection(db);
    }

private slots:
    void initTestCase()
    {
        qunsetenv(TeamServer::EnvironmentVariable);
        // Qt fixes its file dialog's settings folder at first use: one that lasts, no team's.
        qputenv("XDG_CONFIG_HOME", m_qtConfig.path().toUtf8());
        QSettings(QSettings::UserScope, u"QtProject"_qs).fileName();
        m_pg = std::make_unique<PgCluster>();
        m_unreachable = u"host=%1 port=5439 dbname=x user=postgres"_qs.arg(m_pg->dir.path());
        REQUIRE_PG_CLUSTER(*m_pg);
    }
    void init() { QVERIFY(m_pg->running() || m_pg->start()); }

    void testRecordMadeInTheWindowIsSharedOnce()
    {
        const QString team = server(u"made"_qs);
        Team t(team);
        t.open();
        QVERIFY(t.session.openFetchFile(fetchFile(73), u"x.vmfetch"_qs));
        click(child(t.main, "cmdPrint"));
        auto *dialog = shown<QDialog>(t.main, "frmPrint");
        child<QLineEdit>(*dialog, "txtEserial")->setText(u"E-7"_qs);
        click(child(*dialog, "cmdSavePdf"));
        emit shown<QFileDialog>(*dialog, "savePdf")->fileSelected(t.home.filePath(u"r.pdf"_qs));
        QVERIFY(t.says("lblSharing", u"Shared with “%1”: sent 1, pending 0."_qs.arg(team)));
        QCOMPARE(m_pg->psql(u"SELECT count(*), min(energizer_serial) FROM tests"_qs, u"made"_qs),
                 "1|E-7");
    }

    void testShareNowAfterTheServerCameBackSendsTheRest()
    {
        const QString team = server(u"back"_qs);
        Team t(team);
        t.open();
        QVERIFY(m_pg->stop());
        t.add(record(u"M"_qs, u"S-1"_qs, {}, at(1, 8, 0)));
        t.add(record(u"M"_qs, u"S-2"_qs, {}, at(1, 9, 0)));
        click(child(*t.w, "cmdShareNow"));
        QVERIFY(
            QTest::qWaitFor([&] { return t.text("lblSharing").contains(u"cannot be reached"); }));
        QVERIFY(m_pg->start());
        click(child(*t.w, "cmdShareNow"));
        QVERIFY(t.says("lblSharing", u"Shared with “%1”: sent 2, pending 0."_qs.arg(team)));
        QCOMPARE(m_pg->psql(u"SELECT count(*) FROM tests"_qs, u"back"_qs), "2");
    }

    void testUnreachableServerIsSaidOnceAndTheLocalRecordsShown()
    {
        Team t(m_unreachable);
        t.add(record(u"M"_qs, u"S-1"_qs, {}, at(1, 8, 0)));
        t.open();
        const QString why = u"The team's records on “%1” cannot be opened: the server cannot be "
                            "reached (No such file or directory)."_qs.arg(m_unreachable);
        QVERIFY(t.says("lblTeam", u"Only this computer's test records are shown: the team's "
                                  "records cannot be reached. "_qs +
                                      why));
        QCOMPARE(t.column(RecordTableModel::EnergizerSerial), "S-1");
        click(child(*t.w, "cmdShareNow"));
        QCOMPARE(shown<QMessageBox>(t.main, "teamNotice")->text(), why);
        shown<QMessageBox>(t.main, "teamNotice")->button(QMessageBox::Ok)->click();
        click(child(*t.w, "cmdShareNow"));
        QVERIFY(t.says("lblSharing", why));
        QCOMPARE(t.main.findChild<QMessageBox *>(u"teamNotice"_qs), nullptr); // not said again
    }

    void testTeamRecordsAreShownOpenedAndSavedAgain()
    {
        // Another computer's record of energizer F-9 on the server; this one's, not shared yet.
        const QString team = server(u"search"_qs);
        TestRecord theirs = record(u"Far 1"_qs, u"F-9"_qs, u"Hof"_qs, at(5, 9, 0), 61);
        theirs.technician = u"zoë"_qs;
        auto other = std::move(*RecordStore::open(m_pg->path(u"other.sqlite"_qs)));
        QVERIFY(other->add(theirs));
        QVERIFY((*TeamStore::connect(*TeamServer::parse(team)))->share(*other));
        Team t(team);
        t.add(record(u"Near 2"_qs, u" f-9"_qs, {}, at(4, 9, 0)));
        t.open();
        QTRY_COMPARE(t.column(RecordTableModel::Technician), "zoë|" + TestRecord::userName());
        const QString also = u"The team's records on “%1” are shown too: 1 record not on this "
                             "computer."_qs;
        QCOMPARE(t.text("lblTeam"), also.arg(team));
        QTest::keyClicks(child(*t.w, "txtSearch"), u"hof"_qs);
        QTRY_COMPARE(t.column(RecordTableModel::EnergizerModel), "Far 1");
        t.table->setCurrentIndex(t.table->model()->index(0, 0));
        const Chart &trend = child<ChartView>(*t.w, "chtTrend")->chart();
        QTRY_COMPARE(trend.series[TrendChart::VoltageSeries].points.size(), 2u); // both computers'
        const QPoint cell = t.table->visualRect(t.table->currentIndex()).center();
        QTest::mouseClick(t.table->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(t.table->viewport(), Qt::LeftButton, {}, cell);
        QTRY_COMPARE(t.main.windowTitle(), "Voltrane Meter - PC Utility - F-9, 2026-12-05 09:00");
        click(child(*t.w, "cmdSavePdfAgain"));
        emit shown<QFileDialog>(*t.w, "savePdf")->fileSelected(t.home.filePath(u"again.pdf"_qs));
        QVERIFY(QFileInfo(t.home.filePath(u"again.pdf"_qs)).size() > 1000);
        QCOMPARE((*RecordStore::open(t.recorder.storePath()))->counts()->tests, 1); // none copied
    }

    void testTeamServerDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("environment");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("sharedWith");
        QTest::addColumn<QString>("said");
        const QString old = u"host=old"_qs, db = u"host=db"_qs, none;
        QTest::newRow("password") << "host=db password=secret" << QByteArray() << old << old
                                  << "A password is never kept in the settings: leave "
                                     "“password=” out of the connection string and put the "
                                     "password in ~/.pgpass (mode 0600";
        QTest::newRow("kept") << " host=db " << QByteArray() << db << db << none;
        QTest::newRow("none") << none << QByteArray() << none << u"(none)"_qs << none;
        QTest::newRow("overridden")
            << db << QByteArray("host=env password=s") << db << u"host=env"_qs
            << "The environment variable VOLTRANE_RECORDS_SERVER is set (to “host=env”): it "
               "overrides this setting";
    }
    void testTeamServerDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, environment);
        Team t(u"host=old"_qs);
        Settings(Settings::defaultPath()).setText(Settings::RecordsServer, u"host=old"_qs);
        if (!environment.isEmpty())
            qputenv(TeamServer::EnvironmentVariable, environment);
        t.open();
        click(child(*t.w, "cmdTeamServer"));
        auto *dialog = shown<QDialog>(*t.w, "dlgTeamServer");
        child<QLineEdit>(*dialog, "txtServer")->setText(typed);
        click(child(*dialog, "cmdSave"));
        qunsetenv(TeamServer::EnvironmentVariable);
        QFETCH(QString, kept);
        QCOMPARE(Settings().text(Settings::RecordsServer), kept);
        QFETCH(QString, sharedWith);
        QCOMPARE(t.sharing.server() ? t.sharing.server()->display() : u"(none)"_qs, sharedWith);
        QFETCH(QString, said);
        QCOMPARE((child<QLabel>(*dialog, "lblProblem")->text() +
                  child<QLabel>(*dialog, "lblOverride")->text())
                     .left(said.size()),
                 said);
    }

    void testFailureWhileFetchingGivesNoModalBox()
    {
        Team t(m_unreachable);
        t.open();
        QVERIFY(t.session.openPort({33, u"/dev/ttyUSB0"_qs}));
        QVERIFY(t.session.startFetch());
        QSignalSpy failed(&t.sharing, &TeamSharing::failed);
        t.sharing.shareNow();
        QVERIFY(failed.wait(20'000));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(t.main.findChild<QMessageBox *>(u"teamNotice"_qs), nullptr);
        t.session.interruptFetch(); // the notice follows the fetch's end
        auto *notice = shown<QMessageBox>(t.main, "teamNotice");
        QCOMPARE(notice->text(), failed[0][0].toString());
        QCOMPARE(notice->isModal(), false);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestTeamWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_team_window.moc"
