#include "ValueTexts.h"

#include <algorithm>

namespace ValueTexts {

namespace {
constexpr std::size_t SkippedReplyBytes = 2; // the meter starts its replies with two of its own
} // namespace

std::string tenthsText(std::int32_t tenths)
{
    const std::int64_t value = tenths; // room for the sign of INT32_MIN
    const std::int64_t magnitude = value < 0 ? -value : value;
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
    return text;
}

std::string secondsText(std::int32_t milliseconds)
{
    const std::int64_t ms = milliseconds;
    // Round half away from zero to tenths of a second.
    const std::int64_t tenths = ms >= 0 ? (ms + 50) / 100 : -((-ms + 50) / 100);
    return tenthsText(static_cast<std::int32_t>(tenths));
}

std::string loadText(std::int32_t ohms, std::string_view unit)
{
    return ohms != 0 ? std::to_string(ohms).append(unit) : "No Load";
}

namespace {
// Latin-1 to UTF-8; with `visible`, control characters as \xHH.
std::string latin1Text(std::string_view bytes, bool visible)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (visible && (c < 0x20 || (c >= 0x7F && c < 0xA0))) {
            text += "\\x";
            text += Hex[c >> 4];
            text += Hex[c & 0xF];
        } else if (c < 0x80) {
            text += static_cast<char>(c);
        } else { // two bytes in UTF-8
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}
} // namespace

std::string meterText(std::string_view reply)
{
    std::string_view text = reply.substr(std::min(reply.size(), SkippedReplyBytes));
    if (text.ends_with("\r\n"))
        text.remove_suffix(2);
    else if (text.ends_with('\r'))
        text.remove_suffix(1);
    return latin1Text(text, true);
}

std::string rawMeterText(std::string_view reply)
{
    return latin1Text(reply.substr(std::min(reply.size(), SkippedReplyBytes)), false);
}

std::string modelCaption(const std::optional<std::string> &reply)
{
    return reply ? "Model No.: " + meterText(*reply) : "Model No.:";
}

std::string serialCaption(const std::optional<std::string> &reply)
{
    return reply ? "Serial No.: " + meterText(*reply) : "Serial No.";
}

LabelTexts labelTexts(const Measurement &m)
{
    LabelTexts texts;
    texts.voltage = "Voltage = " + tenthsText(m.voltCount) + " KV";
    texts.energy = "Energy = " + tenthsText(m.energyCount) + " J";
    texts.interval = "Interval = " + secondsText(m.intervalCount) + " s";
    texts.pulseWidth = "Pulse Width = " + std::to_string(m.pulseWidth) + " µs";
    texts.load = "Load = " + loadText(m.loadOhms, " Ohms");
    return texts;
}

} // namespace ValueTexts
