#pragma once

#include "DataSets.h"

#include <optional>
#include <string>
#include <string_view>

// A data set as a CSV file for spreadsheets: the meter's model and serial number, the five values
// with their units, then one row per sample with its number, its time (2 µs per sample), its code
// (0..255, 127 is the zero line) and its voltage in kV.
//
// The file is UTF-8 with a byte-order mark (so spreadsheets read "µ" right), comma-separated with
// a decimal point whatever the locale, CRLF line ends, and fields quoted where they need it.
namespace DataSetCsv {

// The voltage of sample i (1..200) in kV, scaled as on the printed chart: the zero line at 0 and
// the highest sample at the measured peak voltage. nullopt when the data set cannot be scaled:
// its highest sample lies on the zero line.
std::optional<double> sampleKV(const Measurement &m, int i);

// The whole file. The meter's texts are written without the blanks and line ends around them.
std::string write(const ShownDataSet &shown);

// A field as CSV writes it: quoted, with inner quotes doubled, when it holds a comma, a quote or
// a line end.
std::string field(std::string_view text);

} // namespace DataSetCsv
