#include "MeterArchive.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "base/Crc16.h"
#include "base/DateUtil.h"

namespace metersim {

namespace {

constexpr std::uint8_t kEmpty = 0xFF;

// Hours from 2020-01-01 00:00 by the calendar, so that summer time never makes a reading step back.
double hourIndex(const QDateTime& at)
{
    static const qint64 base = QDate(2020, 1, 1).toJulianDay();
    const QTime t = at.time();
    return double(at.date().toJulianDay() - base) * 24.0 + t.hour() + t.minute() / 60.0;
}

void putLe16(QByteArray& b, qsizetype pos, std::uint16_t v)
{
    b[pos] = char(v & 0xFF);
    b[pos + 1] = char(v >> 8);
}

void putBe16(QByteArray& b, qsizetype pos, std::uint16_t v)
{
    b[pos] = char(v >> 8);
    b[pos + 1] = char(v & 0xFF);
}

std::uint32_t bits(float f)
{
    return std::bit_cast<std::uint32_t>(f);
}

template <std::size_t N> void putFloatsBe(QByteArray& b, qsizetype pos, const std::array<float, N>& values)
{
    for (std::size_t i = 0; i < N; ++i)
        putBe32(b, pos + 4 * qsizetype(i), bits(values[i]));
}

void stamp(sctArcZap& r, const QDateTime& at, int hour)
{
    r.hour = std::uint8_t(hour);
    r.day = std::uint8_t(at.date().day());
    r.month = std::uint8_t(at.date().month());
    r.year = std::uint8_t(at.date().year() - 2000);
}

// Splits a reading so that the float keeping the small part stays exact to a few digits.
void split(double total, bool doSplit, float& small, float& large)
{
    const double big = doSplit ? std::floor(total / 1000.0) * 1000.0 : 0.0;
    large = float(big);
    small = float(total - big);
}

} // namespace

MeterArchive::MeterArchive(const MeterSetup& setup, const QDateTime& now)
    : m_setup(setup)
    , m_newestHour(dateutil::calendarDateTime(now.date(), QTime(now.time().hour(), 0)))
{
}

sctArcZap MeterArchive::valuesAt(const QDateTime& at, bool doSplit) const
{
    sctArcZap r;
    const double h = hourIndex(at);
    const double day = 2.0 * std::numbers::pi * h / 24.0;
    // Heat and flow follow the day: more at night, never negative, so readings only grow.
    const double shape = h - 0.3 * 24.0 / (2.0 * std::numbers::pi) * std::cos(day);
    const double scale = 1.0 + (m_setup.serial % 7) * 0.05;
    const int contours = std::min<int>(m_setup.numSys(), archive::kContours);
    const std::array<bool, 3> pressure = m_setup.pressure.value_or(std::array<bool, 3>{ true, true, false });
    for (int c = 0; c < contours; ++c) {
        const auto ci = std::size_t(c);
        const double rateQ = (0.10 + 0.04 * c) * scale;
        split(1000.0 * (c + 1) * scale + rateQ * shape, doSplit, r.Q[ci], r.pre_Q[ci]);
        const double flow = rateQ * 1000.0 / 25.0;
        const double mSupply = 500.0 * (c + 1) + flow * shape;
        const double mReturn = 0.995 * mSupply;
        split(mSupply, doSplit, r.M[2 * ci], r.pre_M[2 * ci]);
        split(mReturn, doSplit, r.M[2 * ci + 1], r.pre_M[2 * ci + 1]);
        split(mSupply / 0.975, doSplit, r.V[2 * ci], r.pre_V[2 * ci]);
        split(mReturn / 0.985, doSplit, r.V[2 * ci + 1], r.pre_V[2 * ci + 1]);
        r.t[2 * ci] = float(70.0 + 2.0 * c + 8.0 * std::sin(day));
        r.t[2 * ci + 1] = float(45.0 + 2.0 * c + 3.0 * std::sin(day));
        r.p[2 * ci] = pressure[ci] ? 6.2f : 0.0f;
        r.p[2 * ci + 1] = pressure[ci] ? 4.1f : 0.0f;
        r.T[ci] = std::uint32_t(std::max(0.0, h) * 60.0);
        // Now and then the flow leaves its range for a few minutes.
        if (std::llround(h) % 97 == 11 * c + 5)
            r.Tfmn[ci] = 12;
        if (std::llround(h) % 131 == 7 * c + 3)
            r.Tfmx[ci] = 4;
    }
    r.Nstart = 1;
    r.Event = archive::kEventHourly;
    r.tail[0] = std::uint8_t(m_setup.archiveVersion());
    r.t_cold = m_setup.tCold.value_or(5.0f);
    r.t_amb = float(20.0 + 3.0 * std::sin(day));
    return r;
}

void MeterArchive::setHourlyRecords(std::vector<sctArcZap> records)
{
    std::sort(records.begin(), records.end(),
              [](const sctArcZap& a, const sctArcZap& b) { return archive::stampKey(a) > archive::stampKey(b); });
    m_hourly = std::move(records);
    m_daily.clear();
    m_monthly.clear();
    // A day closes at the midnight that ends it: the reading at 00:00 is the day before's total.
    for (const sctArcZap& r : m_hourly) {
        if (r.hour != 0 || r.minute != 0)
            continue;
        const QDateTime at = archive::recordDateTime(r);
        if (!at.isValid())
            continue;
        sctArcZap d = r;
        stamp(d, at.addDays(-1), 24);
        d.Event = archive::kEventDaily;
        m_daily.push_back(d);
        if (at.date().day() == 1) {
            d.Event = archive::kEventMonthly;
            m_monthly.push_back(d);
        }
    }
    m_loaded = true;
}

int MeterArchive::hourlyCount() const
{
    if (m_loaded)
        return int(std::min<std::size_t>(m_hourly.size(), m_setup.archiveSize()));
    return std::min<int>(m_setup.hours, m_setup.archiveSize());
}

std::optional<sctArcZap> MeterArchive::record(ArchiveKind kind, int number) const
{
    if (kind == ArchiveKind::Hourly) {
        if (number == 0)
            number = 1;
        if (number > hourlyCount() || m_setup.emptyHours.count(number))
            return std::nullopt;
        if (m_loaded)
            return m_hourly[std::size_t(number - 1)];
        return generated(kind, number);
    }
    if (m_loaded) {
        const std::vector<sctArcZap>& list = kind == ArchiveKind::Daily ? m_daily : m_monthly;
        if (number < 0 || std::size_t(number) >= list.size())
            return std::nullopt;
        return list[std::size_t(number)];
    }
    return generated(kind, number);
}

std::optional<sctArcZap> MeterArchive::generated(ArchiveKind kind, int number) const
{
    const bool splitHourly = m_setup.protVersion() >= 5 && m_setup.archiveVersion() >= 2;
    switch (kind) {
    case ArchiveKind::Hourly: {
        const QDateTime at = m_newestHour.addSecs(-3600 * qint64(number - 1));
        sctArcZap r = valuesAt(at, splitHourly);
        stamp(r, at, at.time().hour());
        return r;
    }
    case ArchiveKind::Daily: {
        if (number < 0 || number >= m_setup.days)
            return std::nullopt;
        const QDate day = m_newestHour.date().addDays(-1 - number);
        sctArcZap r = valuesAt(dateutil::calendarDateTime(day.addDays(1), QTime(0, 0)), true);
        stamp(r, dateutil::calendarDateTime(day, QTime(0, 0)), 24);
        r.Event = archive::kEventDaily;
        return r;
    }
    case ArchiveKind::Monthly: {
        if (number < 0 || number >= m_setup.months)
            return std::nullopt;
        const QDate first = QDate(m_newestHour.date().year(), m_newestHour.date().month(), 1).addMonths(-number);
        sctArcZap r = valuesAt(dateutil::calendarDateTime(first, QTime(0, 0)), true);
        stamp(r, dateutil::calendarDateTime(first.addDays(-1), QTime(0, 0)), 24);
        r.Event = archive::kEventMonthly;
        return r;
    }
    }
    return std::nullopt;
}

std::uint16_t MeterArchive::findHourly(int hour, int day, int month, int year) const
{
    const QDate date(year, month, day);
    if (!date.isValid() || hour < 0 || hour > 23)
        return 0xFFFF;
    const auto matches = [&](const sctArcZap& r) {
        return r.hour == hour && r.day == day && r.month == month && archive::fullYear(r) == year;
    };
    if (m_loaded) {
        for (int n = 1; n <= hourlyCount(); ++n) {
            if (matches(m_hourly[std::size_t(n - 1)]) && !m_setup.emptyHours.count(n))
                return std::uint16_t(n);
        }
        return 0xFFFF;
    }
    const qint64 back = dateutil::calendarDateTime(date, QTime(hour, 0)).secsTo(m_newestHour);
    if (back < 0 || back % 3600 != 0)
        return 0xFFFF;
    const qint64 n = back / 3600 + 1;
    if (n > hourlyCount() || m_setup.emptyHours.count(int(n)))
        return 0xFFFF;
    return std::uint16_t(n);
}

std::uint8_t blockYearByte(int fullYear, std::uint16_t softVersion)
{
    if (softVersion < 0x1800 && fullYear >= 2020 && fullYear <= 2030)
        return std::uint8_t(fullYear - 2020);
    return std::uint8_t(fullYear - 2000);
}

QByteArray archiveBlock(const sctArcZap& r, std::uint8_t yearByte)
{
    QByteArray b(128, '\0');
    b[0] = char(r.hour);
    b[1] = char(r.day);
    b[2] = char(r.month);
    b[3] = char(yearByte);
    putFloatsBe(b, 4, r.Q);
    putFloatsBe(b, 16, r.M);
    putFloatsBe(b, 40, r.t);
    putFloatsBe(b, 64, r.p);
    for (int i = 0; i < 3; ++i) {
        putBe32(b, 88 + 4 * i, r.T[std::size_t(i)]);
        putBe32(b, 101 + 4 * i, r.Err[std::size_t(i)]);
    }
    b[100] = char(r.Nstart);
    b[113] = char(r.Event);
    b[114] = char(r.minute);
    for (int i = 0; i < 3; ++i) {
        b[115 + i] = char(r.Tfmn[std::size_t(i)]);
        b[118 + i] = char(r.Tfmx[std::size_t(i)]);
        b[121 + i] = char(r.Tdtm[std::size_t(i)]);
    }
    b[124] = char(r.tail[0]);
    b[125] = char(r.tail[1]);
    putBe16(b, 126, crc::xmodem(QByteArrayView(b).first(126)));
    return b;
}

QByteArray extensionBlock(const sctArcZap& r)
{
    QByteArray b(128, '\0');
    putFloatsBe(b, 0, r.pre_Q);
    putFloatsBe(b, 12, r.pre_M);
    putFloatsBe(b, 36, r.V);
    putFloatsBe(b, 60, r.pre_V);
    putBe32(b, 84, bits(r.t_cold));
    putBe32(b, 88, bits(r.t_amb));
    for (int c = 0; c < 3; ++c) {
        const auto ci = std::size_t(c);
        // Operating hours of the contour, and the starts, for the daily and monthly layout.
        putBe32(b, 92 + 4 * c, bits(float(r.T[ci]) / 60.0f));
        putBe16(b, 108 + 2 * c, r.Tfmn[ci]);
        putBe16(b, 114 + 2 * c, r.Tfmx[ci]);
        putBe16(b, 120 + 2 * c, r.Tdtm[ci]);
    }
    putBe32(b, 104, r.Nstart);
    putBe16(b, 126, crc::xmodem(QByteArrayView(b).first(126)));
    return b;
}

QByteArray contourBlock(const sctArcZap& r, int contour, std::uint8_t yearByte)
{
    const auto c = std::size_t(contour);
    QByteArray b(104, '\0');
    putLe32(b, 0, 104);
    putLe32(b, 4, std::uint32_t(contour));
    b[8] = char(r.hour);
    b[9] = char(r.day);
    b[10] = char(r.month);
    b[11] = char(yearByte);
    b[12] = char(r.minute);
    b[13] = char(r.Event);
    b[14] = char(r.Nstart);
    const float values[] = { r.Q[c],         r.pre_Q[c],         r.M[2 * c], r.M[2 * c + 1],
                             r.pre_M[2 * c], r.pre_M[2 * c + 1], r.V[2 * c], r.V[2 * c + 1],
                             r.pre_V[2 * c], r.pre_V[2 * c + 1], r.t[2 * c], r.t[2 * c + 1],
                             r.p[2 * c],     r.p[2 * c + 1],     r.t_cold,   r.t_amb };
    for (int i = 0; i < 16; ++i)
        putLe32(b, 16 + 4 * i, bits(values[i]));
    putLe32(b, 80, r.T[c]);
    putLe32(b, 84, bits(float(r.T[c]) / 60.0f));
    putLe32(b, 88, r.Nstart);
    putLe32(b, 92, r.Err[c]);
    putLe16(b, 96, r.Tfmn[c]);
    putLe16(b, 98, r.Tfmx[c]);
    putLe16(b, 100, r.Tdtm[c]);
    putLe16(b, 102, crc::modbus(QByteArrayView(b).first(102)));
    return b;
}

QByteArray emptyBlock()
{
    return QByteArray(128, char(kEmpty));
}

QByteArray emptyContourBlock(int contour)
{
    QByteArray b(104, '\0');
    putLe32(b, 0, 104);
    putLe32(b, 4, std::uint32_t(contour));
    for (int i = 8; i < 15; ++i)
        b[i] = char(kEmpty);
    putLe16(b, 102, crc::modbus(QByteArrayView(b).first(102)));
    return b;
}

} // namespace metersim
