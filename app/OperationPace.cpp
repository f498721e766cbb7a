#include "OperationPace.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

void OperationPace::sample(qint64 elapsedMs, qint64 done, qint64 total, CountUnit unit)
{
    // A count going back means a new phase whose counter started again.
    if (!m_samples.empty()
        && (done < m_samples.back().done || elapsedMs < m_samples.back().ms || unit != m_unit))
        m_samples.clear();
    m_unit = unit;
    m_total = total;
    if (!m_samples.empty() && m_samples.back().ms == elapsedMs)
        m_samples.back().done = done;
    else
        m_samples.push_back({elapsedMs, done});
    // Keep one sample older than the window so the pace always spans it.
    while (m_samples.size() > 2 && elapsedMs - m_samples[1].ms >= kWindowMs)
        m_samples.pop_front();
}

void OperationPace::reset()
{
    m_samples.clear();
    m_total = 0;
}

void OperationPace::status(const QString& text)
{
    QString phase = text;
    phase.removeIf([](QChar c) { return c.isDigit(); });
    if (phase == m_phase)
        return;
    m_phase = phase;
    reset();
}

std::optional<double> OperationPace::perSecond() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const qint64 span = last.ms - first.ms;
    if (span < 200)
        return std::nullopt;
    return double(last.done - first.done) * 1000.0 / double(span);
}

std::optional<qint64> OperationPace::msLeft() const
{
    const std::optional<double> pace = perSecond();
    if (!pace || *pace <= 0.0 || m_total <= 0 || m_samples.empty())
        return std::nullopt;
    const qint64 rest = std::max<qint64>(0, m_total - m_samples.back().done);
    return qint64(std::llround(double(rest) * 1000.0 / *pace));
}

QString OperationPace::text() const
{
    const QString unit = m_unit == CountUnit::Bytes ? u"байт"_s : u"зап"_s;
    const std::optional<double> pace = perSecond();
    if (!pace)
        return {};
    const int decimals = *pace < 10.0 ? 1 : 0;
    QString line = u"%1 %2/с"_s.arg(*pace, 0, 'f', decimals).arg(unit);
    if (const std::optional<qint64> left = msLeft())
        line += u", осталось "_s + formatDuration(*left);
    return line;
}

QString OperationPace::formatDuration(qint64 ms)
{
    const qint64 seconds = (std::max<qint64>(0, ms) + 500) / 1000;
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return u"%1:%2:%3"_s.arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return u"%1:%2"_s.arg(m).arg(s, 2, 10, QChar(u'0'));
}
