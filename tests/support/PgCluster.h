#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <grp.h>
#include <unistd.h>

// A throwaway PostgreSQL cluster of a test's own: initdb into a temporary folder, the server on a
// Unix socket in that folder (and on 127.0.0.1 when given a port), the superuser "postgres"
// trusted, and the lines `hba` before that in pg_hba.conf. The destructor stops it at once (pg_ctl
// stop -m immediate) and removes the folder, also after a failed test. As root, the programs run as
// "nobody", who owns the folder: PostgreSQL refuses to run as root.
class PgCluster
{
public:
    // Debian keeps initdb and pg_ctl off the PATH, in /usr/lib/postgresql/<version>/bin: the
    // newest; empty when there is none.
    static QString binDir()
    {
        const QDir root(u"/usr/lib/postgresql"_qs);
        QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::ranges::sort(versions, std::greater{}, [](const QString &v) { return v.toDouble(); });
        for (const QString &v : versions) {
            if (QFileInfo(root.filePath(v + u"/bin/pg_ctl"_qs)).isExecutable())
                return root.filePath(v + u"/bin"_qs);
        }
        return {};
    }

    explicit PgCluster(int tcpPort = 0, const QString &hba = {}) : m_port(tcpPort ? tcpPort : 5432)
    {
        if (m_bin.isEmpty()) {
            error = u"PostgreSQL is not installed (package postgresql)"_qs;
            return;
        }
        if (geteuid() == 0 && chown(qPrintable(m_dir.path()), 65534, 65534) != 0)
            error = u"the folder cannot be given to nobody"_qs;
        if (!ok() || !run(u"initdb"_qs,
                          {u"-D"_qs, path(u"data"_qs), u"-U"_qs, u"postgres"_qs, u"--auth=trust"_qs,
                           u"-E"_qs, u"UTF8"_qs, u"--locale=C"_qs, u"--no-sync"_qs}))
            return;
        // The first line that fits counts in pg_hba.conf, the last one in postgresql.conf.
        const auto add = [&](const QString &name, const QString &lines, bool first) {
            QFile file(path(name));
            const QByteArray was = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            file.close();
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(first ? lines.toUtf8() + was : was + lines.toUtf8()) < 0)
                error = name + u": "_qs + file.errorString();
        };
        add(u"data/pg_hba.conf"_qs, hba, true);
        add(u"data/postgresql.conf"_qs,
            u"unix_socket_directories = '%1'\nlisten_addresses = '%2'\nport = %3\n"
            "fsync = off\n"_qs.arg(m_dir.path(), tcpPort ? u"127.0.0.1"_qs : QString())
                .arg(m_port),
            false);
        if (ok())
            start();
    }
    ~PgCluster() { stop(); }
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    bool ok() const { return error.isEmpty(); }
    bool start()
    {
        return m_running = run(u"pg_ctl"_qs, {u"start"_qs, u"-w"_qs, u"-D"_qs, path(u"data"_qs),
                                              u"-l"_qs, path(u"log"_qs)});
    }
    bool stop()
    {
        const bool stopped = !m_running || run(u"pg_ctl"_qs, {u"stop"_qs, u"-m"_qs, u"immediate"_qs,
                                                              u"-D"_qs, path(u"data"_qs)});
        m_running = !stopped;
        return stopped;
    }
    // The cluster's folder, and a file in it.
    QString folder() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // The connection string of database `db` on the Unix socket.
    QString connection(const QString &db, const QString &user = u"postgres"_qs) const
    {
        return u"host=%1 port=%2 dbname=%3 user=%4"_qs.arg(m_dir.path()).arg(m_port).arg(db, user);
    }
    // Runs `sql` with psql as the superuser on database `db`: its rows, a line each, values apart
    // by "|"; "error: …" when it fails.
    QString psql(const QString &sql, const QString &db = u"postgres"_qs)
    {
        QByteArray out;
        return run(u"psql"_qs,
                   {u"-XAtq"_qs, u"-v"_qs, u"ON_ERROR_STOP=1"_qs, u"-h"_qs, m_dir.path(), u"-p"_qs,
                    QString::number(m_port), u"-U"_qs, u"postgres"_qs, u"-d"_qs, db, u"-c"_qs, sql},
                   &out)
                   ? QString::fromUtf8(out).trimmed()
                   : u"error: "_qs + std::exchange(error, {});
    }

    QString error; // why the cluster cannot be used; empty when it can

private:
    bool run(const QString &tool, const QStringList &args, QByteArray *out = nullptr)
    {
        QProcess process;
        process.setChildProcessModifier([] {
            if (geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
                _exit(3);
        });
        process.start(m_bin + u'/' + tool, args);
        if (process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0) {
            if (out)
                *out = process.readAllStandardOutput();
            return true;
        }
        error = tool + u": "_qs + QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return false;
    }

    QTemporaryDir m_dir;
    QString m_bin = binDir();
    int m_port;
    bool m_running = false;
};
