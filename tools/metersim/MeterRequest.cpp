#include "MeterRequest.h"

#include "link/MeterFrame.h"

namespace metersim {

namespace {

int digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<MeterRequest> parseRequest(QByteArrayView frame)
{
    if (frame.isEmpty() || frame.front() != ':' || frame.back() != '\n')
        return std::nullopt;
    QByteArrayView body = frame.sliced(1, frame.size() - 2);
    if (body.endsWith('\r'))
        body.chop(1);
    // Address, function code and check at least.
    if (body.size() < 6 || body.size() % 2 != 0)
        return std::nullopt;

    QByteArray bytes;
    bytes.reserve(body.size() / 2);
    for (qsizetype i = 0; i < body.size(); i += 2) {
        const int hi = digit(body[i]);
        const int lo = digit(body[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.append(char(hi << 4 | lo));
    }
    if (meter::Lrc(body.first(body.size() - 2)) != std::uint8_t(bytes.back()))
        return std::nullopt;

    MeterRequest request;
    request.address = std::uint8_t(bytes[0]);
    request.function = std::uint8_t(bytes[1]);
    request.data = bytes.sliced(2, bytes.size() - 3);
    return request;
}

bool FrameSplitter::feed(char c)
{
    if (c == ':') {
        m_frame.clear();
        m_frame.append(c);
        m_inFrame = true;
        return false;
    }
    if (!m_inFrame)
        return false;
    m_frame.append(c);
    if (c == '\n') {
        m_inFrame = false;
        return true;
    }
    if (m_frame.size() > kMaxFrame)
        reset();
    return false;
}

void FrameSplitter::reset()
{
    m_frame.clear();
    m_inFrame = false;
}

} // namespace metersim
