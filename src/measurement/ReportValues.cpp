#include "ReportValues.h"

#include "ValueTexts.h"

#include <algorithm>

ReportValues ReportValues::of(const std::optional<ShownDataSet> &shown)
{
    ReportValues values;
    if (!shown)
        return values;
    const Measurement &m = shown->measurement;
    values.PrnVoltage = "Voltage (KV): " + ValueTexts::tenthsText(m.voltCount);
    values.PrnEnergy = "Energy (J): " + ValueTexts::tenthsText(m.energyCount);
    values.PrnInterval = "Interval (s): " + ValueTexts::secondsText(m.intervalCount);
    values.PrnPulseWidth = "Pulse Width (µs): " + std::to_string(m.pulseWidth);
    values.PrnLoad = "Load (Ohms): " + ValueTexts::loadText(m.loadOhms);
    values.PrnModel = ValueTexts::modelCaption(shown->modelReply);
    values.PrnSerial = ValueTexts::serialCaption(shown->serialReply);
    // decodeRecord() refuses counts above 32767; clamp anyway so a hand-made Measurement cannot
    // wrap.
    values.PrnVoltCount = static_cast<std::int16_t>(std::clamp(m.voltCount, -32768, 32767));
    std::copy(m.samples.begin() + 1, m.samples.end(), values.PrnData.begin() + 1);
    return values;
}
