// The records window with 10,000 test records, on Qt's offscreen platform (or the platform
// given): the window made, shown, filled and painted (target 150 ms); one search keystroke until
// the table is repainted (target 20 ms); a trend of 500 records read, charted and painted (target
// 50 ms). Medians and slowest of several runs, on a real store.
// usage: voltrane-bench-records-window [--picture FILE.png]
//   --picture: instead, a store of 40 records and the window as it shows one energizer's trend,
//   saved as a PNG (run with QT_SCALE_FACTOR=2 for a screen scaled by two).
#include "ChartView.h"
#include "MainWindow.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "RecordTableModel.h"
#include "RecordsWindow.h"
#include "SimulatedDataSets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

const QString Customers[] = {QStringLiteral("Müller Hof"),  QStringLiteral("Über Farm"),
                             QStringLiteral("Green Acres"), QStringLiteral("Hill Station"),
                             QStringLiteral("Riverside"),   QStringLiteral("Ødegård")};

// Record n of energizer `serial`: the simulated meter's data set 1 + n % 4 with `volts` tenths of
// a kV, made n times `hours` after the first.
TestRecord record(int n, const QString &serial, int volts, int hours = 1)
{
    FetchRecord f{"?MVM-2000\r", "?SSN-104233\r", {}, true, QStringLiteral("COM 33"), {}};
    f.saved = QDateTime(QDate(2025, 1, 6), QTime(8, 0), QTimeZone(3600)).addSecs(3600 * hours * n);
    for (int i = 0; i < 4; ++i) {
        QByteArray r = SimulatedDataSets::record(i + 1);
        r[206] = char(volts % 256), r[207] = char(volts / 256);
        f.records[i] = r;
    }
    TestRecord t = *TestRecord::ofFetch(
        FetchFile::toJson(f, DataSets::of(f.recordViews()), QStringLiteral("bench")), 1 + n % 4);
    t.energizerModel = QStringLiteral("M %1").arg(100 + n % 13 * 50);
    t.energizerSerial = serial;
    t.customer = Customers[n % std::size(Customers)] + QStringLiteral(" %1").arg(n % 40);
    t.recorded = f.saved.addSecs(60);
    t.dateText = t.recorded.date().toString(QStringLiteral("dd/MM/yy"));
    return t;
}

bool fill(const QString &path, int count, const std::function<TestRecord(int)> &make)
{
    auto store = RecordStore::open(path);
    QList<TestRecord> batch;
    for (int n = 0; store && n < count; ++n) {
        batch.append(make(n));
        if (batch.size() == 500 || n + 1 == count) {
            if (const Result<> added = (*store)->add(batch); !added)
                return std::fprintf(stderr, "%s\n", added.error().c_str()), false;
            batch.clear();
        }
    }
    return store || (std::fprintf(stderr, "%s\n", store.error().c_str()), false);
}

// Wall-clock and processor time of one run, in ms: on a busy machine the wall-clock time is the
// operator's wait, the processor time what the program itself spent.
struct Run
{
    double wall, cpu;
};

void report(const char *what, std::vector<Run> runs, double target)
{
    const auto median = [&](double Run::*of) {
        std::vector<double> ms;
        for (const Run &r : runs)
            ms.push_back(r.*of);
        std::sort(ms.begin(), ms.end());
        return std::pair(ms[ms.size() / 2], ms.back());
    };
    const auto [wall, slowest] = median(&Run::wall);
    const auto [cpu, cpuSlowest] = median(&Run::cpu);
    std::printf("%-48s median %6.1f ms (processor %6.1f), slowest %6.1f ms (processor %6.1f) "
                "(target %g ms)%s\n",
                what, wall, cpu, slowest, cpuSlowest, target, wall > target ? "  OVER" : "");
}

Run timed(const std::function<void()> &work)
{
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    };
    QElapsedTimer timer;
    timer.start();
    const double before = cpu();
    work();
    return {timer.nsecsElapsed() / 1e6, cpu() - before};
}

// Selects the first row whose energizer serial is `serial`.
void select(QTableView &table, const QString &serial)
{
    const auto found = table.model()->match(table.model()->index(0, 2), Qt::DisplayRole, serial, 1,
                                            Qt::MatchExactly);
    if (!found.isEmpty())
        table.setCurrentIndex(found.first());
}

