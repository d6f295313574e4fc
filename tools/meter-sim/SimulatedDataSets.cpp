#include "SimulatedDataSets.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace SimulatedDataSets {
namespace {

constexpr int RecordLength = Measurement::RecordLength;
constexpr int SampleCount = Measurement::SampleCount;
constexpr int SampleOffset = 2; // after the two command characters
constexpr int CountsOffset = SampleOffset + SampleCount;
constexpr int VoltCountHighByte = CountsOffset + 5;
constexpr int CodesPerKilovolt = 12; // the meter's sample scale: codes above the zero line per kV

// How a data set's pulse looks, besides its counts.
//
// The pulse starts after `baseline` quiet samples, climbs to its peak in `rise` samples and falls
// back to the zero line at the end of its pulse width as exp(-mainDecay x) (1 - x^tailSharpness),
// x running from 0 at the peak to 1 at the zero crossing. It then rings below the zero line and
// back, reaching about `undershoot` of the peak, each swing smaller by `ringDamping`.
struct Shape
{
    int baseline;
    int rise;
    double mainDecay;
    double tailSharpness;
    double undershoot;
    double ringDamping; // the ringing's time constant, in half periods
};

struct DataSet
{
    Counts counts;
    Shape shape;
};

constexpr DataSet dataSets[] = {
    // 7.3 kV, 1.5 J, 1.0 s, 60 µs, no load
    {{1000, 60, 73, 15, 0}, {6, 2, 1.5, 4.0, 0.40, 0.80}},
    // 5.2 kV, 2.8 J, 1.2 s, 80 µs, 500 ohms
    {{1200, 80, 52, 28, 500}, {5, 3, 1.1, 3.0, 0.30, 0.70}},
    // 9.8 kV, 4.5 J, 1.5 s, 120 µs, 1000 ohms
    {{1500, 120, 98, 45, 1000}, {8, 3, 1.3, 5.0, 0.35, 0.55}},
    // 3.1 kV, 0.6 J, 0.9 s, 40 µs, 100 ohms
    {{900, 40, 31, 6, 100}, {4, 2, 2.0, 6.0, 0.50, 1.00}},
};

const DataSet *dataSetFor(int dataSet)
{
    if (dataSet < FirstDataSet || dataSet > LastDataSet)
        return nullptr;
    return &dataSets[static_cast<std::size_t>(dataSet - FirstDataSet)];
}

// The pulse in codes above (positive) or below the zero line, at sample `index`.
double pulseAt(int index, const Counts &counts, const Shape &shape)
{
    const int peakCodes = (counts.voltCount * CodesPerKilovolt + 5) / 10;
    if (index < shape.baseline)
        return 0.0;
    if (index < shape.baseline + shape.rise)
        return double(peakCodes) * (index - shape.baseline + 1) / shape.rise;

    // From the peak on. The main part ends where the pulse width (counted from the start of the
    // rise) is used up.
    const double t = index - (shape.baseline + shape.rise - 1);
    const double mainLength =
        double(counts.pulseWidthUs) / Measurement::MicrosecondsPerSample - shape.rise;
    if (t <= mainLength) {
        const double x = t / mainLength;
        return peakCodes * std::exp(-shape.mainDecay * x) *
               (1.0 - std::pow(x, shape.tailSharpness));
    }

    // The ringing leaves the zero line as steeply as the main part arrives, so the curve has no
    // kink there: that fixes the length of its half period.
    const double arrivalSlope = shape.tailSharpness * std::exp(-shape.mainDecay) / mainLength;
    const double halfPeriod = std::numbers::pi * shape.undershoot / arrivalSlope;
    const double u = t - mainLength;
    return -peakCodes * shape.undershoot * std::sin(std::numbers::pi * u / halfPeriod) *
           std::exp(-u / (shape.ringDamping * halfPeriod));
}

void putCount(QByteArray &record, int offset, quint16 value)
{
    record[offset] = char(value & 0xff); // low byte first
    record[offset + 1] = char(value >> 8);
}

} // namespace

QByteArray record(int dataSet)
{
    const DataSet *set = dataSetFor(dataSet);
    if (!set)
        return {};

    QByteArray bytes(RecordLength, '\0');
    bytes[0] = '?';
    bytes[1] = char('0' + dataSet);
    for (int i = 0; i < SampleCount; ++i) {
        const long code = Measurement::ZeroLine + std::lround(pulseAt(i, set->counts, set->shape));
        bytes[SampleOffset + i] = char(std::clamp(code, 0L, 255L));
    }
    putCount(bytes, CountsOffset + 0, set->counts.intervalMs);
    putCount(bytes, CountsOffset + 2, set->counts.pulseWidthUs);
    putCount(bytes, CountsOffset + 4, set->counts.voltCount);
    putCount(bytes, CountsOffset + 6, set->counts.energyCount);
    putCount(bytes, CountsOffset + 8, set->counts.loadOhms);
    // the nine bytes after the counts stay 0x00
    bytes[RecordLength - 1] = '\r';
    return bytes;
}

QByteArray garbledRecord(int dataSet)
{
    if (!dataSetFor(dataSet))
        return {};

    QByteArray bytes(RecordLength, '\0');
    quint32 state = 0x9e3779b9u * quint32(dataSet);
    for (char &byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    bytes[VoltCountHighByte] = char(quint8(bytes[VoltCountHighByte]) | 0x80);
    return bytes;
}

} // namespace SimulatedDataSets
