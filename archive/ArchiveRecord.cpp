#include "ArchiveRecord.h"

#include <type_traits>

#include "base/DateUtil.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

// Records are copied whole and byte-mapped into blobs; keep them plain.
static_assert(std::is_trivially_copyable_v<sctArcZap>);
static_assert(std::is_standard_layout_v<sctArcZap>);

namespace archive {

namespace {

template <std::size_t N> float sum(const std::array<float, N>& x, const std::array<float, N>& pre, int i)
{
    if (i < 0 || std::size_t(i) >= N)
        return 0.0f;
    return x[std::size_t(i)] + pre[std::size_t(i)];
}

} // namespace

RecordStamp stampOf(const sctArcZap& r)
{
    return RecordStamp{ r.minute, r.hour, r.day, r.month, r.year };
}

int compareRecords(const sctArcZap& a, const sctArcZap& b)
{
    const std::uint64_t ka = stampKey(a);
    const std::uint64_t kb = stampKey(b);
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

bool sameRecord(const sctArcZap& a, const sctArcZap& b)
{
    return identityKey(a) == identityKey(b);
}

float cumulativeQ(const sctArcZap& r, int contour)
{
    return sum(r.Q, r.pre_Q, contour);
}

float cumulativeM(const sctArcZap& r, int channel)
{
    return sum(r.M, r.pre_M, channel);
}

float cumulativeV(const sctArcZap& r, int channel)
{
    return sum(r.V, r.pre_V, channel);
}

int fullYear(const sctArcZap& r)
{
    return int(r.year) + 2000;
}

QDateTime recordDateTime(const sctArcZap& r)
{
    if (r.year >= 100)
        return {};
    return dateutil::makeDateTime(fullYear(r), r.month, r.day, r.hour, r.minute);
}

QString EnergyUnitName(std::uint8_t code, StringLoader load)
{
    if (load == nullptr)
        load = &LoadResString;
    switch (code) {
    case kEnergyKWh:
        return load(210, u"kW*h"_s);
    case kEnergyGJ:
        return load(209, u"GJ"_s);
    default:
        return load(208, u"Gcal"_s);
    }
}

} // namespace archive
