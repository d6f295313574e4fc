// The test records with 10,000 of them: opening the store, filling the records window's model,
// one search keystroke, a trend of 500 records, reading every record for a JSON listing, and
// taking 10,000 kept fetches into a new store. Medians of several runs, on real files.
#include "FetchFile.h"
#include "RecordStore.h"
#include "RecordTableModel.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void report(const char *what, double ms, double target = 0)
{
    Timing::figure(what, ms, target);
}

constexpr int Records = 10'000;
const QString Program = QStringLiteral("voltrane-meter 0.2.0");
const QString Customers[] = {QStringLiteral("Müller Hof"),  QStringLiteral("Über Farm"),
                             QStringLiteral("Green Acres"), QStringLiteral("Hill Station"),
                             QStringLiteral("Riverside"),   QStringLiteral("Ødegård")};

// Fetch n: four data sets with their own counts, kept n minutes after the first.
FetchRecord fetch(int n)
{
    FetchRecord f;
    f.modelReply = "?MVM-2000\r";
    f.serialReply = "?SSN-" + QByteArray::number(n % 7) + '\r';
    f.port = QStringLiteral("COM 33");
    f.saved = QDateTime(QDate(2026, 1, 1), QTime(8, 0), QTimeZone(3600)).addSecs(60 * n);
    for (int i = 0; i < 4; ++i) {
        QByteArray r = "?" + QByteArray::number(i + 1);
        for (int s = 0; s < 200; ++s)
            r += char(127 + (s * 7 + n) % 100);
        const int volts = 50 + (n + i) % 60;
        const unsigned char counts[] = {0xE8, 0x03, 0x3C, 0x00, (unsigned char)volts,
                                        0,    0x0F, 0x00, 0xF4, 0x01};
        f.records[i] =
            r + QByteArray(reinterpret_cast<const char *>(counts), 10) + QByteArray(10, '\0');
    }
    return f;
}

