#include "archive/DataQuality.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_set>

#include "archive/ChartSeries.h"
#include "archive/ReportPairing.h"

using namespace Qt::StringLiterals;

namespace archive::quality {

namespace {

using chart::hourDateTime;

// Hours of Terr below zero that are only the rounding of minutes into hours.
constexpr double kTerrTolerance = 1e-6;
using chart::hourNumber;

QDateTime stampOfRecord(const sctArcZap& r)
{
    return QDateTime(QDate(2000 + r.year, r.month, r.day), QTime(std::min<int>(r.hour, 23), std::min<int>(r.minute, 59)));
}

struct Hourly
{
    std::int64_t hour;
    std::size_t index; // in the input
};

// The first integrator of the record below the one before it (a counter wrap is no step back),
// with its drop; empty when none is.
std::pair<QString, double> stepBack(const sctArcZap& before, const sctArcZap& r, int contours)
{
    const auto check = [](double a, double b) { return !std::isnan(a) && !std::isnan(b) && chart::increase(a, b) < 0; };
    for (int c = 0; c < contours; ++c) {
        if (check(cumulativeQ(before, c), cumulativeQ(r, c)))
            return { u"Q%1"_s.arg(c + 1), double(cumulativeQ(before, c)) - cumulativeQ(r, c) };
    }
    for (int ch = 0; ch < 2 * contours; ++ch) {
        if (check(cumulativeM(before, ch), cumulativeM(r, ch)))
            return { u"M%1"_s.arg(ch + 1), double(cumulativeM(before, ch)) - cumulativeM(r, ch) };
    }
    for (int ch = 0; ch < 2 * contours; ++ch) {
        if (check(cumulativeV(before, ch), cumulativeV(r, ch)))
            return { u"V%1"_s.arg(ch + 1), double(cumulativeV(before, ch)) - cumulativeV(r, ch) };
    }
    return {};
}

QString hexDigit(unsigned d)
{
    return QString(QChar(u"0123456789ABCDEF"[d & 0xF]));
}

QString hoursWord(qint64 n)
{
    return u"%1 ч"_s.arg(n);
}

QString contourText(int c)
{
    return u"Контур %1"_s.arg(c + 1);
}

QString spanText(const QDateTime& a, const QDateTime& b)
{
    return a == b ? stampText(a) : u"с %1 по %2"_s.arg(stampText(a), stampText(b));
}

} // namespace

bool Report::clean() const
{
    return problemCount() == 0;
}

qsizetype Report::problemCount() const
{
    return std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
        return f.kind != Finding::Kind::Tmin && f.kind != Finding::Kind::Tmax && f.kind != Finding::Kind::Tdt;
    });
}

