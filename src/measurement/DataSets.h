#pragma once

#include "MeasurementRecord.h"

#include <array>
#include <optional>
#include <string>

// The four records fetched from the meter and the one being shown.
class DataSets
{
public:
    static constexpr int Count = 4;

    // Stores the raw reply for data set `index` (0 = data set 1). Other indexes are ignored.
    void setRecord(int index, std::string record);
    // The raw reply of data set `index`; empty before the first fetch or for other indexes.
    const std::string &record(int index) const;

    // Makes data set `index` (0..3) the current record and decodes it. Any other index keeps the
    // current record and decodes that again. Returns nullopt when the current record is not a
    // valid record: the caller then changes nothing.
    std::optional<Measurement> select(int index);
    const std::string &currentRecord() const { return current_; }

private:
    std::array<std::string, Count> records_;
    std::string current_;
};
