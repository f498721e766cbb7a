#pragma once

#include <array>
#include <cstdint>

// The serial line's device control block, field for field as the program stores it.
struct DeviceControlBlock
{
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t flags = 0; // the bit fields of DcbFlag, packed as flagLayout() says
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    bool operator==(const DeviceControlBlock&) const = default;
};

// Bit fields of the flag word, in packing order from bit 0.
enum class DcbFlag {
    fBinary,
    fParity,
    fOutxCtsFlow,
    fOutxDsrFlow,
    fDtrControl,
    fDsrSensitivity,
    fTXContinueOnXoff,
    fOutX,
    fInX,
    fErrorChar,
    fNull,
    fRtsControl,
    fAbortOnError,
    fDummy2,
};

struct DcbFlagLayout
{
    DcbFlag flag;
    const char* key; // the settings key, which is also the field's name
    int shift;
    int width;
};

constexpr int kDcbFlagCount = 14;
const std::array<DcbFlagLayout, kDcbFlagCount>& dcbFlagLayout();

std::uint32_t dcbFlag(const DeviceControlBlock& dcb, DcbFlag flag);
// Stores the value masked to the field's width.
void setDcbFlag(DeviceControlBlock& dcb, DcbFlag flag, std::uint32_t value);

// The block new accounts start from when the settings hold nothing: 9600 baud, 8 data bits,
// no parity, one stop bit, binary mode.
DeviceControlBlock defaultDeviceControlBlock();

// A connection block: the run-time state of the port (never stored), the COM port number and
// the line settings.
struct ConnectionBlock
{
    int handle = -1; // closed
    int error = 0;
    int port = 0; // COM port number; 0 or -1 = none chosen
    DeviceControlBlock dcb;

    bool operator==(const ConnectionBlock&) const = default;
};
