#pragma once

// What the benchmarks share: timing a piece of work over several runs, and printing a figure
// beside its target.
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace Timing {

// The milliseconds each of `runs` runs of `run` took.
inline std::vector<double> timed(int runs, const std::function<void()> &run)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return ms;
}

// "what  median … ms, fastest … ms (target … ms)".
inline void report(const char *what, std::vector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-62s median %7.2f ms, fastest %7.2f ms (target %g ms)\n", what, ms[ms.size() / 2],
                ms.front(), target);
}

// One figure, and its target (none when 0); "OVER" when it is beyond it.
inline void figure(const char *what, double ms, double target = 0)
{
    if (target > 0)
        std::printf("%-66s %9.1f ms (target %g ms)%s\n", what, ms, target,
                    ms > target ? "  OVER" : "");
    else
        std::printf("%-66s %9.1f ms\n", what, ms);
}

} // namespace Timing
