#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <QDateTime>

#include "archive/ArchiveRecord.h"

// A daily or monthly record as the archive database keeps it: 256 bytes, the fields of sctArcZap
// packed little-endian without gaps. Bytes 220-253 hold further values of the meter's extension
// block when Get Archive builds the blob from the wire; a blob built from a sctArcZap has zeros
// there, since the record has no fields for them.
struct u_data_daymon_full
{
    static constexpr std::size_t kSize = 256;

    static constexpr std::size_t kHour = 0;
    static constexpr std::size_t kDay = 1;
    static constexpr std::size_t kMonth = 2;
    static constexpr std::size_t kYear = 3;
    static constexpr std::size_t kQ = 4;
    static constexpr std::size_t kM = 16;
    static constexpr std::size_t kT = 40; // temperatures t1..t6
    static constexpr std::size_t kP = 64;
    static constexpr std::size_t kOperating = 88; // T1..T3
    static constexpr std::size_t kNstart = 100;
    static constexpr std::size_t kErr = 101;
    static constexpr std::size_t kEvent = 113;
    static constexpr std::size_t kMinute = 114;
    static constexpr std::size_t kTfmn = 115;
    static constexpr std::size_t kTfmx = 118;
    static constexpr std::size_t kTdtm = 121;
    static constexpr std::size_t kTail = 124; // the first tail byte is the record's format version
    static constexpr std::size_t kArcCrc = 126;
    static constexpr std::size_t kPreQ = 128;
    static constexpr std::size_t kPreM = 140;
    static constexpr std::size_t kV = 164;
    static constexpr std::size_t kPreV = 188;
    static constexpr std::size_t kTCold = 212;
    static constexpr std::size_t kTAmb = 216;
    static constexpr std::size_t kExtension = 220; // up to the extension block check
    static constexpr std::size_t kExtCrc = 254;

    std::array<std::uint8_t, kSize> bytes{};

    friend bool operator==(const u_data_daymon_full&, const u_data_daymon_full&) = default;
};
static_assert(sizeof(u_data_daymon_full) == u_data_daymon_full::kSize);

namespace archive {

// One row of the database's daily and monthly table. Type and serial number are the account's;
// record type and time are derived from the blob.
struct DayMonRow
{
    int devType = 0;
    int serial = 0;
    int recType = 0;
    QDateTime dateTime; // invalid when the blob's stamp forms no moment
    u_data_daymon_full blob;
};

u_data_daymon_full toDayMon(const sctArcZap& record);
// Bytes 220-253 have no field in the record and are dropped.
sctArcZap fromDayMon(const u_data_daymon_full& blob);

// The Event byte.
int dayMonRecordType(const u_data_daymon_full& blob);
// The stamp to the minute, year 2000 + year byte. A meter closes a day at hour 24, which is
// 00:00 of the next day. Invalid when the bytes form no moment.
QDateTime dayMonDateTime(const u_data_daymon_full& blob);

DayMonRow makeDayMonRow(int devType, int serial, const u_data_daymon_full& blob);

} // namespace archive
