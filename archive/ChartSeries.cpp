#include "archive/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "archive/ReportPairing.h"

using namespace Qt::StringLiterals;

namespace archive::chart {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kCounterWrap = 10000000.0;
constexpr std::int64_t kEpoch2000Ms = 946684800000LL;
// An hourly chart of more than twenty years keeps its latest twenty: a damaged stamp far in
// the future must not cost gigabytes.
constexpr std::int64_t kMaxSlots = 20LL * 366 * 24;

constexpr bool leapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int daysInMonth(int y, int m)
{
    constexpr int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

// Days since 2000-01-01 of a proleptic Gregorian date.
constexpr std::int64_t daysSince2000(int y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 730425; // 730425 = days from 0000-03-01 to 2000-01-01
}
static_assert(daysSince2000(2000, 1, 1) == 0);
static_assert(daysSince2000(2000, 3, 1) == 60);
static_assert(daysSince2000(2001, 1, 1) == 366);

double cumulativeOf(Quantity q, const sctArcZap& r, int contour)
{
    switch (q) {
    case Quantity::Q:
        return cumulativeQ(r, contour);
    case Quantity::M1:
        return cumulativeM(r, 2 * contour);
    case Quantity::M2:
        return cumulativeM(r, 2 * contour + 1);
    default:
        return 0.0;
    }
}

void setReadings(Series& s, std::size_t slot, const sctArcZap& r)
{
    const std::size_t sup = std::size_t(2 * s.contour);
    const auto value = [](float v) { return double(v); };
    s.y[std::size_t(Quantity::t1)][slot] = value(r.t[sup]);
    s.y[std::size_t(Quantity::t2)][slot] = value(r.t[sup + 1]);
    s.y[std::size_t(Quantity::dt)][slot] = double(r.t[sup]) - double(r.t[sup + 1]);
    s.y[std::size_t(Quantity::p1)][slot] = value(r.p[sup]);
    s.y[std::size_t(Quantity::p2)][slot] = value(r.p[sup + 1]);
}

void setAmounts(Series& s, std::size_t slot, const sctArcZap& earlier, const sctArcZap& later)
{
    for (Quantity q : { Quantity::Q, Quantity::M1, Quantity::M2 })
        s.y[std::size_t(q)][slot] = increase(cumulativeOf(q, earlier, s.contour), cumulativeOf(q, later, s.contour));
}

void resize(Series& s, std::size_t n)
{
    s.x.resize(n);
    for (auto& v : s.y)
        v.assign(n, kNaN);
    s.record.assign(n, -1);
    s.error.assign(n, 0);
    s.tmin.assign(n, 0);
    s.tmax.assign(n, 0);
    s.tdt.assign(n, 0);
}

std::uint32_t minutes(const std::array<std::uint8_t, 3>& m, int contour)
{
    return m[std::size_t(contour)];
}

void buildHourly(Series& s, const std::vector<sctArcZap>& records, const QDateTime& now)
{
    const std::int64_t first = *hourNumber(s.from, 1);
    std::int64_t last = *hourNumber(s.to.addDays(1), 0);
    if (now.isValid())
        last = std::min(last, hourNumber(now.date(), now.time().hour()).value_or(last));
    if (last < first)
        return;
    const std::size_t n = std::size_t(last - first + 1);
    resize(s, n);
    for (std::size_t i = 0; i < n; ++i)
        s.x[i] = hourMs(first + std::int64_t(i));

    std::optional<std::int64_t> previousHour;
    std::size_t previous = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const sctArcZap& r = records[i];
        if (r.Event != kEventHourly || r.minute != 0)
            continue;
        const std::optional<std::int64_t> h = hourNumber(r);
        if (!h)
            continue;
        if (*h >= first && *h <= last) {
            const std::size_t slot = std::size_t(*h - first);
            s.record[slot] = std::int64_t(i);
            setReadings(s, slot, r);
            if (previousHour && *previousHour == *h - 1)
                setAmounts(s, slot, records[previous], r);
            s.error[slot] = r.Err[std::size_t(s.contour)];
            s.tmin[slot] = minutes(r.Tfmn, s.contour);
            s.tmax[slot] = minutes(r.Tfmx, s.contour);
            s.tdt[slot] = minutes(r.Tdtm, s.contour);
        }
        previousHour = h;
        previous = i;
    }
}

std::size_t firstAtOrAfter(const std::vector<sctArcZap>& records, std::uint64_t key)
{
    return std::size_t(std::partition_point(records.begin(), records.end(),
                                            [key](const sctArcZap& r) { return stampKey(r) < key; })
                       - records.begin());
}

std::uint64_t dayKey(const QDate& d)
{
    return stampKey(RecordStamp{ 0, 0, std::uint8_t(d.day()), std::uint8_t(d.month()), std::uint8_t(d.year() - 2000) });
}

void buildDaily(Series& s, const std::vector<sctArcZap>& records)
{
    const std::size_t n = std::size_t(s.from.daysTo(s.to) + 1);
    resize(s, n);
    for (std::size_t i = 0; i < n; ++i)
        s.x[i] = msOf(s.from.addDays(qint64(i)));

    // The rows are the daily report's own, so the chart and the report never disagree.
    pairing::ContourMeans means(s.contour);
    const std::vector<TwoZap> rows = pairing::dailyRowsFromRecords(records, s.from, s.to, means);
    const std::size_t c = std::size_t(s.contour);
    for (const TwoZap& row : rows) {
        const QDate day(2000 + row.earlier.year, row.earlier.month, row.earlier.day);
        const qint64 slot = s.from.daysTo(day);
        if (slot < 0 || slot >= qint64(n))
            continue;
        const std::size_t k = std::size_t(slot);
        s.record[k] = std::int64_t(firstAtOrAfter(records, dayKey(day)));
        setReadings(s, k, row.later);
        setAmounts(s, k, row.earlier, row.later);
        s.tmin[k] = row.Tfmn[c];
        s.tmax[k] = row.Tfmx[c];
        s.tdt[k] = row.Tdtm[c];
    }
    // Error hours of each day: its hourly records from 01:00 to 24:00.
    for (std::size_t k = 0; k < n; ++k) {
        if (s.record[k] < 0)
            continue;
        const QDate day = s.from.addDays(qint64(k));
        const std::uint64_t lo = dayKey(day) + (1u << 8);
        const std::uint64_t hi = dayKey(day.addDays(1));
        for (std::size_t i = firstAtOrAfter(records, lo); i < records.size() && stampKey(records[i]) <= hi; ++i) {
            if (records[i].Event == kEventHourly && records[i].Err[c] != 0)
                ++s.error[k];
        }
    }
}

} // namespace

