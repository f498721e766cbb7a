#pragma once

#include <optional>

#include <QString>

namespace comm {

// What a COM number of the map stands for: a serial device by path, a TCP port whose server
// passes the line through as raw bytes, or an RFC 2217 port (a serial server that also takes
// the line settings).
struct LineTarget
{
    enum class Kind { Device, Tcp, Rfc2217 };
    Kind kind = Kind::Device;
    QString path;  // Device
    QString host;  // Tcp, Rfc2217: a name or an address, IPv6 without its brackets
    quint16 port = 0;

    // "tcp://10.0.0.5:4001", "rfc2217://[::1]:2217" or the path.
    QString text() const;
    // "TCP", "RFC 2217" or "serial device".
    QString kindName() const;
};

// Reads a map value: "tcp://HOST:PORT", "rfc2217://HOST:PORT" (IPv6 addresses in brackets),
// else a device path. Nothing for an empty value, a URL of another scheme, a missing or bad
// port (1..65535) or host.
std::optional<LineTarget> parseLineTarget(const QString& text);

} // namespace comm
