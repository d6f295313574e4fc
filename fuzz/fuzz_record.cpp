// Fuzz target: one meter record and everything a record feeds that needs no Qt.
//
// The whole input is taken as a data-set reply and decoded (RecordChecks::checkDecode). The same
// bytes are also read as a hand-made Measurement (five 32-bit counts, then 16-bit samples), whose
// label texts and report values must say its numbers whatever they are.

#include "RecordChecks.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RecordChecks::checkDecode(std::string_view(reinterpret_cast<const char *>(data), size));

    Measurement m;
    const auto take = [&](auto &value) {
        const std::size_t n = std::min(size, sizeof value);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
    };
    for (std::int32_t *count :
         {&m.intervalCount, &m.pulseWidth, &m.voltCount, &m.energyCount, &m.loadOhms})
        take(*count);
    for (std::size_t i = 1; i < m.samples.size(); ++i)
        take(m.samples[i]);
    RecordChecks::checkTexts(m, ReportValues::of(ShownDataSet{0, m}));
    return 0;
}
