// The input layout shared by the quality-check and chart-series targets, so that one corpus
// serves both: four bytes of choices, then 16 bytes a record.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <QDate>

#include "archive/ArchiveRecord.h"

namespace fuzzinput {

struct ArchiveRecordsInput
{
    int contours = 1;
    bool daily = false;
    QDate from;
    QDate to;
    std::vector<sctArcZap> records;
};

// Each 16 bytes make one record: stamp, Event, three error words' low bytes, minutes and a few
// integrator and temperature bytes. The stamps fall in January 2026, now and then February; an
// odd record lands across the year boundary, a month further or on month 0 or 13. So a period
// stays within five months: every slot costs each run thirteen values under instrumentation, and
// a period of years spent the runs building hours, not on the cases.
inline std::vector<sctArcZap> recordsOf(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::uint8_t kOdd[][2] = { { 25, 12 }, { 25, 11 }, { 26, 0 }, { 26, 13 }, { 26, 3 }, { 26, 2 } };
    std::vector<sctArcZap> out;
    out.reserve(size / 16);
    for (std::size_t at = 0; at + 16 <= size && out.size() < 2000; at += 16) {
        const std::uint8_t* b = data + at;
        sctArcZap r;
        const bool odd = b[0] == 0xFF && b[15] == 0xFF;
        r.year = odd ? kOdd[b[1] % 6][0] : 26;
        r.month = odd ? kOdd[b[1] % 6][1] : b[1] == 0xFE ? 2 : 1;
        r.day = b[2] % 33;
        r.hour = b[3] % 26;
        r.minute = b[4] % 3 == 0 ? b[4] % 61 : 0;
        r.Event = b[5] % 4 == 0 ? archive::kEventDaily : b[5] % 7 == 0 ? archive::kEventSkipped : archive::kEventHourly;
        r.Err[0] = std::uint32_t(b[6]) << (b[6] % 29);
        r.Err[1] = b[7];
        r.Tfmn[0] = b[8];
        r.Tfmx[1] = b[9];
        r.Tdtm[2] = b[10];
        float q;
        std::memcpy(&q, b + 11, sizeof q); // any bits: NaN and infinities included
        r.Q[0] = q;
        r.M[0] = float(b[15]) * 1000.0f;
        r.M[1] = float(b[15] ^ 0x55) * 40000.0f;
        r.T[0] = std::uint32_t(b[12]) * 60u;
        r.t[0] = float(b[13]);
        r.t[1] = float(b[14]);
        out.push_back(r);
    }
    return out;
}

// False when the input is too short to choose anything.
inline bool decode(const std::uint8_t* data, std::size_t size, ArchiveRecordsInput& in)
{
    if (size < 4)
        return false;
    in.contours = 1 + data[0] % 3;
    in.daily = data[1] & 1;
    in.from = data[2] & 1 ? QDate() : QDate(2025 + data[2] % 3, 1 + data[3] % 2, 1);
    in.to = in.from.isValid() ? in.from.addDays(data[3] % 31) : QDate();
    in.records = recordsOf(data + 4, size - 4);
    return true;
}

} // namespace fuzzinput
