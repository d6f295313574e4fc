#pragma once

#include "Chart.h"
#include "Trend.h"

#include <QString>

// An energizer's trend as the records window shows it: the chart of its peak voltage (kV, left
// axis) and energy (J, right axis) over the time of its test records, and the texts beside it.
namespace TrendChart {

// The series of the chart, in this order.
enum SeriesIndex
{
    VoltageSeries, // one point per record: (recorded, kV), joined by lines
    EnergySeries,  // (recorded, J), on the right axis
    WarningLevel,  // a line at 2.0 kV below the baseline, from the first record to the last
};

// The rule the warning follows, in one line.
QString rule();

// The chart of `trend`: the series above, the baseline (the first record) ringed and labelled
// "baseline", and when the trend warns the latest record ringed too, labelled with its fall. No
// title: the window names the energizer. A trend without records gives a chart without series.
Chart of(const Trend &trend);

// The readout of record `index` (0 = the first): "Test 2 of 5, 2026-12-08 10:15: 7.1 kV, 1.5 J,
// 0.2 kV below the baseline".
QString readout(const Trend &trend, int index);

// One line on the whole trend: "5 tests, 2026-12-01 to 2026-12-08: the baseline 7.3 kV, the
// latest 7.1 kV, 0.2 kV below the baseline."; "No test records of this energizer." without records.
QString summary(const Trend &trend);

// What the chart shows, in words, for a screen reader: what is drawn against what, then the
// summary and the warning: "Peak voltage in kV and energy in J of each test over time, with a
// line 2.0 kV below the baseline. 5 tests, …"; the summary alone without records.
QString description(const Trend &trend);

// The warning, in one plain line, when the trend warns: "The latest reading, 5.2 kV, is 2.1 kV
// below the baseline (7.3 kV): more than 2.0 kV."; empty otherwise.
QString warning(const Trend &trend);

} // namespace TrendChart
