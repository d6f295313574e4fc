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
        records_[index] = std::move(record);
}

const std::string &DataSets::record(int index) const
{
    static const std::string none;
    return isDataSetIndex(index) ? records_[index] : none;
}

std::optional<Measurement> DataSets::select(int index)
{
    if (isDataSetIndex(index))
        current_ = records_[index];
    return decodeRecord(current_);
}
