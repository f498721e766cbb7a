#pragma once

#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "base/ConnectionBlock.h"

namespace comm {
class LineDevice;
}

// The serial line's timeouts in milliseconds, with the meaning the program has always given
// them: a read of n bytes ends when the n bytes are in, after ReadTotalTimeoutConstant +
// n * ReadTotalTimeoutMultiplier, or when ReadIntervalTimeout passes between two bytes.
// Zero turns a timeout off; an interval of kNoWait with no totals returns what is queued.
struct CommTimeouts
{
    static constexpr std::uint32_t kNoWait = 0xFFFFFFFFu;

    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// The timeouts every device operation sets right after opening the port.
CommTimeouts exchangeTimeouts(std::uint32_t answerTimeout);

// DCB values the port code uses.
inline constexpr std::uint32_t kDtrControlDisable = 0;
inline constexpr std::uint32_t kDtrControlEnable = 1;
inline constexpr std::uint32_t kDtrControlHandshake = 2;
inline constexpr std::uint32_t kRtsControlEnable = 1;
inline constexpr std::uint32_t kRtsControlHandshake = 2;

// One serial line opened by COM number through the COM-number map: a termios device, a raw TCP
// port or an RFC 2217 serial server, with the same timing rules for all. Every failing system
// call is shown as "COM port error %d: %s" and shows in the result; the caller goes on. A
// network connection that fails is closed, so the next open makes a new one. Used by one
// thread at a time.
class CComPort
{
public:
    // ReadLine results
    static constexpr int kLineOk = 0;
    static constexpr int kLineDry = 1;
    static constexpr int kLineTooLong = 2;
    static constexpr int kMaxLineBytes = 300;

    CComPort();
    explicit CComPort(const ConnectionBlock& connection);
    ~CComPort();
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    const DeviceControlBlock& dcb() const { return m_dcb; }
    // The descriptor waited on: the device or the socket; -1 when closed.
    int handle() const;
    bool isOpen() const { return m_device != nullptr; }
    std::uint32_t lastError() const { return m_lastError; }

    // The settings file whose COM-number map names the devices; lorn2.ini of the working folder
    // unless set.
    void setMapFile(const QString& path) { m_mapFile = path; }
    const QString& mapFile() const { return m_mapFile; }

    bool Open();
    // Opens what the map names for a COM number, as Open does: a device path,
    // "tcp://HOST:PORT" for a server that passes the line through, or "rfc2217://HOST:PORT" for
    // a serial server that takes the line settings too (the open fails when it does not
    // confirm them).
    bool OpenDevice(const QString& path);
    bool Close();

    int Read(int count, char* buffer);
    QByteArray Read(int count);
    int Write(int count, const char* buffer);
    int Write(QByteArrayView bytes) { return Write(int(bytes.size()), bytes.data()); }

    bool SetState(const DeviceControlBlock& dcb);
    bool SetTimeouts(const CommTimeouts& timeouts);
    bool GetTimeouts(CommTimeouts& timeouts);
    bool Purge();
    // After a broken reply: drops what has come and what is still on its way, returning once
    // the line has been quiet for twenty character times (at least kQuietMs), or after the
    // answer timeout. A slow line still carries the rest of the reply when Purge alone returns.
    bool DiscardReplyRest();
    static constexpr int kQuietMs = 20;

    // Shows the error of the last failing call on this thread (errno) and keeps its code.
    void ReportError();

    // A modem reply line: printable characters up to CR LF. Each empty read lasts as long as
    // the read timeouts allow for one byte.
    int ReadLine(int maxEmptyReads, QByteArray& line);
    // The text and CR LF in one write; a failure is not shown.
    int WriteLine(QByteArrayView text);

    // How long a network line may take to open, its settings confirmed.
    static constexpr int kConnectTimeoutMs = 5000;

private:
    int write(int count, const char* buffer, bool report);
    void fail(int error);
    // A failure of the line's own: shown, and a network connection closed.
    void lineFailed(int error);

    std::unique_ptr<comm::LineDevice> m_device;
    std::uint32_t m_lastError = 0;
    int m_port = 0;
    DeviceControlBlock m_dcb;
    // Until an operation sets its own, reads and writes still end.
    CommTimeouts m_timeouts = exchangeTimeouts(1000);
    QString m_mapFile;
};
