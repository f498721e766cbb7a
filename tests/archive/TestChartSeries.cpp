#include <cmath>
#include <functional>

#include <QtTest>

#include "archive/ChartSeries.h"
#include "archive/ReportBuilder.h"
#include "base/CodePage.h"
#include "JanuaryHours.h"

using namespace Qt::Literals::StringLiterals;
using namespace archive;
using namespace archive::chart;

namespace {

// Hourly records of contour 1 from `from` 01:00 for `hours` hours: Q grows by 0.1 an hour from
// q0, the masses by 2, t1 = 70 + hour of day, t2 = 40.
std::vector<sctArcZap> hours(const QDate& from, int count, double q0 = 100.0)
{
    std::vector<sctArcZap> out;
    for (int h = 1; h <= count; ++h) {
        const QDateTime t(from.addDays(h / 24), QTime(h % 24, 0));
        sctArcZap r;
        r.year = std::uint8_t(t.date().year() - 2000);
        r.month = std::uint8_t(t.date().month());
        r.day = std::uint8_t(t.date().day());
        r.hour = std::uint8_t(t.time().hour());
        r.Event = kEventHourly;
        r.Q[0] = float(q0 + h / 10.0);
        r.M[0] = r.M[1] = float(h * 2);
        r.t[0] = float(70 + r.hour);
        r.t[1] = 40.0f;
        r.T[0] = std::uint32_t(h * 60);
        out.push_back(r);
    }
    return out;
}

void dropHours(std::vector<sctArcZap>& records, const QDate& day, std::initializer_list<int> hoursOfDay)
{
    std::erase_if(records, [&](const sctArcZap& r) {
        return QDate(2000 + r.year, r.month, r.day) == day && std::find(hoursOfDay.begin(), hoursOfDay.end(), r.hour) != hoursOfDay.end();
    });
}

std::vector<std::size_t> nanSlots(const std::vector<double>& v)
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::isnan(v[i]))
            out.push_back(i);
    }
    return out;
}

// Fails when two joined points of a drawing have a missing slot between them.
void checkNoLineAcrossGaps(const Series& s, const std::vector<DrawPoint>& pts, Quantity q)
{
    const std::vector<double>& v = s.values(q);
    for (std::size_t k = 1; k < pts.size(); ++k) {
        if (pts[k].newSegment)
            continue;
        for (std::size_t i = pts[k - 1].slot + 1; i < pts[k].slot; ++i)
            QVERIFY2(!std::isnan(v[i]), qPrintable(u"joined across missing slot %1"_s.arg(i)));
    }
}

// The row cells of a report's table as text, keyed by the heading of their column.
QList<QHash<QString, QString>> reportTable(const QByteArray& text)
{
    const QStringList lines = codepage::fromOem(text).split(u"\r\n\t"_s);
    QList<QHash<QString, QString>> rows;
    QStringList headings;
    int borders = 0;
    for (const QString& line : lines) {
        if (line.startsWith(u'─') || line.startsWith(u'┬') || line.contains(u"─┼"_s) || line.contains(u"─┬"_s)) {
            ++borders;
            continue;
        }
        if (borders == 1 && headings.isEmpty()) {
            headings = line.split(u'│');
            for (QString& h : headings)
                h = h.trimmed();
        } else if (borders == 2) {
            const QStringList cells = line.split(u'│');
            QHash<QString, QString> row;
            for (qsizetype i = 0; i < cells.size() && i < headings.size(); ++i)
                row.insert(headings[i], cells[i].trimmed());
            rows.append(row);
        } else if (borders > 2) {
            break;
        }
    }
    return rows;
}

} // namespace

class TestChartSeries : public QObject
{
    Q_OBJECT

private slots:
    void missingHours_data();
    void missingHours();
    void counterWrap_data();
    void counterWrap();
    void midnightBelongsToTheDayBefore();
    void dailyAgreesWithTheDailyReport();
    void downsampleKeepsExtremes_data();
    void downsampleKeepsExtremes();
    void bandsOfMissingAndErrorHours();
    void periodDefaultsAndLimits();
};

