#pragma once

#include "DataSets.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the printed report reads: the data set shown, with the meter's model and serial captions
// as they stood when it was shown. Before the first data set is shown the texts are empty and the
// samples 0, so a report printed then has empty value lines and a flat chart.
struct ReportValues
{
    static constexpr int DataSize = 501;

    // PrnData[1..200] are the samples of the data set; every other element stays 0.
    std::array<std::int16_t, DataSize> PrnData{};
    std::string PrnVoltage;        // "Voltage (KV): 7.3"
    std::string PrnEnergy;         // "Energy (J): 1.5"
    std::string PrnInterval;       // "Interval (s): 1.0"
    std::string PrnPulseWidth;     // "Pulse Width (µs): 60"
    std::string PrnLoad;           // "Load (Ohms): 500", or "Load (Ohms): No Load"
    std::string PrnModel;          // the model caption, "Model No.: ..."
    std::string PrnSerial;         // the serial caption, "Serial No.: ..."
    std::int16_t PrnVoltCount = 0; // peak voltage in tenths of a kV

    // The report values of the data set shown; empty ones when none is.
    static ReportValues of(const std::optional<ShownDataSet> &shown);

    friend bool operator==(const ReportValues &, const ReportValues &) = default;
};
