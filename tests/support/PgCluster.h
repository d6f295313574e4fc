#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

// A throwaway PostgreSQL cluster of a test's own: initdb into a temporary folder, the server (the
// test's child, with `options`, apart by blanks) on a Unix socket there, the superuser "postgres"
// trusted after the pg_hba.conf lines `hba`. The destructor stops it at once and removes the
// folder, also after a failed test; a test that dies without it (a crash, a SIGKILL) takes the
// server with it. As root, the programs run as "nobody", who owns the folder: PostgreSQL refuses
// to run as root. `error` says why the cluster cannot be used.
struct PgCluster
{
    explicit PgCluster(const QByteArray &hba = {}, int port = 5432,
                       const QString &options = u"-c fsync=off -c listen_addresses="_qs)
        : port(port), options(options)
    {
        // Debian keeps initdb and postgres off the PATH, in /usr/lib/postgresql/<version>/bin.
        const QStringList versions = QDir(u"/usr/lib/postgresql"_qs).entryList(QDir::Dirs);
        bin = u"/usr/lib/postgresql/%1/bin/"_qs.arg(versions.value(versions.size() - 1));
        QFile conf(data + u"/pg_hba.conf"_qs); // the first line that fits counts
        if (!QFileInfo(bin + u"postgres"_qs).isExecutable())
            error = u"PostgreSQL is not installed (package postgresql)"_qs;
        else if (geteuid() == 0 && chown(qPrintable(dir.path()), 65534, 65534) != 0)
            error = u"the folder cannot be given to nobody"_qs;
        else if (ran(u"initdb -U postgres --auth=trust -E UTF8 --locale=C -N -D "_qs + data) &&
                 conf.open(QIODevice::ReadWrite)) {
            const QByteArray trusted = conf.readAll();
            conf.seek(0), conf.write(hba + trusted), conf.close();
            start();
        }
    }
    ~PgCluster() { stop(); }

    bool start()
    {
        server = std::make_unique<QProcess>();
        server->setStandardOutputFile(path(u"log"_qs), QIODevice::Append);
        server->setStandardErrorFile(path(u"log"_qs), QIODevice::Append);
        // SIGQUIT (immediate shutdown) when the test ends anyhow; after the user change clears it
        server->setChildProcessModifier([test = getpid()] {
            asNobody();
            if (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != test)
                _exit(3);
        });
        server->start(
            bin + u"postgres"_qs,
            (u"-D %1 -k %2 -p %3 "_qs.arg(data, dir.path()).arg(port) + options).split(u' '));
        for (QDeadlineTimer limit(60'000); !limit.hasExpired() && running(); QThread::msleep(20))
            if (ran(u"pg_isready -q -h %1 -p %2"_qs.arg(dir.path()).arg(port)))
                return error.clear(), true;
        error = u"the server did not start: see "_qs + path(u"log"_qs);
        return server.reset(), false;
    }
    bool stop() // true once the server has stopped
    {
        if (running()) // else no pid: 0 would signal the whole group
            ::kill(pid_t(server->processId()), SIGQUIT), server->waitForFinished(30'000);
        return !running();
    }
    bool running() const { return server && server->state() != QProcess::NotRunning; }
    QString path(const QString &name) const { return dir.filePath(name); }
    // Database `db` on the Unix socket.
    QString connection(const QString &db) const
    {
        return u"host=%1 port=%2 dbname=%3 user=postgres"_qs.arg(dir.path()).arg(port).arg(db);
    }
    // Runs `sql` with psql as the superuser: its rows, a line each, values apart by "|".
    QString psql(const QString &sql, const QString &db = u"postgres"_qs)
    {
        return run(u"psql -XAtq -v ON_ERROR_STOP=1 -U postgres -h "_qs + dir.path(),
                   {u"-p"_qs, QString::number(port), u"-d"_qs, db, u"-c"_qs, sql});
    }
    // Runs the PostgreSQL program that `command` names (its words apart by blanks) with `more`:
    // what it printed, or "error: " and why.
    QString run(const QString &command, const QStringList &more = {})
    {
        QProcess process;
        process.setChildProcessModifier(&PgCluster::asNobody);
        const QStringList words = command.split(u' ');
        process.start(bin + words.first(), words.mid(1) + more);
        if (process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
        error = command + u": "_qs + QString::fromLocal8Bit(process.readAllStandardError());
        return u"error: "_qs + error;
    }
    bool ran(const QString &command, const QStringList &more = {})
    {
        return !run(command, more).startsWith(u"error: ");
    }
    static void asNobody() // in a child, before its program starts: as root, become "nobody"
    {
        if (geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
            _exit(3);
    }

    QTemporaryDir dir;
    QString data = dir.filePath(u"data"_qs);
    QString bin;
    int port;
    QString options;
    std::unique_ptr<QProcess> server;
    QString error;
};

// In a test's initTestCase() (which includes QSqlDatabase): why the cluster or Qt's PostgreSQL
// driver cannot be used fails the run under CI=true and skips the tests otherwise.
#define REQUIRE_PG_CLUSTER(pg)                                                                     \
    do {                                                                                           \
        if ((pg).error.isEmpty() && !QSqlDatabase::isDriverAvailable(u"QPSQL"_qs))                 \
            (pg).error = u"Qt's PostgreSQL driver is missing (package libqt6sql6-psql)"_qs;        \
        if (!(pg).error.isEmpty() && qgetenv("CI") == "true")                                      \
            QFAIL(qPrintable((pg).error));                                                         \
        if (!(pg).error.isEmpty())                                                                 \
            QSKIP(qPrintable((pg).error));                                                         \
    } while (false)
