#include "CComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>

#include "base/Format.h"
#include "base/MessageBox.h"
#include "link/ComPortMap.h"
#include "link/LineSettings.h"
#include "link/LineTarget.h"
#include "link/SerialSpeed.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, for poll(); never negative.
int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : int(left);
}

// A pseudo-terminal and some USB adapters have no modem lines; that is not a failure of the port.
bool noModemLines(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool setModemLine(int fd, int line, bool on, int* error)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || noModemLines(errno))
        return true;
    *error = errno;
    return false;
}

} // namespace

CommTimeouts exchangeTimeouts(std::uint32_t answerTimeout)
{
    CommTimeouts t;
    t.ReadIntervalTimeout = 20000;
    t.ReadTotalTimeoutMultiplier = 5;
    t.ReadTotalTimeoutConstant = answerTimeout;
    t.WriteTotalTimeoutMultiplier = 5;
    t.WriteTotalTimeoutConstant = 50;
    return t;
}

CComPort::CComPort()
    : m_mapFile(comm::ComPortMap::defaultSettingsPath())
{
}

CComPort::CComPort(const ConnectionBlock& connection)
    : m_port(connection.port)
    , m_dcb(connection.dcb)
    , m_mapFile(comm::ComPortMap::defaultSettingsPath())
{
}

CComPort::~CComPort()
{
    if (isOpen()) {
        ::ioctl(m_handle, TIOCNXCL);
        ::close(m_handle);
    }
}

void CComPort::fail(int error)
{
    errno = error;
    ReportError();
}

void CComPort::ReportError()
{
    const int error = errno;
    m_lastError = std::uint32_t(error);
    const QString text = fmt::text(u"COM port error %d: %s", error, QString::fromLocal8Bit(std::strerror(error)));
    MessageBox::show(text, MbIcon::Error, MbButtons::Ok, u"Error"_s);
}

bool CComPort::Open()
{
    if (m_port < 1 || m_port > comm::ComPortMap::kMaxPort)
        return false;
    if (isOpen())
        Close();

    comm::ComPortMap map(m_mapFile);
    QString path = map.devicePath(m_port);
    if (path.isEmpty() && map.refresh() > 0)
        path = map.devicePath(m_port);
    if (path.isEmpty()) {
        // What opening a COM number that no device has gives.
        fail(ENOENT);
        return false;
    }
    return OpenDevice(path);
}

bool CComPort::OpenDevice(const QString& path)
{
    if (isOpen())
        Close();
    const std::optional<comm::LineTarget> target = comm::parseLineTarget(path);
    if (target && target->kind == comm::LineTarget::Kind::Tcp)
        return openTcp(*target);
    if (target && target->kind == comm::LineTarget::Kind::Rfc2217) {
        // The line settings of a serial server are not sent yet.
        fail(EPROTONOSUPPORT);
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReportError();
        return false;
    }
    // Raw mode comes first and whatever the stored settings say, so that no byte is ever
    // echoed or translated by the line discipline.
    termios t {};
    if (::tcgetattr(fd, &t) != 0) {
        ReportError();
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        ReportError();
        ::close(fd);
        return false;
    }
    // Not shared, as the port always was; refused only where the driver cannot.
    ::ioctl(fd, TIOCEXCL);
    m_handle = fd;
    // Failed settings are shown but leave the port open. There are no driver queue sizes to
    // set here: the kernel's buffers are larger than the 2048 bytes asked for elsewhere.
    SetState(m_dcb);
    return true;
}

// A raw TCP port: the server passes the line through, so the bytes are those of a serial line
// and the reads keep its timeout rules through the same poll() as a device. The line settings
// belong to the far end.
bool CComPort::openTcp(const comm::LineTarget& target)
{
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(target.host.toUtf8().constData(), QByteArray::number(target.port).constData(), &hints,
                                 &found);
    if (rc != 0 || found == nullptr) {
        // The resolver's own errors have no errno; a name that cannot be found is "no such device".
        fail(rc == EAI_SYSTEM ? errno : ENXIO);
        return false;
    }
    int error = ECONNREFUSED;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            error = errno;
            ::close(fd);
            continue;
        }
        // A connection still pending after the bound is given up, as a silent line would be.
        pollfd p {fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kConnectTimeoutMs);
        int soError = 0;
        socklen_t len = sizeof soError;
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            error = soError != 0 ? soError : errno;
        } else {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::freeaddrinfo(found);
            m_handle = fd;
            m_socket = true;
            return true;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    fail(error);
    return false;
}

bool CComPort::Close()
{
    if (!isOpen())
        return false;
    if (!m_socket)
        ::ioctl(m_handle, TIOCNXCL);
    m_socket = false;
    const int rc = ::close(m_handle);
    m_handle = -1;
    if (rc != 0) {
        ReportError();
        return false;
    }
    return true;
}

bool CComPort::applyState(const DeviceControlBlock& dcb)
{
    termios t {};
    if (::tcgetattr(m_handle, &t) != 0) {
        ReportError();
        return false;
    }
    bool customSpeed = false;
    if (const int error = comm::termiosFromDcb(dcb, t, customSpeed); error != 0) {
        fail(error);
        return false;
    }
    if (::tcsetattr(m_handle, TCSANOW, &t) != 0) {
        ReportError();
        return false;
    }
    if (customSpeed) {
        if (const int error = comm::serialspeed::setCustomSpeed(m_handle, dcb.BaudRate); error != 0) {
            fail(error);
            return false;
        }
    }

    int error = 0;
    // DTR handshake has no termios form; the line is simply held on.
    const bool dtr = dcbFlag(dcb, DcbFlag::fDtrControl) != kDtrControlDisable;
    if (!setModemLine(m_handle, TIOCM_RTS, true, &error) || !setModemLine(m_handle, TIOCM_DTR, dtr, &error)) {
        fail(error);
        return false;
    }
    return true;
}

