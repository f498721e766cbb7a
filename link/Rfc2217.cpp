#include "Rfc2217.h"

#include <cerrno>

namespace comm::rfc2217 {

namespace {

// Per code, no more answers are kept than a settings round can ask for; a server repeating
// itself must not grow the list.
constexpr std::size_t kMaxAnswersPerCode = 8;

bool acceptedOption(std::uint8_t opt)
{
    return opt == kOptBinary || opt == kOptSuppressGoAhead || opt == kOptComPort;
}

void appendVerb(QByteArray& out, std::uint8_t verb, std::uint8_t opt)
{
    out.append(char(kIac));
    out.append(char(verb));
    out.append(char(opt));
}

QByteArray oneByte(std::uint8_t value)
{
    return QByteArray(1, char(value));
}

} // namespace

std::optional<Settings> settingsFromDcb(const DeviceControlBlock& dcb)
{
    Settings s;
    if (dcb.BaudRate == 0)
        return std::nullopt;
    s.baud = dcb.BaudRate;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8)
        return std::nullopt;
    s.dataSize = dcb.ByteSize;
    if (dcb.Parity > 4)
        return std::nullopt;
    s.parity = std::uint8_t(dcb.Parity + 1);
    switch (dcb.StopBits) {
    case 0: s.stopSize = 1; break;
    case 1: s.stopSize = 3; break;
    case 2: s.stopSize = 2; break;
    default: return std::nullopt;
    }
    // RTS handshake or CTS watching both mean the hardware lines; the termios device does the same.
    if (dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0 || dcbFlag(dcb, DcbFlag::fRtsControl) == 2)
        s.flow = kFlowHardware;
    else if (dcbFlag(dcb, DcbFlag::fOutX) != 0 || dcbFlag(dcb, DcbFlag::fInX) != 0)
        s.flow = kFlowXonXoff;
    else
        s.flow = kFlowNone;
    s.dtr = dcbFlag(dcb, DcbFlag::fDtrControl) != 0;
    return s;
}

QByteArray greeting()
{
    QByteArray out;
    appendVerb(out, kWill, kOptComPort);
    appendVerb(out, kWill, kOptBinary);
    appendVerb(out, kDo, kOptBinary);
    appendVerb(out, kWill, kOptSuppressGoAhead);
    appendVerb(out, kDo, kOptSuppressGoAhead);
    return out;
}

