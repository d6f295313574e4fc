#include "PrintedWaveform.h"

#include "DrawingSurface.h"
#include "ReportValues.h"

#include <QColor>
#include <QPointF>
#include <QString>

#include <cmath>
#include <limits>

namespace PrintedWaveform {

namespace {

const QColor Black(0, 0, 0);

constexpr int SampleCount = Measurement::SampleCount;
constexpr int ZeroLine = Measurement::ZeroLine;
constexpr int TickCount = 10;

// Offsets from the top-left corner of the frame box.
constexpr int AxisX = 1000;         // the voltage axis
constexpr int AxisTop = 1000;       // its upper end, also voltage tick 0 and label 0
constexpr int AxisBottom = 10000;   // its lower end
constexpr int ZeroY = 8000;         // the time axis, where a sample of 127 lies
constexpr int AxisRight = 11000;    // the right end of the time axis, at sample 200
constexpr int TickSpacing = 1000;   // between neighbouring ticks on either axis
constexpr int VoltageTickEnd = 850; // x where a voltage tick ends, left of the axis
constexpr int TimeTickEnd = 8150;   // y where a time tick ends, below the axis
constexpr int LabelX = 200;         // x of the voltage labels
constexpr int SampleSpacing = 50;   // between neighbouring samples, 2 µs
constexpr int MarkHalfSize = 25;    // a sample mark is 50 × 50

// Rounds to the nearest integer with an exact half going to the even neighbour, without relying
// on the floating-point rounding mode that happens to be set.
double roundHalfToEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below; // exact
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        return below + 1.0;
    return below;
}

} // namespace

Scale scaleFor(std::int32_t voltCount)
{
    // 7.0 kV and up: 14 kV at the top of the axis; below it: 7 kV.
    if (voltCount >= 70)
        return {.labelTop = 14, .labelStep = 2};
    return {.labelTop = 7, .labelStep = 1};
}

std::int32_t gain(std::int32_t voltCount, std::int32_t peakSample)
{
    // Neighbouring labels stand 1000 units and labelStep kV apart, and the voltage count is in
    // tenths of a kV: 50 units per count on the 14 kV scale, 100 on the 7 kV one.
    const std::int64_t unitsPerCount = 100 / scaleFor(voltCount).labelStep;
    const std::int64_t numerator = std::int64_t{voltCount} * unitsPerCount;
    const std::int64_t divisor = std::int64_t{peakSample} - ZeroLine;
    if (divisor == 0)
        return 0; // a flat record at the zero line: nothing to scale, draw it flat

    // Both are far below 2^53, so the quotient is the correctly rounded double and an exact half
    // stays exact.
    const double rounded =
        roundHalfToEven(static_cast<double>(numerator) / static_cast<double>(divisor));
    // Only voltage counts no 16-bit report value holds can get here out of range.
    constexpr auto Lowest = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr auto Highest = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (rounded < Lowest)
        return std::numeric_limits<std::int32_t>::min();
    if (rounded > Highest)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

void PrnPlot(DrawingSurface &page, const ReportValues &values, int boxTop, int boxLeft)
{
    page.setBold(false);
    page.setFontSize(10);

    const auto at = [boxTop, boxLeft](int dx, int dy) {
        return QPointF(boxLeft + dx, boxTop + dy);
    };

    // The voltage axis, then the time axis.
    page.drawLine(at(AxisX, AxisTop), at(AxisX, AxisBottom), Black);
    page.drawLine(at(AxisX, ZeroY), at(AxisRight, ZeroY), Black);

    // Ticks in pairs: voltage tick k pointing left, then time tick k pointing down. There is no
    // time tick at the end of the axis.
    for (int k = 0; k < TickCount; ++k) {
        const int tickY = AxisTop + TickSpacing * k;
        page.drawLine(at(AxisX, tickY), at(VoltageTickEnd, tickY), Black);
        const int tickX = AxisX + TickSpacing * k;
        page.drawLine(at(tickX, ZeroY), at(tickX, TimeTickEnd), Black);
    }

    const auto caption = [&page, &at](int dx, int dy, const QString &text) {
        const QPointF corner = at(dx, dy);
        page.setCurrentX(corner.x());
        page.setCurrentY(corner.y());
        page.printText(text);
    };
    caption(10000, 8400, QStringLiteral("Time (µs)"));
    caption(100, 400, QStringLiteral("Volts(KV)"));
    caption(5750, 8200, QStringLiteral("200"));  // under sample 100
    caption(10750, 8200, QStringLiteral("400")); // under sample 200

    // Voltage labels level with the voltage ticks; label 7 (0 kV) lies on the time axis.
    const Scale scale = scaleFor(values.PrnVoltCount);
    for (int k = 0; k < TickCount; ++k) {
        const QPointF corner = at(LabelX, AxisTop + TickSpacing * k);
        page.setCurrentX(corner.x());
        page.setCurrentY(corner.y());
        page.printNumber(static_cast<std::int16_t>(scale.labelTop - k * scale.labelStep));
    }

    // The peak sample lands on the measured peak voltage. Computed in 64 bits: a large gain
    // throws parts of the trace far off the page, where the surface clips them.
    const std::int64_t sampleGain = gain(values.PrnVoltCount, peakSample(values.PrnData));
    const auto sampleCentre = [&](int i) {
        const std::int64_t lift = (std::int64_t{values.PrnData[i]} - ZeroLine) * sampleGain;
        return QPointF(boxLeft + AxisX + SampleSpacing * i,
                       static_cast<double>(boxTop + ZeroY - lift));
    };

    for (int i = 1; i <= SampleCount; ++i) {
        const QPointF centre = sampleCentre(i);
        const QPointF half(MarkHalfSize, MarkHalfSize);
        page.drawBox(centre - half, centre + half, Black, DrawingSurface::Fill::Outline);
    }
    for (int i = 1; i < SampleCount; ++i)
        page.drawLine(sampleCentre(i), sampleCentre(i + 1), Black);
}

} // namespace PrintedWaveform
