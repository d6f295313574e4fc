#include "MeasurementRecord.h"

#include <algorithm>

namespace {

constexpr std::size_t FirstSampleOffset = 2;     // byte 3, counted from 1
constexpr std::size_t FirstCountOffset = 202;    // byte 203
constexpr std::int32_t HighestVoltCount = 32767; // the report keeps it in 16 bits

std::int32_t byteAt(std::string_view record, std::size_t offset)
{
    return static_cast<unsigned char>(record[offset]);
}

// The meter sends the low byte first.
std::int32_t countAt(std::string_view record, std::size_t offset)
{
    return byteAt(record, offset) + 256 * byteAt(record, offset + 1);
}

} // namespace

DecodedRecord decode(std::string_view record)
{
    if (record.empty())
        return {std::nullopt, "no answer"};
    if (record.size() != static_cast<std::size_t>(Measurement::RecordLength))
        return {std::nullopt, "the meter sent " + std::to_string(record.size()) +
                                  (record.size() == 1 ? " byte" : " bytes") + " instead of " +
                                  std::to_string(Measurement::RecordLength)};

    Measurement m;
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        m.samples[i] = static_cast<std::int16_t>(byteAt(record, FirstSampleOffset + i - 1));

    m.intervalCount = countAt(record, FirstCountOffset);
    m.pulseWidth = countAt(record, FirstCountOffset + 2);
    m.voltCount = countAt(record, FirstCountOffset + 4);
    m.energyCount = countAt(record, FirstCountOffset + 6);
    m.loadOhms = countAt(record, FirstCountOffset + 8);

    if (m.voltCount > HighestVoltCount)
        return {std::nullopt, "voltage count out of range"};
    return {m, {}};
}

std::optional<Measurement> decodeRecord(std::string_view record)
{
    return decode(record).measurement;
}

std::string recordFault(std::string_view record)
{
    return decode(record).fault;
}

int peakSample(std::span<const std::int16_t> samples)
{
    const auto first = samples.begin() + 1;
    return std::max<int>(0, *std::max_element(first, first + Measurement::SampleCount));
}

std::optional<double> scaledSampleKV(int code, int peakCode, std::int32_t voltCount)
{
    const int peakAboveZero = peakCode - Measurement::ZeroLine;
    if (peakAboveZero == 0)
        return std::nullopt;
    const double kv =
        static_cast<double>(code - Measurement::ZeroLine) * voltCount / 10.0 / peakAboveZero;
    return kv + 0.0; // a mirrored zero (-0.0) reads "0.000", not "-0.000"
}