QString quantityName(Quantity q)
{
    static const char* const names[kQuantities] = { "Q", "M1", "M2", "t1", "t2", "dt", "p1", "p2" };
    return QString::fromLatin1(names[int(q)]);
}

std::optional<Quantity> quantityFromName(QStringView name)
{
    for (int i = 0; i < kQuantities; ++i) {
        if (name.compare(quantityName(Quantity(i)), Qt::CaseInsensitive) == 0)
            return Quantity(i);
    }
    return std::nullopt;
}

QString quantityCaption(Quantity q, const QString& energyUnit)
{
    switch (q) {
    case Quantity::Q:
        return u"Q, "_s + energyUnit;
    case Quantity::M1:
        return u"M под, т"_s;
    case Quantity::M2:
        return u"M обр, т"_s;
    case Quantity::t1:
        return u"t под, °C"_s;
    case Quantity::t2:
        return u"t обр, °C"_s;
    case Quantity::dt:
        return u"dt, °C"_s;
    case Quantity::p1:
        return u"p под"_s;
    case Quantity::p2:
        return u"p обр"_s;
    }
    return {};
}

bool isAmount(Quantity q)
{
    return q == Quantity::Q || q == Quantity::M1 || q == Quantity::M2;
}

std::optional<std::int64_t> hourNumber(const sctArcZap& r)
{
    const int y = 2000 + r.year;
    if (r.year > 99 || r.month < 1 || r.month > 12 || r.day < 1 || r.day > daysInMonth(y, r.month) || r.hour > 23)
        return std::nullopt;
    return daysSince2000(y, r.month, r.day) * 24 + r.hour;
}

std::optional<std::int64_t> hourNumber(const QDate& day, int hour)
{
    if (!day.isValid() || day.year() < 2000)
        return std::nullopt;
    return daysSince2000(day.year(), day.month(), day.day()) * 24 + hour;
}

std::int64_t hourMs(std::int64_t hour)
{
    return kEpoch2000Ms + hour * kHourMs;
}

QDateTime hourDateTime(std::int64_t hour)
{
    return QDateTime(QDate(2000, 1, 1).addDays(hour / 24), QTime(int(hour % 24), 0));
}

std::int64_t msOf(const QDate& day)
{
    return hourMs(*hourNumber(day, 0));
}

double increase(double a, double b)
{
    double d = b - a;
    if (d < -kCounterWrap / 2)
        d += kCounterWrap;
    return d;
}

std::size_t Series::missingCount() const
{
    return std::size_t(std::count(record.begin(), record.end(), -1));
}

std::pair<std::size_t, std::size_t> Series::slotRange(std::int64_t ms, std::int64_t ms2) const
{
    const auto lo = std::lower_bound(x.begin(), x.end(), ms);
    const auto hi = std::upper_bound(x.begin(), x.end(), ms2);
    return { std::size_t(lo - x.begin()), std::size_t(hi - x.begin()) };
}

std::int64_t slotMs(Step step)
{
    return step == Step::Hourly ? kHourMs : kDayMs;
}

