// Fuzz target: one meter record as a data-set reply, and all it feeds that needs no Qt.
#include "RecordChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RecordChecks::checkDecode(std::string_view(reinterpret_cast<const char *>(data), size));
    return 0;
}
