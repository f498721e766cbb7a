#include "CComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include <poll.h>

#include "base/Format.h"
#include "base/MessageBox.h"
#include "link/ComPortMap.h"
#include "link/LineDevice.h"
#include "link/LineTarget.h"

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

static_assert(CComPort::kConnectTimeoutMs == comm::kNetworkOpenTimeoutMs);

CComPort::~CComPort() = default;

int CComPort::handle() const
{
    return m_device ? m_device->descriptor() : -1;
}

void CComPort::lineFailed(int error)
{
    fail(error);
    if (m_device && m_device->isNetwork())
        m_device.reset();
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
    if (!target) {
        fail(ENOENT);
        return false;
    }
    int error = 0;
    m_device = comm::openLineDevice(*target, error);
    if (!m_device) {
        fail(error);
        return false;
    }
    // Failed settings are shown but leave a serial device open; a serial server that does not
    // confirm them is not used. There are no driver queue sizes to set here: the kernel's
    // buffers are larger than the 2048 bytes asked for elsewhere.
    if (!SetState(m_dcb) && m_device && m_device->confirmsSettings()) {
        m_device.reset();
        return false;
    }
    return isOpen();
}

bool CComPort::Close()
{
    if (!isOpen())
        return false;
    const int error = m_device->close();
    m_device.reset();
    if (error != 0) {
        fail(error);
        return false;
    }
    return true;
}

bool CComPort::SetState(const DeviceControlBlock& dcb)
{
    DeviceControlBlock applied = dcb;
    if (isOpen()) {
        // RTS stays on whatever the block says; with RTS/CTS the program only watches CTS.
        setDcbFlag(applied, DcbFlag::fRtsControl, kRtsControlEnable);
        if (const int error = m_device->setLine(applied); error != 0) {
            lineFailed(error);
            return false;
        }
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
    if (const int error = m_device->purge(); error != 0) {
        lineFailed(error);
        return false;
    }
    return true;
}

bool CComPort::DiscardReplyRest()
{
    if (!Purge())
        return false;
    const std::uint32_t baud = m_dcb.BaudRate > 0 ? m_dcb.BaudRate : 9600;
    const int quietMs = std::max<int>(kQuietMs, int(20 * 10 * 1000 / baud) + 1);
    const Clock::time_point deadline
        = Clock::now() + std::chrono::milliseconds(std::max<std::uint32_t>(m_timeouts.ReadTotalTimeoutConstant, 100));
    char scratch[512];
    while (isOpen() && Clock::now() < deadline) {
        if (!m_device->hasBuffered()) {
            pollfd p {m_device->descriptor(), POLLIN, 0};
            const int ready = ::poll(&p, 1, std::min(quietMs, msLeft(deadline)));
            if (ready == 0)
                return true;
            if (ready < 0 && errno != EINTR) {
                lineFailed(errno);
                return false;
            }
        }
        const ssize_t n = m_device->read(scratch, sizeof scratch);
        if (n == 0)
            return true;
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            lineFailed(errno);
            return false;
        }
    }
    return isOpen();
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
        // Line data the device already holds needs no wait.
        if (!m_device->hasBuffered()) {
            pollfd p {m_device->descriptor(), POLLIN, 0};
            const int ready = ::poll(&p, 1, wait);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                lineFailed(errno);
                return 0;
            }
            if (ready == 0)
                break; // a timeout ran out
            if ((p.revents & POLLNVAL) != 0) {
                lineFailed(EBADF);
                return 0;
            }
        }
        const ssize_t n = m_device->read(buffer + got, std::size_t(count - got));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            lineFailed(errno);
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
    // Ends the write with a failure, shown unless the caller shows its own.
    const auto failed = [&](int error) {
        if (report) {
            lineFailed(error);
        } else {
            m_lastError = std::uint32_t(error);
        }
        return 0;
    };
    // Waits for room in the output queue until the write timeout, if there is one.
    const auto waitForRoom = [&]() -> int {
        pollfd p {m_device->descriptor(), POLLOUT, 0};
        const int ready = ::poll(&p, 1, totalMs == 0 ? -1 : msLeft(deadline));
        return ready < 0 && errno == EINTR ? 1 : ready;
    };
    while (done < count) {
        const ssize_t n = m_device->write(buffer + done, std::size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return failed(errno);
        const int ready = waitForRoom();
        if (ready == 0)
            return done;
        if (ready < 0)
            return failed(errno);
    }
    // A network line may still hold escaped bytes of the last piece.
    while (m_device->hasUnsent()) {
        const int error = m_device->flush();
        if (error != 0 && error != EAGAIN)
            return failed(error);
        if (error == EAGAIN) {
            const int ready = waitForRoom();
            if (ready == 0)
                break;
            if (ready < 0)
                return failed(errno);
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
