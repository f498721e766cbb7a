#include "MeterBus.h"

#include "tools/metersim/MeterRequest.h"

namespace metersim {

namespace {

void setNote(QString* note, const QString& text)
{
    if (note)
        *note = text;
}

} // namespace

MeterBus::MeterBus(Meter& meter)
    : m_meters{ &meter }
{
}

MeterBus::MeterBus(std::vector<Meter*> meters)
    : m_meters(std::move(meters))
{
}

Meter* MeterBus::meterAt(std::uint8_t address) const
{
    for (Meter* m : m_meters) {
        if (m->setup().address == address)
            return m;
    }
    return nullptr;
}

QByteArray MeterBus::answer(QByteArrayView frame, QString* note)
{
    // A meter alone on its line answers exactly as it always has, 00 included.
    if (m_meters.size() == 1)
        return m_meters.front()->answer(frame, note);
    const std::optional<MeterRequest> request = parseRequest(frame);
    if (!request) {
        setNote(note, QStringLiteral("not a valid frame, no reply"));
        return {};
    }
    if (request->address == 0) {
        setNote(note, QStringLiteral("for address 00 on a line of %1 meters, no reply").arg(m_meters.size()));
        return {};
    }
    Meter* target = meterAt(request->address);
    if (!target) {
        setNote(note, QStringLiteral("for address %1, no meter there, no reply").arg(hexAddress(request->address)));
        return {};
    }
    // The line carries one talker: a report another meter is printing ends once this one is asked.
    for (Meter* m : m_meters) {
        if (m != target)
            m->stopPrinting();
    }
    QString what;
    QByteArray reply = target->answer(*request, &what);
    setNote(note, meterName(target->setup()) + QStringLiteral(": ") + what);
    return reply;
}

bool MeterBus::printing() const
{
    for (const Meter* m : m_meters) {
        if (m->printing())
            return true;
    }
    return false;
}

QByteArray MeterBus::takeReport(qsizetype max)
{
    for (Meter* m : m_meters) {
        if (m->printing())
            return m->takeReport(max);
    }
    return {};
}

void MeterBus::stopPrinting()
{
    for (Meter* m : m_meters)
        m->stopPrinting();
}

QString busConflict(const std::vector<MeterSetup>& setups, const QStringList& names)
{
    if (setups.size() < 2)
        return {};
    for (std::size_t i = 0; i < setups.size(); ++i) {
        const QString name = names.value(qsizetype(i));
        if (setups[i].address == 0)
            return QStringLiteral("%1: address 00 stands for any meter; each meter on a line of several needs an "
                                  "address of its own, 01 to FF")
                .arg(name);
        for (std::size_t j = 0; j < i; ++j) {
            if (setups[j].address == setups[i].address)
                return QStringLiteral(
                           "%1 and %2 both have address %3; each meter on a line needs an address of its own")
                    .arg(names.value(qsizetype(j)), name, hexAddress(setups[i].address));
        }
    }
    return {};
}

QString meterName(const MeterSetup& setup)
{
    return QStringLiteral("meter %1 at %2").arg(setup.serial, 5, 10, QLatin1Char('0')).arg(hexAddress(setup.address));
}

} // namespace metersim
