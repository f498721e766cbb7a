#include "MeterLine.h"

#include <algorithm>

namespace metersim {

namespace {

constexpr qsizetype kReportPiece = 512;

} // namespace

QByteArray escaped(QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = std::uint8_t(ch);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0x0F];
        }
    }
    return out;
}

MeterLine::MeterLine(Meter& meter, LineFaults& faults, Options options, Logger logger)
    : MeterLine(MeterBus(meter), faults, options, std::move(logger))
{
}

MeterLine::MeterLine(MeterBus bus, LineFaults& faults, Options options, Logger logger)
    : m_bus(std::move(bus))
    , m_faults(faults)
    , m_options(options)
    , m_logger(std::move(logger))
{
    if (m_options.modem)
        m_modem.emplace(m_options.modemOptions);
}

void MeterLine::log(char kind, QByteArrayView text) const
{
    if (m_logger)
        m_logger(kind, text);
}

void MeterLine::received(QByteArrayView bytes, std::int64_t now)
{
    for (const char c : bytes) {
        // A flood beyond what any exchange needs is line noise; it must not grow without end.
        if (m_in.size() >= std::size_t(kMaxInput))
            break;
        std::int64_t arrival = now;
        if (m_options.byteTime > 0) {
            m_inClock = std::max(m_inClock, now) + m_options.byteTime;
            arrival = m_inClock;
        }
        m_in.emplace_back(arrival, c);
    }
}

void MeterLine::advance(std::int64_t now)
{
    while (!m_in.empty() && m_in.front().first <= now) {
        const auto [t, c] = m_in.front();
        m_in.pop_front();
        deliver(c, t);
    }
    if (m_modem) {
        m_modem->tick(now);
        const QByteArray out = m_modem->takeForLine();
        if (!out.isEmpty()) {
            log('M', escaped(out));
            queueOut(out, now);
        }
        if (!m_modem->dataMode() && m_bus.printing()) {
            log('#', "the connection is down: the report stops");
            m_bus.stopPrinting();
        }
    }
    while (m_bus.printing() && m_out.size() < 4 * kReportPiece)
        send(m_bus.takeReport(kReportPiece), now);
}

void MeterLine::deliver(char c, std::int64_t t)
{
    if (!m_modem) {
        toMeter(c, t);
        return;
    }
    const bool commands = !m_modem->dataMode();
    m_modem->fromLine(c, t);
    if (commands) {
        if (c == '\r') {
            log('m', escaped(m_modemInput));
            m_modemInput.clear();
        } else if (c != '\n' && m_modemInput.size() < 256) {
            m_modemInput.append(c);
        }
    }
    const QByteArray out = m_modem->takeForLine();
    if (!out.isEmpty()) {
        log('M', escaped(out));
        queueOut(out, t);
    }
    for (const char b : m_modem->takeForMeter())
        toMeter(b, t);
}

// t is when the request's last byte crossed the line: the reply starts on the line from then,
// however late the loop came round to it.
void MeterLine::toMeter(char c, std::int64_t t)
{
    if (!m_splitter.feed(c))
        return;
    const QByteArray frame = m_splitter.frame();
    log('<', escaped(frame));
    const bool wasPrinting = m_bus.printing();
    QString note;
    QByteArray reply = m_bus.answer(frame, &note);
    if (wasPrinting && !m_bus.printing())
        log('#', "report stopped by a request");
    if (!note.isEmpty())
        log('#', note.toUtf8());
    if (reply.isEmpty())
        return;
    QString fault;
    reply = m_faults.apply(reply, &fault);
    if (!fault.isEmpty())
        log('#', fault.toUtf8());
    if (reply.isEmpty())
        return;
    log('>', escaped(reply));
    send(reply, t);
}

void MeterLine::send(QByteArrayView bytes, std::int64_t now)
{
    if (!m_modem) {
        queueOut(bytes, now);
        return;
    }
    m_modem->fromMeter(bytes);
    queueOut(m_modem->takeForLine(), now);
}

void MeterLine::queueOut(QByteArrayView bytes, std::int64_t now)
{
    if (bytes.isEmpty())
        return;
    if (m_out.size() + bytes.size() > kMaxOutput) {
        log('#', "nobody reads the line: output dropped");
        return;
    }
    if (m_out.isEmpty())
        m_outClock = std::max(m_outClock, now);
    m_out.append(bytes);
}

QByteArrayView MeterLine::pending(std::int64_t now) const
{
    if (m_options.byteTime <= 0 || m_out.isEmpty())
        return m_out;
    // A byte is there once the line has carried it.
    const std::int64_t carried = now < m_outClock ? 0 : (now - m_outClock) / m_options.byteTime;
    return QByteArrayView(m_out).first(qsizetype(std::min<std::int64_t>(carried, m_out.size())));
}

void MeterLine::consumed(qsizetype n)
{
    n = std::clamp<qsizetype>(n, 0, m_out.size());
    m_out.remove(0, n);
    m_outClock += m_options.byteTime * n;
}

std::optional<std::int64_t> MeterLine::nextWake(std::int64_t now, bool outputBlocked) const
{
    std::optional<std::int64_t> wake;
    const auto earliest = [&](std::int64_t t) { wake = wake ? std::min(*wake, t) : t; };
    if (!m_in.empty())
        earliest(m_in.front().first);
    if (!m_out.isEmpty() && m_options.byteTime > 0 && !outputBlocked)
        earliest(m_outClock + m_options.byteTime);
    if (m_modem) {
        if (const auto t = m_modem->nextDeadline())
            earliest(*t);
    }
    if (m_bus.printing() && m_out.size() < 4 * kReportPiece)
        earliest(now);
    return wake;
}

} // namespace metersim
