// Fuzz target: any bytes opened as a fetch file. What the reader takes, the writer writes back
// unchanged; what it refuses, it says why.
#include "FetchFile.h"

#undef NDEBUG
#include <cassert>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto fetch =
        FetchFile::fromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    assert(fetch.ok() == fetch.error().empty() && (size <= 1024 * 1024 || !fetch));
    if (!fetch)
        return 0;
    const auto json = [](const FetchRecord &f) {
        return FetchFile::toJson(f, DataSets::of(f.recordViews()), u"voltrane-meter fuzz"_qs);
    };
    const auto back = FetchFile::fromJson(json(*fetch));
    assert(back && *back == *fetch && json(*back) == json(*fetch));
    assert(!FetchFile::fileName(fetch->saved, fetch->serialReply).contains(u'/'));
    return 0;
}
