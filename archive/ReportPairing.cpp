#include "archive/ReportPairing.h"

#include <algorithm>
#include <cmath>

namespace archive::pairing {

namespace {

constexpr float kMassWrap = 10000000.0f;
constexpr int kFirstFormatWithTotals = 6; // daily rows of older meters hold the day's minutes

float nz(float v)
{
    return std::isnan(v) ? 0.0f : v;
}

// Same ordering as stampKey(); the day may run one past the month's end, which still sorts
// after every record of that month and before the next one.
constexpr std::uint64_t keyOf(int year, int month, int day, int hour, int minute)
{
    return std::uint64_t(year) << 32 | std::uint64_t(month) << 24 | std::uint64_t(day) << 16 | std::uint64_t(hour) << 8
        | std::uint64_t(minute);
}

std::size_t lowerBound(const std::vector<sctArcZap>& records, std::uint64_t key)
{
    return std::size_t(
        std::partition_point(records.begin(), records.end(), [key](const sctArcZap& r) { return stampKey(r) < key; })
        - records.begin());
}

std::size_t upperBound(const std::vector<sctArcZap>& records, std::uint64_t key)
{
    return std::size_t(
        std::partition_point(records.begin(), records.end(), [key](const sctArcZap& r) { return stampKey(r) <= key; })
        - records.begin());
}

bool sameDate(const sctArcZap& a, const sctArcZap& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// The day as record bytes; false when no record can carry that year.
bool dayBytes(const QDate& day, int& year, int& month, int& dom)
{
    if (!day.isValid() || day.year() < 2000 || day.year() > 2255)
        return false;
    year = day.year() - 2000;
    month = day.month();
    dom = day.day();
    return true;
}

// Passes 1 and 3 of the hourly report: the positions of the day's rows' later records, the
// 24:00 row included when the 00:00 record of the next day (same month) exists.
std::vector<std::size_t> hourRowsOfDay(const std::vector<sctArcZap>& records, int year, int month, int dom,
                                       bool& found2400)
{
    std::vector<std::size_t> rows;
    const std::size_t first = lowerBound(records, keyOf(year, month, dom, 1, 0));
    const std::size_t last = lowerBound(records, keyOf(year, month, dom + 1, 0, 0));
    rows.reserve(last - first + 2);
    for (std::size_t i = first; i < last; ++i) {
        if (records[i].Event == kEventHourly)
            rows.push_back(i);
    }
    found2400 = false;
    const std::uint64_t midnight = keyOf(year, month, dom + 1, 0, 0);
    for (std::size_t i = last; i < records.size() && stampKey(records[i]) == midnight; ++i) {
        if (records[i].Event == kEventHourly) {
            rows.push_back(i);
            found2400 = true;
        }
    }
    return rows;
}

// The position of the latest record before the one at `at` that can open its hour (records
// the interval search skips, hour-24 records and the part-hour records of the hour just before
// do not), found by stepping back from `at`; kNoRecord when there is none.
std::size_t earlierAt(const std::vector<sctArcZap>& records, std::size_t at)
{
    const sctArcZap& later = records[at];
    const std::uint64_t key = stampKey(later);
    std::size_t i = at;
    while (i > 0 && stampKey(records[i - 1]) == key)
        --i;
    while (i-- > 0) {
        const sctArcZap& r = records[i];
        if (r.Event == kEventSkipped || r.hour == 24 || (r.hour + 1 == later.hour && r.minute != 0))
            continue;
        return i;
    }
    return kNoRecord;
}

sctArcZap recordAt(const std::vector<sctArcZap>& records, std::size_t at)
{
    return at == kNoRecord ? sctArcZap{} : records[at];
}

} // namespace

void RunningMean::add(float value, float weight)
{
    value = nz(value);
    weight = nz(weight);
    m_mean = nz(m_mean);
    m_weight = nz(m_weight);
    const float total = m_weight + weight;
    if (total == 0.0f)
        m_mean = (m_mean + value) / 2.0f;
    else
        m_mean = (weight * value + m_mean * m_weight) / total;
    m_weight = total;
}

RowWeights rowWeights(const sctArcZap& earlier, const sctArcZap& later, int contour)
{
    const int s = 2 * contour;
    const int r = s + 1;
    auto increase = [&](int ch) {
        const float a = earlier.M[std::size_t(ch)];
        float b = later.M[std::size_t(ch)];
        if (b < a)
            b += kMassWrap;
        return b - a;
    };
    RowWeights w{ increase(s), increase(r) };
    if (later.M[std::size_t(s)] == 0.0f)
        w.supply = w.returned;
    else if (later.M[std::size_t(r)] == 0.0f)
        w.returned = w.supply;
    return w;
}

void ContourMeans::add(const sctArcZap& earlier, const sctArcZap& later)
{
    if (m_contour < 0 || m_contour >= kContours)
        return;
    const RowWeights w = rowWeights(earlier, later, m_contour);
    const std::size_t s = std::size_t(2 * m_contour);
    tSupply.add(later.t[s], w.supply);
    tReturn.add(later.t[s + 1], w.returned);
    pSupply.add(later.p[s], w.supply);
    pReturn.add(later.p[s + 1], w.returned);
}

HourRowPositions hourlyRowPositions(const std::vector<sctArcZap>& records, const QDate& day)
{
    HourRowPositions out;
    int year, month, dom;
    if (!dayBytes(day, year, month, dom))
        return out;
    bool found2400 = false;
    out.later = hourRowsOfDay(records, year, month, dom, found2400);

    // A day without any hourly record gets no closing row either: the next record after an
    // all-zero stamp would be the first of the archive, whatever its day.
    if (!found2400 && !out.later.empty()) {
        const sctArcZap& last = records[out.later.back()];
        for (std::size_t i = upperBound(records, stampKey(last)); i < records.size(); ++i) {
            if (records[i].hour != 24 && !sameDate(records[i], last)) {
                out.later.push_back(i);
                break;
            }
        }
    }
    out.earlier.reserve(out.later.size());
    for (std::size_t at : out.later)
        out.earlier.push_back(earlierAt(records, at));
    return out;
}

std::vector<TwoZap> hourlyRows(const std::vector<sctArcZap>& records, const QDate& day, ContourMeans& means)
{
    const HourRowPositions at = hourlyRowPositions(records, day);
    std::vector<TwoZap> rows;
    rows.reserve(at.later.size());
    for (std::size_t i = 0; i < at.later.size(); ++i) {
        rows.push_back(TwoZap{ recordAt(records, at.earlier[i]), records[at.later[i]], {}, {}, {} });
        means.add(rows.back().earlier, rows.back().later);
    }
    return rows;
}

std::vector<TwoZap> dailyRowsFromRecords(const std::vector<sctArcZap>& records, const QDate& start, const QDate& end,
                                         ContourMeans& means)
{
    std::vector<TwoZap> rows;
    if (!start.isValid() || !end.isValid())
        return rows;
    for (QDate d = start; d <= end; d = d.addDays(1)) {
        int year, month, dom;
        if (!dayBytes(d, year, month, dom)) {
            if (d.year() > 2255)
                break;
            continue;
        }
        const std::size_t first = lowerBound(records, keyOf(year, month, dom, 0, 0));
        const std::size_t next = lowerBound(records, keyOf(year, month, dom + 1, 0, 0));
        if (first >= next)
            continue;

        TwoZap row;
        row.earlier = records[first];
        bool found2400 = false;
        for (const std::size_t at : hourRowsOfDay(records, year, month, dom, found2400)) {
            const TwoZap hour{ recordAt(records, earlierAt(records, at)), records[at], {}, {}, {} };
            means.add(hour.earlier, hour.later);
            for (std::size_t c = 0; c < std::size_t(kContours); ++c) {
                row.Tfmn[c] += hour.later.Tfmn[c];
                row.Tfmx[c] += hour.later.Tfmx[c];
                row.Tdtm[c] += hour.later.Tdtm[c];
            }
        }
        // The day closes with the first record of a later day, normally 00:00 of the next.
        if (next >= records.size())
            continue;
        row.later = records[next];
        rows.push_back(row);
    }
    return rows;
}

std::vector<TwoZap> dailyRowsFromDatabase(const std::vector<DayMonRow>& rows, ContourMeans& means)
{
    std::vector<TwoZap> out;
    if (rows.size() < 2)
        return out;
    out.reserve(rows.size() - 1);
    sctArcZap previous;
    int previousVersion = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        sctArcZap rec = fromDayMon(rows[i].blob);
        const int version = rows[i].blob.bytes[u_data_daymon_full::kTail];
        const QDate closes = rows[i].dateTime.isValid() ? rows[i].dateTime.date().addDays(1) : QDate();
        int year, month, dom;
        if (dayBytes(closes, year, month, dom)) {
            rec.year = std::uint8_t(year);
            rec.month = std::uint8_t(month);
            rec.day = std::uint8_t(dom);
            rec.hour = 0;
            rec.minute = 0;
        }
        if (i == 0) {
            if (version < kFirstFormatWithTotals)
                rec.T = {};
        } else {
            if (previousVersion < kFirstFormatWithTotals) {
                for (std::size_t c = 0; c < std::size_t(kContours); ++c)
                    rec.T[c] += previous.T[c];
            }
            out.push_back(TwoZap{ previous, rec, {}, {}, {} });
            means.add(previous, rec);
        }
        previous = rec;
        previousVersion = version;
    }
    return out;
}

namespace {

// Whole minutes since an epoch; false for a stamp that is no date. Hour 24 runs into the next day.
bool stampMinutes(const sctArcZap& r, std::int64_t& minutes)
{
    const QDate d(2000 + r.year, r.month, r.day);
    if (!d.isValid())
        return false;
    minutes = d.toJulianDay() * 1440 + r.hour * 60 + r.minute;
    return true;
}

} // namespace

TimeBalance timeBalance(const sctArcZap& opening, const sctArcZap& closing, int contour, std::uint64_t tminMinutes,
                        std::uint64_t tmaxMinutes, std::uint64_t tdtMinutes)
{
    TimeBalance b;
    const std::size_t c = std::size_t(std::clamp(contour, 0, kContours - 1));
    std::int64_t from = 0, to = 0;
    if (stampMinutes(opening, from) && stampMinutes(closing, to)) {
        // Half a second away from zero, so that a whole number of hours never rounds down.
        double days = double(to - from) / 1440.0;
        days += days < 0 ? -5.787037037037037e-6 : 5.787037037037037e-6;
        b.total = std::trunc(days * 24.0);
    }
    b.working = std::uint32_t(closing.T[c] - opening.T[c]) / 60.0;
    b.tmin = double(tminMinutes) / 60.0;
    b.tmax = double(tmaxMinutes) / 60.0;
    b.tdt = double(tdtMinutes) / 60.0;
    b.err = b.total - b.working - b.tmin - b.tmax - b.tdt;
    return b;
}

} // namespace archive::pairing
