#pragma once

#include <array>
#include <cstdint>

#include <QDateTime>
#include <QString>

// One archive record of a meter, stamped with the moment its interval closed. Multi-value fields
// are 1-based in names and files, 0-based here: channel 2c-1 (index 2c-2) is the supply and 2c
// (index 2c-1) the return pipe of contour c.
struct sctArcZap
{
    std::uint8_t hour = 0;
    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::uint8_t year = 0; // year - 2000
    std::array<float, 3> Q{};
    std::array<float, 6> M{};
    std::array<float, 6> t{};
    std::array<float, 6> p{};
    std::array<std::uint32_t, 3> T{}; // operating minutes, cumulative
    std::uint8_t Nstart = 0;
    std::array<std::uint32_t, 3> Err{};
    std::uint8_t Event = 0;
    std::uint8_t minute = 0;
    std::array<std::uint8_t, 3> Tfmn{};
    std::array<std::uint8_t, 3> Tfmx{};
    std::array<std::uint8_t, 3> Tdtm{};
    // Carried from the meter's blocks as read and into the database blob, never into files.
    std::array<std::uint8_t, 2> tail{};
    std::uint16_t arcCrc = 0;
    std::array<float, 3> pre_Q{};
    std::array<float, 6> pre_M{};
    std::array<float, 6> V{};
    std::array<float, 6> pre_V{};
    float t_cold = 0.0f;
    float t_amb = 0.0f;
    std::uint16_t extCrc = 0;
};

// The meter description that heads every archive file.
struct ArchiveParams
{
    // t_coldChannel value that selects the constant t_cold instead of a measured channel.
    static constexpr std::uint16_t kConstantTCold = 255;

    std::uint16_t SerialNumber = 0;
    std::array<std::uint8_t, 3> Formula{}; // system type of each contour, 0..10 are known
    std::uint16_t ProtVersion = 0;
    std::uint16_t ArchiveVersion = 0;
    std::uint16_t NumSys = 0;
    std::uint16_t ArchiveSize = 0;
    std::uint16_t SoftVersion = 0; // high byte major, low byte minor
    std::uint16_t BuildVersion = 0;
    std::uint16_t IspVersion = 0;
    std::uint16_t SoftCRC = 0;
    std::uint16_t t_coldChannel = 0; // 0..5 = t1..t6, kConstantTCold = t_cold below
    std::uint16_t ArcDayRecs = 0;
    std::uint16_t ArcMonRecs = 0;
    // Parameter words 11 and 12, then word 13 after Get Archive or the number of configuration
    // archive records after Get Config.
    std::array<std::uint16_t, 3> ExtraWords{};
    float t_cold = 0.0f;
    std::uint8_t EnergyUnits = 0; // 0 kW*h, 1 GJ, anything else Gcal
    std::array<std::uint8_t, 3> Pressure{}; // 1 when the contour measures pressure
    QString Custom;
    QString Telephone;
    QString Abonent;
    QString Address;
    QString FlowRange;
    QString ResponsePerson;
    QString Diametr;
};

// One report row: the records that open and close its interval, and for daily rows the minutes
// of the hourly records in between, summed per contour.
struct TwoZap
{
    sctArcZap earlier;
    sctArcZap later;
    std::array<std::uint32_t, 3> Tfmn{};
    std::array<std::uint32_t, 3> Tfmx{};
    std::array<std::uint32_t, 3> Tdtm{};
};

namespace archive {

inline constexpr std::uint8_t kEventHourly = 0xA0;
inline constexpr std::uint8_t kEventSkipped = 0xA1; // passed over by the hourly interval search
inline constexpr std::uint8_t kEventDaily = 0xE1;
inline constexpr std::uint8_t kEventMonthly = 0xE2;

inline constexpr int kContours = 3;
inline constexpr int kChannels = 6;

inline constexpr std::uint8_t kEnergyKWh = 0;
inline constexpr std::uint8_t kEnergyGJ = 1;
inline constexpr std::uint8_t kEnergyGcal = 2; // as is any code other than the two above

// A time stamp as the list's earliest/latest scan yields it.
struct RecordStamp
{
    std::uint8_t minute = 0;
    std::uint8_t hour = 0;
    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::uint8_t year = 0;

    friend bool operator==(const RecordStamp&, const RecordStamp&) = default;
};
static_assert(sizeof(RecordStamp) == 5);

RecordStamp stampOf(const sctArcZap& r);

// The stamp as one number that orders like compareRecords(), for sorting and binary search.
constexpr std::uint64_t stampKey(const RecordStamp& r)
{
    return std::uint64_t(r.year) << 32 | std::uint64_t(r.month) << 24 | std::uint64_t(r.day) << 16
        | std::uint64_t(r.hour) << 8 | std::uint64_t(r.minute);
}
constexpr std::uint64_t stampKey(const sctArcZap& r)
{
    return stampKey(RecordStamp{r.minute, r.hour, r.day, r.month, r.year});
}

// Stamp and Event: equal exactly when sameRecord() holds.
constexpr std::uint64_t identityKey(const sctArcZap& r)
{
    return stampKey(r) << 8 | r.Event;
}

// -1, 0 or +1 by year, month, day, hour, minute; Event plays no part.
int compareRecords(const sctArcZap& a, const sctArcZap& b);

// Same stamp and same Event; the values are not looked at.
bool sameRecord(const sctArcZap& a, const sctArcZap& b);

// Cumulative integrator readings, X + pre_X; 0 for an index out of range.
float cumulativeQ(const sctArcZap& r, int contour);
float cumulativeM(const sctArcZap& r, int channel);
float cumulativeV(const sctArcZap& r, int channel);

int fullYear(const sctArcZap& r);

// The stamp as a local date-time, invalid unless the year byte is below 100 and the calendar
// accepts the date and the time (hour 24 never does).
QDateTime recordDateTime(const sctArcZap& r);

using StringLoader = QString (*)(int id, const QString& fallback);

// Display name of an Energy Units code, from the string table unless another loader is given.
QString EnergyUnitName(std::uint8_t code, StringLoader load = nullptr);

} // namespace archive
