#pragma once

#include "LimitCheck.h"
#include "MeasurementRecord.h"
#include "OrderedJson.h"
#include "PulseMeasures.h"

#include <vector>

// A data set's five counts as JSON members, in the order and units every output of the program
// names them: "voltageKV", "energyJ", "intervalMs", "pulseWidthUs", "loadOhms" (0: no load).
std::vector<OrderedJson::Member> countMembers(const Measurement &m);

// The measures from the samples: "peakTimeUs", "riseTimeUs", "widthAt50Us", "peakCurrentA",
// "energyFromSamplesJ" (null where a measure does not apply), "cutOff".
OrderedJson measuresJson(const PulseMeasures &measures);

// A limit check's verdicts: "profile" and "energy", "interval", "pulseWidth", each "pass",
// "fail" or "n/a".
OrderedJson checkJson(const std::string &profile, const LimitCheck::Verdicts &verdicts);
