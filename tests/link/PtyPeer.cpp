#include "PtyPeer.h"

#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slave = QString::fromLocal8Bit(::ptsname(m_master));
}

PtyPeer::~PtyPeer()
{
    stopResponding();
    if (m_master >= 0)
        ::close(m_master);
}

void PtyPeer::send(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else {
            pollfd p {m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
}

QByteArray PtyPeer::receive(int atLeast, int timeoutMs)
{
    QByteArray got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < atLeast && std::chrono::steady_clock::now() < deadline) {
        pollfd p {m_master, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN) != 0) {
            char buf[512];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
        }
    }
    return got;
}

void PtyPeer::respond(Handler handler)
{
    stopResponding();
    m_handler = std::move(handler);
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void PtyPeer::stopResponding()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
}

QByteArrayList PtyPeer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void PtyPeer::run()
{
    QByteArray buffer;
    while (m_running) {
        pollfd p {m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 10);
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            char buf[512];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                buffer.append(buf, n);
        } else if (ready > 0) {
            // No slave open (POLLHUP): wait for the port to come back.
            ::usleep(5000);
        }
        for (;;) {
            while (buffer.startsWith('\0'))
                buffer.remove(0, 1);
            QByteArray request;
            if (buffer.startsWith("+++")) {
                request = "+++";
                buffer.remove(0, 3);
            } else if (const qsizetype end = buffer.indexOf("\r\n"); end >= 0) {
                request = buffer.left(end);
                buffer.remove(0, end + 2);
            } else {
                break;
            }
            {
                std::lock_guard lock(m_mutex);
                m_requests << request;
            }
            const QByteArray reply = m_handler(request);
            if (!reply.isEmpty())
                send(reply);
        }
    }
}
