#pragma once

// What every decoded record and the texts made from it must satisfy, for the fuzz targets.

#include "PulseMeasures.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <cmath>

// A broken promise found by a fuzz target aborts, which libFuzzer reports as a crash, saving the
// input. The checks stay on in every build type.
#undef NDEBUG
#include <cassert>
#define FUZZ_CHECK(condition) assert(condition)

namespace RecordChecks {

// decodeRecord() on any bytes: a result exactly for 222 bytes whose voltage count fits 16 signed
// bits (byte 208 below 0x80), holding the record's samples and counts; the report values hold
// the samples in PrnData[1..200] and nothing else there, and the voltage in tenths of a kV.
inline std::optional<Measurement> checkDecode(std::string_view bytes)
{
    const std::optional<Measurement> m = decodeRecord(bytes);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto count = [&](std::size_t i) { return byte(i) + 256 * byte(i + 1); };
    FUZZ_CHECK(m.has_value() == (bytes.size() == 222 && byte(207) < 0x80));
    if (!m)
        return m;
    FUZZ_CHECK(m->intervalCount == count(202) && m->pulseWidth == count(204) &&
               m->voltCount == count(206) && m->energyCount == count(208) &&
               m->loadOhms == count(210));
    const ReportValues v = ReportValues::of(ShownDataSet{0, *m});
    for (std::size_t i = 0; i < v.PrnData.size(); ++i)
        FUZZ_CHECK(v.PrnData[i] == (i >= 1 && i <= 200 ? byte(i + 1) : 0) &&
                   (i > 200 || m->samples[i] == v.PrnData[i]));
    FUZZ_CHECK(v.PrnVoltCount == m->voltCount &&
               v.PrnVoltage == "Voltage (KV): " + ValueTexts::tenthsText(m->voltCount) &&
               ValueTexts::labelTexts(*m).voltage ==
                   "Voltage = " + v.PrnVoltage.substr(14) + " KV");
    // Every measure a positive finite number or the reason why there is none, never both.
    const PulseMeasures p = measurePulse(*m);
    for (const Measure *x :
         {&p.peakTimeUs, &p.riseTimeUs, &p.widthAt50Us, &p.peakCurrentA, &p.energyFromSamplesJ})
        FUZZ_CHECK(x->value.has_value() == x->whyNone.empty() && x->value.value_or(1) > 0 &&
                   std::isfinite(x->value.value_or(0)));
    return m;
}

} // namespace RecordChecks
