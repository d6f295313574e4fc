#pragma once

// What every decoded record and the texts made from it must satisfy, for the fuzz targets.

#include "FuzzCheck.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace RecordChecks {

// The labels say what the report says, and both the counts: tenths as "[-]digits.digit",
// milliseconds as seconds to the nearest tenth (halves away from zero). The report keeps the
// samples in PrnData[1..200], nothing else there, and the voltage count clamped to 16 bits.
inline void checkTexts(const Measurement &m, const ReportValues &v)
{
    const ValueTexts::LabelTexts l = ValueTexts::labelTexts(m);
    const std::string volts = v.PrnVoltage.substr(14), seconds = v.PrnInterval.substr(14),
                      width = std::to_string(m.pulseWidth);
    FUZZ_CHECK(l.voltage == "Voltage = " + volts + " KV" &&
               l.energy == "Energy = " + v.PrnEnergy.substr(12) + " J" &&
               l.interval == "Interval = " + seconds + " s");
    FUZZ_CHECK(l.pulseWidth == "Pulse Width = " + width + " µs" &&
               v.PrnPulseWidth == "Pulse Width (µs): " + width);
    FUZZ_CHECK(l.load.substr(7) + (m.loadOhms ? "" : " Ohms") == v.PrnLoad.substr(13) + " Ohms" &&
               (m.loadOhms != 0) == (v.PrnLoad != "Load (Ohms): No Load"));
    double kv = 0, s = 0;
    FUZZ_CHECK(std::from_chars(volts.data(), volts.data() + volts.size(), kv).ptr ==
                   volts.data() + volts.size() &&
               volts.find('.') + 2 == volts.size());
    FUZZ_CHECK(std::from_chars(seconds.data(), seconds.data() + seconds.size(), s).ptr ==
                   seconds.data() + seconds.size() &&
               volts != "-0.0");
    const std::int64_t off = std::llround(s * 10) * 100 - m.intervalCount;
    FUZZ_CHECK(std::llround(kv * 10) == m.voltCount &&
               (std::abs(off) < 50 || off == (m.intervalCount < 0 ? -50 : 50)));
    FUZZ_CHECK(v.PrnVoltCount == std::clamp(m.voltCount, -32768, 32767));
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
