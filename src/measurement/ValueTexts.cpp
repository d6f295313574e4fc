#include "ValueTexts.h"

namespace ValueTexts {

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

LabelTexts labelTexts(const Measurement &m)
{
    LabelTexts texts;
    texts.voltage = "Voltage = " + tenthsText(m.voltCount) + " KV";
    texts.energy = "Energy = " + tenthsText(m.energyCount) + " J";
    texts.interval = "Interval = " + secondsText(m.intervalCount) + " s";
    texts.pulseWidth = "Pulse Width = " + std::to_string(m.pulseWidth) + " µs";
    texts.load =
        m.loadOhms != 0 ? "Load = " + std::to_string(m.loadOhms) + " Ohms" : "Load = No Load";
    return texts;
}

} // namespace ValueTexts
