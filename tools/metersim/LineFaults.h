#pragma once

#include <cstdint>
#include <random>

#include <QByteArray>
#include <QString>

// Faults the simulated line puts into the meter's replies, each with its own probability.
namespace metersim {

class LineFaults
{
public:
    enum Kind { Garble, Drop, Truncate, KindCount };

    // "garble:0.1", "drop:0.05", "truncate:0.2"; false when the text is none of these.
    bool add(const QString& fault, QString* error);
    void setRate(Kind kind, double rate) { m_rate[kind] = rate; }
    void seed(std::uint32_t seed) { m_random.seed(seed); }
    bool any() const;

    // The reply as the line delivers it: unchanged, empty (dropped), cut short, or with one
    // character changed so that its check fails. `note` names the fault, if one struck.
    QByteArray apply(const QByteArray& reply, QString* note = nullptr);

private:
    bool strikes(Kind kind);

    double m_rate[KindCount] = { 0.0, 0.0, 0.0 };
    std::mt19937 m_random{ 1 };
};

} // namespace metersim
