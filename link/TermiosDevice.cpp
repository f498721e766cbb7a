#include "LineDevice.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>

#include "link/LineSettings.h"
#include "link/LineTarget.h"
#include "link/SerialSpeed.h"

namespace comm {

namespace {

// A pseudo-terminal and some USB adapters have no modem lines; that is not a failure of the port.
bool noModemLines(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

int setModemLine(int fd, int line, bool on)
{
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || noModemLines(errno))
        return 0;
    return errno;
}

// A serial device through termios, in raw mode and not shared.
class TermiosDevice final : public LineDevice
{
public:
    explicit TermiosDevice(int fd)
        : m_fd(fd)
    {
    }
    ~TermiosDevice() override { close(); }

    int descriptor() const override { return m_fd; }

    int setLine(const DeviceControlBlock& dcb) override
    {
        termios t {};
        if (::tcgetattr(m_fd, &t) != 0)
            return errno;
        bool customSpeed = false;
        if (const int error = termiosFromDcb(dcb, t, customSpeed); error != 0)
            return error;
        if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
            return errno;
        if (customSpeed) {
            if (const int error = serialspeed::setCustomSpeed(m_fd, dcb.BaudRate); error != 0)
                return error;
        }
        // DTR handshake has no termios form; the line is simply held on.
        const bool dtr = dcbFlag(dcb, DcbFlag::fDtrControl) != 0;
        if (const int error = setModemLine(m_fd, TIOCM_RTS, true); error != 0)
            return error;
        return setModemLine(m_fd, TIOCM_DTR, dtr);
    }

    int purge() override { return ::tcflush(m_fd, TCIOFLUSH) == 0 ? 0 : errno; }

    ssize_t read(char* buffer, std::size_t size) override { return ::read(m_fd, buffer, size); }

    ssize_t write(const char* buffer, std::size_t size) override { return ::write(m_fd, buffer, size); }

    int close() override
    {
        if (m_fd < 0)
            return 0;
        ::ioctl(m_fd, TIOCNXCL);
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<LineDevice> openTermiosDevice(const LineTarget& target, int& error)
{
    const QByteArray name = QFile::encodeName(target.path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Raw mode comes first and whatever the stored settings say, so that no byte is ever
    // echoed or translated by the line discipline.
    termios t {};
    if (::tcgetattr(fd, &t) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    // Not shared, as the port always was; refused only where the driver cannot.
    ::ioctl(fd, TIOCEXCL);
    // Bytes queued before the open (the tail of a reply to a program that was killed) can
    // answer no request of this one.
    ::tcflush(fd, TCIFLUSH);
    return std::make_unique<TermiosDevice>(fd);
}

std::unique_ptr<LineDevice> openLineDevice(const LineTarget& target, int& error)
{
    error = 0;
    if (target.kind == LineTarget::Kind::Device)
        return openTermiosDevice(target, error);
    return openNetworkDevice(target, error);
}

} // namespace comm
