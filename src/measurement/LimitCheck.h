#pragma once

#include "LimitProfile.h"
#include "MeasurementRecord.h"

// The indicative limit check: a data set's values as the meter measured them, held against a
// limit profile. It is not a type test of the energizer; every verdict shown goes with Caveat.
namespace LimitCheck {

inline constexpr char Caveat[] = "Indicative check, not a type test";

enum class Verdict
{
    Pass,
    Fail,
    NotApplicable
};

// "pass", "fail" or "n/a".
const char *verdictText(Verdict verdict);

struct Verdicts
{
    Verdict energy;     // energy ≤ energyMaxJ; n/a with No Load or a load outside the range
    Verdict interval;   // interval ≥ intervalMinMs
    Verdict pulseWidth; // pulse width ≤ pulseWidthMaxUs

    friend bool operator==(const Verdicts &, const Verdicts &) = default;
};

// The meter's counts compared exactly: 50 tenths of a J pass a 5.0 J limit, 51 fail it.
Verdicts check(const Measurement &m, const LimitProfile &profile);

} // namespace LimitCheck
