// The team's records on a throwaway PostgreSQL cluster of its own on loopback (127.0.0.1, the
// server's defaults, fsync on): sharing 1,000 pending records, and searching 100,000 records
// by energizer serial, as text and for a trend. Medians of several runs.
#include "PgCluster.h"
#include "SampleRecords.h"
#include "TeamStore.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void report(const char *what, double ms, double target = 0)
{
    Timing::figure(what, ms, target);
}

constexpr int Shared = 1000;
constexpr int OnServer = 100'000;
constexpr int Energizers = 1000; // so that a serial has about 100 records

double median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double median(int runs, const std::function<void()> &work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

int fail(const std::string &why)
{
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
}

// Record n of run `run`, of energizer "E-<n mod 1000>".
TestRecord benchRecord(int run, int n)
{
    return record(u"M %1"_qs.arg(100 + n % 13 * 50),
                  u"E-%1"_qs.arg(n % Energizers, 5, 10, QChar(u'0')),
                  u"Müller Hof %1"_qs.arg(n % 40), at(1 + run, 8, 0).addSecs(60 * n), 50 + n % 60);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int port = 20000 + int(QCoreApplication::applicationPid() % 20000);
    PgCluster pg({}, port, u"-c listen_addresses=127.0.0.1"_qs);
    if (!pg.error.isEmpty())
        return fail(pg.error.toStdString());
    if (const QString made = pg.psql(u"CREATE DATABASE bench"_qs); !made.isEmpty())
        return fail(made.toStdString());
    const QString connection = u"host=127.0.0.1 port=%1 dbname=bench user=postgres"_qs.arg(port);
    Result<std::unique_ptr<TeamStore>> team = TeamStore::connect(*TeamServer::parse(connection));
    if (!team)
        return fail(team.error());

    // Each run shares a store of its own, made beforehand: 1,000 records, 50 a transaction.
    std::vector<double> sharing;
    for (int run = 0; run < 5; ++run) {
        auto local = RecordStore::open(pg.path(u"local-%1.sqlite"_qs.arg(run)));
        QList<TestRecord> records;
        for (int n = 0; n < Shared; ++n)
            records << benchRecord(run, n);
        if (!local || !(*local)->add(records))
            return fail(local.error());
        QElapsedTimer timer;
        timer.start();
        const Result<ShareReport> shared = (*team)->share(**local);
        sharing.push_back(timer.nsecsElapsed() / 1e6);
        if (!shared || shared->sent != Shared)
            return fail(shared ? "not all were sent" : shared.error());
    }
    report("share 1,000 pending records to a server on loopback", median(sharing), 2000);

    // The rest of the 100,000 straight into the server, like the shared ones.
    const QString filled = pg.psql(
        uR"(INSERT INTO tests (id, fetch_sha256, data_set, energizer_model, energizer_serial,
            customer, date_text, recorded_text, recorded, technician, meter_model, meter_serial,
            volt_count, energy_count, interval_ms, pulse_width_us, load_ohms,
            energizer_serial_folded, energizer_model_folded, customer_folded)
        SELECT gen_random_uuid(), (SELECT min(sha256) FROM fetches), 1 + i % 4,
            'M ' || (100 + i % 13 * 50), 'E-' || lpad((i % %1)::text, 5, '0'),
            'Müller Hof ' || i % 40, '2026-02-01',
            to_char(t, 'YYYY-MM-DD"T"HH24:MI:SS.MS') || '+00:00', t, 'bench', 'VM-2000', 'SN-1',
            50 + i % 60, 15, 1000, 60, 500, 'e-' || lpad((i % %1)::text, 5, '0'),
            'm ' || (100 + i % 13 * 50), 'müller hof ' || i % 40
        FROM generate_series(1, %2) AS i,
            LATERAL (SELECT timestamptz '2026-02-01 08:00+00' + i * interval '1 minute') AS s(t);
        ANALYZE tests)"_qs.arg(Energizers)
            .arg(OnServer - 5 * Shared),
        u"bench"_qs);
    if (!filled.isEmpty())
        return fail(filled.toStdString());

    int found = 0;
    const double bySerial = median(21, [&] {
        found = int((*team)->find({{}, u"e-00042"_qs})->size());
    });
    report(qPrintable(u"search 100,000 team records by energizer serial (%1 found)"_qs.arg(found)),
           bySerial, 50);
    const double trend =
        median(21, [&] { found = int((*team)->trend(u"E-00042"_qs)->points.size()); });
    report(qPrintable(u"an energizer's trend from 100,000 team records (%1 points)"_qs.arg(found)),
           trend, 50);
    for (const int limit : {100, 0}) {
        const double text = median(5, [&] {
            found = int((*team)->find({u"hof 7"_qs, {}, {}, {}, limit})->size());
        });
        report(qPrintable(u"search 100,000 team records for a text (%1 found)"_qs.arg(found)),
               text);
    }
    return 0;
}
