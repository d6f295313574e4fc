#include "DataSetCsv.h"

#include "ValueTexts.h"

#include <algorithm>
#include <charconv>

namespace DataSetCsv {
namespace {

constexpr std::int16_t ZeroLine = 127;
constexpr std::string_view LineEnd = "\r\n";

std::int16_t peakSample(const Measurement &m)
{
    // As the printed chart finds it: the largest sample, starting from 0.
    return std::max<std::int16_t>(0, *std::max_element(m.samples.begin() + 1, m.samples.end()));
}

// Three decimals with a decimal point, whatever the locale.
std::string kilovoltText(double kv)
{
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, kv, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}

std::string_view withoutLineEnds(std::string_view text)
{
    const auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    while (!text.empty() && isLineEnd(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isLineEnd(text.back()))
        text.remove_suffix(1);
    return text;
}

void addRow(std::string &out, std::initializer_list<std::string_view> fields)
{
    bool first = true;
    for (std::string_view f : fields) {
        if (!first)
            out += ',';
        out += field(f);
        first = false;
    }
    out += LineEnd;
}

} // namespace

std::optional<double> sampleKV(const Measurement &m, int i)
{
    const int peakAboveZero = peakSample(m) - ZeroLine;
    if (peakAboveZero == 0 || i < 1 || i > Measurement::SampleCount)
        return std::nullopt;
    const double kv =
        static_cast<double>(m.samples[i] - ZeroLine) * m.voltCount / 10.0 / peakAboveZero;
    return kv + 0.0; // a mirrored zero (-0.0) reads "0.000", not "-0.000"
}

std::string field(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string write(const Measurement &m, std::string_view model, std::string_view serial)
{
    std::string out = "\xEF\xBB\xBF"; // UTF-8 byte-order mark
    addRow(out, {"Model No.", withoutLineEnds(model)});
    addRow(out, {"Serial No.", withoutLineEnds(serial)});
    addRow(out, {"Voltage (kV)", ValueTexts::tenthsText(m.voltCount)});
    addRow(out, {"Energy (J)", ValueTexts::tenthsText(m.energyCount)});
    addRow(out, {"Interval (s)", ValueTexts::secondsText(m.intervalCount)});
    addRow(out, {"Pulse Width (µs)", std::to_string(m.pulseWidth)});
    addRow(out, {"Load (Ohms)", m.loadOhms != 0 ? std::to_string(m.loadOhms) : "No Load"});
    out += LineEnd;
    addRow(out, {"Sample", "Time (µs)", "Code", "Voltage (kV)"});
    for (int i = 1; i <= Measurement::SampleCount; ++i) {
        const std::optional<double> kv = sampleKV(m, i);
        addRow(out, {std::to_string(i), std::to_string(i * MicrosecondsPerSample),
                     std::to_string(m.samples[i]), kv ? kilovoltText(*kv) : std::string()});
    }
    return out;
}

} // namespace DataSetCsv
