#include "DayMonRecord.h"

#include <bit>

#include "base/DateUtil.h"

namespace archive {

namespace {

// Explicit little-endian moves, so that the blob is the same whatever the machine's order.
class Writer
{
public:
    explicit Writer(u_data_daymon_full& blob)
        : m_b(blob.bytes)
    {
    }
    void at(std::size_t pos) { m_pos = pos; }
    void u8(std::uint8_t v) { m_b[m_pos++] = v; }
    void u16(std::uint16_t v)
    {
        u8(std::uint8_t(v));
        u8(std::uint8_t(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(std::uint16_t(v));
        u16(std::uint16_t(v >> 16));
    }
    void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
    template <std::size_t N> void u8s(const std::array<std::uint8_t, N>& a)
    {
        for (std::uint8_t v : a)
            u8(v);
    }
    template <std::size_t N> void u32s(const std::array<std::uint32_t, N>& a)
    {
        for (std::uint32_t v : a)
            u32(v);
    }
    template <std::size_t N> void f32s(const std::array<float, N>& a)
    {
        for (float v : a)
            f32(v);
    }
    std::size_t pos() const { return m_pos; }

private:
    std::array<std::uint8_t, u_data_daymon_full::kSize>& m_b;
    std::size_t m_pos = 0;
};

class Reader
{
public:
    explicit Reader(const u_data_daymon_full& blob)
        : m_b(blob.bytes)
    {
    }
    void at(std::size_t pos) { m_pos = pos; }
    std::uint8_t u8() { return m_b[m_pos++]; }
    std::uint16_t u16()
    {
        const std::uint16_t lo = u8();
        return std::uint16_t(lo | std::uint16_t(u8()) << 8);
    }
    std::uint32_t u32()
    {
        const std::uint32_t lo = u16();
        return lo | std::uint32_t(u16()) << 16;
    }
    float f32() { return std::bit_cast<float>(u32()); }
    template <std::size_t N> void u8s(std::array<std::uint8_t, N>& a)
    {
        for (std::uint8_t& v : a)
            v = u8();
    }
    template <std::size_t N> void u32s(std::array<std::uint32_t, N>& a)
    {
        for (std::uint32_t& v : a)
            v = u32();
    }
    template <std::size_t N> void f32s(std::array<float, N>& a)
    {
        for (float& v : a)
            v = f32();
    }
    std::size_t pos() const { return m_pos; }

private:
    const std::array<std::uint8_t, u_data_daymon_full::kSize>& m_b;
    std::size_t m_pos = 0;
};

using B = u_data_daymon_full;

} // namespace

u_data_daymon_full toDayMon(const sctArcZap& r)
{
    u_data_daymon_full blob;
    Writer w(blob);
    w.u8(r.hour);
    w.u8(r.day);
    w.u8(r.month);
    w.u8(r.year);
    w.f32s(r.Q);
    w.f32s(r.M);
    w.f32s(r.t);
    w.f32s(r.p);
    w.u32s(r.T);
    w.u8(r.Nstart);
    w.u32s(r.Err);
    w.u8(r.Event);
    w.u8(r.minute);
    w.u8s(r.Tfmn);
    w.u8s(r.Tfmx);
    w.u8s(r.Tdtm);
    w.u8s(r.tail);
    w.u16(r.arcCrc);
    Q_ASSERT(w.pos() == B::kPreQ);
    w.f32s(r.pre_Q);
    w.f32s(r.pre_M);
    w.f32s(r.V);
    w.f32s(r.pre_V);
    w.f32(r.t_cold);
    w.f32(r.t_amb);
    Q_ASSERT(w.pos() == B::kExtension);
    w.at(B::kExtCrc);
    w.u16(r.extCrc);
    return blob;
}

sctArcZap fromDayMon(const u_data_daymon_full& blob)
{
    sctArcZap r;
    Reader rd(blob);
    r.hour = rd.u8();
    r.day = rd.u8();
    r.month = rd.u8();
    r.year = rd.u8();
    rd.f32s(r.Q);
    rd.f32s(r.M);
    rd.f32s(r.t);
    rd.f32s(r.p);
    rd.u32s(r.T);
    r.Nstart = rd.u8();
    rd.u32s(r.Err);
    r.Event = rd.u8();
    r.minute = rd.u8();
    rd.u8s(r.Tfmn);
    rd.u8s(r.Tfmx);
    rd.u8s(r.Tdtm);
    rd.u8s(r.tail);
    r.arcCrc = rd.u16();
    rd.f32s(r.pre_Q);
    rd.f32s(r.pre_M);
    rd.f32s(r.V);
    rd.f32s(r.pre_V);
    r.t_cold = rd.f32();
    r.t_amb = rd.f32();
    rd.at(B::kExtCrc);
    r.extCrc = rd.u16();
    return r;
}

int dayMonRecordType(const u_data_daymon_full& blob)
{
    return blob.bytes[B::kEvent];
}

QDateTime dayMonDateTime(const u_data_daymon_full& blob)
{
    const auto& b = blob.bytes;
    const int year = 2000 + b[B::kYear];
    const int hour = b[B::kHour];
    const int minute = b[B::kMinute];
    if (hour != 24)
        return dateutil::makeDateTime(year, b[B::kMonth], b[B::kDay], hour, minute);
    const QDateTime t = dateutil::makeDateTime(year, b[B::kMonth], b[B::kDay], 0, minute);
    return t.isValid() ? t.addDays(1) : t;
}

DayMonRow makeDayMonRow(int devType, int serial, const u_data_daymon_full& blob)
{
    return DayMonRow{devType, serial, dayMonRecordType(blob), dayMonDateTime(blob), blob};
}

} // namespace archive
