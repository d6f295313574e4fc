#include "DataSetCsv.h"

#include "ValueTexts.h"

#include <charconv>

namespace DataSetCsv {
namespace {

constexpr std::string_view LineEnd = "\r\n";

// Three decimals with a decimal point, whatever the locale.
std::string kilovoltText(double kv)
{
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, kv, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}

// The meter's text of a reply without the blanks around it: white space, line ends, and the
// Latin-1 next-line and no-break space characters.
std::string meterField(const std::optional<std::string> &reply)
{
    static constexpr std::string_view Blanks[] = {" ",  "\t", "\n",       "\v",
                                                  "\f", "\r", "\xC2\x85", "\xC2\xA0"};
    const std::string utf8 = reply ? ValueTexts::meterText(*reply) : std::string();
    std::string_view text = utf8;
    for (bool trimmed = false; !trimmed;) {
        trimmed = true;
        for (const std::string_view blank : Blanks) {
            if (text.starts_with(blank) || text.ends_with(blank)) {
                text = text.starts_with(blank) ? text.substr(blank.size())
                                               : text.substr(0, text.size() - blank.size());
                trimmed = false;
            }
        }
    }
    // A spreadsheet takes a cell that starts with one of these (or a tab or CR, trimmed above) as
    // a formula; the meter's text is text, so it is marked as such.
    if (!text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos)
        return "'" + std::string(text);
    return std::string(text);
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
    if (i < 1 || i > Measurement::SampleCount)
        return std::nullopt;
    return scaledSampleKV(m.samples[i], peakSample(m.samples), m.voltCount);
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

std::string write(const ShownDataSet &shown)
{
    const Measurement &m = shown.measurement;
    std::string out = "\xEF\xBB\xBF"; // UTF-8 byte-order mark
    addRow(out, {"Model No.", meterField(shown.modelReply)});
    addRow(out, {"Serial No.", meterField(shown.serialReply)});
    addRow(out, {"Voltage (kV)", ValueTexts::tenthsText(m.voltCount)});
    addRow(out, {"Energy (J)", ValueTexts::tenthsText(m.energyCount)});
    addRow(out, {"Interval (s)", ValueTexts::secondsText(m.intervalCount)});
    addRow(out, {"Pulse Width (µs)", std::to_string(m.pulseWidth)});
    addRow(out, {"Load (Ohms)", ValueTexts::loadText(m.loadOhms)});
    out += LineEnd;
    addRow(out, {"Sample", "Time (µs)", "Code", "Voltage (kV)"});
    for (int i = 1; i <= Measurement::SampleCount; ++i) {
        const std::optional<double> kv = sampleKV(m, i);
        addRow(out, {std::to_string(i), std::to_string(i * Measurement::MicrosecondsPerSample),
                     std::to_string(m.samples[i]), kv ? kilovoltText(*kv) : std::string()});
    }
    return out;
}

} // namespace DataSetCsv
