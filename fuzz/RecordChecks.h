#pragma once

// What every decoded record and the texts made from it must satisfy, shared by the fuzz targets.

#include "FuzzCheck.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace RecordChecks {

inline std::int32_t countAt(std::string_view record, std::size_t offset)
{
    return static_cast<unsigned char>(record[offset]) +
           256 * static_cast<unsigned char>(record[offset + 1]);
}

// "[-]digits.digit" read back into tenths (no leading zero, no "-0.0"); nullopt otherwise.
inline std::optional<std::int64_t> tenthsFrom(std::string_view text)
{
    const bool negative = text.starts_with('-');
    text.remove_prefix(negative);
    const std::size_t point = text.find('.');
    if (point == 0 || point > 11 || point + 2 != text.size() || (point > 1 && text[0] == '0'))
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != point && (text[i] < '0' || text[i] > '9'))
            return std::nullopt;
        value = i == point ? value : value * 10 + (text[i] - '0');
    }
    return negative && value == 0 ? std::nullopt : std::optional(negative ? -value : value);
}

// The text between a prefix and a suffix, checked to be there.
inline std::string_view between(std::string_view text, std::string_view prefix,
                                std::string_view suffix)
{
    FUZZ_CHECK(text.size() >= prefix.size() + suffix.size() && text.starts_with(prefix) &&
               text.ends_with(suffix));
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

inline void checkTenths(std::string_view text, std::int32_t tenths)
{
    FUZZ_CHECK(tenthsFrom(text) == std::optional<std::int64_t>(tenths));
}

// Milliseconds shown as seconds: the nearest tenth, an exact half away from zero.
inline void checkSeconds(std::string_view text, std::int32_t milliseconds)
{
    const std::optional<std::int64_t> tenths = tenthsFrom(text);
    FUZZ_CHECK(tenths.has_value());
    const std::int64_t off = std::llabs(*tenths * 100 - milliseconds);
    FUZZ_CHECK(off < 50 || (off == 50 && std::llabs(*tenths * 100) > std::llabs(milliseconds)));
}

inline void checkLoad(std::string_view text, std::int32_t ohms, std::string_view unit)
{
    FUZZ_CHECK(ohms == 0 ? text == "No Load" : between(text, "", unit) == std::to_string(ohms));
}

// The label texts and the report values of a measurement say exactly its counts; the report
// keeps the samples in PrnData[1..200], nothing else there, and the voltage count clamped to 16
// bits.
inline void checkTexts(const Measurement &m, const ReportValues &values)
{
    const ValueTexts::LabelTexts labels = ValueTexts::labelTexts(m);
    checkTenths(between(labels.voltage, "Voltage = ", " KV"), m.voltCount);
    checkTenths(between(labels.energy, "Energy = ", " J"), m.energyCount);
    checkSeconds(between(labels.interval, "Interval = ", " s"), m.intervalCount);
    FUZZ_CHECK(between(labels.pulseWidth, "Pulse Width = ", " µs") == std::to_string(m.pulseWidth));
    checkLoad(between(labels.load, "Load = ", ""), m.loadOhms, " Ohms");
    checkTenths(between(values.PrnVoltage, "Voltage (KV): ", ""), m.voltCount);
    checkTenths(between(values.PrnEnergy, "Energy (J): ", ""), m.energyCount);
    checkSeconds(between(values.PrnInterval, "Interval (s): ", ""), m.intervalCount);
    FUZZ_CHECK(values.PrnPulseWidth == "Pulse Width (µs): " + std::to_string(m.pulseWidth));
    checkLoad(between(values.PrnLoad, "Load (Ohms): ", ""), m.loadOhms, "");
    FUZZ_CHECK(values.PrnVoltCount == std::clamp(m.voltCount, -32768, 32767));
    for (std::size_t i = 0; i < values.PrnData.size(); ++i)
        FUZZ_CHECK(values.PrnData[i] == (i >= 1 && i <= 200 ? m.samples[i] : 0));
}

// decodeRecord() on any bytes: a result exactly for 222 bytes whose voltage count fits 16 signed
// bits (byte 208 below 0x80), holding the record's bytes. Returns the result.
inline std::optional<Measurement> checkDecode(std::string_view bytes)
{
    const std::optional<Measurement> m = decodeRecord(bytes);
    FUZZ_CHECK(m.has_value() ==
               (bytes.size() == 222 && static_cast<unsigned char>(bytes[207]) < 0x80));
    if (!m)
        return m;
    for (std::size_t i = 0; i <= 200; ++i)
        FUZZ_CHECK(m->samples[i] == (i == 0 ? 0 : static_cast<unsigned char>(bytes[i + 1])));
    const std::int32_t counts[] = {m->intervalCount, m->pulseWidth, m->voltCount, m->energyCount,
                                   m->loadOhms};
    for (std::size_t k = 0; k < 5; ++k)
        FUZZ_CHECK(counts[k] == countAt(bytes, 202 + 2 * k));
    checkTexts(*m, ReportValues::of(ShownDataSet{0, *m}));
    return m;
}

} // namespace RecordChecks
