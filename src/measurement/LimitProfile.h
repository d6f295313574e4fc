#pragma once

#include "Result.h"

#include <string>

// The limits a data set's values are held against in the indicative limit check (LimitCheck).
// The built-in profile is always there; more come from files (the storage room reads them).
struct LimitProfile
{
    std::string name;           // UTF-8; unique among the profiles
    double energyMaxJ = 0;      // the meter's energy at most this, for loads in the range below
    double intervalMinMs = 0;   // the time between pulses at least this
    double pulseWidthMaxUs = 0; // the meter's pulse width at most this
    double loadMinOhms = 0;     // the loads the energy limit holds for, both ends included
    double loadMaxOhms = 0;

    friend bool operator==(const LimitProfile &, const LimitProfile &) = default;
};

// A profile's limits by the names its file gives them, each with the largest value it may have:
// far above any energizer's, so that a slip ("5000" for 5.0 J) is refused rather than passes
// everything. Pulse width and load stop at the meter's largest count (16 bits).
struct LimitKey
{
    const char *name;
    double LimitProfile::*limit;
    double ceiling;
};

inline constexpr LimitKey LimitKeys[] = {
    {"energyMaxJ", &LimitProfile::energyMaxJ, 1000},
    {"intervalMinMs", &LimitProfile::intervalMinMs, 60000},
    {"pulseWidthMaxUs", &LimitProfile::pulseWidthMaxUs, 65535},
    {"loadMinOhms", &LimitProfile::loadMinOhms, 65535},
    {"loadMaxOhms", &LimitProfile::loadMaxOhms, 65535},
};

// The longest name a profile may have, in characters: it is shown in the window and the report.
inline constexpr int LimitProfileNameLength = 100;

// "Energizer safety limits (indicative)": 5.0 J for loads of 50 to 500 Ohms, at least 1000 ms
// between pulses, pulses at most 10000 µs wide.
const LimitProfile &builtInLimitProfile();

// Whether `profile` can be used: its name not blank, without control characters and not longer
// than LimitProfileNameLength, each limit a finite number from 0 to its ceiling, loadMinOhms not
// above loadMaxOhms. The failure names the entry as a file spells it: "the entry “energyMaxJ” is
// negative (-1)".
Result<> validLimits(const LimitProfile &profile);
