#pragma once

#include <cstdint>

class DrawingSurface;
struct ReportValues;

// The chart of the printed report: the waveform scaled so that its highest sample stands at the
// measured peak voltage, on a scale of 14 kV (500 units per kV) from 7.0 kV up, else of 7 kV
// (1000 units per kV).
namespace PrintedWaveform {

struct Scale
{
    int labelTop;  // the topmost voltage label: 14 or 7
    int labelStep; // between neighbouring labels: 2 or 1
};

// The scale for a peak voltage in tenths of a kV.
Scale scaleFor(std::int32_t voltCount);

// Page units per sample count above the zero line: (voltCount x 50 on the upper scale, x 100 on
// the lower) / (peakSample - 127), rounded to the nearest integer with exact halves to the even
// neighbour. A peak exactly on the zero line cannot be scaled: the gain is then 0 and the trace
// lies flat on the time axis. A voltage count beyond the 16-bit range can give a quotient beyond
// the 32-bit one; the gain then stops at the nearer 32-bit limit.
std::int32_t gain(std::int32_t voltCount, std::int32_t peakSample);

// Draws the chart inside the frame box whose top-left corner is (boxLeft, boxTop): axes, ticks,
// captions, voltage labels, a square per sample and the trace. Leaves bold off and the font at
// 10 points. Parts that fall off the page are clipped by the surface.
void PrnPlot(DrawingSurface &page, const ReportValues &values, int boxTop, int boxLeft);

} // namespace PrintedWaveform
