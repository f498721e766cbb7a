#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QDate>
#include <QString>
#include <QStringList>

#include "archive/ArchiveRecord.h"

// What a consumption chart shows, as plain arrays: the window, lorn2-cli and the tests read the
// same numbers. Times are record stamps counted as if they were UTC (milliseconds), so that the
// arithmetic never meets a daylight-saving hole; the drawing turns the few points it draws into
// local time.
namespace archive::chart {

enum class Quantity { Q, M1, M2, t1, t2, dt, p1, p2 };
inline constexpr int kQuantities = 8;

// "Q", "M1", ... as the command line names them.
QString quantityName(Quantity q);
std::optional<Quantity> quantityFromName(QStringView name);
// A legend caption; Q carries the energy unit.
QString quantityCaption(Quantity q, const QString& energyUnit);
// Q and the masses are amounts per interval; the rest are readings.
bool isAmount(Quantity q);

enum class Step { Hourly, Daily };

inline constexpr std::int64_t kHourMs = 3600 * 1000;
inline constexpr std::int64_t kDayMs = 24 * kHourMs;

// Hours since 2000-01-01 00:00 of a record's stamp (minutes dropped); none for a stamp that is
// no calendar date or has hour 24.
std::optional<std::int64_t> hourNumber(const sctArcZap& r);
std::optional<std::int64_t> hourNumber(const QDate& day, int hour);
// The chart's time of an hour number, and back.
std::int64_t hourMs(std::int64_t hour);
QDateTime hourDateTime(std::int64_t hour); // the stamp as a local date-time
std::int64_t msOf(const QDate& day);

// A cumulative reading's increase from a to b. A drop of more than half the counter's range is
// the counter wrapping at 10,000,000; a smaller drop stays negative, as the reports show it.
double increase(double a, double b);

struct Request
{
    Request() = default;
    Request(int contour, Step step, const QDate& from, const QDate& to, const QDateTime& now = {})
        : contour(contour)
        , step(step)
        , from(from)
        , to(to)
        , now(now)
    {
    }

    int contour = 0;
    Step step = Step::Hourly;
    QDate from; // days, both included; invalid takes the first/last day of the archive
    QDate to;
    // Slots after this moment are not there yet: the hour now running and today's day (which
    // closes tonight) are left out rather than shown missing. Invalid: no such limit.
    QDateTime now;
};

// One slot per hour (closing at the stamp: 01:00 .. 24:00 of each day) or per day (stamped at
// the day's 00:00). A slot without its record is NaN in every quantity; an hour's amount also
// needs the record of the hour before, since after a gap the counters cover the whole gap.
struct Series
{
    Step step = Step::Hourly;
    int contour = 0;
    QDate from, to;
    std::vector<std::int64_t> x;
    std::array<std::vector<double>, kQuantities> y;
    std::vector<std::int64_t> record;   // index of the slot's record in the input, -1 when missing
    std::vector<std::uint32_t> error;   // hourly: the contour's error word; daily: its error hours
    std::vector<std::uint32_t> tmin;    // minutes of G<Gmin, G>Gmax, dt<dtmin
    std::vector<std::uint32_t> tmax;
    std::vector<std::uint32_t> tdt;

    std::size_t size() const { return x.size(); }
    const std::vector<double>& values(Quantity q) const { return y[std::size_t(q)]; }
    bool present(std::size_t i) const { return record[i] >= 0; }
    std::size_t missingCount() const;
    // The slots from the first one at or after `ms` to the last at or before `ms2`.
    std::pair<std::size_t, std::size_t> slotRange(std::int64_t ms, std::int64_t ms2) const;
};

// The records must be sorted (ArchiveRecordList::sort()); the period is clipped to the days a
// record can carry. Daily slots pair records exactly as the daily report does.
Series build(const std::vector<sctArcZap>& records, const Request& request);

// What is drawn of one quantity in a time window `columns` pixels wide: per column at most its
// minimum and maximum, in time order, so a ten-year archive costs what a month does. A point
// with newSegment set is not joined to the one before: a missing slot lies between them.
struct DrawPoint
{
    std::int64_t x = 0;
    double y = 0;
    bool newSegment = false;
    std::size_t slot = 0;
};
std::vector<DrawPoint> downsample(const Series& s, Quantity q, std::int64_t fromMs, std::int64_t toMs, int columns);

// Time ranges where marked slots lie, joined when they fall into neighbouring pixel columns.
struct Band
{
    std::int64_t from = 0;
    std::int64_t to = 0; // the end of the last marked slot
};
enum class Mark { Missing, Error, Tmin, Tmax, Tdt };
std::vector<Band> bands(const Series& s, Mark mark, std::int64_t fromMs, std::int64_t toMs, int columns);

// The width of a slot in milliseconds.
std::int64_t slotMs(Step step);

} // namespace archive::chart
