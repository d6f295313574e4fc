#pragma once

// What every decoded record and the texts made from it must satisfy, for the fuzz targets.

#include "FuzzCheck.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <charconv>
#include <cmath>

namespace RecordChecks {

// The labels say what the report says; the voltage is the count in tenths, "digits.digit". The
// report keeps the samples in PrnData[1..200] and nothing else there.
inline void checkTexts(const Measurement &m, const ReportValues &v)
{
    const ValueTexts::LabelTexts l = ValueTexts::labelTexts(m);
    const std::string volts = v.PrnVoltage.substr(14);
    FUZZ_CHECK(l.voltage == "Voltage = " + volts + " KV" &&
               l.energy == "Energy = " + v.PrnEnergy.substr(12) + " J" &&
               l.interval == "Interval = " + v.PrnInterval.substr(14) + " s" &&
               l.pulseWidth == "Pulse Width = " + v.PrnPulseWidth.substr(19) + " µs");
    FUZZ_CHECK(l.load.substr(7) + (m.loadOhms ? "" : " Ohms") == v.PrnLoad.substr(13) + " Ohms");
    double kv = -1;
    const char *end = volts.data() + volts.size();
    FUZZ_CHECK(std::from_chars(volts.data(), end, kv).ptr == end &&
               volts[volts.size() - 2] == '.' && std::llround(kv * 10) == m.voltCount);
    for (std::size_t i = 0; i < v.PrnData.size(); ++i)
        FUZZ_CHECK(v.PrnData[i] == (i >= 1 && i <= 200 ? m.samples[i] : 0));
}

// decodeRecord() on any bytes: a result exactly for 222 bytes whose voltage count fits 16 signed
// bits (byte 208 below 0x80), holding the record's bytes. Returns the result.
inline std::optional<Measurement> checkDecode(std::string_view bytes)
{
    const std::optional<Measurement> m = decodeRecord(bytes);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    FUZZ_CHECK(m.has_value() == (bytes.size() == 222 && byte(207) < 0x80));
    for (std::size_t i = 0; m && i <= 200; ++i)
        FUZZ_CHECK(m->samples[i] == (i ? byte(i + 1) : 0));
    if (m) {
        FUZZ_CHECK(m->intervalCount == byte(202) + 256 * byte(203) &&
                   m->pulseWidth == byte(204) + 256 * byte(205) &&
                   m->voltCount == byte(206) + 256 * byte(207));
        FUZZ_CHECK(m->energyCount == byte(208) + 256 * byte(209) &&
                   m->loadOhms == byte(210) + 256 * byte(211));
        checkTexts(*m, ReportValues::of(ShownDataSet{0, *m}));
    }
    return m;
}

} // namespace RecordChecks
