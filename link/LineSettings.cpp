#include "LineSettings.h"

#include <cerrno>

namespace comm {

namespace {

speed_t standardSpeed(std::uint32_t baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

} // namespace

int termiosFromDcb(const DeviceControlBlock& dcb, termios& t, bool& customSpeed)
{
    customSpeed = false;
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return EINVAL;
    }

    switch (dcb.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
    }
    if (dcb.Parity != 0 && dcbFlag(dcb, DcbFlag::fParity) != 0)
        t.c_iflag |= INPCK;

    switch (dcb.StopBits) {
    case 0: break;
    // termios knows no one and a half stop bits; two keep the receiver's framing safe.
    case 1:
    case 2: t.c_cflag |= CSTOPB; break;
    default: return EINVAL;
    }

    // Linux ties RTS flow to CTS flow; the port raises RTS itself all the same.
    if (dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0)
        t.c_cflag |= CRTSCTS;
    if (dcbFlag(dcb, DcbFlag::fOutX) != 0)
        t.c_iflag |= IXON;
    if (dcbFlag(dcb, DcbFlag::fInX) != 0)
        t.c_iflag |= IXOFF;
    const bool ownXonChars = dcb.XonChar != dcb.XoffChar;
    t.c_cc[VSTART] = ownXonChars ? cc_t(dcb.XonChar) : cc_t(0x11);
    t.c_cc[VSTOP] = ownXonChars ? cc_t(dcb.XoffChar) : cc_t(0x13);

    if (dcb.BaudRate == 0)
        return EINVAL;
    const speed_t speed = standardSpeed(dcb.BaudRate);
    if (speed == B0) {
        customSpeed = true;
    } else {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    return 0;
}

} // namespace comm
