#include "ReportColumns.h"

#include <QStringView>

#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

namespace archive {

namespace {

struct Heading
{
    int width;
    QStringView title;
    QStringView units;
};

// The headings go into fixed-width report text: every blank counts. Kind 2's units line is a
// pattern completed with the energy unit name.
constexpr Heading kHeadings[kColumnKinds] = {
    { 5, u"Время", u"чч:мм" }, // 0
    { 5, u"Дата ", u"дд/мм" }, // 1
    { 11, u"   Q       ", u"   %-8s" }, // 2
    { 8, u"  T раб ", u"  час.  " }, // 3
    { 11, u"   M под   ", u"   тонн    " }, // 4
    { 11, u"   M обр   ", u"   тонн    " }, // 5
    { 11, u"   V под   ", u"   m3      " }, // 6
    { 11, u"   V обр   ", u"   m3      " }, // 7
    { 11, u"  +(Mп-Mо) ", u"  тонн     " }, // 8
    { 11, u"  -(Mп-Mо) ", u"  тонн     " }, // 9
    { 11, u"  +(Vп-Vо) ", u"  m3       " }, // 10
    { 11, u"  -(Vп-Vо) ", u"  m3       " }, // 11
    { 6, u" tпод ", u"  °C  " }, // 12
    { 6, u" tобр ", u"  °C  " }, // 13
    { 1, u"d", u"t" }, // 14
    { 3, u"Ош1", u"ptG" }, // 15
    { 3, u"Ош2", u"ptG" }, // 16
    { 3, u"Nст", u"   " }, // 17
    { 6, u" p под", u"      " }, // 18
    { 6, u" p обр", u"      " }, // 19
    { 6, u"  tхв ", u"      " }, // 20
};

constexpr int k(ColumnKind kind)
{
    return int(kind);
}

void append(QList<_columnRep>& columns, ColumnKind kind, const QString& energyUnitName)
{
    columns.append(makeColumn(int(columns.size()), k(kind), energyUnitName));
}

void appendMassOrVolume(QList<_columnRep>& columns, const ColumnOptions& options)
{
    if (options.printVolumes) {
        for (ColumnKind kind : { ColumnKind::VolumeSupply, ColumnKind::VolumeReturn, ColumnKind::VolumeDiffPlus,
                                 ColumnKind::VolumeDiffMinus })
            append(columns, kind, options.energyUnitName);
    } else {
        for (ColumnKind kind : { ColumnKind::MassSupply, ColumnKind::MassReturn, ColumnKind::MassDiffPlus,
                                 ColumnKind::MassDiffMinus })
            append(columns, kind, options.energyUnitName);
    }
}

void appendVolumes(QList<_columnRep>& columns, const ColumnOptions& options)
{
    for (ColumnKind kind : { ColumnKind::VolumeSupply, ColumnKind::VolumeReturn, ColumnKind::VolumeDiffPlus,
                             ColumnKind::VolumeDiffMinus })
        append(columns, kind, options.energyUnitName);
}

void appendPressure(QList<_columnRep>& columns, const ColumnOptions& options)
{
    if (!options.pressure)
        return;
    append(columns, ColumnKind::PressureSupply, options.energyUnitName);
    append(columns, ColumnKind::PressureReturn, options.energyUnitName);
}

void appendErrors(QList<_columnRep>& columns, const ColumnOptions& options)
{
    for (ColumnKind kind : { ColumnKind::TempDiffError, ColumnKind::ErrorsFirst, ColumnKind::ErrorsSecond,
                             ColumnKind::StartCounter })
        append(columns, kind, options.energyUnitName);
}

} // namespace

ColumnSet columnSetFor(int formula, ReportKind kind, int archiveVersion)
{
    const bool hourly = kind == ReportKind::Hourly;
    switch (formula) {
    case 0:
    case 1:
    case 2:
        return hourly ? ColumnSet::HourlyMain : ColumnSet::DailyMain;
    case 3:
        return hourly ? ColumnSet::HourlyVolume : ColumnSet::DailyVolume;
    case 4:
    case 5:
        return hourly ? ColumnSet::Hourly45 : ColumnSet::DailyMain;
    case 6:
    case 7:
        return ColumnSet::Empty;
    case 8:
        return hourly ? ColumnSet::Hourly8 : ColumnSet::DailyVolume;
    case 9:
        if (archiveVersion == 1)
            return hourly ? ColumnSet::HourlyMain : ColumnSet::DailyMain;
        return hourly ? ColumnSet::Hourly9 : ColumnSet::Daily9;
    case 10:
        if (archiveVersion == 1)
            return hourly ? ColumnSet::HourlyMain : ColumnSet::Daily10;
        return hourly ? ColumnSet::HourlyVolume : ColumnSet::DailyVolume;
    default:
        return ColumnSet::Unidentified;
    }
}

_columnRep makeColumn(int index, int kind, const QString& energyUnitName)
{
    _columnRep column;
    column.index = index;
    column.kind = kind;
    if (kind < 0 || kind >= kColumnKinds) {
        column.title = u" "_s;
        column.units = u" "_s;
        column.width = 1;
        return column;
    }
    const Heading& heading = kHeadings[kind];
    column.title = heading.title.toString();
    column.width = heading.width;
    // As "%-8s": padded, never cut, so a long name widens the heading rather than losing letters.
    column.units = kind == k(ColumnKind::Energy) ? u"   "_s + energyUnitName.leftJustified(8, u' ')
                                                 : heading.units.toString();
    return column;
}

void appendColumnSet(QList<_columnRep>& columns, ColumnSet set, const ColumnOptions& options)
{
    const QString& unit = options.energyUnitName;
    switch (set) {
    case ColumnSet::Empty:
    case ColumnSet::Unidentified:
        return;
    case ColumnSet::HourlyMain:
    case ColumnSet::Hourly45:
    case ColumnSet::HourlyVolume:
    case ColumnSet::Hourly8:
    case ColumnSet::Hourly9:
        append(columns, ColumnKind::Time, unit);
        break;
    case ColumnSet::DailyMain:
    case ColumnSet::DailyVolume:
    case ColumnSet::Daily9:
    case ColumnSet::Daily10:
        append(columns, ColumnKind::Date, unit);
        break;
    }
    append(columns, ColumnKind::Energy, unit);
    append(columns, ColumnKind::OperatingTime, unit);

    const bool volumesOnly = set == ColumnSet::HourlyVolume || set == ColumnSet::Hourly8 || set == ColumnSet::Hourly9
        || set == ColumnSet::DailyVolume || set == ColumnSet::Daily9;
    if (volumesOnly)
        appendVolumes(columns, options);
    else
        appendMassOrVolume(columns, options);
    append(columns, ColumnKind::TempSupply, unit);
    append(columns, ColumnKind::TempReturn, unit);

    if (set == ColumnSet::Hourly9 || set == ColumnSet::Daily9)
        append(columns, ColumnKind::TempCold, unit);
    appendPressure(columns, options);

    if (set == ColumnSet::HourlyMain || set == ColumnSet::Hourly8 || set == ColumnSet::Hourly9
        || set == ColumnSet::Daily10)
        appendErrors(columns, options);
}

bool buildReportColumns(QList<_columnRep>& columns, const ArchiveParams& params, int contour, ReportKind kind,
                        bool printVolumes, StringLoader load)
{
    columns.clear();
    // A contour the meter does not have has no Formula to go by.
    const ColumnSet set = contour >= 0 && contour < kContours
        ? columnSetFor(params.Formula[std::size_t(contour)], kind, params.ArchiveVersion)
        : ColumnSet::Unidentified;
    if (set == ColumnSet::Unidentified) {
        MessageBox::error(u"Тип системы не идентифицирован"_s, u"Ошибка"_s);
        return false;
    }
    ColumnOptions options;
    options.energyUnitName = EnergyUnitName(params.EnergyUnits, load);
    options.pressure = params.Pressure[std::size_t(contour)] != 0;
    options.printVolumes = printVolumes;
    appendColumnSet(columns, set, options);
    return true;
}

} // namespace archive
