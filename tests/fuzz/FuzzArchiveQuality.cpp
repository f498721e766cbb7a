// Records of any stamps and values, in any order, through the quality check: nothing may crash,
// hang or allocate without bound, and the counts must add up. The chart series of the same
// inputs have their own target, so each run spends its time on one of the two.
#include <cstdint>
#include <cstdlib>

#include "ArchiveRecordsInput.h"
#include "archive/DataQuality.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzinput::ArchiveRecordsInput in;
    if (!fuzzinput::decode(data, size, in))
        return 0;

    const archive::quality::Report r = archive::quality::check(in.records, { in.from, in.to, {} }, in.contours);
    if (r.presentHours + r.missingHours != r.expectedHours || r.missingHours < 0)
        std::abort();
    qint64 gapHours = 0;
    for (const archive::quality::Finding& f : r.findings) {
        if (f.kind == archive::quality::Finding::Kind::Gap)
            gapHours += f.count;
        if (f.record >= qint64(in.records.size()) || archive::quality::findingText(f).isEmpty())
            std::abort();
    }
    if (gapHours != r.missingHours)
        std::abort();
    return 0;
}