Series build(const std::vector<sctArcZap>& records, const Request& request)
{
    Series s;
    s.step = request.step;
    s.contour = std::clamp(request.contour, 0, kContours - 1);
    s.from = request.from;
    s.to = request.to;
    if (!s.from.isValid() || !s.to.isValid()) {
        std::optional<QDate> first, last;
        for (const sctArcZap& r : records) {
            if (!hourNumber(r))
                continue;
            const QDate d(2000 + r.year, r.month, r.day);
            if (!first || d < *first)
                first = d;
            if (!last || d > *last)
                last = d;
        }
        if (!first)
            return s;
        if (!s.from.isValid())
            s.from = *first;
        if (!s.to.isValid())
            s.to = *last;
    }
    s.from = std::max(s.from, QDate(2000, 1, 1));
    s.to = std::min(s.to, QDate(2099, 12, 30));
    if (request.now.isValid()) {
        const QDate today = request.now.date();
        if (request.step == Step::Daily)
            s.to = std::min(s.to, today.addDays(-1));
        else
            s.to = std::min(s.to, today);
    }
    if (s.to < s.from)
        return s;
    const std::int64_t perDay = request.step == Step::Hourly ? 24 : 1;
    if (s.from.daysTo(s.to) * perDay > kMaxSlots)
        s.from = s.to.addDays(-(kMaxSlots / perDay) + 1);
    if (request.step == Step::Hourly)
        buildHourly(s, records, request.now);
    else
        buildDaily(s, records);
    return s;
}

std::vector<DrawPoint> downsample(const Series& s, Quantity q, std::int64_t fromMs, std::int64_t toMs, int columns)
{
    std::vector<DrawPoint> out;
    if (columns < 1 || toMs < fromMs)
        return out;
    const std::vector<double>& v = s.values(q);
    const auto [i0, i1] = s.slotRange(fromMs, toMs);
    const double span = double(toMs - fromMs) + 1.0;

    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    bool breakPending = true; // a missing slot since the last point drawn
    long column = -1;
    std::size_t lo = none, hi = none;
    std::size_t firstMissing = none; // within the current column
    std::vector<std::size_t> missing;

    const auto flush = [&] {
        if (lo != none) {
            const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
            const bool missingBeforeA = firstMissing != none && firstMissing < a;
            bool missingBetween = false, missingAfterB = false;
            for (std::size_t m : missing) {
                missingBetween = missingBetween || (m > a && m < b);
                missingAfterB = missingAfterB || m > b;
            }
            out.push_back({ s.x[a], v[a], breakPending || missingBeforeA, a });
            if (b != a)
                out.push_back({ s.x[b], v[b], missingBetween, b });
            breakPending = missingAfterB;
        } else if (firstMissing != none) {
            breakPending = true;
        }
        lo = hi = firstMissing = none;
        missing.clear();
    };

    for (std::size_t i = i0; i < i1; ++i) {
        const long c = std::min<long>(columns - 1, long(double(s.x[i] - fromMs) * columns / span));
        if (c != column) {
            flush();
            column = c;
        }
        if (std::isnan(v[i])) {
            if (firstMissing == none)
                firstMissing = i;
            missing.push_back(i);
            continue;
        }
        if (lo == none || v[i] < v[lo])
            lo = i;
        if (hi == none || v[i] > v[hi])
            hi = i;
    }
    flush();
    return out;
}

std::vector<Band> bands(const Series& s, Mark mark, std::int64_t fromMs, std::int64_t toMs, int columns)
{
    std::vector<Band> out;
    if (columns < 1 || toMs < fromMs)
        return out;
    const std::int64_t width = slotMs(s.step);
    // An hourly slot ends at its stamp, a daily one begins at it.
    const std::int64_t startOffset = s.step == Step::Hourly ? -width : 0;
    const auto [i0, i1] = s.slotRange(fromMs, toMs);
    const double span = double(toMs - fromMs) + 1.0;
    long lastColumn = -2;
    for (std::size_t i = i0; i < i1; ++i) {
        bool marked = false;
        switch (mark) {
        case Mark::Missing:
            marked = s.record[i] < 0;
            break;
        case Mark::Error:
            marked = s.error[i] != 0;
            break;
        case Mark::Tmin:
            marked = s.tmin[i] != 0;
            break;
        case Mark::Tmax:
            marked = s.tmax[i] != 0;
            break;
        case Mark::Tdt:
            marked = s.tdt[i] != 0;
            break;
        }
        if (!marked)
            continue;
        const long c = long(double(s.x[i] - fromMs) * columns / span);
        const std::int64_t start = s.x[i] + startOffset;
        if (!out.empty() && (c <= lastColumn + 1 || start <= out.back().to))
            out.back().to = start + width;
        else
            out.push_back({ start, start + width });
        lastColumn = c;
    }
    return out;
}

} // namespace archive::chart
