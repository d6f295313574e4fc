#pragma once

#include "MeasurementRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The texts a data set and the meter are shown and printed with. Texts are UTF-8 ("µs").
// Numbers use a decimal point whatever the locale: the report is a technical document and the
// meter's own display uses one.
namespace ValueTexts {

// A count in tenths in the pattern "0.0": 73 -> "7.3", 5 -> "0.5", 0 -> "0.0".
std::string tenthsText(std::int32_t tenths);

// Milliseconds as seconds in the pattern "0.0", rounded to the nearest tenth; an exact half
// (1250 ms) rounds up, as a technician rounds by hand: 1234 -> "1.2", 1250 -> "1.3".
std::string secondsText(std::int32_t milliseconds);

// The load: "No Load" when nothing is connected (0 Ohms), else the number followed by `unit`.
std::string loadText(std::int32_t ohms, std::string_view unit = {});

// The meter's own text in its reply to "?M" or "?S", as every view shows it and every page
// prints it: the reply from its third byte on, each byte one Latin-1 character; the reply's own
// line end (the CR, or CR LF, that ends it) dropped, and every other control character (codes 0
// to 31, 127 to 159) made visible as \x and two upper-case hex digits, so that text from the
// meter is shown, never interpreted: "?MVM-2000\r" -> "VM-2000", "?SA\nB\x1b\r" -> "A\x0AB\x1B".
std::string meterText(std::string_view reply);
// The same text exactly as it came, control characters and line end included (for JSON, which
// escapes them itself): "?MVM-2000\r" -> "VM-2000\r".
std::string rawMeterText(std::string_view reply);

// The captions of the model and serial labels: "Model No.: " or "Serial No.: " and the meter's
// text; before the meter has answered (no reply), the labels' first captions "Model No.:" and
// "Serial No.".
std::string modelCaption(const std::optional<std::string> &reply);
std::string serialCaption(const std::optional<std::string> &reply);

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

// The value labels' first captions, shown while no data set is.
inline const LabelTexts InitialLabelTexts{
    "Voltage =", "Energy =", "Interval =", "Pulse Width = ", "Load = "};

} // namespace ValueTexts