QByteArray escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char c : data) {
        out.append(c);
        if (std::uint8_t(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray command(std::uint8_t code, QByteArrayView value)
{
    QByteArray out;
    out.append(char(kIac));
    out.append(char(kSb));
    out.append(char(kOptComPort));
    out.append(escape(QByteArrayView(reinterpret_cast<const char*>(&code), 1)));
    out.append(escape(value));
    out.append(char(kIac));
    out.append(char(kSe));
    return out;
}

QByteArray settingsCommands(const Settings& s)
{
    const char baud[4] = {char(s.baud >> 24), char(s.baud >> 16), char(s.baud >> 8), char(s.baud)};
    QByteArray out;
    out += command(kSetBaudRate, QByteArrayView(baud, 4));
    out += command(kSetDataSize, oneByte(s.dataSize));
    out += command(kSetParity, oneByte(s.parity));
    out += command(kSetStopSize, oneByte(s.stopSize));
    out += command(kSetControl, oneByte(s.flow));
    out += command(kSetControl, oneByte(s.dtr ? kDtrOn : kDtrOff));
    out += command(kSetControl, oneByte(kRtsOn));
    return out;
}

void Receiver::feed(QByteArrayView bytes, QByteArray& data)
{
    for (const char ch : bytes) {
        const auto c = std::uint8_t(ch);
        switch (m_state) {
        case State::Data:
            if (c == kIac)
                m_state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (c == kIac) {
                data.append(ch);
                m_state = State::Data;
            } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
                m_verb = c;
                m_state = State::Option;
            } else if (c == kSb) {
                m_sub.clear();
                m_subTooLong = false;
                m_state = State::Sub;
            } else {
                // NOP, go-ahead and the like carry nothing for a line.
                m_state = State::Data;
            }
            break;
        case State::Option:
            option(m_verb, c);
            m_state = State::Data;
            break;
        case State::Sub:
            if (c == kIac)
                m_state = State::SubIac;
            else if (m_sub.size() < kMaxSubnegotiation)
                m_sub.append(ch);
            else
                m_subTooLong = true;
            break;
        case State::SubIac:
            if (c == kIac) {
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub.append(ch);
                else
                    m_subTooLong = true;
                m_state = State::Sub;
                break;
            }
            subnegotiation();
            m_state = State::Data;
            if (c != kSe) {
                // A command inside a subnegotiation ends it; the command itself still counts.
                m_state = State::Iac;
                const char again = ch;
                feed(QByteArrayView(&again, 1), data);
            }
            break;
        }
    }
}

void Receiver::option(std::uint8_t verb, std::uint8_t opt)
{
    // What we asked for in the greeting is acknowledged without a reply; anything else is
    // answered once, so that two sides never echo each other.
    const bool asked = opt == kOptBinary || opt == kOptSuppressGoAhead || opt == kOptComPort;
    switch (verb) {
    case kWill:
        if (opt != kOptComPort && acceptedOption(opt)) {
            if (!m_remoteOn[opt] && !asked)
                appendVerb(m_replies, kDo, opt);
            m_remoteOn[opt] = true;
        } else {
            appendVerb(m_replies, kDont, opt);
        }
        break;
    case kWont:
        if (m_remoteOn[opt] && !asked)
            appendVerb(m_replies, kDont, opt);
        m_remoteOn[opt] = false;
        break;
    case kDo:
        if (acceptedOption(opt)) {
            if (!m_localOn[opt] && !asked)
                appendVerb(m_replies, kWill, opt);
            m_localOn[opt] = true;
        } else {
            appendVerb(m_replies, kWont, opt);
        }
        break;
    case kDont:
        if (opt == kOptComPort)
            m_comPortRefused = true;
        if (m_localOn[opt] && !asked)
            appendVerb(m_replies, kWont, opt);
        m_localOn[opt] = false;
        break;
    default:
        break;
    }
}

void Receiver::subnegotiation()
{
    if (m_subTooLong || m_sub.size() < 2 || std::uint8_t(m_sub[0]) != kOptComPort)
        return;
    const auto code = std::uint8_t(m_sub[1]);
    // Signatures, line and modem state notices and flow notices are not answers.
    if (code < kServerOffset + kSetBaudRate || code > kServerOffset + kPurgeData)
        return;
    std::vector<QByteArray>& list = m_answers[code - kServerOffset];
    if (list.size() < kMaxAnswersPerCode)
        list.push_back(m_sub.mid(2));
}

QByteArray Receiver::takeReplies()
{
    QByteArray out;
    out.swap(m_replies);
    return out;
}

const std::vector<QByteArray>& Receiver::answers(std::uint8_t code) const
{
    static const std::vector<QByteArray> none;
    return code < m_answers.size() ? m_answers[code] : none;
}

void Receiver::clearAnswers()
{
    for (std::vector<QByteArray>& list : m_answers)
        list.clear();
}

int checkAnswers(const Receiver& r, const Settings& s)
{
    const std::vector<QByteArray>& baud = r.answers(kSetBaudRate);
    const std::vector<QByteArray>& size = r.answers(kSetDataSize);
    const std::vector<QByteArray>& parity = r.answers(kSetParity);
    const std::vector<QByteArray>& stop = r.answers(kSetStopSize);
    const std::vector<QByteArray>& control = r.answers(kSetControl);
    // Servers answer the flow setting; some leave DTR and RTS on a line without them unanswered.
    if (baud.empty() || size.empty() || parity.empty() || stop.empty() || control.empty())
        return EAGAIN;
    const QByteArray& b = baud.front();
    if (b.size() != 4)
        return EPROTO;
    const std::uint32_t gotBaud = (std::uint32_t(std::uint8_t(b[0])) << 24) | (std::uint32_t(std::uint8_t(b[1])) << 16)
        | (std::uint32_t(std::uint8_t(b[2])) << 8) | std::uint32_t(std::uint8_t(b[3]));
    const auto single = [](const QByteArray& v, std::uint8_t want) { return v.size() == 1 && std::uint8_t(v[0]) == want; };
    if (gotBaud != s.baud || !single(size.front(), s.dataSize) || !single(parity.front(), s.parity)
        || !single(stop.front(), s.stopSize) || !single(control.front(), s.flow))
        return EPROTO;
    return 0;
}

} // namespace comm::rfc2217
