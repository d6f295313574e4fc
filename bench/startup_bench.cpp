// How long the program takes to show its first window, and how much memory it holds then,
// beside a bare Qt window of the same size started the same way: the ratio is the figure.
//
//   xvfb-run -a build/bench/voltrane-bench-startup [runs]
//
// Each run starts the program as a separate process, with its own empty settings, records and
// history folders made on the first run and kept for the others (a program that has been used
// once), and waits on the X server for its first top-level window to be mapped and painted. Then
// it reads the process's resident memory and the shared libraries it has mapped, and the
// resident memory again two seconds later (after the work the program leaves until its window
// is on the screen: the records opened, the history listed), then stops it. The programs take
// turns, so that all see the same machine, and the time's ratio is the median of the rounds'
// ratios. A third, the bare window with one caption, shows what words alone cost a window (its
// fonts), for comparison.
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct Start
{
    double firstWindowMs = 0;
    double residentMb = 0; // when the first window is painted
    int sharedLibraries = 0;
    double settledMb = 0; // two seconds later
};

// The resident set of a running process, in MB.
double residentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression rss(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
    const auto match = rss.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : 0;
}

// The shared libraries a running process has mapped (Qt's plugins included).
QSet<QString> sharedLibraries(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QSet<QString> libraries;
    if (!maps.open(QIODevice::ReadOnly))
        return libraries;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const int path = line.indexOf('/');
        if (path >= 0 && line.contains(".so"))
            libraries.insert(QString::fromUtf8(line.mid(path)));
    }
    return libraries;
}

// Waits for the first top-level window mapped on the X server after the call began.
class MapWatch
{
public:
    MapWatch() : m_connection(xcb_connect(nullptr, nullptr), &xcb_disconnect)
    {
        if (xcb_connection_has_error(m_connection.get()))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection.get())).data->root;
        const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection.get(), m_root, XCB_CW_EVENT_MASK, &events);
        xcb_flush(m_connection.get());
    }
    bool connected() const { return m_root != 0; }

    // Forgets the windows mapped so far.
    void drain()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection.get()))
            std::free(event);
    }

    // True once a top-level window was mapped and painted (a pixel near its corner is no longer
    // the black of a window nothing has drawn on yet), false when `limitMs` passed first.
    bool waitForPaintedWindow(int limitMs)
    {
        QElapsedTimer waited;
        waited.start();
        xcb_window_t mapped = 0;
        while (waited.elapsed() < limitMs) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection.get())) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !mapped)
                    mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
                std::free(event);
            }
            if (mapped && painted(mapped))
                return true;
            QThread::usleep(1000);
        }
        return false;
    }

private:
    bool painted(xcb_window_t window)
    {
        xcb_get_image_reply_t *image = xcb_get_image_reply(
            m_connection.get(),
            xcb_get_image(m_connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, window, 4, 4, 1, 1, ~0u),
            nullptr);
        if (!image)
            return false;
        const uint8_t *pixel = xcb_get_image_data(image);
        const bool drawn =
            xcb_get_image_data_length(image) >= 3 && (pixel[0] | pixel[1] | pixel[2]);
        std::free(image);
        return drawn;
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> m_connection;
    xcb_window_t m_root = 0;
};

std::optional<Start> startOnce(MapWatch &watch, const QString &program,
                               const QStringList &arguments, const QString &home)
{
    watch.drain();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home + QStringLiteral("/Documents"));
    // A desktop session's runtime folder (without one Qt warns on each start and picks its own).
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted())
        return std::nullopt;
    if (!watch.waitForPaintedWindow(10000)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    Start start;
    start.firstWindowMs = double(clock.nsecsElapsed()) / 1e6;
    start.residentMb = residentMb(process.processId());
    start.sharedLibraries = int(sharedLibraries(process.processId()).size());
    QThread::msleep(2000);
    start.settledMb = residentMb(process.processId());
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
    return start;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    MapWatch watch;
    if (!watch.connected()) {
        std::fputs("voltrane-bench-startup needs an X server: run it as "
                   "xvfb-run -a voltrane-bench-startup\n",
                   stderr);
        return 2;
    }
    const QTemporaryDir programHome;
    const QTemporaryDir bareHome;
    struct Measured
    {
        QString program;
        QStringList arguments;
        QString home;
        std::vector<Start> starts;
    };
    Measured measured[] = {
        {QStringLiteral(VOLTRANE_PROGRAM), {}, programHome.path(), {}},
        {QStringLiteral(VOLTRANE_BARE_WINDOW), {}, bareHome.path(), {}},
        {QStringLiteral(VOLTRANE_BARE_WINDOW), {QStringLiteral("--caption")}, bareHome.path(), {}}};
    for (int run = -1; run < runs; ++run) { // run -1 makes the folders and warms the caches
        for (Measured &m : measured) {
            const std::optional<Start> start = startOnce(watch, m.program, m.arguments, m.home);
            if (!start) {
                std::fprintf(stderr, "%s did not show a window within 10 s\n",
                             qPrintable(m.program));
                return 1;
            }
            if (run >= 0)
                m.starts.push_back(*start);
        }
    }
    const auto medianOf = [](const Measured &m, auto field) {
        std::vector<double> values;
        for (const Start &s : m.starts)
            values.push_back(double(s.*field));
        return median(values);
    };
    const Measured &program = measured[0];
    const Measured &bare = measured[1];
    const double time = medianOf(program, &Start::firstWindowMs);
    const double bareTime = medianOf(bare, &Start::firstWindowMs);
    // The ratio of each round (the programs take turns), so that a moment when the whole machine
    // is slower weighs on one round, not on one program's median.
    std::vector<double> roundRatios;
    for (size_t round = 0; round < program.starts.size(); ++round)
        roundRatios.push_back(program.starts[round].firstWindowMs /
                              bare.starts[round].firstWindowMs);
    const double ratio = median(roundRatios);
    const auto [fewest, most] = std::minmax_element(roundRatios.begin(), roundRatios.end());
    const double memory = medianOf(program, &Start::residentMb);
    const double bareMemory = medianOf(bare, &Start::residentMb);
    std::printf("%d runs each, medians\n", runs);
    std::printf("first window painted  program %7.1f ms   bare window %7.1f ms   x%.2f (target "
                "x1.5)%s\n",
                time, bareTime, ratio, ratio > 1.5 ? "  OVER" : "");
    std::printf("                      (the rounds' ratios: median x%.2f, from x%.2f to x%.2f)\n",
                ratio, *fewest, *most);
    std::printf("resident memory       program %7.1f MB   bare window %7.1f MB   x%.2f (target "
                "x1.3)%s\n",
                memory, bareMemory, memory / bareMemory, memory / bareMemory > 1.3 ? "  OVER" : "");
    std::printf("two seconds later     program %7.1f MB   bare window %7.1f MB   x%.2f\n",
                medianOf(program, &Start::settledMb), medianOf(bare, &Start::settledMb),
                medianOf(program, &Start::settledMb) / medianOf(bare, &Start::settledMb));
    const Measured &captioned = measured[2];
    std::printf("(a bare window with one caption: %.1f ms, %.1f MB; the program x%.2f, x%.2f of "
                "it)\n",
                medianOf(captioned, &Start::firstWindowMs), medianOf(captioned, &Start::residentMb),
                time / medianOf(captioned, &Start::firstWindowMs),
                memory / medianOf(captioned, &Start::residentMb));
    std::printf("shared libraries      program %7.0f      bare window %7.0f\n",
                medianOf(program, &Start::sharedLibraries),
                medianOf(bare, &Start::sharedLibraries));
    return 0;
}
