#include "ArchiveListColumns.h"

#include <QDate>
#include <QJsonArray>

#include "archive/ArchiveRecord.h"
#include "base/Format.h"

using namespace Qt::Literals::StringLiterals;

namespace archivelist {

namespace {

// Return-pipe pressures start with the Cyrillic Р, supply ones with the Latin P; the operating
// times with the Cyrillic Т, as the list always showed them.
const QStringList kFixedCaptions = {
    u"Время"_s,    u"Q1"_s,       u"Q2"_s,       u"Q3"_s,       u"M1 под"_s,   u"M1 обр"_s,   u"M2 под"_s,
    u"M2 обр"_s,   u"M3 под"_s,   u"M3 обр"_s,   u"t1 под"_s,   u"t1 обр"_s,   u"t2 под"_s,   u"t2 обр"_s,
    u"t3 под"_s,   u"t3 обр"_s,   u"P1 под"_s,   u"Р1 обр"_s,   u"P2 под"_s,   u"Р2 обр"_s,   u"P3 под"_s,
    u"Р3 обр"_s,   u"Т1 раб"_s,   u"Т2 раб"_s,   u"Т3 раб"_s,   u"Ошибка 1"_s, u"Ошибка 2"_s, u"Ошибка 3"_s,
    u"N старт"_s,  u"V1 под"_s,   u"V1 обр"_s,   u"V2 под"_s,   u"V2 обр"_s,   u"V3 под"_s,   u"V3 обр"_s,
    u"t хв"_s,     u"t окр"_s,
};

// Archive Version 1 meters of Formula 3 and 8 keep volume where the others keep mass.
bool massIsVolume(const ArchiveParams& p, int contour)
{
    const int formula = p.Formula[std::size_t(contour)];
    return p.ArchiveVersion == 1 && (formula == 3 || formula == 8);
}

QString real(float v)
{
    return fmt::text(u"%f", double(v));
}

} // namespace

QStringList captions(int energyUnits)
{
    QStringList c = kFixedCaptions;
    const QString unit = energyUnits == 0 ? u"кВт*ч"_s : energyUnits == 1 ? u"Гдж"_s : u"Гкал"_s;
    for (int i = 0; i < 3; ++i)
        c[1 + i] = u"Q%1(%2)"_s.arg(i + 1).arg(unit);
    return c;
}

int columnWidth(int column)
{
    return column == 0 ? 100 : 70;
}

QString cell(const ArchiveParams& p, const sctArcZap& r, int column)
{
    if (column == 0)
        return fmt::text(u"%02d/%02d/%02d %02d:%02d", r.day, r.month, r.year, r.hour, r.minute);
    if (column <= 3)
        return real(archive::cumulativeQ(r, column - 1));
    if (column <= 9) {
        const int channel = column - 4;
        return massIsVolume(p, channel / 2) ? u"0"_s : real(archive::cumulativeM(r, channel));
    }
    if (column <= 15)
        return real(r.t[std::size_t(column - 10)]);
    if (column <= 21)
        return real(r.p[std::size_t(column - 16)]);
    if (column <= 24) {
        const unsigned minutes = r.T[std::size_t(column - 22)];
        return fmt::text(u"%u:%02u", minutes / 60, minutes % 60);
    }
    if (column <= 27)
        return fmt::text(u"%08X", r.Err[std::size_t(column - 25)]);
    if (column == 28)
        return fmt::text(u"%d", r.Nstart);
    if (column <= 34) {
        const int channel = column - 29;
        return massIsVolume(p, channel / 2) ? real(r.M[std::size_t(channel)]) : real(archive::cumulativeV(r, channel));
    }
    if (column == 35)
        return real(r.t_cold);
    if (column == 36)
        return real(r.t_amb);
    return {};
}

QJsonObject toJson(const ArchiveParams& p, const sctArcZap& r)
{
    QJsonObject o;
    const QDate date(archive::fullYear(r), r.month, r.day);
    o.insert(u"time"_s, fmt::text(u"%04d-%02d-%02dT%02d:%02d:00", date.year(), date.month(), date.day(), int(r.hour),
                                  int(r.minute)));
    QJsonArray q, m, t, pr, times, errors, v;
    for (int c = 0; c < 3; ++c) {
        q.append(double(archive::cumulativeQ(r, c)));
        times.append(qint64(r.T[std::size_t(c)]));
        errors.append(qint64(r.Err[std::size_t(c)]));
    }
    for (int ch = 0; ch < 6; ++ch) {
        const bool volume = massIsVolume(p, ch / 2);
        m.append(volume ? 0.0 : double(archive::cumulativeM(r, ch)));
        v.append(volume ? double(r.M[std::size_t(ch)]) : double(archive::cumulativeV(r, ch)));
        t.append(double(r.t[std::size_t(ch)]));
        pr.append(double(r.p[std::size_t(ch)]));
    }
    o.insert(u"Q"_s, q);
    o.insert(u"M"_s, m);
    o.insert(u"t"_s, t);
    o.insert(u"p"_s, pr);
    o.insert(u"minutes"_s, times);
    o.insert(u"errors"_s, errors);
    o.insert(u"nStart"_s, qint64(r.Nstart));
    o.insert(u"V"_s, v);
    o.insert(u"tCold"_s, double(r.t_cold));
    o.insert(u"tAmb"_s, double(r.t_amb));
    return o;
}

QStringList cells(const ArchiveParams& p, const sctArcZap& r)
{
    QStringList out;
    out.reserve(kColumnCount);
    for (int c = 0; c < kColumnCount; ++c)
        out << cell(p, r, c);
    return out;
}

} // namespace archivelist
