#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <grp.h>
#include <unistd.h>

// A throwaway PostgreSQL cluster of a test's own: initdb into a temporary folder, the server on a
// Unix socket there with the server's `options`, the superuser "postgres" trusted after the
// pg_hba.conf lines `hba`. The destructor stops it at once (pg_ctl stop -m immediate) and removes
// the folder, also after a failed test. As root, the programs run as "nobody", who owns the
// folder: PostgreSQL refuses to run as root. `error` says why the cluster cannot be used.
struct PgCluster
{
    explicit PgCluster(const QByteArray &hba = {}, int port = 5432,
                       const QString &options = u"-c fsync=off -c listen_addresses=''"_qs)
        : port(port), options(options)
    {
        // Debian keeps initdb and pg_ctl off the PATH, in /usr/lib/postgresql/<version>/bin.
        const QStringList versions = QDir(u"/usr/lib/postgresql"_qs).entryList(QDir::Dirs);
        bin = u"/usr/lib/postgresql/%1/bin/"_qs.arg(versions.value(versions.size() - 1));
        QFile conf(data + u"/pg_hba.conf"_qs); // the first line that fits counts
        if (!QFileInfo(bin + u"pg_ctl"_qs).isExecutable())
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
        const QString on = u"-k %1 -p %2 "_qs.arg(dir.path()).arg(port) + options;
        return running = ran(u"pg_ctl start -w -l %1 -D %2"_qs.arg(path(u"log"_qs), data),
                             {u"-o"_qs, on});
    }
    bool stop() { return !(running = running && !ran(u"pg_ctl stop -m immediate -D "_qs + data)); }
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
        process.setChildProcessModifier([] {
            if (geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
                _exit(3);
        });
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

    QTemporaryDir dir;
    QString data = dir.filePath(u"data"_qs);
    QString bin;
    int port;
    QString options;
    bool running = false;
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