Report check(const std::vector<sctArcZap>& records, const Period& period, int contours)
{
    Report rep;
    rep.contours = std::clamp(contours, 1, kContours);
    const int nc = rep.contours;
    std::vector<Finding> gaps, errors, minutes, backwards, duplicates, jumps, terr;

    // A list as the program keeps it is in identity order already: then there is nothing to
    // find as read and nothing to sort.
    bool ordered = true;
    for (std::size_t i = 1; i < records.size() && ordered; ++i)
        ordered = identityKey(records[i - 1]) < identityKey(records[i]);

    // As read: a record met twice, or one older than the record before it.
    if (!ordered) {
        std::unordered_set<std::uint64_t> seen;
        seen.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const sctArcZap& r = records[i];
            if (!seen.insert(identityKey(r)).second) {
                ++rep.duplicates;
                duplicates.push_back({ Finding::Kind::Duplicate, -1, stampOfRecord(r), stampOfRecord(r),
                                       std::int64_t(i), 0, 1, 0.0, {} });
            } else if (i > 0 && stampKey(r) < stampKey(records[i - 1])) {
                ++rep.clockJumps;
                jumps.push_back({ Finding::Kind::ClockJump, -1, stampOfRecord(r), stampOfRecord(records[i - 1]),
                                  std::int64_t(i), 0, 1, 0.0, {} });
            }
        }
    }

    // Everything else looks at the records in time order, each identity once.
    std::vector<std::size_t> order(records.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    if (!ordered) {
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return identityKey(records[a]) < identityKey(records[b]); });
        order.erase(std::unique(order.begin(), order.end(),
                                [&](std::size_t a, std::size_t b) {
                                    return identityKey(records[a]) == identityKey(records[b]);
                                }),
                    order.end());
    }

    std::vector<Hourly> hourly;
    for (std::size_t i : order) {
        const sctArcZap& r = records[i];
        if (r.Event != kEventHourly || r.minute != 0)
            continue;
        if (const auto h = hourNumber(r))
            hourly.push_back({ *h, i });
    }

    // Hour numbers of the first and last hour looked at; kNone while unknown.
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
    std::int64_t fh = period.from.isValid() ? hourNumber(period.from, 1).value_or(kNone) : kNone;
    std::int64_t lh = period.to.isValid() ? hourNumber(period.to.addDays(1), 0).value_or(kNone) : kNone;
    if (fh == kNone && !hourly.empty())
        fh = hourly.front().hour;
    if (lh == kNone && !hourly.empty())
        lh = hourly.back().hour;
    if (period.now.isValid() && lh != kNone)
        lh = std::min(lh, hourNumber(period.now.date(), period.now.time().hour()).value_or(lh));
    if (fh == kNone || lh == kNone || lh < fh) {
        rep.findings = std::move(duplicates);
        rep.findings.insert(rep.findings.end(), jumps.begin(), jumps.end());
        return rep;
    }
    rep.from = hourDateTime(fh);
    rep.to = hourDateTime(lh);
    rep.expectedHours = lh - fh + 1;

    const auto inPeriod = [&](std::int64_t h) { return h >= fh && h <= lh; };
    const auto lo = std::lower_bound(hourly.begin(), hourly.end(), fh,
                                     [](const Hourly& a, std::int64_t h) { return a.hour < h; });
    const auto hi = std::upper_bound(hourly.begin(), hourly.end(), lh,
                                     [](std::int64_t h, const Hourly& a) { return h < a.hour; });

    // Gaps, and the runs of error hours of each contour.
    std::int64_t expected = fh;
    struct Run
    {
        std::int64_t from = 0, to = 0;
        std::uint32_t code = 0;
        std::size_t index = 0;
        bool open = false;
    };
    std::array<Run, 3> runs{};
    const auto closeRun = [&](int c) {
        Run& run = runs[std::size_t(c)];
        if (!run.open)
            return;
        errors.push_back({ Finding::Kind::ErrorHours, c, hourDateTime(run.from), hourDateTime(run.to),
                           std::int64_t(run.index), run.code, run.to - run.from + 1, 0.0, {} });
        run.open = false;
    };
    for (auto it = lo; it != hi; ++it) {
        const sctArcZap& r = records[it->index];
        if (it->hour > expected) {
            gaps.push_back({ Finding::Kind::Gap, -1, hourDateTime(expected), hourDateTime(it->hour - 1),
                             std::int64_t(it->index), 0, it->hour - expected, 0.0, {} });
        }
        expected = it->hour + 1;
        ++rep.presentHours;
        for (int c = 0; c < nc; ++c) {
            const std::size_t k = std::size_t(c);
            rep.tminMinutes[k] += r.Tfmn[k];
            rep.tmaxMinutes[k] += r.Tfmx[k];
            rep.tdtMinutes[k] += r.Tdtm[k];
            const std::uint32_t code = r.Err[k];
            Run& run = runs[k];
            if (run.open && (code != run.code || it->hour != run.to + 1))
                closeRun(c);
            if (code != 0) {
                ++rep.errorHours[k];
                if (run.open) {
                    run.to = it->hour;
                } else {
                    run = Run{ it->hour, it->hour, code, it->index, true };
                }
            }
        }
    }
    for (int c = 0; c < nc; ++c)
        closeRun(c);
    if (expected <= lh) {
        const std::int64_t before = lo != hi ? std::int64_t(std::prev(hi)->index) : -1;
        gaps.push_back({ Finding::Kind::Gap, -1, hourDateTime(expected), hourDateTime(lh), before, 0,
                         lh - expected + 1, 0.0, {} });
    }
    rep.missingHours = rep.expectedHours - rep.presentHours;
    for (const Finding& g : gaps)
        rep.gaps.emplace_back(g.first, g.last);
    std::stable_sort(errors.begin(), errors.end(), [](const Finding& a, const Finding& b) { return a.contour < b.contour; });

    for (int c = 0; c < nc; ++c) {
        const std::size_t k = std::size_t(c);
        const std::pair<Finding::Kind, qint64> sums[] = { { Finding::Kind::Tmin, rep.tminMinutes[k] },
                                                          { Finding::Kind::Tmax, rep.tmaxMinutes[k] },
                                                          { Finding::Kind::Tdt, rep.tdtMinutes[k] } };
        for (const auto& [kind, sum] : sums) {
            if (sum > 0)
                minutes.push_back({ kind, c, rep.from, rep.to, -1, 0, sum, 0.0, {} });
        }
    }

    // Integrators that step back, over the records of the period in time order (the record just
    // before the period is the first one compared with).
    std::int64_t previous = -1;
    for (std::size_t i : order) {
        const sctArcZap& r = records[i];
        if (r.Event == kEventSkipped)
            continue;
        const std::optional<std::int64_t> h = hourNumber(r);
        if (!h)
            continue;
        if (*h > lh)
            break;
        if (previous >= 0 && inPeriod(*h)) {
            const auto [what, drop] = stepBack(records[std::size_t(previous)], r, nc);
            if (!what.isEmpty()) {
                ++rep.backwards;
                backwards.push_back({ Finding::Kind::Backwards, -1, stampOfRecord(r), stampOfRecord(r),
                                      std::int64_t(i), 0, 1, drop, what });
            }
        }
        previous = std::int64_t(i);
    }

    // The hourly report of each day: a negative Terr is what it would pop up about.
    std::vector<sctArcZap> copy;
    if (!ordered) {
        copy.reserve(order.size());
        for (std::size_t i : order)
            copy.push_back(records[i]);
    }
    const std::vector<sctArcZap>& sorted = ordered ? records : copy;
    const QDate firstDay = hourDateTime(fh - 1).date();
    const QDate lastDay = hourDateTime(lh - 1).date();
    for (QDate day = firstDay; day <= lastDay; day = day.addDays(1)) {
        const pairing::HourRowPositions rows = pairing::hourlyRowPositions(sorted, day);
        // Without a record before the day's first hour the report has no balance to speak of.
        if (rows.later.empty() || rows.earlier.front() == pairing::kNoRecord)
            continue;
        const sctArcZap& opening = sorted[rows.earlier.front()];
        const sctArcZap& closing = sorted[rows.later.back()];
        for (int c = 0; c < nc; ++c) {
            const std::size_t k = std::size_t(c);
            std::uint64_t tmin = 0, tmax = 0, tdt = 0;
            for (std::size_t at : rows.later) {
                tmin += sorted[at].Tfmn[k];
                tmax += sorted[at].Tfmx[k];
                tdt += sorted[at].Tdtm[k];
            }
            const pairing::TimeBalance b = pairing::timeBalance(opening, closing, c, tmin, tmax, tdt);
            if (b.err < -kTerrTolerance) {
                const auto h = hourNumber(day, 1);
                const auto at = std::lower_bound(hourly.begin(), hourly.end(), *h,
                                                 [](const Hourly& a, std::int64_t x) { return a.hour < x; });
                terr.push_back({ Finding::Kind::NegativeTerr, c, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(0, 0)),
                                 at != hourly.end() ? std::int64_t(at->index) : -1, 0, 0, b.err, {} });
            }
        }
    }

    for (auto* part : { &gaps, &errors, &minutes, &backwards, &duplicates, &jumps, &terr })
        rep.findings.insert(rep.findings.end(), part->begin(), part->end());
    return rep;
}