bool CComPort::SetState(const DeviceControlBlock& dcb)
{
    DeviceControlBlock applied = dcb;
    if (isOpen() && !m_socket) {
        // RTS stays on whatever the block says; with RTS/CTS the program only watches CTS.
        setDcbFlag(applied, DcbFlag::fRtsControl, kRtsControlEnable);
        if (!applyState(applied))
            return false;
    }
    m_dcb = applied;
    return true;
}

bool CComPort::SetTimeouts(const CommTimeouts& timeouts)
{
    if (!isOpen())
        return false;
    m_timeouts = timeouts;
    return true;
}

bool CComPort::GetTimeouts(CommTimeouts& timeouts)
{
    if (!isOpen())
        return false;
    timeouts = m_timeouts;
    return true;
}

bool CComPort::Purge()
{
    if (!isOpen())
        return false;
    if (m_socket) {
        // What has come is dropped; what is on its way cannot be called back.
        char buffer[4096];
        while (::recv(m_handle, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
        return true;
    }
    if (::tcflush(m_handle, TCIOFLUSH) != 0) {
        ReportError();
        return false;
    }
    return true;
}

int CComPort::Read(int count, char* buffer)
{
    if (!isOpen() || count <= 0 || buffer == nullptr)
        return 0;
    const CommTimeouts& to = m_timeouts;
    const bool noWait = to.ReadIntervalTimeout == CommTimeouts::kNoWait;
    const std::uint64_t totalMs = std::uint64_t(to.ReadTotalTimeoutMultiplier) * std::uint64_t(count)
        + to.ReadTotalTimeoutConstant;
    const bool hasTotal = totalMs != 0;
    const bool hasInterval = !noWait && to.ReadIntervalTimeout != 0;
    const Clock::time_point start = Clock::now();
    const Clock::time_point totalDeadline = start + std::chrono::milliseconds(totalMs);
    Clock::time_point lastByte = start;

    int got = 0;
    while (got < count) {
        int wait = -1;
        if (noWait && !hasTotal)
            wait = 0;
        if (hasTotal)
            wait = msLeft(totalDeadline);
        if (hasInterval && got > 0) {
            const int gap = msLeft(lastByte + std::chrono::milliseconds(to.ReadIntervalTimeout));
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        pollfd p {m_handle, POLLIN, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            ReportError();
            return 0;
        }
        if (ready == 0)
            break; // a timeout ran out
        if ((p.revents & POLLNVAL) != 0) {
            fail(EBADF);
            return 0;
        }
        const ssize_t n = ::read(m_handle, buffer + got, std::size_t(count - got));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            ReportError();
            return 0;
        }
        if (n == 0)
            break; // the other end is gone; nothing more will come
        got += int(n);
        lastByte = Clock::now();
        if (noWait)
            break;
    }
    return got;
}

QByteArray CComPort::Read(int count)
{
    QByteArray buffer(count > 0 ? count : 0, '\0');
    buffer.truncate(Read(count, buffer.data()));
    return buffer;
}

int CComPort::write(int count, const char* buffer, bool report)
{
    if (!isOpen() || count <= 0 || buffer == nullptr)
        return 0;
    const std::uint64_t totalMs = std::uint64_t(m_timeouts.WriteTotalTimeoutMultiplier) * std::uint64_t(count)
        + m_timeouts.WriteTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    int done = 0;
    while (done < count) {
        // A peer that has gone must fail the write, not end the program with SIGPIPE.
        const ssize_t n = m_socket ? ::send(m_handle, buffer + done, std::size_t(count - done), MSG_NOSIGNAL)
                                   : ::write(m_handle, buffer + done, std::size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            if (report)
                ReportError();
            return 0;
        }
        // The output queue is full: wait for room until the write timeout, if there is one.
        pollfd p {m_handle, POLLOUT, 0};
        const int ready = ::poll(&p, 1, totalMs == 0 ? -1 : msLeft(deadline));
        if (ready == 0)
            break;
        if (ready < 0 && errno != EINTR) {
            if (report)
                ReportError();
            return 0;
        }
    }
    return done;
}

int CComPort::Write(int count, const char* buffer)
{
    return write(count, buffer, true);
}

int CComPort::ReadLine(int maxEmptyReads, QByteArray& line)
{
    line.clear();
    bool cr = false;
    int emptyReads = 0;
    int received = 0;
    for (;;) {
        char c = 0;
        if (Read(1, &c) != 1) {
            if (++emptyReads >= maxEmptyReads)
                return kLineDry;
            continue;
        }
        if (++received >= kMaxLineBytes)
            return kLineTooLong;
        if (c == '\n') {
            if (cr)
                return kLineOk;
        } else if (c == '\r') {
            cr = true;
        } else if (!cr && static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7F) {
            line.append(c);
        }
    }
}

int CComPort::WriteLine(QByteArrayView text)
{
    QByteArray bytes(text.data(), text.size());
    bytes.append("\r\n", 2);
    return write(int(bytes.size()), bytes.constData(), false);
}
