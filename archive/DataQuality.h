#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "archive/ArchiveRecord.h"

// The data-quality check of an account's archive over a period: what would make a report wrong
// or a complaint hard to answer, found before the report goes out. Pure functions over records;
// the window, the poll summary and lorn2-cli run the same code.
namespace archive::quality {

struct Period
{
    QDate from; // both days included; an invalid one takes the archive's first/last hour
    QDate to;
    // Hours after this moment are not expected yet (a period running into today).
    QDateTime now;
};

struct Finding
{
    enum class Kind { Gap, ErrorHours, Tmin, Tmax, Tdt, Backwards, Duplicate, ClockJump, NegativeTerr };
    Kind kind = Kind::Gap;
    int contour = -1;           // 0-based, -1 when the finding is not a contour's
    QDateTime first;            // the stamp it begins at (a day's 00:00 for a day)
    QDateTime last;             // the stamp it ends at; equal to first for a single record
    std::int64_t record = -1;   // index in the input of the record to show, -1 when none is
    std::uint32_t code = 0;     // error word (ErrorHours)
    qint64 count = 0;           // hours of a gap or an error run, minutes, ...
    double value = 0.0;         // Terr hours; the drop of a backwards integrator
    QString what;               // the integrator that went back, "Q1", "M2", ...
};

struct Report
{
    QDateTime from; // first and last hour stamp looked at; invalid when there was nothing
    QDateTime to;
    qint64 expectedHours = 0;
    qint64 presentHours = 0;
    qint64 missingHours = 0;
    std::vector<std::pair<QDateTime, QDateTime>> gaps; // first and last missing hour
    std::array<qint64, 3> errorHours{};
    std::array<qint64, 3> tminMinutes{};
    std::array<qint64, 3> tmaxMinutes{};
    std::array<qint64, 3> tdtMinutes{};
    qint64 backwards = 0;
    qint64 duplicates = 0;
    qint64 clockJumps = 0;
    int contours = 3;
    std::vector<Finding> findings; // in time order within each kind, kinds as listed

    // Nothing that needs a look: no gap, error hour, backwards step, duplicate, jump or
    // negative Terr. Tmin/Tmax/Tdt minutes alone are the meter's normal bookkeeping.
    bool clean() const;
    // The number of findings a user would act on (everything clean() looks at).
    qsizetype problemCount() const;
};

// The records in the order they were read or stored (sorted or not, duplicates possible);
// `contours` is the meter's number of contours (1..3).
Report check(const std::vector<sctArcZap>& records, const Period& period, int contours);

// The legend's meaning of a contour's error word: "t1: 1 - (t < min)", one part per code.
QString errorMeaning(std::uint32_t word, int contour);

// One line per finding, in Russian, the way the window and lorn2-cli show them.
QString findingText(const Finding& f);
// The summary line: hours expected, present, missing and the number of problems.
QString summaryText(const Report& r);
QStringList reportLines(const Report& r);

// The stamp as lorn2 shows it, "dd.MM.yyyy hh:mm"; hour 24 is the day before's 24:00.
QString stampText(const QDateTime& t);

} // namespace archive::quality