int picture(MeterSession &session, MainWindow &main, const QString &file)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    // Every third record is of FX-2207, whose voltage falls by more than 2.0 kV.
    const int volts[] = {92, 91, 93, 90, 91, 89, 88, 89, 86, 84, 83, 80, 76, 70};
    if (!fill(path, 42, [&](int n) {
            return n % 3
                       ? record(n, QStringLiteral("E-%1").arg(n % 5, 4, 10, QChar('0')), 70 + n, 20)
                       : record(n, QStringLiteral("FX-2207"), volts[n / 3], 20);
        }))
        return 1;
    RecordsWindow window(session, {path, dir.filePath(QStringLiteral("fetches"))}, &main);
    window.resize(1100, 720);
    window.show();
    select(*window.findChild<QTableView *>(QStringLiteral("tblRecords")),
           QStringLiteral("FX-2207"));
    return window.grab().save(file) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MeterPort port;
    MeterSession session(port, {.program = QStringLiteral("bench"), .keepHistory = false});
    MainWindow main(session);
    if (argc == 3 && QByteArray(argv[1]) == "--picture")
        return picture(session, main, QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    // Every 20th record is of TREND-1 and every 20th but 10 of TREND-2, 500 each, as an
    // energizer's readings go: falling slowly, a little up and down from one test to the next.
    // TREND-3's 500 swing over the whole chart from one test to the next: the worst to draw.
    if (!fill(path, 10'000, [](int n) {
            const int k = n / 20;
            switch (n % 20) {
            case 0:
            case 10:
                return record(n, n % 20 ? QStringLiteral("TREND-2") : QStringLiteral("TREND-1"),
                              85 - k / 50 + k * 37 % 7 - 3);
            case 5:
                return record(n, QStringLiteral("TREND-3"), k % 2 ? 40 : 100);
            default:
                return record(n, QStringLiteral("E-%1").arg(n % 1000, 5, 10, QChar('0')),
                              50 + n % 60);
            }
        }))
        return 1;
    const RecordsWindow::Places places{path, dir.filePath(QStringLiteral("fetches"))};

    std::vector<Run> open;
    for (int run = 0; run < 7; ++run) {
        RecordsWindow *window = nullptr;
        open.push_back(timed([&] {
            window = new RecordsWindow(session, places, &main);
            window->show();
            (void)window->grab(); // painted, as the operator sees it
        }));
        const int rows =
            window->findChild<QTableView *>(QStringLiteral("tblRecords"))->model()->rowCount();
        if (rows != 10'000)
            return std::fprintf(stderr, "the window shows %d rows\n", rows), 1;
        delete window;
    }
    report("records window made, shown, filled, painted", open, 150);

    RecordsWindow window(session, places, &main);
    window.show();
    auto *search = window.findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    auto *table = window.findChild<QTableView *>(QStringLiteral("tblRecords"));
    std::vector<Run> keys;
    for (int run = 0; run < 3; ++run) {
        for (const QChar c : QStringLiteral("MÜLLER HOF 1"))
            keys.push_back(timed([&] {
                search->insert(c);
                (void)table->grab();
            }));
        while (!search->text().isEmpty())
            keys.push_back(timed([&] {
                search->backspace();
                (void)table->grab();
            }));
    }
    report("one search keystroke, table repainted", keys, 20);

    // The trend of TREND-1 or of TREND-3 after another energizer's.
    auto *chart = window.findChild<ChartView *>(QStringLiteral("chtTrend"));
    for (const QString &serial : {QStringLiteral("TREND-1"), QStringLiteral("TREND-3")}) {
        std::vector<Run> trends;
        for (int run = 0; run < 11; ++run) {
            select(*table, QStringLiteral("TREND-2"));
            trends.push_back(timed([&] {
                select(*table, serial);
                (void)chart->grab();
            }));
        }
        if (chart->chart().series.empty() || chart->chart().series.front().points.size() != 500)
            return std::fprintf(stderr, "the trend lacks points\n"), 1;
        report(serial.endsWith(u'1') ? "trend of 500 records read, charted, painted"
                                     : "the same, each reading swinging over the chart",
               trends, 50);
    }
    return 0;
}
