#include "LimitProfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The shortest text that reads back as `value`: "5", "0.5", "1e+300".
std::string numberText(double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string entry(const char *name)
{
    return std::string("the entry “") + name + "”";
}

} // namespace

const LimitProfile &builtInLimitProfile()
{
    static const LimitProfile profile{
        "Energizer safety limits (indicative)", 5.0, 1000, 10000, 50, 500};
    return profile;
}

Result<> validLimits(const LimitProfile &profile)
{
    const std::string &name = profile.name;
    if (std::ranges::all_of(name, [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }))
        return failure(entry("name") + " is empty");
    if (std::ranges::any_of(name, [](char c) { return (c >= 0 && c < ' ') || c == 0x7F; }))
        return failure(entry("name") + " holds a control character (a tab or line end)");
    // UTF-8: every byte but the continuation bytes (10xxxxxx) starts a character.
    if (std::ranges::count_if(name, [](char c) { return (c & 0xC0) != 0x80; }) >
        LimitProfileNameLength)
        return failure(entry("name") + " is longer than " + std::to_string(LimitProfileNameLength) +
                       " characters");
    for (const LimitKey &key : LimitKeys) {
        const double value = profile.*key.limit;
        if (!std::isfinite(value))
            return failure(entry(key.name) + " is not a finite number");
        if (value < 0)
            return failure(entry(key.name) + " is negative (" + numberText(value) + ")");
        if (value > key.ceiling)
            return failure(entry(key.name) + " is " + numberText(value) + ", more than the " +
                           numberText(key.ceiling) + " a profile may set");
    }
    if (profile.loadMinOhms > profile.loadMaxOhms)
        return failure(entry("loadMinOhms") + " (" + numberText(profile.loadMinOhms) +
                       ") is above " + entry("loadMaxOhms") + " (" +
                       numberText(profile.loadMaxOhms) + ")");
    return {};
}
