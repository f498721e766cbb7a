#include "MeterBlocks.h"

#include <algorithm>
#include <bit>

#include "base/Crc16.h"

namespace meter {

namespace {

std::uint8_t byteAt(QByteArrayView b, qsizetype pos)
{
    return std::uint8_t(b[pos]);
}

bool has(QByteArrayView b, qsizetype pos, qsizetype size)
{
    return pos >= 0 && pos + size <= b.size();
}

std::uint32_t be32(QByteArrayView b, qsizetype pos)
{
    return std::uint32_t(byteAt(b, pos)) << 24 | std::uint32_t(byteAt(b, pos + 1)) << 16
        | std::uint32_t(byteAt(b, pos + 2)) << 8 | std::uint32_t(byteAt(b, pos + 3));
}

std::uint32_t le32(QByteArrayView b, qsizetype pos)
{
    return std::uint32_t(byteAt(b, pos)) | std::uint32_t(byteAt(b, pos + 1)) << 8
        | std::uint32_t(byteAt(b, pos + 2)) << 16 | std::uint32_t(byteAt(b, pos + 3)) << 24;
}

// Each element is filled only when all its bytes are in the block.
template <std::size_t N> void floats(QByteArrayView b, qsizetype pos, std::array<float, N>& out)
{
    for (std::size_t i = 0; i < N; ++i, pos += 4) {
        if (has(b, pos, 4))
            out[i] = std::bit_cast<float>(be32(b, pos));
    }
}

template <std::size_t N> void words(QByteArrayView b, qsizetype pos, std::array<std::uint32_t, N>& out)
{
    for (std::size_t i = 0; i < N; ++i, pos += 4) {
        if (has(b, pos, 4))
            out[i] = be32(b, pos);
    }
}

template <std::size_t N> void bytes(QByteArrayView b, qsizetype pos, std::array<std::uint8_t, N>& out)
{
    for (std::size_t i = 0; i < N; ++i, ++pos) {
        if (has(b, pos, 1))
            out[i] = byteAt(b, pos);
    }
}

void oneByte(QByteArrayView b, qsizetype pos, std::uint8_t& out)
{
    if (has(b, pos, 1))
        out = byteAt(b, pos);
}

void oneFloat(QByteArrayView b, qsizetype pos, float& out)
{
    if (has(b, pos, 4))
        out = std::bit_cast<float>(be32(b, pos));
}

void blockCheck(QByteArrayView b, std::uint16_t& out)
{
    if (has(b, 126, 2))
        out = std::uint16_t(byteAt(b, 126) << 8 | byteAt(b, 127));
}

// Reverses each whole size-byte word of src[from, to) into dst at the same offset + shift.
void swapInto(u_data_daymon_full& dst, QByteArrayView src, qsizetype from, qsizetype to, qsizetype size,
              qsizetype shift)
{
    for (qsizetype pos = from; pos + size <= to && has(src, pos, size); pos += size) {
        for (qsizetype k = 0; k < size; ++k)
            dst.bytes[std::size_t(pos + shift + k)] = byteAt(src, pos + size - 1 - k);
    }
}

void copyInto(u_data_daymon_full& dst, QByteArrayView src, qsizetype from, qsizetype to, qsizetype shift)
{
    for (qsizetype pos = from; pos < to && pos < src.size(); ++pos)
        dst.bytes[std::size_t(pos + shift)] = byteAt(src, pos);
}

} // namespace

BlockStatus DecodeArchiveBlock(QByteArrayView block, sctArcZap& record)
{
    oneByte(block, 0, record.hour);
    oneByte(block, 1, record.day);
    oneByte(block, 2, record.month);
    oneByte(block, 3, record.year);
    floats(block, 4, record.Q);
    floats(block, 16, record.M);
    floats(block, 40, record.t);
    floats(block, 64, record.p);
    words(block, 88, record.T);
    oneByte(block, 100, record.Nstart);
    words(block, 101, record.Err);
    oneByte(block, 113, record.Event);
    oneByte(block, 114, record.minute);
    bytes(block, 115, record.Tfmn);
    bytes(block, 118, record.Tfmx);
    bytes(block, 121, record.Tdtm);
    bytes(block, 124, record.tail);
    blockCheck(block, record.arcCrc);

    if (has(block, 0, 4) && std::all_of(block.begin(), block.begin() + 4, [](char c) { return c == '\xFF'; }))
        return BlockStatus::Empty;
    if (block.size() < kBlockSize)
        return BlockStatus::Short;
    return crc::xmodem(block.first(126)) == record.arcCrc ? BlockStatus::Good : BlockStatus::BadCrc;
}

bool DecodeExtensionBlock(QByteArrayView block, sctArcZap& record)
{
    floats(block, 0, record.pre_Q);
    floats(block, 12, record.pre_M);
    floats(block, 36, record.V);
    floats(block, 60, record.pre_V);
    oneFloat(block, 84, record.t_cold);
    oneFloat(block, 88, record.t_amb);
    blockCheck(block, record.extCrc);
    return block.size() >= kBlockSize;
}

std::optional<std::array<std::uint8_t, 4>> DecodeRecordHead(QByteArrayView data)
{
    if (!has(data, 0, 4))
        return std::nullopt;
    return std::array<std::uint8_t, 4>{ byteAt(data, 0), byteAt(data, 1), byteAt(data, 2), byteAt(data, 3) };
}

bool IsEmptyHead(const std::array<std::uint8_t, 4>& head)
{
    return std::all_of(head.begin(), head.end(), [](std::uint8_t b) { return b == 0xFF; });
}

u_data_daymon_full DayMonFromBlocks(QByteArrayView arc, QByteArrayView ext)
{
    u_data_daymon_full blob;
    const QByteArrayView a = arc.first(std::min(arc.size(), kBlockSize));
    copyInto(blob, a, 0, 4, 0);
    swapInto(blob, a, 4, 100, 4, 0);
    copyInto(blob, a, 100, 101, 0);
    swapInto(blob, a, 101, 113, 4, 0);
    copyInto(blob, a, 113, 126, 0);
    swapInto(blob, a, 126, 128, 2, 0);

    const QByteArrayView e = ext.first(std::min(ext.size(), kBlockSize));
    swapInto(blob, e, 0, 108, 4, kBlockSize);
    swapInto(blob, e, 108, 128, 2, kBlockSize);
    return blob;
}

ContourBlock CheckContourBlock(QByteArrayView block, int expectedContour)
{
    ContourBlock c;
    if (has(block, 0, 4))
        c.length = le32(block, 0);
    if (has(block, 4, 4))
        c.contour = le32(block, 4);
    if (has(block, 8, 4))
        c.empty = std::all_of(block.begin() + 8, block.begin() + 12, [](char b) { return b == '\xFF'; });
    // The length is the meter's word: it is trusted only as far as the bytes that came.
    if (c.length < std::uint32_t(kContourBlockMin) || c.length > std::uint64_t(block.size()))
        return c;
    c.valid = expectedContour >= 0 && c.contour == std::uint32_t(expectedContour)
        && crc::modbus(block.first(qsizetype(c.length))) == 0;
    return c;
}

bool SameContourStamp(QByteArrayView a, QByteArrayView b)
{
    return has(a, 8, 7) && has(b, 8, 7) && a.sliced(8, 7) == b.sliced(8, 7);
}

void FixOldFirmwareYear(sctArcZap& record, std::uint16_t softVersion)
{
    if (softVersion < 0x1800 && record.year <= 10 && record.month >= 1 && record.month <= 12 && record.day >= 1
        && record.day <= 31)
        record.year = std::uint8_t(record.year + 20);
}

double EnergyFactor(std::uint8_t energyUnits)
{
    if (energyUnits == archive::kEnergyKWh)
        return 1163.0;
    if (energyUnits == archive::kEnergyGJ)
        return 4.1868;
    return 1.0;
}

void ConvertEnergy(sctArcZap& record, std::uint8_t energyUnits)
{
    const double factor = EnergyFactor(energyUnits);
    if (factor == 1.0)
        return;
    // The factor is a double constant: the product is formed in double and only then stored
    // as float, which differs in the last bit from a float product for some values.
    for (float& q : record.Q)
        q = float(double(q) * factor);
    for (float& q : record.pre_Q)
        q = float(double(q) * factor);
}

std::optional<float> TColdFromFile(QByteArrayView data, std::uint16_t softVersion)
{
    if (!has(data, 0, 4))
        return std::nullopt;
    // Older firmware sends this constant low byte first.
    const std::uint32_t bits = softVersion < 0x1800 ? le32(data, 0) : be32(data, 0);
    return std::bit_cast<float>(bits);
}

std::optional<std::uint8_t> EnergyUnitsFromFile(QByteArrayView data)
{
    if (!has(data, 0, 1))
        return std::nullopt;
    return byteAt(data, 0);
}

int PressureFromFile(QByteArrayView data, ArchiveParams& params)
{
    int decoded = 0;
    for (int c = 0; c < archive::kContours; ++c) {
        const qsizetype lo = 8 * c;
        if (!has(data, 24 + lo, 8))
            break;
        const bool differs = be32(data, 24 + lo) != be32(data, lo) || be32(data, 28 + lo) != be32(data, 4 + lo);
        params.Pressure[std::size_t(c)] = differs ? 1 : 0;
        ++decoded;
    }
    return decoded;
}

std::optional<std::uint16_t> ConfigSizeFromFile(QByteArrayView data, std::uint16_t softVersion)
{
    if (!has(data, 0, 2))
        return std::nullopt;
    if (softVersion < 0x1000)
        return std::uint16_t(byteAt(data, 0) << 8 | byteAt(data, 1));
    return std::uint16_t(byteAt(data, 1) << 8 | byteAt(data, 0));
}

} // namespace meter
