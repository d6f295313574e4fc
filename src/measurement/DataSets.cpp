#include "DataSets.h"

#include <algorithm>

namespace {
bool isDataSetIndex(int index)
{
    return index >= 0 && index < DataSets::Count;
}

std::string faultText(int index, std::string_view record, bool fetched)
{
    const std::string why =
        record.empty() && !fetched ? "nothing fetched yet" : recordFault(record);
    return why.empty() ? why : "Data set " + std::to_string(index + 1) + ": " + why;
}
} // namespace

void DataSets::startFetch()
{
    *this = DataSets();
    m_fetched = true;
}

std::vector<std::string> DataSets::faults() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < Count; ++i)
        if (std::string line = faultText(i, m_records[i], m_fetched); !line.empty())
            lines.push_back(std::move(line));
    return lines;
}

bool DataSets::nothingReceived() const
{
    const auto none = [](const std::optional<std::string> &reply) {
        return !reply || reply->empty();
    };
    return none(m_modelReply) && none(m_serialReply) &&
           std::all_of(m_records.begin(), m_records.end(), [](auto &r) { return r.empty(); });
}

void DataSets::setRecord(int index, std::string record)
{
    if (isDataSetIndex(index))
        m_records[index] = std::move(record);
}

const std::string &DataSets::record(int index) const
{
    static const std::string none;
    return isDataSetIndex(index) ? m_records[index] : none;
}

bool DataSets::show(int index)
{
    if (isDataSetIndex(index)) {
        m_current = m_records[index];
        m_currentIndex = index;
    }
    const std::optional<Measurement> m = decodeRecord(m_current);
    m_fault = faultText(m_currentIndex, m_current, m_fetched);
    if (!m) {
        m_shown.reset();
        return false;
    }
    m_shown = ShownDataSet{m_currentIndex, *m, m_modelReply, m_serialReply};
    return true;
}