QString errorMeaning(std::uint32_t word, int contour)
{
    static const QString both = u"(обе предыдущие ситуации в течение часа)"_s;
    const auto tg = [](unsigned d, QChar x) -> QString {
        switch (d) {
        case 1:
            return u"(%1 < min)"_s.arg(x);
        case 2:
            return u"(%1 > max)"_s.arg(x);
        case 3:
            return both;
        default:
            return u"см. ТО"_s;
        }
    };
    const auto p = [](unsigned d) -> QString {
        switch (d) {
        case 4:
            return u"(p < min)"_s;
        case 8:
            return u"(p > max)"_s;
        case 0xC:
            return u"(обе предыдущие ситуации в течение часа или аппаратный сбой)"_s;
        default:
            return u"см. ТО"_s;
        }
    };
    QStringList parts;
    const int channels[2] = { 2 * contour + 1, 2 * contour + 2 };
    for (int k = 0; k < 2; ++k) {
        const std::uint32_t digits = k == 0 ? (word & 0xFFF) : ((word >> 16) & 0xFFF);
        const unsigned pd = (digits >> 8) & 0xF, td = (digits >> 4) & 0xF, gd = digits & 0xF;
        if (pd != 0)
            parts << u"p%1: %2 - %3"_s.arg(channels[k]).arg(hexDigit(pd), p(pd));
        if (td != 0)
            parts << u"t%1: %2 - %3"_s.arg(channels[k]).arg(hexDigit(td), tg(td, u't'));
        if (gd != 0)
            parts << u"G%1: %2 - %3"_s.arg(channels[k]).arg(hexDigit(gd), tg(gd, u'G'));
    }
    const unsigned dt = word >> 28;
    if (dt != 0) {
        QString meaning;
        switch (dt) {
        case 1:
            meaning = u"(dt < min)"_s;
            break;
        case 2:
            meaning = u"(dt < 0)"_s;
            break;
        case 3:
            meaning = both;
            break;
        default:
            meaning = u"см. ТО"_s;
        }
        parts << u"dt: %1 - %2"_s.arg(hexDigit(dt), meaning);
    }
    return parts.join(u"; "_s);
}

