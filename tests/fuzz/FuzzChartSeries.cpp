// Records of any stamps and values through the chart series, their downsampling and mark bands:
// nothing may crash or allocate without bound, points stay in time order within the column
// budget, and no drawn line crosses a missing value.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ArchiveRecordsInput.h"
#include "archive/ChartSeries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzinput::ArchiveRecordsInput in;
    if (!fuzzinput::decode(data, size, in))
        return 0;

    // The chart is built from the account's list, which is always in identity order.
    std::stable_sort(in.records.begin(), in.records.end(), [](const sctArcZap& a, const sctArcZap& b) {
        return archive::identityKey(a) < archive::identityKey(b);
    });
    const archive::chart::Request request(data[0] % 3,
                                          in.daily ? archive::chart::Step::Daily : archive::chart::Step::Hourly,
                                          in.from, in.to);
    const archive::chart::Series s = archive::chart::build(in.records, request);
    if (s.size() == 0)
        return 0;
    const int columns = 1 + data[1] % 200;
    // One quantity a run, the input's choice: an amount, a reading or a difference go missing
    // each their own way.
    const int q = data[2] % archive::chart::kQuantities;
    const std::vector<double>& values = s.values(archive::chart::Quantity(q));
    const auto pts = archive::chart::downsample(s, archive::chart::Quantity(q), s.x.front(), s.x.back(), columns);
    if (pts.size() > std::size_t(2 * columns))
        std::abort();
    for (std::size_t k = 1; k < pts.size(); ++k) {
        if (pts[k].slot <= pts[k - 1].slot)
            std::abort();
        if (!pts[k].newSegment) {
            for (std::size_t i = pts[k - 1].slot + 1; i < pts[k].slot; ++i) {
                if (std::isnan(values[i]))
                    std::abort();
            }
        }
    }
    const auto mark = archive::chart::Mark(data[3] % 5);
    for (const archive::chart::Band& b : archive::chart::bands(s, mark, s.x.front(), s.x.back(), columns)) {
        if (b.to <= b.from)
            std::abort();
    }
    return 0;
}
