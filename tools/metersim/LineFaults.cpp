#include "LineFaults.h"

#include <cmath>

namespace metersim {

bool LineFaults::add(const QString& text, QString* error)
{
    static const char* const names[] = { "garble", "drop", "truncate" };
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    const double rate = colon < 0 ? 0.0 : text.sliced(colon + 1).toDouble(&ok);
    for (int k = 0; k < KindCount; ++k) {
        if (colon >= 0 && text.first(colon) == QLatin1String(names[k]) && ok && std::isfinite(rate) && rate >= 0.0
            && rate <= 1.0) {
            m_rate[k] = rate;
            return true;
        }
    }
    if (error)
        *error = QStringLiteral("bad fault \"%1\": expected garble|drop|truncate:RATE with RATE 0..1").arg(text);
    return false;
}

bool LineFaults::any() const
{
    return m_rate[Garble] > 0.0 || m_rate[Drop] > 0.0 || m_rate[Truncate] > 0.0;
}

bool LineFaults::strikes(Kind kind)
{
    if (m_rate[kind] <= 0.0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < m_rate[kind];
}

QByteArray LineFaults::apply(const QByteArray& reply, QString* note)
{
    if (reply.isEmpty() || !any())
        return reply;
    if (strikes(Drop)) {
        if (note)
            *note = QStringLiteral("fault: reply dropped");
        return {};
    }
    QByteArray out = reply;
    if (strikes(Truncate) && out.size() > 1) {
        const auto keep = std::uniform_int_distribution<qsizetype>(1, out.size() - 1)(m_random);
        out.truncate(keep);
        if (note)
            *note = QStringLiteral("fault: reply cut to %1 bytes").arg(keep);
    }
    // A digit of the body (between ':' and the check) changed to another digit: the reply still
    // looks like a frame, but its check fails.
    const qsizetype bodyEnd = std::min(out.size(), reply.size() - 4);
    if (bodyEnd > 1 && strikes(Garble)) {
        const auto pos = std::uniform_int_distribution<qsizetype>(1, bodyEnd - 1)(m_random);
        static constexpr char digits[] = "0123456789ABCDEF";
        const auto shift = std::uniform_int_distribution<int>(1, 15)(m_random);
        const char* at = std::char_traits<char>::find(digits, 16, out[pos]);
        out[pos] = at ? digits[(at - digits + shift) % 16] : '0';
        if (note)
            *note = (note->isEmpty() ? QString() : *note + QStringLiteral(", "))
                + QStringLiteral("fault: character %1 garbled").arg(pos);
    }
    return out;
}

} // namespace metersim
