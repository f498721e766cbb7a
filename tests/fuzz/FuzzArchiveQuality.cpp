// Records of any stamps and values, in any order, through the quality check, the chart series
// and their downsampling: nothing may crash, hang or allocate without bound, and the counts
// must add up.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QDate>

#include "archive/ChartSeries.h"
#include "archive/DataQuality.h"

namespace {

// Each 16 bytes make one record: stamp, Event, three error words' low bytes, minutes and a few
// integrator and temperature bytes. The stamps fall in one month, now and then the next or a
// neighbouring year: a period of years would spend each run building hours, not on the cases.
std::vector<sctArcZap> recordsOf(const std::uint8_t* data, std::size_t size)
{
    std::vector<sctArcZap> out;
    for (std::size_t at = 0; at + 16 <= size && out.size() < 2000; at += 16) {
        const std::uint8_t* b = data + at;
        sctArcZap r;
        const bool odd = b[0] == 0xFF && b[15] == 0xFF;
        r.year = std::uint8_t(odd ? 25 + b[1] % 3 : 26);
        r.month = odd ? b[1] % 14 : b[1] == 0xFE ? 2 : 1;
        r.day = b[2] % 33;
        r.hour = b[3] % 26;
        r.minute = b[4] % 3 == 0 ? b[4] % 61 : 0;
        r.Event = b[5] % 4 == 0 ? archive::kEventDaily : b[5] % 7 == 0 ? archive::kEventSkipped : archive::kEventHourly;
        r.Err[0] = std::uint32_t(b[6]) << (b[6] % 29);
        r.Err[1] = b[7];
        r.Tfmn[0] = b[8];
        r.Tfmx[1] = b[9];
        r.Tdtm[2] = b[10];
        float q;
        std::memcpy(&q, b + 11, sizeof q); // any bits: NaN and infinities included
        r.Q[0] = q;
        r.M[0] = float(b[15]) * 1000.0f;
        r.M[1] = float(b[15] ^ 0x55) * 40000.0f;
        r.T[0] = std::uint32_t(b[12]) * 60u;
        r.t[0] = float(b[13]);
        r.t[1] = float(b[14]);
        out.push_back(r);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const int contours = 1 + data[0] % 3;
    const bool daily = data[1] & 1;
    const QDate from = data[2] & 1 ? QDate() : QDate(2025 + data[2] % 3, 1 + data[3] % 2, 1);
    const QDate to = from.isValid() ? from.addDays(data[3] % 31) : QDate();
    const std::vector<sctArcZap> records = recordsOf(data + 4, size - 4);

    const archive::quality::Report r = archive::quality::check(records, { from, to, {} }, contours);
    if (r.presentHours + r.missingHours != r.expectedHours || r.missingHours < 0)
        std::abort();
    qint64 gapHours = 0;
    for (const archive::quality::Finding& f : r.findings) {
        if (f.kind == archive::quality::Finding::Kind::Gap)
            gapHours += f.count;
        if (f.record >= qint64(records.size()) || archive::quality::findingText(f).isEmpty())
            std::abort();
    }
    if (gapHours != r.missingHours)
        std::abort();

    std::vector<sctArcZap> sorted = records;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const sctArcZap& a, const sctArcZap& b) { return archive::identityKey(a) < archive::identityKey(b); });
    archive::chart::Request request{ data[0] % 3, daily ? archive::chart::Step::Daily : archive::chart::Step::Hourly, from,
                                     to, {} };
    const archive::chart::Series s = archive::chart::build(sorted, request);
    if (s.size() == 0)
        return 0;
    const int columns = 1 + data[1] % 200;
    // One quantity a run, the input's choice: an amount, a reading or a difference go missing
    // each their own way.
    {
        const int q = data[2] % archive::chart::kQuantities;
        const auto pts = archive::chart::downsample(s, archive::chart::Quantity(q), s.x.front(), s.x.back(), columns);
        if (pts.size() > std::size_t(2 * columns))
            std::abort();
        for (std::size_t k = 1; k < pts.size(); ++k) {
            if (pts[k].slot <= pts[k - 1].slot)
                std::abort();
            // Never a line across a missing value.
            if (!pts[k].newSegment) {
                for (std::size_t i = pts[k - 1].slot + 1; i < pts[k].slot; ++i) {
                    if (std::isnan(s.values(archive::chart::Quantity(q))[i]))
                        std::abort();
                }
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
