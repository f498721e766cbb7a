#pragma once

#include <cstdint>

#include <QList>
#include <QString>

#include "ArchiveRecord.h"

// One column of an hourly or daily report: its place in the row, its two heading lines, its
// width in characters and the kind that tells the report builder what to put in its cells.
struct _columnRep
{
    int index = 0;
    QString title;
    QString units;
    int width = 0;
    int kind = 0;
};

namespace archive {

enum class ColumnKind : int {
    Time = 0,
    Date = 1,
    Energy = 2,
    OperatingTime = 3,
    MassSupply = 4,
    MassReturn = 5,
    VolumeSupply = 6,
    VolumeReturn = 7,
    MassDiffPlus = 8,
    MassDiffMinus = 9,
    VolumeDiffPlus = 10,
    VolumeDiffMinus = 11,
    TempSupply = 12,
    TempReturn = 13,
    TempDiffError = 14,
    ErrorsFirst = 15,
    ErrorsSecond = 16,
    StartCounter = 17,
    PressureSupply = 18,
    PressureReturn = 19,
    TempCold = 20,
};

inline constexpr int kColumnKinds = 21;

enum class ReportKind { Hourly, Daily };

enum class ColumnSet {
    Empty, // Formula 6 and 7: the report is built without columns
    HourlyMain,
    Hourly45,
    HourlyVolume,
    Hourly8,
    Hourly9,
    DailyMain,
    DailyVolume,
    Daily9,
    Daily10,
    Unidentified, // Formula above 10: no report
};

// The set for a contour's Formula; Archive Version 1 meters lack the cold-water and volume
// variants of Formula 9 and 10.
ColumnSet columnSetFor(int formula, ReportKind kind, int archiveVersion);

// Heading and width of a kind; the energy column's units line carries the unit name.
_columnRep makeColumn(int index, int kind, const QString& energyUnitName);

struct ColumnOptions
{
    QString energyUnitName;
    bool pressure = false; // the contour measures pressure
    bool printVolumes = false; // the account shows volumes instead of masses
};

// Appends the set's columns, numbered on from the list's current end.
void appendColumnSet(QList<_columnRep>& columns, ColumnSet set, const ColumnOptions& options);

// Refills the list for one contour of the report. For an unknown Formula, or a contour that
// does not exist, the list is left empty, the error is shown and false returned: no report.
bool buildReportColumns(QList<_columnRep>& columns, const ArchiveParams& params, int contour, ReportKind kind,
                        bool printVolumes, StringLoader load = nullptr);

} // namespace archive
