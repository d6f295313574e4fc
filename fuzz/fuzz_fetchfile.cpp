// Fuzz target: any bytes opened as a fetch file. What the reader takes, the writer writes back
// unchanged; what it refuses, it says why.
#include "FetchFile.h"

#undef NDEBUG
#include <cassert>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString problem, again;
    const auto fetch = FetchFile::fromJson(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &problem);
    assert(fetch.has_value() == problem.isEmpty() && (size <= 1024 * 1024 || !fetch));
    if (!fetch)
        return 0;
    const QByteArray json = FetchFile::toJson(*fetch, u"voltrane-meter fuzz"_qs);
    const auto back = FetchFile::fromJson(json, &again);
    assert(back == fetch && FetchFile::toJson(*back, u"voltrane-meter fuzz"_qs) == json);
    assert(!FetchFile::fileName(fetch->saved, fetch->serialReply).contains(u'/'));
    return 0;
}
