#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArrayView>

// The two 16-bit check sums of the meter's data. Each takes the running value, so that a block
// can be summed in pieces: crc = modbus(b, nb, modbus(a, na)).
namespace crc {

// CRC-16/MODBUS: polynomial 0x8005 reflected (0xA001), initial 0xFFFF, no final xor. A block
// followed by its own check sum, low byte first, sums to 0.
std::uint16_t modbus(const void* data, std::size_t size, std::uint16_t crc = 0xFFFF);
// CRC-16/XMODEM: polynomial 0x1021, not reflected, initial 0, no final xor.
std::uint16_t xmodem(const void* data, std::size_t size, std::uint16_t crc = 0);

inline std::uint16_t modbus(QByteArrayView bytes)
{
    return modbus(bytes.data(), std::size_t(bytes.size()));
}

inline std::uint16_t xmodem(QByteArrayView bytes)
{
    return xmodem(bytes.data(), std::size_t(bytes.size()));
}

} // namespace crc