void TestChartSeries::missingHours_data()
{
    QTest::addColumn<QList<int>>("dropped"); // hours of 5 January
    QTest::addColumn<int>("missingReadings");
    QTest::addColumn<int>("missingAmounts");

    QTest::newRow("none") << QList<int>{} << 0 << 0;
    QTest::newRow("three hours") << QList<int>{ 10, 11, 12 } << 3 << 4;
    QTest::newRow("two gaps") << QList<int>{ 3, 20 } << 2 << 4;
    QTest::newRow("the first hour") << QList<int>{ 1 } << 1 << 2;
}

void TestChartSeries::missingHours()
{
    QFETCH(QList<int>, dropped);
    QFETCH(int, missingReadings);
    QFETCH(int, missingAmounts);

    const QDate day(2026, 1, 5);
    // One hour of the day before, so the first hour of the day has its amount.
    std::vector<sctArcZap> records = hours(day.addDays(-1), 48);
    for (int h : dropped)
        dropHours(records, day, { h });
    const Series s = build(records, Request{ 0, Step::Hourly, day, day });

    QCOMPARE(s.size(), std::size_t(24));
    QCOMPARE(s.missingCount(), std::size_t(missingReadings));
    QCOMPARE(nanSlots(s.values(Quantity::t1)).size(), std::size_t(missingReadings));
    QCOMPARE(nanSlots(s.values(Quantity::dt)).size(), std::size_t(missingReadings));
    // An amount also needs the hour before: after a gap the counters span the whole gap.
    QCOMPARE(nanSlots(s.values(Quantity::Q)).size(), std::size_t(missingAmounts));
    for (int h : dropped) {
        QVERIFY(!s.present(std::size_t(h - 1)));
        QVERIFY(std::isnan(s.values(Quantity::t1)[std::size_t(h - 1)]));
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!std::isnan(s.values(Quantity::Q)[i]))
            QCOMPARE(s.values(Quantity::Q)[i], double(float(100 + (24 + i + 1) / 10.0)) - double(float(100 + (24 + i) / 10.0)));
    }
    for (int columns : { 1000, 24, 7, 2 })
        checkNoLineAcrossGaps(s, downsample(s, Quantity::t1, s.x.front(), s.x.back(), columns), Quantity::t1);
}

void TestChartSeries::counterWrap_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::addColumn<double>("amount");

    QTest::newRow("plain") << 100.0 << 101.5 << 1.5;
    QTest::newRow("wrapped at ten million") << 9999999.0 << 0.5 << 1.5;
    QTest::newRow("a small step back stays negative") << 100.5 << 100.0 << -0.5;
    QTest::newRow("no change") << 42.0 << 42.0 << 0.0;
}

void TestChartSeries::counterWrap()
{
    QFETCH(double, before);
    QFETCH(double, after);
    QFETCH(double, amount);

    QCOMPARE(increase(before, after), amount);
    std::vector<sctArcZap> records = hours(QDate(2026, 1, 5), 2);
    records[0].Q[0] = float(before);
    records[1].Q[0] = float(after);
    records[0].M[0] = float(before);
    records[1].M[0] = float(after);
    const Series s = build(records, Request{ 0, Step::Hourly, QDate(2026, 1, 5), QDate(2026, 1, 5) });
    QCOMPARE(s.values(Quantity::Q)[1], increase(float(before), float(after)));
    QCOMPARE(s.values(Quantity::M1)[1], increase(float(before), float(after)));
}

void TestChartSeries::midnightBelongsToTheDayBefore()
{
    const ArchiveRecordList list = testsupport::januaryHours(); // 5 Jan 01:00 .. 7 Jan 00:00
    const Series fifth = build(list.records(), Request{ 0, Step::Hourly, QDate(2015, 1, 5), QDate(2015, 1, 5) });
    QCOMPARE(fifth.size(), std::size_t(24));
    QCOMPARE(fifth.x.back(), msOf(QDate(2015, 1, 6)));
    const sctArcZap& closing = list[std::size_t(fifth.record.back())];
    QCOMPARE(int(closing.day), 6);
    QCOMPARE(int(closing.hour), 0);
    QCOMPARE(fifth.missingCount(), std::size_t(0));

    const Series sixth = build(list.records(), Request{ 0, Step::Hourly, QDate(2015, 1, 6), QDate(2015, 1, 6) });
    QCOMPARE(sixth.x.front(), msOf(QDate(2015, 1, 6)) + kHourMs);
    QCOMPARE(int(list[std::size_t(sixth.record.front())].hour), 1);
}

