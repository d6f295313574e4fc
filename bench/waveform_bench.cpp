// What the Waveform window costs the technician, on Qt's offscreen platform (or the platform
// given): the window opened and painted with a data set and a reference trace (target 150 ms),
// and a pointer move over the chart until its readout is repainted (target 8 ms). The fetch is
// the simulated meter's; the settings and profiles come from an empty temporary folder. Medians
// and fastest of N runs each.
// usage: voltrane-bench-waveform [N]   (default 30)
#include "ChartView.h"
#include "FetchFile.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "SimulatedDataSets.h"
#include "Timing.h"
#include "WaveformWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Timing::report;
using Timing::timed;

// Counts the paint events of the widget it watches.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Opens the window on the session with data set 3 behind the one shown, and lets the window
// system expose it until its chart has been painted once.
void openPainted(WaveformWindow &window)
{
    PaintCounter counter;
    auto *chart = window.findChild<ChartView *>(QStringLiteral("chart"));
    chart->installEventFilter(&counter);
    window.compareWithDataSet(2);
    window.show();
    while (counter.paints == 0)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    chart->removeEventFilter(&counter);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    FetchRecord fetch{"?MVM-2000\r", "?SSN-104233\r", {},
                      true,          "COM 1",         QDateTime::currentDateTime()};
    for (int k = 0; k < DataSets::Count; ++k)
        fetch.records[std::size_t(k)] = SimulatedDataSets::record(k + 1);
    MeterPort port;
    MeterSession session(port,
                         {.program = QStringLiteral("voltrane-meter bench"), .keepHistory = false});
    const QByteArray bytes =
        FetchFile::toJson(fetch, DataSets::of(fetch.recordViews()), QStringLiteral("bench"));
    if (const Result<> opened = session.openFetchFile(bytes, QStringLiteral("bench.vmfetch"));
        !opened) {
        std::fprintf(stderr, "%s\n", opened.error().c_str());
        return 1;
    }

    report("Waveform window opened and painted (data set + reference)",
           timed(runs,
                 [&] {
                     WaveformWindow window(session);
                     openPainted(window);
                 }),
           150);

    WaveformWindow window(session);
    openPainted(window);
    auto *chart = window.findChild<ChartView *>(QStringLiteral("chart"));
    int step = 0;
    const auto moveTo = [&](int point) {
        const QPointF at = chart->chart().toLogical(chart->chart().series[0].points[point]);
        QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
        chart->repaint();
    };
    const QString before = chart->readoutText();
    report("pointer moved to the next sample, readout repainted",
           timed(runs * 10, [&] { moveTo(20 + step++ % 150); }), 8);
    if (chart->readoutText() == before) {
        std::fprintf(stderr, "the readout did not follow the pointer\n");
        return 1;
    }
    return 0;
}
