#pragma once

#include "MeasurementRecord.h"
#include "OrderedJson.h"

#include <vector>

// A data set's five counts as JSON members, in the order and units every output of the program
// names them: "voltageKV", "energyJ", "intervalMs", "pulseWidthUs", "loadOhms" (0: no load).
std::vector<OrderedJson::Member> countMembers(const Measurement &m);
