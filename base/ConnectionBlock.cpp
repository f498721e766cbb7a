#include "ConnectionBlock.h"

const std::array<DcbFlagLayout, kDcbFlagCount>& dcbFlagLayout()
{
    static const std::array<DcbFlagLayout, kDcbFlagCount> layout = {{
        {DcbFlag::fBinary, "fBinary", 0, 1},
        {DcbFlag::fParity, "fParity", 1, 1},
        {DcbFlag::fOutxCtsFlow, "fOutxCtsFlow", 2, 1},
        {DcbFlag::fOutxDsrFlow, "fOutxDsrFlow", 3, 1},
        {DcbFlag::fDtrControl, "fDtrControl", 4, 2},
        {DcbFlag::fDsrSensitivity, "fDsrSensitivity", 6, 1},
        {DcbFlag::fTXContinueOnXoff, "fTXContinueOnXoff", 7, 1},
        {DcbFlag::fOutX, "fOutX", 8, 1},
        {DcbFlag::fInX, "fInX", 9, 1},
        {DcbFlag::fErrorChar, "fErrorChar", 10, 1},
        {DcbFlag::fNull, "fNull", 11, 1},
        {DcbFlag::fRtsControl, "fRtsControl", 12, 2},
        {DcbFlag::fAbortOnError, "fAbortOnError", 14, 1},
        {DcbFlag::fDummy2, "fDummy2", 15, 17},
    }};
    return layout;
}

namespace {

std::uint32_t mask(int width)
{
    return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
}

} // namespace

std::uint32_t dcbFlag(const DeviceControlBlock& dcb, DcbFlag flag)
{
    const DcbFlagLayout& f = dcbFlagLayout()[static_cast<std::size_t>(flag)];
    return (dcb.flags >> f.shift) & mask(f.width);
}

void setDcbFlag(DeviceControlBlock& dcb, DcbFlag flag, std::uint32_t value)
{
    const DcbFlagLayout& f = dcbFlagLayout()[static_cast<std::size_t>(flag)];
    const std::uint32_t m = mask(f.width) << f.shift;
    dcb.flags = (dcb.flags & ~m) | ((value << f.shift) & m);
}

DeviceControlBlock defaultDeviceControlBlock()
{
    DeviceControlBlock dcb;
    dcb.BaudRate = 9600;
    setDcbFlag(dcb, DcbFlag::fBinary, 1);
    dcb.ByteSize = 8;
    return dcb;
}
