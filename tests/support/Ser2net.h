#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <QByteArray>

#include <QString>

class QProcess;
class QTemporaryDir;

namespace testsupport {

// Used by the benchmarks too, so it needs nothing but Qt Core.

// A serial server on loopback for one device: Debian's ser2net, serving the device once as a
// raw TCP port and once as an RFC 2217 port, on free ports, until the object goes.
class Ser2net
{
public:
    explicit Ser2net(const QString& device, const QString& lineSettings = QStringLiteral("9600n81"));
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Listening on both ports; error() tells why not.
    bool isRunning() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // "tcp://127.0.0.1:PORT" and "rfc2217://127.0.0.1:PORT".
    QString rawTarget() const;
    QString rfc2217Target() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_rawPort = 0;
    quint16 m_rfcPort = 0;
    QString m_error;
};

// A server on a loopback port of its own that hands each connection to the handler on its
// thread, one connection at a time, for servers that misbehave on purpose.
class TcpPeer
{
public:
    using Handler = std::function<void(int socket)>;
    explicit TcpPeer(Handler handler);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    quint16 port() const { return m_port; }
    int connections() const { return m_connections.load(); }

private:
    void run();

    Handler m_handler;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<int> m_connections {0};
    std::atomic<bool> m_stopping {false};
    std::thread m_thread;
};

// Reads from a socket what comes within the time, at most `max` bytes; fewer when it closes.
QByteArray receiveFor(int socket, int timeoutMs, int max = 65536);

// A TCP port nobody listens on right now.
quint16 freeTcpPort();
// Whether something has taken the loopback port, without connecting to it.
bool waitForBound(quint16 port, int timeoutMs);

} // namespace testsupport
