#include "DataSets.h"

namespace {
bool isDataSetIndex(int index)
{
    return index >= 0 && index < DataSets::Count;
}
} // namespace

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
    if (!m)
        return false;
    m_shown = ShownDataSet{m_currentIndex, *m, m_modelReply, m_serialReply};
    return true;
}