QString stampText(const QDateTime& t)
{
    return t.toString(u"dd.MM.yyyy hh:mm"_s);
}

QString findingText(const Finding& f)
{
    using K = Finding::Kind;
    switch (f.kind) {
    case K::Gap:
        return f.count == 1 ? u"Нет записи: %1"_s.arg(stampText(f.first))
                            : u"Нет записей: %1 (%2)"_s.arg(spanText(f.first, f.last), hoursWord(f.count));
    case K::ErrorHours:
        return u"%1, коды ошибок %2 (%3): %4"_s.arg(contourText(f.contour), spanText(f.first, f.last), hoursWord(f.count),
                                                    errorMeaning(f.code, f.contour));
    case K::Tmin:
        return u"%1, Tmin (G<Gmin): %2 мин"_s.arg(contourText(f.contour)).arg(f.count);
    case K::Tmax:
        return u"%1, Tmax (G>Gmax): %2 мин"_s.arg(contourText(f.contour)).arg(f.count);
    case K::Tdt:
        return u"%1, Tdt ((tпод - tобр)< dtmin): %2 мин"_s.arg(contourText(f.contour)).arg(f.count);
    case K::Backwards:
        return u"Показание %1 меньше, чем в предыдущей записи: %2 (на %3)"_s.arg(f.what, stampText(f.first),
                                                                              QString::number(f.value, 'f', 3));
    case K::Duplicate:
        return u"Запись повторяется: %1"_s.arg(stampText(f.first));
    case K::ClockJump:
        return u"Запись не по порядку времени: %1 после %2"_s.arg(stampText(f.first), stampText(f.last));
    case K::NegativeTerr:
        return u"%1, Terr < 0 в почасовом отчёте за %2: %3"_s.arg(contourText(f.contour), f.first.toString(u"dd.MM.yyyy"_s),
                                                                 QString::asprintf("%10.8f", f.value).trimmed());
    }
    return {};
}

QString summaryText(const Report& r)
{
    if (!r.from.isValid())
        return r.problemCount() == 0 ? u"Нет часовых записей за период"_s
                                     : u"Нет часовых записей за период; замечаний: %1"_s.arg(r.problemCount());
    const QString problems = r.problemCount() == 0 ? u"замечаний нет"_s : u"замечаний: %1"_s.arg(r.problemCount());
    return u"Период %1: ожидалось %2, есть %3, нет %4; %5"_s.arg(spanText(r.from, r.to), hoursWord(r.expectedHours),
                                                                hoursWord(r.presentHours), hoursWord(r.missingHours),
                                                                problems);
}

QStringList reportLines(const Report& r)
{
    QStringList lines{ summaryText(r) };
    for (const Finding& f : r.findings)
        lines << findingText(f);
    return lines;
}

} // namespace archive::quality
