// Time to write the report page into a PDF file, which is what "Save PDF…" costs the operator
// (and, without the file, what is made for the print service): drawing the page, making the PDF
// in memory and saving it whole. Target: 150 ms.
// usage: voltrane-bench-pdf [N]   (N files one after the other, default 30)
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "ReportValues.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    // Drawing texts needs Qt's fonts, not a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    // A 7.3 kV pulse with every value line filled, like the simulator's first data set.
    ReportValues values;
    values.PrnVoltCount = 73;
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = std::int16_t(i < 40 ? 127 + 3 * i : 127 - (i - 40) / 2);
    values.PrnVoltage = "Voltage (KV): 7.3", values.PrnEnergy = "Energy (J): 1.5";
    values.PrnInterval = "Interval (s): 1.0", values.PrnPulseWidth = "Pulse Width (µs): 60";
    values.PrnLoad = "Load (Ohms): No Load", values.PrnModel = "Model No.: VM-2000";
    values.PrnSerial = "Serial No.: 1";
    const ReportDetails details{"EF-200", "A1234", "07/12/26"};

    QTemporaryDir dir;
    const QString file = dir.filePath("report.pdf");
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (const Result<> written = ReportPrinter::writePdf(file, details, values); !written) {
            std::fprintf(stderr, "%s\n", written.error().c_str());
            return 1;
        }
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double first = ms.front(); // includes loading the fonts
    std::sort(ms.begin(), ms.end());
    std::printf("report PDF into a file, %d runs: median %.1f ms, min %.1f ms, first %.1f ms "
                "(%lld bytes)\n",
                runs, ms[ms.size() / 2], ms.front(), first, QFileInfo(file).size());
    return 0;
}
