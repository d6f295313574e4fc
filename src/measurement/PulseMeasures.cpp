#include "PulseMeasures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <span>

namespace {

constexpr int First = 1;
constexpr int Last = Measurement::SampleCount;
constexpr double StepUs = Measurement::MicrosecondsPerSample;
constexpr double StepSeconds = StepUs / 1e6;

constexpr char Flat[] = "flat record: no pulse";
constexpr char NothingAbove[] = "no pulse above the zero line";
constexpr char NoVoltage[] = "the meter measured no peak voltage";
constexpr char NoLoad[] = "no load connected";
constexpr char PeakFirst[] = "the peak is the record's first sample: the pulse may peak before it";
constexpr char PeakLast[] = "the peak is the record's last sample: the pulse may rise after it";
constexpr char StartsBefore[] = "the pulse starts before the record";
constexpr char RunsPast[] = "the pulse runs past the 400 µs the meter records";
constexpr char EnergyCut[] = "the pulse is cut off: part of its energy is not in the record";
constexpr char QuickRise[] = "the rise is quicker than one sample step (2 µs)";
constexpr char Spike[] = "a single-sample spike: narrower than the samples can show";

Measure valued(double value)
{
    return {value, {}};
}

Measure none(const char *why)
{
    return {std::nullopt, why};
}

// The samples in codes above the zero line, which are proportional to volts: a level is a
// fraction of the highest sample's height, and a sample compares with it in whole numbers, so one
// exactly at a level is at it, not a rounding error beside it.
class Pulse
{
public:
    Pulse(const Measurement &m, int height) : m_samples(m.samples), m_height(height) {}

    int at(int i) const { return m_samples[i] - Measurement::ZeroLine; }
    bool below(int i, int percent) const { return 100 * at(i) < percent * m_height; }

    // The last sample before `p` below the level, or 0 when there is none.
    int lastBelowBefore(int p, int percent) const
    {
        for (int i = p - 1; i >= First; --i)
            if (below(i, percent))
                return i;
        return 0;
    }
    // The first sample after `from` that is (or is not, with `wanted` false) below the level, or
    // 0 when there is none.
    int firstAfter(int from, int percent, bool wanted) const
    {
        for (int i = from + 1; i <= Last; ++i)
            if (below(i, percent) == wanted)
                return i;
        return 0;
    }
    // The time at which the line from sample i to sample i + 1 meets the level; the two lie on
    // either side of it, so they differ.
    double crossingUs(int i, int percent) const
    {
        const double level = percent * m_height / 100.0;
        return StepUs * (i + (level - at(i)) / (at(i + 1) - at(i)));
    }

private:
    const Measurement::Samples &m_samples;
    int m_height;
};

Measure riseTime(const Pulse &pulse, int peak)
{
    if (peak == Last)
        return none(PeakLast);
    const int start = pulse.lastBelowBefore(peak, 10);
    if (start == 0)
        return none(StartsBefore);
    const int top = pulse.firstAfter(start, 90, false); // there is one: the peak is at 100 %
    if (top == start + 1)
        return none(QuickRise);
    return valued(pulse.crossingUs(top - 1, 90) - pulse.crossingUs(start, 10));
}

Measure widthAtHalf(const Pulse &pulse, int peak)
{
    const int up = pulse.lastBelowBefore(peak, 50);
    if (up == 0)
        return none(StartsBefore);
    const int down = pulse.firstAfter(peak, 50, true);
    if (down == 0)
        return none(RunsPast);
    if (up == peak - 1 && down == peak + 1)
        return none(Spike);
    return valued(pulse.crossingUs(down - 1, 50) - pulse.crossingUs(up, 50));
}

} // namespace

PulseMeasures measurePulse(const Measurement &m)
{
    const auto samples = std::span(m.samples).subspan(First, Measurement::SampleCount);
    const auto [lowest, highest] = std::ranges::minmax(samples);
    const char *noPulse = highest == Measurement::ZeroLine && lowest == Measurement::ZeroLine ? Flat
                          : highest <= Measurement::ZeroLine ? NothingAbove
                          : m.voltCount <= 0                 ? NoVoltage
                                                             : nullptr;
    if (noPulse)
        return {none(noPulse), none(noPulse), none(noPulse), none(noPulse), none(noPulse)};

    const int height = highest - Measurement::ZeroLine;
    const Pulse pulse(m, height);
    const int peak = First + int(std::ranges::find(samples, highest) - samples.begin());
    PulseMeasures out;
    out.cutOff = !pulse.below(First, 10) || 10 * std::abs(pulse.at(Last)) > height;
    out.peakTimeUs = peak == First  ? none(PeakFirst)
                     : peak == Last ? none(PeakLast)
                                    : valued(StepUs * peak);
    out.riseTimeUs = riseTime(pulse, peak);
    out.widthAt50Us = widthAtHalf(pulse, peak);

    const double ohms = m.loadOhms;
    if (ohms <= 0) {
        out.peakCurrentA = out.energyFromSamplesJ = none(NoLoad);
        return out;
    }
    out.peakCurrentA = valued(m.voltCount * 100.0 / ohms); // tenths of a kV: 100 V each
    if (out.cutOff) {
        out.energyFromSamplesJ = none(EnergyCut);
        return out;
    }
    double sumOfSquares = 0; // V²
    for (const int code : samples) {
        const double volts = *scaledSampleKV(code, highest, m.voltCount) * 1000.0;
        sumOfSquares += volts * volts;
    }
    out.energyFromSamplesJ = valued(sumOfSquares / ohms * StepSeconds);
    return out;
}

std::optional<double> energyDifferencePercent(const PulseMeasures &measures, const Measurement &m)
{
    const std::optional<double> fromSamples = measures.energyFromSamplesJ.value;
    if (!fromSamples || m.energyCount == 0)
        return std::nullopt;
    const double meter = m.energyCount / 10.0;
    return (*fromSamples - meter) / meter * 100.0;
}
