// CPU time used by this process during one whole fetch (six one-second reply waits) against the
// meter simulator running as a separate process. The program should sit idle while it waits.
#include "FetchSequence.h"
#include "MeterPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    QProcess sim;
    sim.start(QStringLiteral(METER_SIM_PATH), {});
    if (!sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the meter simulator did not start\n");
        return 1;
    }
    const QString ready = QString::fromLocal8Bit(sim.readLine());
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(" on (\\S+) ")).match(ready);
    if (!match.hasMatch()) {
        std::fprintf(stderr, "unexpected simulator output: %s", qPrintable(ready));
        return 1;
    }

    MeterPort port;
    if (const Result<> opened = port.open({0, match.captured(1)}); !opened) {
        std::fprintf(stderr, "%s\n", opened.error().c_str());
        return 1;
    }
    FetchSequence fetch(port.device());
    int records = 0;
    QObject::connect(&fetch, &FetchSequence::recordReceived,
                     [&](int, const QByteArray &r) { records += r.size() == 222; });
    QObject::connect(&fetch, &FetchSequence::finished, &app, &QCoreApplication::quit);
    QObject::connect(&fetch, &FetchSequence::failed, &app, [&](const QString &m) {
        std::fprintf(stderr, "fetch failed: %s\n", qPrintable(m));
        app.exit(1);
    });

    const double cpuBefore = cpuMilliseconds();
    QElapsedTimer wall;
    wall.start();
    fetch.start();
    const int rc = app.exec();
    const double cpu = cpuMilliseconds() - cpuBefore;

    std::printf("one fetch: %.0f ms wall, %.1f ms CPU, %d of 4 records complete\n",
                double(wall.elapsed()), cpu, records);
    sim.terminate();
    sim.waitForFinished(3000);
    return rc;
}
