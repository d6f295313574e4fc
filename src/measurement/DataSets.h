#pragma once

#include "MeasurementRecord.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The data set shown: which one, what it holds, and the meter's replies to "?M" and "?S" as they
// stood when it was shown. The window's labels and waveform, the printed report and the export
// all read it from here.
struct ShownDataSet
{
    int index = 0; // 0 = data set 1
    Measurement measurement{};
    std::optional<std::string> modelReply{}; // none before the meter first answered
    std::optional<std::string> serialReply{};

    friend bool operator==(const ShownDataSet &, const ShownDataSet &) = default;
};

// The four data sets of one fetch, each record decoded once, when it comes. The raw replies are
// not kept here: whoever holds the fetch keeps them.
class DataSets
{
public:
    static constexpr int Count = 4;
    using Records = std::array<std::optional<std::string_view>, Count>;

    // Nothing fetched yet: every data set says so.
    DataSets();
    // A fetch has begun: every data set reads "no answer" until its record comes.
    static DataSets fetching();
    // The data sets of a fetch; a record that never came reads as an empty reply.
    static DataSets of(const Records &records);

    // The reply to "?1" ... "?4" for data set `index` (0 = data set 1), decoded now. Other indexes
    // are ignored.
    void setRecord(int index, std::string_view record);

    // The measurement of data set `index`; none when its record is not a valid one, or for
    // another index.
    const std::optional<Measurement> &measurement(int index) const;
    // Why data set `index` has no measurement: "Data set 2: the meter sent 221 bytes instead of
    // 222", "Data set 4: nothing fetched yet"; empty when it has one, or for another index.
    const std::string &fault(int index) const;
    // Why each data set that has no measurement has none, one line each, in order.
    std::vector<std::string> faults() const;

    static bool isIndex(int index) { return index >= 0 && index < Count; }

private:
    struct DataSet
    {
        std::optional<Measurement> measurement;
        std::string fault;
    };
    std::array<DataSet, Count> m_sets;
};
