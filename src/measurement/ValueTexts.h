#pragma once

#include "MeasurementRecord.h"

#include <cstdint>
#include <string>

// The texts a data set is shown and printed with. Texts are UTF-8 ("µs").
// Numbers use a decimal point whatever the locale: the report is a technical document and the
// meter's own display uses one.
namespace ValueTexts {

// A count in tenths in the pattern "0.0": 73 -> "7.3", 5 -> "0.5", 0 -> "0.0".
std::string tenthsText(std::int32_t tenths);

// Milliseconds as seconds in the pattern "0.0", rounded to the nearest tenth; an exact half
// (1250 ms) rounds up, as a technician rounds by hand: 1234 -> "1.2", 1250 -> "1.3".
std::string secondsText(std::int32_t milliseconds);

// The captions of the five value labels of the main window.
struct LabelTexts
{
    std::string voltage;    // "Voltage = 7.3 KV"
    std::string energy;     // "Energy = 1.5 J"
    std::string interval;   // "Interval = 1.0 s"
    std::string pulseWidth; // "Pulse Width = 60 µs"
    std::string load;       // "Load = 500 Ohms", or "Load = No Load"

    friend bool operator==(const LabelTexts &, const LabelTexts &) = default;
};

LabelTexts labelTexts(const Measurement &m);

} // namespace ValueTexts
