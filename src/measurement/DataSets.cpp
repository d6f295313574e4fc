#include "DataSets.h"

namespace {
std::string faultLine(int index, const std::string &why)
{
    return why.empty() ? why : "Data set " + std::to_string(index + 1) + ": " + why;
}
} // namespace

DataSets::DataSets()
{
    for (int i = 0; i < Count; ++i)
        m_sets[i].fault = faultLine(i, "nothing fetched yet");
}

DataSets DataSets::fetching()
{
    return of({});
}

DataSets DataSets::of(const Records &records)
{
    DataSets sets;
    for (int i = 0; i < Count; ++i)
        sets.setRecord(i, records[i].value_or(std::string_view()));
    return sets;
}

void DataSets::setRecord(int index, std::string_view record)
{
    if (!isIndex(index))
        return;
    DecodedRecord decoded = decode(record);
    m_sets[index] = {std::move(decoded.measurement), faultLine(index, decoded.fault)};
}

const std::optional<Measurement> &DataSets::measurement(int index) const
{
    static const std::optional<Measurement> none;
    return isIndex(index) ? m_sets[index].measurement : none;
}

const std::string &DataSets::fault(int index) const
{
    static const std::string none;
    return isIndex(index) ? m_sets[index].fault : none;
}

std::vector<std::string> DataSets::faults() const
{
    std::vector<std::string> lines;
    for (const DataSet &set : m_sets)
        if (!set.fault.empty())
            lines.push_back(set.fault);
    return lines;
}
