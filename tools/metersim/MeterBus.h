#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include "tools/metersim/Meter.h"
#include "tools/metersim/MeterSetup.h"

// The meters on one line, as on an RS-485 bus: each request goes to the meter whose network
// address it carries, and only that meter answers; a request for an address no meter has goes
// unanswered. A lone meter also takes address 00, "whichever meter is there", as a meter on a
// line of its own does; on a line of several, every meter would answer 00 at once and garble
// the line, so there 00 gets no reply and moves no meter.
// The bus holds no meters of its own: several lines (the terminal and a TCP caller) may share
// them, as callers on one physical bus would.
namespace metersim {

class MeterBus
{
public:
    MeterBus() = default;
    explicit MeterBus(Meter& meter);
    explicit MeterBus(std::vector<Meter*> meters);

    // The reply to one frame (':' up to its line end); empty: the line stays silent. `note`
    // gets a word for the log, on a line of several meters naming the meter that took it.
    QByteArray answer(QByteArrayView frame, QString* note = nullptr);

    // A report being printed by any of the meters; a line carries one at a time.
    bool printing() const;
    QByteArray takeReport(qsizetype max);
    void stopPrinting();

    const std::vector<Meter*>& meters() const { return m_meters; }
    // The meter at `address`, or null.
    Meter* meterAt(std::uint8_t address) const;

private:
    std::vector<Meter*> m_meters;
};

// Why these meters cannot share a line, naming each by `names` (one per setup); empty when they
// can. On a line of several every meter needs an address of its own, and not 00.
QString busConflict(const std::vector<MeterSetup>& setups, const QStringList& names);

// "meter 01234 at 02", as the log names a meter.
QString meterName(const MeterSetup& setup);

} // namespace metersim