// Record n; every 20th is of the one energizer whose trend is measured.
TestRecord record(int n)
{
    const FetchRecord f = fetch(n);
    Result<TestRecord> r = TestRecord::ofFetch(
        FetchFile::toJson(f, DataSets::of(f.recordViews()), Program), 1 + n % 4);
    r->energizerModel = QStringLiteral("M %1").arg(100 + n % 13 * 50);
    r->energizerSerial = n % 20 ? QStringLiteral("E-%1").arg(n % 1000, 5, 10, QChar('0'))
                                : QStringLiteral("TREND-1");
    r->customer = Customers[n % std::size(Customers)] + QStringLiteral(" %1").arg(n % 40);
    r->dateText = r->recorded.date().toString(Qt::ISODate);
    r->recorded = fetch(n).saved.addSecs(30);
    return *r;
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
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

bool fail(const std::string &why)
{
    std::fprintf(stderr, "%s\n", why.c_str());
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir; // the data home: the store where the command line finds it
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("VOLTRANE_BENCH_KEEP"));
    if (!dir.autoRemove())
        std::printf("the data home stays: %s\n", qPrintable(dir.path()));
    QDir(dir.path()).mkpath(QStringLiteral("voltrane-meter"));
    const QString path = dir.filePath(QStringLiteral("voltrane-meter/records.sqlite"));
    {
        auto store = RecordStore::open(path);
        if (!store)
            return fail(store.error()), 1;
        QList<TestRecord> batch;
        for (int n = 0; n < Records; ++n) {
            batch.append(record(n));
            if (batch.size() == 500 || n + 1 == Records) {
                if (const Result<> added = (*store)->add(batch); !added)
                    return fail(added.error()), 1;
                batch.clear();
            }
        }
    }
    std::printf("%d records, %lld bytes\n", Records, QFileInfo(path).size());
    report("voltrane-meter-cli records --json, the whole program",
           median(5,
                  [&] {
                      QProcess cli;
                      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                      env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
                      cli.setProcessEnvironment(env);
                      cli.start(QStringLiteral(VOLTRANE_CLI), {"records", "--json"});
                      if (!cli.waitForFinished(60'000) || cli.exitCode() != 0 ||
                          QJsonDocument::fromJson(cli.readAllStandardOutput()).array().size() !=
                              Records)
                          fail("the command line did not list the records");
                  }),
           300);

    std::unique_ptr<RecordStore> store;
    report("open the store (schema, quick_check)",
           median(5,
                  [&] {
                      store.reset();
                      store = std::move(*RecordStore::open(path));
                  }),
           1000);
    report("fill the model with all 10,000 records",
           median(9,
                  [&] {
                      RecordTableModel model; // nothing read before
                      if (!model.load(*store, {}) || model.rowCount() != Records)
                          fail("the model was not filled");
                  }),
           150);
    RecordTableModel model;
    (void)model.load(*store, {});
    for (const char *text : {"MÜLLER HOF 1", "e-0012", "m 1", "m"}) {
        RecordQuery query;
        query.text = QString::fromUtf8(text);
        const double ms = median(21, [&] { (void)model.load(*store, query); });
        const QByteArray what = "one search keystroke, \"" + QByteArray(text) +
                                "\": " + QByteArray::number(model.rowCount()) + " rows";
        report(what.constData(), ms, 20);
    }
    report("sort the model by energizer serial",
           median(9,
                  [&] {
                      model.sort(RecordTableModel::EnergizerSerial, Qt::AscendingOrder);
                      model.sort(RecordTableModel::Recorded, Qt::DescendingOrder);
                  }) /
               2,
           150);
    report("trend of 500 records",
           median(21,
                  [&] {
                      if (store->trend(QStringLiteral(" trend-1"))->points.size() != 500)
                          fail("the trend lacks points");
                  }),
           50);
    for (const bool files : {false, true}) {
        report(files ? "read all 10,000 records with their fetch files, as JSON"
                     : "read all 10,000 records for a JSON listing",
               median(5,
                      [&] {
                          RecordQuery query;
                          query.withFetchFiles = files;
                          QJsonArray list;
                          const Result<QList<TestRecord>> found = store->find(query);
                          for (const TestRecord &r : *found) {
                              QJsonObject o{{"id", r.id},
                                            {"recorded", r.recorded.toString(Qt::ISODateWithMs)},
                                            {"energizerModel", r.energizerModel},
                                            {"energizerSerial", r.energizerSerial},
                                            {"customer", r.customer},
                                            {"meterSerial", r.meterSerial},
                                            {"dataSet", r.dataSet},
                                            {"voltageKV", r.voltCount / 10.0},
                                            {"energyJ", r.energyCount / 10.0},
                                            {"intervalMs", r.intervalMs},
                                            {"pulseWidthUs", r.pulseWidthUs},
                                            {"loadOhms", r.loadOhms}};
                              if (files)
                                  o.insert("fetch", QString::fromLatin1(r.fetchFile.toBase64()));
                              list.append(o);
                          }
                          if (QJsonDocument(list).toJson(QJsonDocument::Compact).size() < Records)
                              fail("the listing is short");
                      }),
               files ? 0 : 300);
    }
    store.reset();

    const QString history = dir.filePath(QStringLiteral("fetches"));
    QDir().mkpath(history);
    for (int n = 0; n < Records; ++n) {
        const FetchRecord f = fetch(n);
        const Result<QString> kept =
            FetchFile::keep(FetchFile::toJson(f, DataSets::of(f.recordViews()), Program),
                            FetchFile::fileName(f.saved, f.serialReply), history);
        if (!kept)
            return fail(kept.error()), 1;
    }
    auto fresh = RecordStore::open(dir.filePath(QStringLiteral("fresh.sqlite")));
    QElapsedTimer timer;
    timer.start();
    const Result<Listing> listed = (*fresh)->listKeptFetches(history);
    report("list 10,000 kept fetches into a new store", timer.nsecsElapsed() / 1e6, 20'000);
    timer.restart();
    const Result<Listing> again = (*fresh)->listKeptFetches(history);
    report("list them again at the next start (all known)", timer.nsecsElapsed() / 1e6, 1000);
    if (!listed || listed->added != Records || !again || again->known != Records)
        return fail("the listing missed fetches"), 1;
    return 0;
}
