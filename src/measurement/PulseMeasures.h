#pragma once

#include "MeasurementRecord.h"

#include <optional>
#include <string>

// One number worked out from a data set's samples, or why there is none ("no load connected"),
// in words the window can show beside the measure's caption.
struct Measure
{
    std::optional<double> value;
    std::string whyNone; // empty exactly when there is a value

    friend bool operator==(const Measure &, const Measure &) = default;
};

// What the 200 samples tell beyond the meter's five values. Sample i (1..200) lies at
// t_i = 2·i µs and stands for v_i volts, scaled as every view scales it (scaledSampleKV): the
// zero line at 0 V and the highest sample at the meter's peak voltage P = voltCount / 10 kV.
// Levels are fractions of P. A crossing of a level L lies between two neighbouring samples, one
// below L and one at or above it, at the time found by linear interpolation between them.
//
//   peakTimeUs          t_p of the first sample p at the highest code
//   riseTimeUs          from the last upward crossing of 10 % before p to the first upward
//                       crossing of 90 % after that one
//   widthAt50Us         from the last upward crossing of 50 % before p to the first downward
//                       crossing of 50 % after p
//   peakCurrentA        P / R, R the load in Ohms
//   energyFromSamplesJ  Σ v_i² / R · 2 µs over the 200 samples
//
// A measure is null, with its reason, when it does not apply:
//   - to every measure: a flat record (all samples on the zero line), a record with no sample
//     above the zero line, a peak voltage of 0;
//   - peak current and energy without a load (R = 0);
//   - the peak time when p is the record's first or last sample (the pulse may peak outside the
//     record), and the rise time when it is the last (the pulse may rise further);
//   - the rise time and the width when no sample before p lies below their level (the pulse
//     starts before the record), the width when none after p lies below 50 % (it runs past the
//     record's end);
//   - the rise time when both of its crossings lie between the same two samples, and the width
//     when only the peak sample reaches 50 %: the 2 µs between samples cannot show them;
//   - the energy when the pulse is cut off (cutOff): part of it lies outside the record.
// A cut-off pulse keeps the other measures whose crossings lie in the record: wherever the pulse
// began or ends, the last crossing before p and the first one after it are the record's.
struct PulseMeasures
{
    Measure peakTimeUs;
    Measure riseTimeUs;
    Measure widthAt50Us;
    Measure peakCurrentA;
    Measure energyFromSamplesJ;
    // The first sample is at or above 10 % of P, or the last one's magnitude above it: the pulse
    // began before the meter's 400 µs or runs past them.
    bool cutOff = false;

    friend bool operator==(const PulseMeasures &, const PulseMeasures &) = default;
};

// The measures of `m`; any samples and counts are safe to pass.
PulseMeasures measurePulse(const Measurement &m);

// How far the energy from the samples lies from the meter's own, in % of the meter's:
// (samples − meter) / meter · 100. nullopt when either is missing or the meter's is 0.
std::optional<double> energyDifferencePercent(const PulseMeasures &measures, const Measurement &m);
