#include "HayesModem.h"

#include <utility>

namespace metersim {

HayesModem::HayesModem()
    : HayesModem(Options{})
{
}

HayesModem::HayesModem(Options options)
    : m_options(options)
{
}

void HayesModem::result(QByteArrayView word)
{
    m_forLine += "\r\n";
    m_forLine += word;
    m_forLine += "\r\n";
}

void HayesModem::fromLine(char c, std::int64_t t)
{
    const std::int64_t silence = t - m_lastByte;
    m_lastByte = t;
    switch (m_state) {
    case State::Data:
        m_forMeter.append(c);
        if (c == '+' && ((m_plus == 0 && silence >= m_options.guardTime) || (m_plus > 0 && m_plus < 3))) {
            if (++m_plus == 3)
                m_plusAt = t;
        } else {
            m_plus = 0;
        }
        return;
    case State::Dialling:
        // A real modem would abort on a key press; this one lets the call run its course.
        return;
    case State::Command:
        break;
    }
    if (m_echo)
        m_forLine.append(c);
    if (c == '\r') {
        const QByteArray line = m_line.trimmed().toUpper();
        m_line.clear();
        command(line, t);
    } else if (c == '\b' || c == '\x7F') {
        m_line.chop(1);
    } else if (c != '\n' && m_line.size() < 256) {
        m_line.append(c);
    }
}

void HayesModem::command(const QByteArray& line, std::int64_t t)
{
    // Anything that is not an AT command is line noise to a modem.
    if (!line.startsWith("AT"))
        return;
    QByteArrayView rest = QByteArrayView(line).sliced(2);
    while (!rest.isEmpty()) {
        const char cmd = rest.front();
        rest = rest.sliced(1);
        if (cmd == ' ')
            continue;
        if (cmd == 'D') {
            if (m_connected) {
                result("ERROR");
                return;
            }
            m_state = State::Dialling;
            m_dialDone = t + m_options.connectDelay;
            return;
        }
        if (cmd == 'E' || cmd == 'H' || cmd == 'Z' || cmd == 'O') {
            const bool one = !rest.isEmpty() && rest.front() == '1';
            if (!rest.isEmpty() && (rest.front() == '0' || rest.front() == '1'))
                rest = rest.sliced(1);
            if (cmd == 'E')
                m_echo = one;
            else if (cmd == 'H' || cmd == 'Z')
                m_connected = false;
            if (cmd == 'Z')
                m_echo = true;
            if (cmd == 'O') {
                if (!m_connected) {
                    result("NO CARRIER");
                    return;
                }
                m_state = State::Data;
                m_plus = 0;
                result("CONNECT 9600");
                return;
            }
            continue;
        }
        if (cmd == '&' && !rest.isEmpty() && rest.front() == 'F') {
            m_echo = true;
            rest = rest.sliced(1);
        }
        // Every other setting (&D0, \Q0, S0=0, +IPR=9600, ...) is taken as it is: skip its
        // arguments up to the next blank.
        while (
            !rest.isEmpty() && rest.front() != ' '
            && (cmd == '&' || cmd == '\\' || cmd == '+' || cmd == 'S' || (rest.front() >= '0' && rest.front() <= '9')))
            rest = rest.sliced(1);
    }
    result("OK");
}

void HayesModem::tick(std::int64_t t)
{
    if (m_state == State::Dialling && t >= m_dialDone) {
        switch (m_options.failure) {
        case DialFailure::None:
            m_state = State::Data;
            m_connected = true;
            m_plus = 0;
            result("CONNECT 9600");
            return;
        case DialFailure::Busy:
            m_state = State::Command;
            result("BUSY");
            return;
        case DialFailure::NoCarrier:
            m_state = State::Command;
            result("NO CARRIER");
            return;
        case DialFailure::Silent:
            // The call never completes; only a new command wakes the modem.
            m_state = State::Command;
            return;
        }
    }
    if (m_state == State::Data && m_plus == 3 && t - m_plusAt >= m_options.guardTime && m_lastByte == m_plusAt) {
        m_state = State::Command;
        m_plus = 0;
        m_line.clear();
        result("OK");
    }
}

std::optional<std::int64_t> HayesModem::nextDeadline() const
{
    if (m_state == State::Dialling)
        return m_dialDone;
    if (m_state == State::Data && m_plus == 3)
        return m_plusAt + m_options.guardTime;
    return std::nullopt;
}

QByteArray HayesModem::takeForLine()
{
    return std::exchange(m_forLine, {});
}

QByteArray HayesModem::takeForMeter()
{
    return std::exchange(m_forMeter, {});
}

void HayesModem::fromMeter(QByteArrayView bytes)
{
    if (m_state == State::Data)
        m_forLine += bytes;
}

} // namespace metersim
