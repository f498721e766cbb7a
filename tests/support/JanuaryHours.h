#pragma once

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"

namespace testsupport {

// 48 hourly records from 5 January 2015 01:00 to 7 January 00:00 (the 24:00 records of the 5th
// and the 6th included): Q1 grows by 0.1 an hour, both masses of contour 1 by 2.
inline ArchiveRecordList januaryHours()
{
    ArchiveRecordList records;
    for (int h = 1; h <= 48; ++h) {
        sctArcZap r;
        r.year = 15;
        r.month = 1;
        r.day = std::uint8_t(5 + h / 24);
        r.hour = std::uint8_t(h % 24);
        r.Event = archive::kEventHourly;
        r.Q[0] = float(h) / 10.0f;
        r.M[0] = r.M[1] = float(h * 2);
        records.add(r, false);
    }
    return records;
}

} // namespace testsupport
