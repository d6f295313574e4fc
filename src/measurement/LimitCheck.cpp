#include "LimitCheck.h"

namespace LimitCheck {
namespace {
Verdict verdict(bool passes)
{
    return passes ? Verdict::Pass : Verdict::Fail;
}
} // namespace

const char *verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::NotApplicable:
        break;
    }
    return "n/a";
}

Verdicts check(const Measurement &m, const LimitProfile &profile)
{
    const bool loadInRange =
        m.loadOhms > 0 && m.loadOhms >= profile.loadMinOhms && m.loadOhms <= profile.loadMaxOhms;
    // count / 10.0 is the double nearest the meter's value, as the limit read from "5.0" is the
    // double nearest the limit: a value at the limit is the same double, never a hair above it.
    return {loadInRange ? verdict(m.energyCount / 10.0 <= profile.energyMaxJ)
                        : Verdict::NotApplicable,
            verdict(m.intervalCount >= profile.intervalMinMs),
            verdict(m.pulseWidth <= profile.pulseWidthMaxUs)};
}

} // namespace LimitCheck
