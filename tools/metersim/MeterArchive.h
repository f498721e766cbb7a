#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QDateTime>

#include "archive/ArchiveRecord.h"
#include "tools/metersim/MeterSetup.h"

// The simulated meter's three archives and the blocks it sends them in.
namespace metersim {

// 32-bit values into a reply block, high byte first or low byte first.
inline void putBe32(QByteArray& b, qsizetype pos, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[pos + k] = char(v >> (24 - 8 * k));
}

inline void putLe32(QByteArray& b, qsizetype pos, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[pos + k] = char(v >> (8 * k));
}

// Record numbers as the meter counts them: hourly 1 is the newest (0 answers as 1, the
// record the report walk ends on), daily and monthly 0 are the newest.
enum class ArchiveKind { Hourly, Daily, Monthly };

class MeterArchive
{
public:
    // Records generated from the meter's integrators; the newest hourly record closes at the
    // hour of `now`, the newest daily record is yesterday's, the newest monthly last month's.
    MeterArchive(const MeterSetup& setup, const QDateTime& now);

    // Serves these hourly records (any order; values in Gcal) instead, with daily and monthly
    // records taken from those at midnight.
    void setHourlyRecords(std::vector<sctArcZap> records);

    // Nothing for an empty record.
    std::optional<sctArcZap> record(ArchiveKind kind, int number) const;
    // The hourly record with that stamp (full year), or 0xFFFF.
    std::uint16_t findHourly(int hour, int day, int month, int year) const;
    // The highest hourly record number that may hold data.
    int hourlyCount() const;

    // The integrator readings at a moment; `split` puts all but the last thousand units of
    // each reading into its second addend, as a meter with extension blocks does.
    sctArcZap valuesAt(const QDateTime& at, bool split) const;

private:
    std::optional<sctArcZap> generated(ArchiveKind kind, int number) const;

    MeterSetup m_setup;
    QDateTime m_newestHour;
    bool m_loaded = false;
    std::vector<sctArcZap> m_hourly; // newest first, when loaded
    std::vector<sctArcZap> m_daily;
    std::vector<sctArcZap> m_monthly;
};

// Sub-commands 0, 7, 11: 128 bytes high byte first, CRC-16/XMODEM of 0..125 at 126 (high first).
// yearByte is what goes into byte 3.
QByteArray archiveBlock(const sctArcZap& r, std::uint8_t yearByte);
// Sub-commands 3/6, 10, 14, with the daily and monthly values at 92..125.
QByteArray extensionBlock(const sctArcZap& r);
// Sub-commands 15..23: 104 bytes low byte first, CRC-16/MODBUS at 102 (low first).
QByteArray contourBlock(const sctArcZap& r, int contour, std::uint8_t yearByte);
// An empty record: all 0xFF, or a per-contour block with 0xFF stamp bytes.
QByteArray emptyBlock();
QByteArray emptyContourBlock(int contour);

// The year byte a meter of that firmware puts into its archive blocks: older firmware counts
// the years 2020 to 2030 from 2020.
std::uint8_t blockYearByte(int fullYear, std::uint16_t softVersion);

} // namespace metersim
