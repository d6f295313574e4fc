#pragma once

#include "MeasurementRecord.h"

#include <QByteArray>
#include <QtGlobal>

// The four data sets the simulated meter holds, and the records it sends for "?1" ... "?4".
//
// A record is 222 bytes: the two command characters, 200 samples (one byte each, 127 is the zero
// line, 2 µs apart), five 16-bit counts with the low byte first, nine 0x00 bytes and a CR.
namespace SimulatedDataSets {

inline constexpr int FirstDataSet = 1;
inline constexpr int LastDataSet = 4;

// The counts a record carries after its samples.
struct Counts
{
    quint16 intervalMs;   // time between two pulses
    quint16 pulseWidthUs; // the pulse's main (positive) part
    quint16 voltCount;    // peak voltage, tenths of a kV
    quint16 energyCount;  // tenths of a joule
    quint16 loadOhms;     // 0: no load
};

// The record the meter sends for data set 1..4 ("?1" ... "?4"); empty for any other number.
QByteArray record(int dataSet);

// What arrives for data set 1..4 over a disturbed line: 222 bytes of noise (the same every time)
// whose voltage count reads above 32767. Empty for any other number.
QByteArray garbledRecord(int dataSet);

} // namespace SimulatedDataSets