void TestChartSeries::dailyAgreesWithTheDailyReport()
{
    const QDate first(2026, 1, 5);
    std::vector<sctArcZap> records = hours(first, 24 * 5);
    dropHours(records, first.addDays(2), { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23 });
    ArchiveRecordList list;
    for (const sctArcZap& r : records)
        list.add(r, false);
    list.sort();

    ReportInput input;
    input.records = &list;
    input.account.params.Formula = { 1, 1, 1 };
    input.account.params.NumSys = 1;
    input.request = makeReportRequest(ReportKind::Daily, 0, first, first.addDays(4));
    input.footer = ReportFooter{ u"Lorn2"_s, u"1"_s, QDate(2026, 12, 8) };
    const ReportResult report = buildReport(input);
    QCOMPARE(report.outcome, ReportOutcome::Built);
    const QList<QHash<QString, QString>> rows = reportTable(report.state.text);

    const Series s = build(list.records(), Request{ 0, Step::Daily, first, first.addDays(4) });
    QCOMPARE(s.size(), std::size_t(5));
    int compared = 0;
    for (const QHash<QString, QString>& row : rows) {
        const QString date = row.value(u"Дата"_s);
        if (date.isEmpty() || date == u"Итого"_s)
            continue;
        const QDate day(2026, date.mid(3, 2).toInt(), date.left(2).toInt());
        const std::size_t slot = std::size_t(first.daysTo(day));
        QVERIFY2(slot < s.size(), qPrintable(date));
        QCOMPARE(QString::asprintf("%.3f", s.values(Quantity::Q)[slot]), row.value(u"Q"_s));
        QCOMPARE(QString::asprintf("%.3f", s.values(Quantity::M1)[slot]), row.value(u"M под"_s));
        QCOMPARE(QString::asprintf("%.1f", s.values(Quantity::t1)[slot]), row.value(u"tпод"_s));
        ++compared;
    }
    QCOMPARE(compared, int(rows.size()));
    QVERIFY(compared >= 3);
    // The day without a record is a gap in the chart as in the report.
    QVERIFY(!s.present(2));
}

void TestChartSeries::downsampleKeepsExtremes_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("missingEvery"); // 0: none

    QTest::newRow("more columns than slots") << 5000 << 0;
    QTest::newRow("a column per day") << 365 << 0;
    QTest::newRow("narrow, with gaps") << 97 << 13;
    QTest::newRow("one column, with gaps") << 1 << 7;
    QTest::newRow("dense gaps") << 640 << 2;
}

void TestChartSeries::downsampleKeepsExtremes()
{
    QFETCH(int, columns);
    QFETCH(int, missingEvery);

    std::vector<sctArcZap> records = hours(QDate(2025, 1, 1), 24 * 365);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < records.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        records[i].t[0] = float((seed >> 8) % 10000) / 100.0f;
    }
    if (missingEvery > 0) {
        std::vector<sctArcZap> kept;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (i % std::size_t(missingEvery) != 0)
                kept.push_back(records[i]);
        }
        records = kept;
    }
    const Series s = build(records, Request{ 0, Step::Hourly, QDate(2025, 1, 1), QDate(2025, 12, 31) });
    const std::int64_t from = s.x.front(), to = s.x.back();
    const std::vector<DrawPoint> pts = downsample(s, Quantity::t1, from, to, columns);
    QVERIFY(pts.size() <= std::size_t(2 * columns));
    checkNoLineAcrossGaps(s, pts, Quantity::t1);

    // Every column's minimum and maximum is drawn.
    const std::vector<double>& v = s.values(Quantity::t1);
    const double span = double(to - from) + 1.0;
    QHash<long, std::pair<double, double>> extremes;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::isnan(v[i]))
            continue;
        const long c = std::min<long>(columns - 1, long(double(s.x[i] - from) * columns / span));
        auto it = extremes.find(c);
        if (it == extremes.end())
            extremes.insert(c, { v[i], v[i] });
        else
            *it = { std::min(it->first, v[i]), std::max(it->second, v[i]) };
    }
    QHash<long, std::pair<double, double>> drawn;
    for (const DrawPoint& p : pts) {
        const long c = std::min<long>(columns - 1, long(double(p.x - from) * columns / span));
        auto it = drawn.find(c);
        if (it == drawn.end())
            drawn.insert(c, { p.y, p.y });
        else
            *it = { std::min(it->first, p.y), std::max(it->second, p.y) };
        QCOMPARE(p.y, v[p.slot]);
        QCOMPARE(p.x, s.x[p.slot]);
    }
    QCOMPARE(drawn, extremes);
}

