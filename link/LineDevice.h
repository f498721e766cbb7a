#pragma once

#include <cstddef>
#include <memory>

#include <sys/types.h>

#include "base/ConnectionBlock.h"

namespace comm {

struct LineTarget;

// How long opening a network line may take, the connection and the answer to its line
// settings together, and how long a later change of settings waits for its answer.
inline constexpr int kNetworkOpenTimeoutMs = 5000;

// One kind of line under CComPort: a serial device, a raw TCP port or an RFC 2217 port.
// CComPort keeps the timing rules; a device only moves bytes on a non-blocking descriptor that
// CComPort waits on.
class LineDevice
{
public:
    virtual ~LineDevice() = default;

    virtual int descriptor() const = 0;
    // Received line data already taken off the descriptor, to be read before waiting on it.
    virtual bool hasBuffered() const { return false; }
    // Escaped bytes not yet on the wire.
    virtual bool hasUnsent() const { return false; }
    // A network line: a failure ends the connection, and the next open makes a new one.
    virtual bool isNetwork() const { return false; }
    // Settings that the far end must confirm; the line is not usable when it does not.
    virtual bool confirmsSettings() const { return false; }

    // Applies the line settings: 0 or an errno value.
    virtual int setLine(const DeviceControlBlock& dcb) = 0;
    // Drops what has been received and not read; 0 or an errno value.
    virtual int purge() = 0;
    // As read(2) and write(2) on a non-blocking descriptor, errno set on -1; a read of 0 bytes
    // after the descriptor was ready means nothing more will come. A read that took only
    // protocol bytes off the descriptor fails with EAGAIN, a closed connection with ECONNRESET.
    virtual ssize_t read(char* buffer, std::size_t size) = 0;
    virtual ssize_t write(const char* buffer, std::size_t size) = 0;
    // Sends what hasUnsent holds, as far as the descriptor takes it; 0 or an errno value.
    virtual int flush() { return 0; }
    // Releases the descriptor: 0 or an errno value.
    virtual int close() = 0;
};

// Opens a map entry's target: a device in raw mode, or a connected socket (connect bounded by
// kNetworkOpenTimeoutMs). Nothing, with error set to an errno value, on failure. The line
// settings are left to setLine.
std::unique_ptr<LineDevice> openLineDevice(const LineTarget& target, int& error);

// The kinds, for openLineDevice.
std::unique_ptr<LineDevice> openTermiosDevice(const LineTarget& target, int& error);
std::unique_ptr<LineDevice> openNetworkDevice(const LineTarget& target, int& error);

} // namespace comm
