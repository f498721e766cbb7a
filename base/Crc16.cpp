#include "Crc16.h"

#include <array>

namespace crc {

namespace {

constexpr std::array<std::uint16_t, 256> reflectedTable(std::uint16_t poly)
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? (c >> 1) ^ poly : c >> 1;
        table[i] = std::uint16_t(c);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> forwardTable(std::uint16_t poly)
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x8000) != 0 ? (c << 1) ^ poly : c << 1;
        table[i] = std::uint16_t(c);
    }
    return table;
}

constexpr auto kModbus = reflectedTable(0xA001);
constexpr auto kXmodem = forwardTable(0x1021);

} // namespace

std::uint16_t modbus(const void* data, std::size_t size, std::uint16_t crc)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        crc = std::uint16_t((crc >> 8) ^ kModbus[(crc ^ p[i]) & 0xFF]);
    return crc;
}

std::uint16_t xmodem(const void* data, std::size_t size, std::uint16_t crc)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        crc = std::uint16_t((crc << 8) ^ kXmodem[((crc >> 8) ^ p[i]) & 0xFF]);
    return crc;
}

} // namespace crc