void TestChartSeries::bandsOfMissingAndErrorHours()
{
    const QDate day(2026, 1, 5);
    std::vector<sctArcZap> records = hours(day, 24);
    dropHours(records, day, { 10, 11, 12 });
    for (sctArcZap& r : records) {
        if (r.hour == 15 || r.hour == 16)
            r.Err[0] = 0x010;
        if (r.hour == 20)
            r.Tfmn[0] = 12;
    }
    const Series s = build(records, Request{ 0, Step::Hourly, day, day });
    const std::int64_t from = s.x.front(), to = s.x.back();
    const auto at = [&](int hour) { return msOf(day) + hour * kHourMs; };

    const std::vector<Band> missing = bands(s, Mark::Missing, from, to, 1000);
    QCOMPARE(missing.size(), std::size_t(1));
    QCOMPARE(missing[0].from, at(9)); // the hour closing at 10:00 begins at 09:00
    QCOMPARE(missing[0].to, at(12));
    const std::vector<Band> errors = bands(s, Mark::Error, from, to, 1000);
    QCOMPARE(errors.size(), std::size_t(1));
    QCOMPARE(errors[0].from, at(14));
    QCOMPARE(errors[0].to, at(16));
    QCOMPARE(bands(s, Mark::Tmin, from, to, 1000).size(), std::size_t(1));
    QCOMPARE(bands(s, Mark::Tmax, from, to, 1000).size(), std::size_t(0));
    // In two pixel columns the marks merge but never vanish.
    QCOMPARE(bands(s, Mark::Missing, from, to, 2).size(), std::size_t(1));
    QCOMPARE(s.error[14], 0x010u);
}

void TestChartSeries::periodDefaultsAndLimits()
{
    std::vector<sctArcZap> records = hours(QDate(2026, 3, 1), 48);
    Series s = build(records, Request{ 0, Step::Hourly, {}, {} });
    QCOMPARE(s.from, QDate(2026, 3, 1));
    QCOMPARE(s.to, QDate(2026, 3, 3)); // the last record is the 3rd's 00:00
    QCOMPARE(build({}, Request{ 0, Step::Hourly, {}, {} }).size(), std::size_t(0));
    QCOMPARE(build(records, Request{ 0, Step::Daily, QDate(2026, 3, 5), QDate(2026, 3, 1) }).size(), std::size_t(0));

    // Hours still to come are no gap: the series ends at the hour now running, days at yesterday.
    const QDateTime now(QDate(2026, 3, 2), QTime(5, 30));
    QCOMPARE(build(records, Request{ 0, Step::Hourly, QDate(2026, 3, 1), QDate(2026, 3, 9), now }).size(), std::size_t(29));
    QCOMPARE(build(records, Request{ 0, Step::Daily, QDate(2026, 3, 1), QDate(2026, 3, 9), now }).size(), std::size_t(1));

    // A damaged stamp decades ahead costs no more than the slot cap.
    records.back().year = 99;
    s = build(records, Request{ 2, Step::Hourly, {}, {} });
    QVERIFY(s.size() <= std::size_t(20 * 366 * 24));
    QCOMPARE(s.contour, 2);

    // A stamp that is no date never lands in a slot.
    records = hours(QDate(2026, 2, 27), 24);
    records[3].day = 30;
    records[3].month = 2;
    s = build(records, Request{ 0, Step::Hourly, QDate(2026, 2, 27), QDate(2026, 2, 27) });
    QCOMPARE(s.missingCount(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestChartSeries)
#include "TestChartSeries.moc"
