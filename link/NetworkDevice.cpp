#include "LineDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>

#include "link/LineTarget.h"
#include "link/Rfc2217.h"

namespace comm {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, 0x7FFFFFFF));
}

// Bytes taken off the socket in one read; what the line data of one such read can grow to is
// all a babbling server can make the connection hold.
constexpr std::size_t kChunk = 4096;

// Connects within the bound; the descriptor stays non-blocking.
int connectTo(const LineTarget& target, int& error)
{
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(target.host.toUtf8().constData(), QByteArray::number(target.port).constData(), &hints,
                                 &found);
    if (rc != 0 || found == nullptr) {
        // The resolver's own errors have no errno; a name that cannot be found is "no such device".
        error = rc == EAI_SYSTEM ? errno : ENXIO;
        return -1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kNetworkOpenTimeoutMs);
    error = ECONNREFUSED;
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
        int ready = 0;
        do {
            ready = ::poll(&p, 1, msLeft(deadline));
        } while (ready < 0 && errno == EINTR);
        int soError = 0;
        socklen_t len = sizeof soError;
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            error = soError != 0 ? soError : errno;
        } else {
            // Requests are a few bytes each; waiting to fill a segment would only delay them.
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::freeaddrinfo(found);
            return fd;
        }
        ::close(fd);
        if (error == ETIMEDOUT)
            break;
    }
    ::freeaddrinfo(found);
    return -1;
}

// A TCP port whose server passes the line through: the bytes are those of the line, and the
// line settings belong to the far end.
class TcpDevice : public LineDevice
{
public:
    explicit TcpDevice(int fd)
        : m_fd(fd)
    {
    }
    ~TcpDevice() override { TcpDevice::close(); }

    int descriptor() const override { return m_fd; }
    bool isNetwork() const override { return true; }

    int setLine(const DeviceControlBlock&) override { return 0; }

    int purge() override
    {
        // What has come is dropped; what is on its way cannot be called back.
        char buffer[kChunk];
        while (::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
        return 0;
    }

    ssize_t read(char* buffer, std::size_t size) override { return receive(buffer, size); }

    ssize_t write(const char* buffer, std::size_t size) override { return send(buffer, size); }

    int close() override
    {
        if (m_fd < 0)
            return 0;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

protected:
    ssize_t receive(char* buffer, std::size_t size)
    {
        const ssize_t n = ::recv(m_fd, buffer, size, MSG_DONTWAIT);
        if (n == 0) {
            errno = ECONNRESET;
            return -1;
        }
        // A server that sends a reply in two segments without TCP_NODELAY (ser2net does) holds
        // the second until the first is acknowledged; a delayed acknowledgement would add 40 ms
        // to every such reply. The kernel leaves quick-ack mode on its own, so it is set again
        // after every read.
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        return n;
    }

    ssize_t send(const char* buffer, std::size_t size)
    {
        // A peer that has gone must fail the write, not end the program with SIGPIPE.
        return ::send(m_fd, buffer, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    int m_fd;
};

// A serial server speaking telnet with the COM-PORT option: line data is escaped both ways,
// and the line settings go to the server, which must confirm them.
class Rfc2217Device final : public TcpDevice
{
public:
    explicit Rfc2217Device(int fd)
        : TcpDevice(fd)
    {
        m_out = rfc2217::greeting();
    }

    bool hasBuffered() const override { return !m_data.isEmpty(); }
    bool hasUnsent() const override { return !m_out.isEmpty(); }
    bool confirmsSettings() const override { return true; }

    int setLine(const DeviceControlBlock& dcb) override
    {
        const std::optional<rfc2217::Settings> settings = rfc2217::settingsFromDcb(dcb);
        if (!settings)
            return EINVAL;
        m_receiver.clearAnswers();
        m_out += rfc2217::settingsCommands(*settings);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kNetworkOpenTimeoutMs);
        for (;;) {
            if (const int error = flush(); error != 0)
                return error;
            if (m_receiver.comPortRefused())
                return EPROTONOSUPPORT;
            const int verdict = rfc2217::checkAnswers(m_receiver, *settings);
            if (verdict != EAGAIN)
                return verdict;
            pollfd p {m_fd, short(POLLIN | (m_out.isEmpty() ? 0 : POLLOUT)), 0};
            const int ready = ::poll(&p, 1, msLeft(deadline));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return errno;
            if (ready == 0)
                return ETIMEDOUT;
            if ((p.revents & POLLIN) != 0 && take() < 0 && errno != EAGAIN)
                return errno;
        }
    }

    int purge() override
    {
        // Old data here and at the far end both go: the server empties its line buffers too.
        while (take() > 0) {
        }
        m_data.clear();
        m_out += rfc2217::command(rfc2217::kPurgeData, QByteArray(1, char(rfc2217::kPurgeBoth)));
        const int error = flush();
        return error == EAGAIN ? 0 : error;
    }

    ssize_t read(char* buffer, std::size_t size) override
    {
        if (m_data.isEmpty()) {
            const ssize_t n = take();
            if (n <= 0)
                return n;
            if (m_data.isEmpty()) {
                errno = EAGAIN;
                return -1;
            }
        }
        const std::size_t n = std::min(size, std::size_t(m_data.size()));
        std::copy_n(m_data.constData(), n, buffer);
        m_data.remove(0, qsizetype(n));
        return ssize_t(n);
    }

    ssize_t write(const char* buffer, std::size_t size) override
    {
        if (const int error = flush(); error != 0 && error != EAGAIN) {
            errno = error;
            return -1;
        }
        if (!m_out.isEmpty()) {
            errno = EAGAIN;
            return -1;
        }
        const std::size_t n = std::min(size, kChunk);
        m_out = rfc2217::escape(QByteArrayView(buffer, qsizetype(n)));
        if (const int error = flush(); error != 0 && error != EAGAIN) {
            errno = error;
            return -1;
        }
        return ssize_t(n);
    }

    int flush() override
    {
        while (!m_out.isEmpty()) {
            const ssize_t n = send(m_out.constData(), std::size_t(m_out.size()));
            if (n < 0 && errno == EINTR)
                continue;
            // The server closing first is the same failure whichever side notices it.
            if (n < 0)
                return errno == EPIPE ? ECONNRESET : errno;
            m_out.remove(0, n);
        }
        return 0;
    }

private:
    // One read off the socket through the telnet layer; answers owed go out with the next flush.
    ssize_t take()
    {
        char chunk[kChunk];
        const ssize_t n = receive(chunk, sizeof chunk);
        if (n <= 0)
            return n;
        if (m_data.size() < qsizetype(kChunk) * 4)
            m_receiver.feed(QByteArrayView(chunk, n), m_data);
        else {
            // Nobody reads: the line data is dropped, the answers still count.
            QByteArray dropped;
            m_receiver.feed(QByteArrayView(chunk, n), dropped);
        }
        m_out += m_receiver.takeReplies();
        return n;
    }

    rfc2217::Receiver m_receiver;
    QByteArray m_data; // line data taken off the socket, not yet read
    QByteArray m_out;  // escaped bytes and answers not yet sent
};

} // namespace

std::unique_ptr<LineDevice> openNetworkDevice(const LineTarget& target, int& error)
{
    const int fd = connectTo(target, error);
    if (fd < 0)
        return nullptr;
    if (target.kind == LineTarget::Kind::Rfc2217)
        return std::make_unique<Rfc2217Device>(fd);
    return std::make_unique<TcpDevice>(fd);
}

} // namespace comm
