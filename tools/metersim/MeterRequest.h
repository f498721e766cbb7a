#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>

// How the simulated meter reads its line: frames cut out of the byte stream, then checked and
// decoded. A meter on a shared line stays silent on anything it cannot read.
namespace metersim {

struct MeterRequest
{
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    QByteArray data;
};

// One frame from ':' up to its line end (CR LF, or a bare LF as a hand-typed line ends).
// Nothing when a digit is not an upper-case hexadecimal digit, the digits are odd in number,
// there is no function code or the check does not match.
std::optional<MeterRequest> parseRequest(QByteArrayView frame);

// Collects the frames of a byte stream. Bytes outside a frame (the zero byte after a request,
// line noise) are passed over; a ':' starts the frame anew; a frame longer than any request
// is dropped, so garbage never grows the buffer.
class FrameSplitter
{
public:
    static constexpr qsizetype kMaxFrame = 600;

    // True when c completed a frame; take it with frame().
    bool feed(char c);
    const QByteArray& frame() const { return m_frame; }
    void reset();

private:
    QByteArray m_frame;
    bool m_inFrame = false;
};

} // namespace metersim
