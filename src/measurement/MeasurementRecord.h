#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One data set as the meter stores it. The meter answers "?1" ... "?4" with a 222-byte record:
//
//   bytes   1-2    not used (the meter's echo)
//   bytes   3-202  samples 1..200, one byte each, 127 is the zero line
//   bytes 203-212  five unsigned 16-bit counts, low byte first:
//                  interval (ms), pulse width (µs), peak voltage (0.1 kV), energy (0.1 J), load
//                  (Ohms)
//   bytes 213-222  not used
struct Measurement
{
    static constexpr int RecordLength = 222;
    static constexpr int SampleCount = 200;
    static constexpr int ZeroLine = 127; // the sample code of 0 V
    static constexpr int MicrosecondsPerSample = 2;

    using Samples = std::array<std::int16_t, SampleCount + 1>;

    // samples[i] is sample i for i = 1..200; samples[0] is never used and stays 0.
    Samples samples{};
    std::int32_t intervalCount = 0; // time between pulses, ms
    std::int32_t pulseWidth = 0;    // µs
    std::int32_t voltCount = 0;     // peak voltage, tenths of a kV
    std::int32_t energyCount = 0;   // pulse energy, tenths of a J
    std::int32_t loadOhms = 0;      // 0: no load connected

    friend bool operator==(const Measurement &, const Measurement &) = default;
};

// A record decoded: its Measurement, or why it has none.
struct DecodedRecord
{
    std::optional<Measurement> measurement;
    // Why there is no measurement, in words for the operator: "no answer" (no bytes), "the meter
    // sent 221 bytes instead of 222", "voltage count out of range"; empty when there is one.
    std::string fault;
};

// Decodes a record. Any bytes of any length are safe to pass. There is no measurement, and so
// nothing changes downstream, when the record is not exactly 222 bytes long, or when its voltage
// count is above 32767: a count the report cannot hold, which only a garbled reply carries.
DecodedRecord decode(std::string_view record);

// decode(record).measurement and decode(record).fault.
std::optional<Measurement> decodeRecord(std::string_view record);
std::string recordFault(std::string_view record);

// The largest of samples 1..200 (element 0 is no sample), and at least 0: the sample that the
// printed chart and the export put at the measured peak voltage. `samples` holds at least 201.
int peakSample(std::span<const std::int16_t> samples);

// The voltage in kV of a sample `code`, scaled as every view of the samples scales them: the zero
// line at 0 and the highest sample `peakCode` at the measured peak voltage `voltCount` (tenths of
// a kV); samples of a record wholly below the zero line come out mirrored, as the chart draws
// them. nullopt when the highest sample lies on the zero line: nothing to scale to.
std::optional<double> scaledSampleKV(int code, int peakCode, std::int32_t voltCount);
