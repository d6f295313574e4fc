#pragma once

// What every decoded record and the texts made from it must satisfy, shared by the fuzz targets.

#include "FuzzCheck.h"

#include "measurement/MeasurementRecord.h"
#include "measurement/ReportValues.h"
#include "measurement/ValueTexts.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace RecordChecks {

inline constexpr std::size_t VoltCountHighByte = 207; // byte 208, counted from 1

inline std::int32_t countAt(std::string_view record, std::size_t offset)
{
    return static_cast<unsigned char>(record[offset]) +
           256 * static_cast<unsigned char>(record[offset + 1]);
}

// Whether the meter's record rules accept these bytes: exactly 222 of them, and a voltage count
// that fits 16 signed bits (its high byte below 0x80).
inline bool isValidRecord(std::string_view bytes)
{
    return bytes.size() == std::size_t(Measurement::RecordLength) &&
           static_cast<unsigned char>(bytes[VoltCountHighByte]) < 0x80;
}

// Reads a number written as "[-]digits.digit" back into tenths; nullopt when it is written
// otherwise.
inline std::optional<std::int64_t> tenthsFrom(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || point == 0 || point + 2 != text.size() || point > 11 ||
        (point > 1 && text.front() == '0'))
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == point)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (negative && value == 0)
        return std::nullopt; // no "-0.0"
    return negative ? -value : value;
}

inline bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

inline bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The text between a prefix and a suffix, checked to be there.
inline std::string_view between(std::string_view text, std::string_view prefix,
                                std::string_view suffix)
{
    FUZZ_CHECK(startsWith(text, prefix));
    FUZZ_CHECK(endsWith(text, suffix));
    FUZZ_CHECK(text.size() >= prefix.size() + suffix.size());
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

inline void checkTenthsText(std::string_view text, std::int32_t tenths)
{
    FUZZ_CHECK(tenthsFrom(text) == std::optional<std::int64_t>(tenths));
}

// Milliseconds shown as seconds: the nearest tenth, an exact half away from zero.
inline void checkSecondsText(std::string_view text, std::int32_t milliseconds)
{
    const std::optional<std::int64_t> tenths = tenthsFrom(text);
    FUZZ_CHECK(tenths.has_value());
    const std::int64_t shownMs = *tenths * 100;
    const std::int64_t ms = milliseconds;
    FUZZ_CHECK(std::llabs(shownMs - ms) <= 50);
    if (std::llabs(shownMs - ms) == 50)
        FUZZ_CHECK(std::llabs(shownMs) > std::llabs(ms));
}

inline void checkWholeNumber(std::string_view text, std::int32_t value)
{
    FUZZ_CHECK(text == std::to_string(value));
}

// The label texts of a measurement say exactly its counts.
inline void checkLabels(const ValueTexts::LabelTexts &texts, const Measurement &m)
{
    checkTenthsText(between(texts.voltage, "Voltage = ", " KV"), m.voltCount);
    checkTenthsText(between(texts.energy, "Energy = ", " J"), m.energyCount);
    checkSecondsText(between(texts.interval, "Interval = ", " s"), m.intervalCount);
    checkWholeNumber(between(texts.pulseWidth, "Pulse Width = ", " µs"), m.pulseWidth);
    if (m.loadOhms == 0)
        FUZZ_CHECK(texts.load == "Load = No Load");
    else
        checkWholeNumber(between(texts.load, "Load = ", " Ohms"), m.loadOhms);
}

// The report values of a measurement: the same numbers as the labels, the captions as given,
// the samples in PrnData[1..200] and nothing else there, the voltage count clamped to 16 bits.
inline void checkReportValues(const ReportValues &values, const Measurement &m,
                              std::string_view model, std::string_view serial)
{
    checkTenthsText(between(values.PrnVoltage, "Voltage (KV): ", ""), m.voltCount);
    checkTenthsText(between(values.PrnEnergy, "Energy (J): ", ""), m.energyCount);
    checkSecondsText(between(values.PrnInterval, "Interval (s): ", ""), m.intervalCount);
    checkWholeNumber(between(values.PrnPulseWidth, "Pulse Width (µs): ", ""), m.pulseWidth);
    if (m.loadOhms == 0)
        FUZZ_CHECK(values.PrnLoad == "Load (Ohms): No Load");
    else
        checkWholeNumber(between(values.PrnLoad, "Load (Ohms): ", ""), m.loadOhms);
    FUZZ_CHECK(values.PrnModel == model);
    FUZZ_CHECK(values.PrnSerial == serial);

    const std::int32_t clamped = m.voltCount < -32768  ? -32768
                                 : m.voltCount > 32767 ? 32767
                                                       : m.voltCount;
    FUZZ_CHECK(values.PrnVoltCount == clamped);
    FUZZ_CHECK(values.PrnData[0] == 0);
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        FUZZ_CHECK(values.PrnData[std::size_t(i)] == m.samples[std::size_t(i)]);
    for (std::size_t i = Measurement::SampleCount + 1; i < values.PrnData.size(); ++i)
        FUZZ_CHECK(values.PrnData[i] == 0);
}

// decodeRecord() on any bytes: a result exactly for a valid record, and then one that holds the
// record's bytes; labels and report values of the result agree with it. Returns the result.
inline std::optional<Measurement> checkDecode(std::string_view bytes, std::string_view model = {},
                                              std::string_view serial = {})
{
    const std::optional<Measurement> m = decodeRecord(bytes);
    FUZZ_CHECK(m.has_value() == isValidRecord(bytes));
    if (!m)
        return m;

    FUZZ_CHECK(m->samples[0] == 0);
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        FUZZ_CHECK(m->samples[std::size_t(i)] ==
                   static_cast<unsigned char>(bytes[std::size_t(i) + 1]));
    FUZZ_CHECK(m->intervalCount == countAt(bytes, 202));
    FUZZ_CHECK(m->pulseWidth == countAt(bytes, 204));
    FUZZ_CHECK(m->voltCount == countAt(bytes, 206));
    FUZZ_CHECK(m->energyCount == countAt(bytes, 208));
    FUZZ_CHECK(m->loadOhms == countAt(bytes, 210));
    FUZZ_CHECK(m->voltCount >= 0 && m->voltCount <= 32767);

    checkLabels(ValueTexts::labelTexts(*m), *m);
    checkReportValues(ReportValues::fromMeasurement(*m, std::string(model), std::string(serial)),
                      *m, model, serial);
    return m;
}

} // namespace RecordChecks
