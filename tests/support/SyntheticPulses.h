#pragma once

#include "MeasurementRecord.h"

#include <QByteArray>
#include <QList>

// Pulses whose measures can be worked out by hand, as codes above the zero line (sample i at
// index i - 1): quiet up to sample a, a straight rise over k samples (each H / k higher) to the
// peak H at sample p = a + k, then a fall in which each sample is the one before divided by q,
// down to the zero line.
inline QList<int> pulse(int a, int k, int h, int q)
{
    QList<int> codes(Measurement::SampleCount, 0);
    for (int i = a + 1; i <= Measurement::SampleCount; ++i)
        codes[i - 1] = i <= a + k ? h * (i - a) / k : codes[i - 2] / q;
    return codes;
}

inline QList<int> with(QList<int> codes, int sample, int code)
{
    codes[sample - 1] = code;
    return codes;
}

inline Measurement measurement(const QList<int> &codes, int voltCount, int load, int energy = 15)
{
    Measurement m{.voltCount = voltCount, .energyCount = energy, .loadOhms = load};
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        m.samples[i] = std::int16_t(Measurement::ZeroLine + codes[i - 1]);
    return m;
}

// The 222 bytes the meter sends for `m` (samples 0..255, counts low byte first).
inline QByteArray recordOf(const Measurement &m)
{
    QByteArray bytes(Measurement::RecordLength, '\0');
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        bytes[1 + i] = char(m.samples[i]);
    int k = 202;
    for (const std::int32_t count :
         {m.intervalCount, m.pulseWidth, m.voltCount, m.energyCount, m.loadOhms})
        bytes[k++] = char(count & 0xff), bytes[k++] = char(count >> 8);
    return bytes;
}
