// Decode time per record: decoding, the label texts and the report values of one data set, which
// is what showing a data set costs before any drawing.
#include "MeasurementRecord.h"
#include "ReportValues.h"
#include "ValueTexts.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {
std::string sampleRecord(int seed)
{
    std::string r = "?1";
    for (int i = 0; i < 200; ++i)
        r += static_cast<char>((127 + (i * 7 + seed) % 100) & 0xff);
    const unsigned char counts[] = {0xE8, 0x03, 0x3C, 0x00, 0x49, 0x00, 0x0F, 0x00, 0xF4, 0x01};
    r.append(reinterpret_cast<const char *>(counts), sizeof counts);
    r += std::string(9, '\0') + "\r";
    return r;
}

template <typename F> double nanosecondsPerCall(int calls, F &&f)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f(i);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() / calls;
}
} // namespace

int main()
{
    constexpr int Records = 64;
    constexpr int Calls = 400000;
    std::string records[Records];
    for (int i = 0; i < Records; ++i)
        records[i] = sampleRecord(i);

    long checksum = 0; // keeps the optimiser from dropping the work
    const double decode = nanosecondsPerCall(Calls, [&](int i) {
        checksum += decodeRecord(records[i % Records])->samples[1 + i % 200];
    });
    const double show = nanosecondsPerCall(Calls / 4, [&](int i) {
        const Measurement m = *decodeRecord(records[i % Records]);
        const auto labels = ValueTexts::labelTexts(m);
        const auto report = ReportValues::of(ShownDataSet{0, m, "?MVM-2000", "?S1"});
        checksum += static_cast<long>(labels.voltage.size() + report.PrnLoad.size());
    });

    std::printf("decode one record:                        %8.1f ns\n", decode);
    std::printf("decode + label texts + report values:     %8.1f ns\n", show);
    std::printf("(checksum %ld)\n", checksum);
    return 0;
}
