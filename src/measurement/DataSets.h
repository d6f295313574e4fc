#pragma once

#include "MeasurementRecord.h"

#include <array>
#include <optional>
#include <string>
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

// Everything fetched from the meter, each reply as received, and the one data set shown.
class DataSets
{
public:
    static constexpr int Count = 4;

    // A fetch begins: the replies, the records and the data set shown of earlier fetches are
    // forgotten, so nothing of another meter is shown under this one's name.
    void startFetch();

    // The latest replies to "?M" and "?S"; none before the first fetch.
    void setModelReply(std::string reply) { m_modelReply = std::move(reply); }
    void setSerialReply(std::string reply) { m_serialReply = std::move(reply); }
    const std::optional<std::string> &modelReply() const { return m_modelReply; }
    const std::optional<std::string> &serialReply() const { return m_serialReply; }

    // Stores the raw reply for data set `index` (0 = data set 1). Other indexes are ignored.
    void setRecord(int index, std::string record);
    // The raw reply of data set `index`; empty before the first fetch or for other indexes.
    const std::string &record(int index) const;

    // Makes data set `index` (0..3) the current record and shows it, with the meter's latest
    // replies. Any other index keeps the current record and shows it again. When the current
    // record is not a valid record, returns false, nothing is shown and fault() says why.
    bool show(int index);
    // The data set shown; nothing before a valid one is chosen.
    const std::optional<ShownDataSet> &shown() const { return m_shown; }
    // Why the data set chosen last is not shown: "Data set 2: the meter sent 221 bytes instead of
    // 222"; empty while one is shown or before any is chosen.
    const std::string &fault() const { return m_fault; }

    // After a fetch: why each data set that cannot be shown cannot, one line each.
    std::vector<std::string> faults() const;
    // Whether the meter sent no byte at all to any of the six commands of the last fetch.
    bool nothingReceived() const;

private:
    std::array<std::string, Count> m_records;
    std::string m_current; // a copy of the record chosen last, and its index
    int m_currentIndex = 0;
    std::optional<std::string> m_modelReply;
    std::optional<std::string> m_serialReply;
    std::optional<ShownDataSet> m_shown;
    std::string m_fault;
    bool m_fetched = false; // a fetch has begun
};
