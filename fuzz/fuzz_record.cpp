// Fuzz target: one meter record and everything a record feeds that needs no Qt.
//
// The whole input is taken as a data-set reply and decoded: a result must come exactly for a
// 222-byte record whose voltage count fits 16 signed bits, and its label texts and report values
// must say the record's numbers. The same bytes are also read as a hand-made Measurement (five
// 32-bit counts, then 16-bit samples), whose texts and report values must hold for any numbers.

#include "FuzzCheck.h"
#include "RecordChecks.h"

#include "measurement/MeasurementRecord.h"
#include "measurement/ReportValues.h"
#include "measurement/ValueTexts.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

template <typename T> T take(const std::uint8_t *&data, std::size_t &size)
{
    T value{};
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

void checkHandMade(const std::uint8_t *data, std::size_t size)
{
    Measurement m;
    m.intervalCount = take<std::int32_t>(data, size);
    m.pulseWidth = take<std::int32_t>(data, size);
    m.voltCount = take<std::int32_t>(data, size);
    m.energyCount = take<std::int32_t>(data, size);
    m.loadOhms = take<std::int32_t>(data, size);
    for (int i = 1; i <= Measurement::SampleCount && size > 0; ++i)
        m.samples[std::size_t(i)] = take<std::int16_t>(data, size);

    RecordChecks::checkTenthsText(ValueTexts::tenthsText(m.intervalCount), m.intervalCount);
    RecordChecks::checkSecondsText(ValueTexts::secondsText(m.voltCount), m.voltCount);
    RecordChecks::checkLabels(ValueTexts::labelTexts(m), m);
    RecordChecks::checkReportValues(ReportValues::fromMeasurement(m, "model", "serial"), m, "model",
                                    "serial");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    RecordChecks::checkDecode(bytes);
    checkHandMade(data, size);
    return 0;
}
