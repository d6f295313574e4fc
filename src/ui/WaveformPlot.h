#pragma once

#include "DataSets.h"
#include "MeasurementRecord.h"

#include <optional>

class DrawingSurface;
class QString;
class RetainedCanvas;

// The waveform on the main window. The picture area spans 12500 × 12500 logical units whatever
// its size in pixels. The x-axis is the zero line, at y = 9000 from x = 1500 to 11500; the y-axis
// stands at x = 1500 from y = 1000 to 11500. Sample i (1..200) sits 50 units right of the one
// before, at x = 1500 + 50 i, and each count of sample value above 127 lifts it 62 units.
namespace WaveformPlot {

inline constexpr double AreaSize = 12500;

// Places the two white axis lines of the area: x_axis from (1500, 9000) to (11500, 9000),
// y_axis from (1500, 1000) to (1500, 11500). They stay through clear().
void placeAxisLines(RetainedCanvas &pic);

// Sets the area's scale to 12500 × 12500 units and prints the two cyan axis captions,
// "Time (µs)" with its top-left corner at (10000, 9500) and "Volts" at (500, 450). Leaves the
// text colour cyan.
void drawAxisCaptions(DrawingSurface &surface);

// What the main window does once while it loads: the scale, the axis lines and the captions.
void prepareWaveformArea(RetainedCanvas &pic);

// Draws samples 1..200 in order, each a filled yellow box 40 units wide and 30 high centred on
// (1500 + 50 i, 9000 − (sample − 127) × 62). Samples of 70 or less land below the area and are
// clipped. It draws over whatever is there: the caller clears the area first.
void plotSamples(DrawingSurface &surface, const Measurement::Samples &samples);

// One line of white text across the area, its text cell's top-left corner at (1700, 4000): what
// the area has to say instead of a waveform.
void printNote(DrawingSurface &surface, const QString &note);

// What the area shows, in words, for a screen reader (the picture alone says nothing to one):
// "Waveform of data set 2, peak voltage 7.3 kV: 200 samples, volts against time in µs.";
// without a data set, the note the area shows instead ("No data set shown: Data set 2: no
// answer."), or that there is no data yet.
QString description(const std::optional<ShownDataSet> &shown, const QString &note);

} // namespace WaveformPlot
