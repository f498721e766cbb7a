#include "Ser2net.h"

#include <cerrno>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>


using namespace Qt::Literals::StringLiterals;

namespace testsupport {

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

} // namespace

quint16 freeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

TcpPeer::TcpPeer(Handler handler)
    : m_handler(std::move(handler))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_listener, 4) == 0
        && ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

TcpPeer::~TcpPeer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

void TcpPeer::run()
{
    while (!m_stopping.load()) {
        pollfd p {m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0 || m_stopping.load())
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        m_handler(fd);
        ::close(fd);
    }
}

QByteArray receiveFor(int socket, int timeoutMs, int max)
{
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < max && !deadline.hasExpired()) {
        pollfd p {socket, POLLIN, 0};
        if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::recv(socket, buffer, std::min<qsizetype>(sizeof buffer, max - got.size()), 0);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

bool waitForBound(quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = loopback(port);
        const bool taken = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
        ::close(fd);
        if (taken)
            return true;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
}

Ser2net::Ser2net(const QString& device, const QString& lineSettings)
    : m_dir(std::make_unique<QTemporaryDir>())
    , m_process(std::make_unique<QProcess>())
{
    const QString program = QStandardPaths::findExecutable(u"ser2net"_s, {u"/usr/sbin"_s, u"/usr/bin"_s});
    if (program.isEmpty()) {
        m_error = u"ser2net is not installed (scripts/install-deps installs it)"_s;
        return;
    }
    m_rawPort = freeTcpPort();
    m_rfcPort = freeTcpPort();
    // kickolduser: a client that reconnects after a failure takes the line over at once.
    const QString config = uR"(connection: &raw
  accepter: tcp,127.0.0.1,%1
  connector: serialdev,%3,%4,local
  options:
    kickolduser: true
    chardelay: false
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,%2
  connector: serialdev,%3,%4,local
  options:
    kickolduser: true
    chardelay: false
)"_s.arg(m_rawPort)
                               .arg(m_rfcPort)
                               .arg(device, lineSettings);
    const QString configPath = m_dir->filePath(u"ser2net.yaml"_s);
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = u"cannot write "_s + configPath;
        return;
    }
    file.close();
    // Its start-up notes (no mDNS here) are shown only when it fails.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(program, {u"-n"_s, u"-c"_s, configPath, u"-P"_s, m_dir->filePath(u"ser2net.pid"_s)});
    if (!m_process->waitForStarted(5000)) {
        m_error = u"ser2net did not start: "_s + m_process->errorString();
        return;
    }
    // Not probed by connecting: the server would open the device for the probe and could still
    // be closing it when the test's own connection comes.
    if (!waitForBound(m_rawPort, 5000) || !waitForBound(m_rfcPort, 5000)) {
        m_error = u"ser2net does not listen on its ports: "_s + QString::fromLocal8Bit(m_process->readAll());
    }
}

Ser2net::~Ser2net()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QString Ser2net::rawTarget() const
{
    return u"tcp://127.0.0.1:%1"_s.arg(m_rawPort);
}

QString Ser2net::rfc2217Target() const
{
    return u"rfc2217://127.0.0.1:%1"_s.arg(m_rfcPort);
}

} // namespace testsupport
