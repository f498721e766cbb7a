#pragma once

#include <cstdint>
#include <vector>

#include <QDate>

#include "archive/ArchiveRecord.h"
#include "archive/DayMonRecord.h"

// How the report builder pairs records into rows. The records must be in stamp order (as
// ArchiveRecordList::sort() leaves them); every search is a binary search, so a row costs the
// same in a year of records as in a day.
namespace archive::pairing {

// Weighted running mean of one quantity; NaN inputs count as 0.
class RunningMean
{
public:
    void add(float value, float weight);
    float value() const { return m_mean; }

private:
    float m_mean = 0.0f;
    float m_weight = 0.0f;
};

// Mass-weighted means of the contour's supply and return temperatures and pressures.
class ContourMeans
{
public:
    explicit ContourMeans(int contour)
        : m_contour(contour)
    {
    }
    void add(const sctArcZap& earlier, const sctArcZap& later);

    RunningMean tSupply, tReturn, pSupply, pReturn;

private:
    int m_contour;
};

// The weights of a row: the increase of the supply and return mass counters (M alone), with a
// counter that went backwards taken as wrapped at 10,000,000.
struct RowWeights
{
    float supply = 0.0f;
    float returned = 0.0f;
};
RowWeights rowWeights(const sctArcZap& earlier, const sctArcZap& later, int contour);

// The rows of one day's hourly report: each hour record of the day, the 00:00 record of the next
// day as 24:00 and, when that one is missing, the next record of a later day. Each row's earlier
// record is the nearest usable one before it (all zero when there is none).
std::vector<TwoZap> hourlyRows(const std::vector<sctArcZap>& records, const QDate& day, ContourMeans& means);

// The same rows as positions in the list, for a caller that needs no copies of the records:
// later[i] closes row i, earlier[i] opens it (kNoRecord: none, an all-zero record).
inline constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);
struct HourRowPositions
{
    std::vector<std::size_t> later;
    std::vector<std::size_t> earlier;
};
HourRowPositions hourlyRowPositions(const std::vector<sctArcZap>& records, const QDate& day);

// One row per day from start to end inclusive, from the first record of the day to the first
// record of a later day; the hourly rows in between feed the means and the minute sums.
std::vector<TwoZap> dailyRowsFromRecords(const std::vector<sctArcZap>& records, const QDate& start, const QDate& end,
                                         ContourMeans& means);

// One row per consecutive pair of database rows, each re-stamped at the close of its day; rows
// of format versions below 6 hold daily operating times, which are summed up here.
std::vector<TwoZap> dailyRowsFromDatabase(const std::vector<DayMonRow>& rows, ContourMeans& means);

// The report's time balance in hours: Tобщ = Tраб + Terr + Tmin + Tmax + Tdt, Terr being what
// the others leave; the minute sums are the rows' Tfmn, Tfmx and Tdtm of the contour.
struct TimeBalance
{
    double total = 0.0;
    double working = 0.0;
    double err = 0.0;
    double tmin = 0.0;
    double tmax = 0.0;
    double tdt = 0.0;
};
// `opening` is the first row's earlier record, `closing` the last row's later one.
TimeBalance timeBalance(const sctArcZap& opening, const sctArcZap& closing, int contour, std::uint64_t tminMinutes,
                        std::uint64_t tmaxMinutes, std::uint64_t tdtMinutes);

} // namespace archive::pairing
