#pragma once

#include <array>
#include <cstdint>
#include <string>

// Builds meter records byte by byte for tests: 2 echo bytes, 200 samples, five 16-bit counts
// (low byte first), 10 trailing bytes.
struct RecordBuilder
{
    std::array<std::uint8_t, 200> samples;
    std::uint16_t interval = 0, pulseWidth = 0, volt = 0, energy = 0, load = 0;
    std::size_t length = 222;

    RecordBuilder() { samples.fill(127); }

    RecordBuilder &allSamples(std::uint8_t value)
    {
        samples.fill(value);
        return *this;
    }
    RecordBuilder &counts(std::uint16_t intervalMs, std::uint16_t widthUs, std::uint16_t voltTenths,
                          std::uint16_t energyTenths, std::uint16_t loadOhms)
    {
        interval = intervalMs;
        pulseWidth = widthUs;
        volt = voltTenths;
        energy = energyTenths;
        load = loadOhms;
        return *this;
    }

    std::string bytes() const
    {
        std::string r = "?1";
        for (std::uint8_t s : samples)
            r += static_cast<char>(s);
        for (std::uint16_t v : {interval, pulseWidth, volt, energy, load}) {
            r += static_cast<char>(v & 0xff);
            r += static_cast<char>(v >> 8);
        }
        r += std::string(9, '\0') + "\r";
        r.resize(length, '\0');
        return r;
    }
};
