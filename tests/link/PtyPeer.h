#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// The far end of a pseudo-terminal pair: the test opens the slave as its serial port and
// plays meter or modem on the master, by hand or from a responder thread.
class PtyPeer
{
public:
    // Gets one request (a frame or command line without CR LF, or "+++") and returns the
    // reply to write; empty: stay silent.
    using Handler = std::function<QByteArray(const QByteArray& request)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return m_master >= 0; }
    const QString& slavePath() const { return m_slave; }

    void send(const QByteArray& bytes);
    // What arrives within the time, waiting for at least `atLeast` bytes.
    QByteArray receive(int atLeast, int timeoutMs = 2000);

    void respond(Handler handler);
    void stopResponding();
    QByteArrayList requests() const;

private:
    void run();

    int m_master = -1;
    QString m_slave;
    Handler m_handler;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    QByteArrayList m_requests;
};
