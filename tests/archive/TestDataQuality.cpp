#include <functional>

#include <QtTest>

#include "archive/DataQuality.h"

using namespace Qt::Literals::StringLiterals;
using namespace archive;
using namespace archive::quality;

namespace {

const QDate kFirst(2026, 1, 5);

// Three clean days of hourly records on two contours, 5 Jan 01:00 .. 8 Jan 00:00: every
// integrator grows, the operating time runs 60 minutes an hour, no error word is set.
std::vector<sctArcZap> cleanDays()
{
    std::vector<sctArcZap> out;
    for (int h = 1; h <= 72; ++h) {
        const QDateTime t(kFirst.addDays(h / 24), QTime(h % 24, 0));
        sctArcZap r;
        r.year = std::uint8_t(t.date().year() - 2000);
        r.month = std::uint8_t(t.date().month());
        r.day = std::uint8_t(t.date().day());
        r.hour = std::uint8_t(t.time().hour());
        r.Event = kEventHourly;
        for (std::size_t c = 0; c < 2; ++c) {
            r.Q[c] = float(1000 + h);
            r.T[c] = std::uint32_t(h * 60);
        }
        for (std::size_t ch = 0; ch < 4; ++ch) {
            r.M[ch] = float(500 + 2 * h);
            r.V[ch] = float(700 + 2 * h);
        }
        out.push_back(r);
    }
    return out;
}

std::size_t indexOfHour(const std::vector<sctArcZap>& records, int day, int hour)
{
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].day == day && records[i].hour == hour)
            return i;
    }
    qFatal("no record %d %d", day, hour);
}

using Mutation = std::function<void(std::vector<sctArcZap>&)>;

struct Expected
{
    qint64 missing = 0;
    qsizetype gaps = 0;
    qint64 errorHours1 = 0;
    qint64 errorHours2 = 0;
    qint64 backwards = 0;
    qint64 duplicates = 0;
    qint64 clockJumps = 0;
    qsizetype negativeTerr = 0;
    qint64 tmin1 = 0;
    qsizetype problems = 0;
};

qsizetype countKind(const Report& r, Finding::Kind kind)
{
    return std::count_if(r.findings.begin(), r.findings.end(), [kind](const Finding& f) { return f.kind == kind; });
}

} // namespace

Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(Expected)

class TestDataQuality : public QObject
{
    Q_OBJECT

private slots:
    void findsWhatWasPut_data();
    void findsWhatWasPut();
    void gapStampsAndLinks();
    void errorRunsCarryTheLegend();
    void periodBounds_data();
    void periodBounds();
    void errorMeanings_data();
    void errorMeanings();
    void texts();
};

void TestDataQuality::findsWhatWasPut_data()
{
    QTest::addColumn<Mutation>("mutate");
    QTest::addColumn<Expected>("expected");

    QTest::newRow("clean") << Mutation([](auto&) {}) << Expected{};
    QTest::newRow("a gap of three hours") << Mutation([](auto& r) {
        r.erase(r.begin() + std::ptrdiff_t(indexOfHour(r, 6, 10)), r.begin() + std::ptrdiff_t(indexOfHour(r, 6, 13)));
    }) << Expected{ 3, 1, 0, 0, 0, 0, 0, 0, 0, 1 };
    QTest::newRow("two gaps") << Mutation([](auto& r) {
        r.erase(r.begin() + std::ptrdiff_t(indexOfHour(r, 7, 5)));
        r.erase(r.begin() + std::ptrdiff_t(indexOfHour(r, 5, 2)));
    }) << Expected{ 2, 2, 0, 0, 0, 0, 0, 0, 0, 2 };
    QTest::newRow("error hours on each contour") << Mutation([](auto& r) {
        r[indexOfHour(r, 5, 3)].Err[0] = 0x010;
        r[indexOfHour(r, 5, 4)].Err[0] = 0x010;
        r[indexOfHour(r, 6, 9)].Err[1] = 0x10000000;
    }) << Expected{ 0, 0, 2, 1, 0, 0, 0, 0, 0, 2 };
    QTest::newRow("a heat integrator steps back") << Mutation([](auto& r) {
        r[indexOfHour(r, 6, 12)].Q[1] -= 5.0f;
    }) << Expected{ 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
    QTest::newRow("a volume steps back, a mass wraps") << Mutation([](auto& r) {
        r[indexOfHour(r, 6, 12)].V[3] = 1.0f;
        for (std::size_t i = 0; i < indexOfHour(r, 7, 1); ++i)
            r[i].M[0] += 9990000.0f;
    }) << Expected{ 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
    QTest::newRow("a record read twice") << Mutation([](auto& r) {
        r.insert(r.begin() + 10, r[9]);
    }) << Expected{ 0, 0, 0, 0, 0, 1, 0, 0, 0, 1 };
    QTest::newRow("the clock set back") << Mutation([](auto& r) {
        std::swap(r[20], r[21]);
    }) << Expected{ 0, 0, 0, 0, 0, 0, 1, 0, 0, 1 };
    QTest::newRow("minutes beyond the day: negative Terr") << Mutation([](auto& r) {
        r[indexOfHour(r, 6, 8)].Tfmn[0] = 45;
    }) << Expected{ 0, 0, 0, 0, 0, 0, 0, 1, 45, 1 };
    QTest::newRow("minutes that fit: no Terr") << Mutation([](auto& r) {
        for (std::size_t i = indexOfHour(r, 6, 8); i < r.size(); ++i)
            r[i].T[0] -= 20;
        r[indexOfHour(r, 6, 8)].Tfmn[0] = 20;
    }) << Expected{ 0, 0, 0, 0, 0, 0, 0, 0, 20, 0 };
}

void TestDataQuality::findsWhatWasPut()
{
    QFETCH(Mutation, mutate);
    QFETCH(Expected, expected);

    std::vector<sctArcZap> records = cleanDays();
    mutate(records);
    const Report r = check(records, Period{}, 2);

    QCOMPARE(r.expectedHours, 72);
    QCOMPARE(r.missingHours, expected.missing);
    QCOMPARE(r.presentHours, 72 - expected.missing);
    QCOMPARE(qsizetype(r.gaps.size()), expected.gaps);
    QCOMPARE(r.errorHours[0], expected.errorHours1);
    QCOMPARE(r.errorHours[1], expected.errorHours2);
    QCOMPARE(r.errorHours[2], 0);
    QCOMPARE(r.backwards, expected.backwards);
    QCOMPARE(r.duplicates, expected.duplicates);
    QCOMPARE(r.clockJumps, expected.clockJumps);
    QCOMPARE(countKind(r, Finding::Kind::NegativeTerr), expected.negativeTerr);
    QCOMPARE(r.tminMinutes[0], expected.tmin1);
    QCOMPARE(r.problemCount(), expected.problems);
    QCOMPARE(r.clean(), expected.problems == 0);
    QCOMPARE(reportLines(r).size(), qsizetype(r.findings.size()) + 1);
    for (const Finding& f : r.findings) {
        QVERIFY(!findingText(f).isEmpty());
        QVERIFY(f.record < qint64(records.size()));
    }
}

void TestDataQuality::gapStampsAndLinks()
{
    std::vector<sctArcZap> records = cleanDays();
    records.erase(records.begin() + std::ptrdiff_t(indexOfHour(records, 6, 10)),
                  records.begin() + std::ptrdiff_t(indexOfHour(records, 6, 13)));
    const Report r = check(records, Period{}, 1);
    QCOMPARE(r.gaps.size(), std::size_t(1));
    QCOMPARE(r.gaps[0].first, QDateTime(QDate(2026, 1, 6), QTime(10, 0)));
    QCOMPARE(r.gaps[0].second, QDateTime(QDate(2026, 1, 6), QTime(12, 0)));
    const Finding& gap = r.findings.front();
    QCOMPARE(gap.kind, Finding::Kind::Gap);
    QCOMPARE(gap.count, 3);
    // The link goes to the record that ends the gap.
    QCOMPARE(int(records[std::size_t(gap.record)].hour), 13);
    QCOMPARE(findingText(gap), u"Нет записей: с 06.01.2026 10:00 по 06.01.2026 12:00 (3 ч)"_s);
}

void TestDataQuality::errorRunsCarryTheLegend()
{
    std::vector<sctArcZap> records = cleanDays();
    for (int h : { 3, 4, 5 })
        records[indexOfHour(records, 5, h)].Err[0] = 0x012;
    records[indexOfHour(records, 5, 6)].Err[0] = 0x100; // another code: another run
    const Report r = check(records, Period{}, 1);
    QCOMPARE(r.errorHours[0], 4);
    QCOMPARE(countKind(r, Finding::Kind::ErrorHours), 2);
    const auto it = std::find_if(r.findings.begin(), r.findings.end(),
                                 [](const Finding& f) { return f.kind == Finding::Kind::ErrorHours; });
    QCOMPARE(it->count, 3);
    QCOMPARE(findingText(*it), u"Контур 1, коды ошибок с 05.01.2026 03:00 по 05.01.2026 05:00 (3 ч): t1: 1 - (t < min); G1: 2 - (G > max)"_s);
}

void TestDataQuality::periodBounds_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<qint64>("expectedHours");
    QTest::addColumn<qint64>("missingHours");

    QTest::newRow("whole archive") << QDate() << QDate() << QDateTime() << qint64(72) << qint64(0);
    QTest::newRow("one day") << QDate(2026, 1, 6) << QDate(2026, 1, 6) << QDateTime() << qint64(24) << qint64(0);
    // Asked for days the archive does not cover: they are missing.
    QTest::newRow("a day before the archive") << QDate(2026, 1, 4) << QDate(2026, 1, 5) << QDateTime() << qint64(48)
                                              << qint64(24);
    // Hours still to come are not missing.
    QTest::newRow("running into now") << QDate(2026, 1, 7) << QDate(2026, 1, 9)
                                      << QDateTime(QDate(2026, 1, 8), QTime(5, 30)) << qint64(29) << qint64(5);
    QTest::newRow("a period after now") << QDate(2026, 2, 1) << QDate(2026, 2, 2)
                                        << QDateTime(QDate(2026, 1, 8), QTime(5, 30)) << qint64(0) << qint64(0);
}

void TestDataQuality::periodBounds()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QDateTime, now);
    QFETCH(qint64, expectedHours);
    QFETCH(qint64, missingHours);

    const Report r = check(cleanDays(), Period{ from, to, now }, 2);
    QCOMPARE(r.expectedHours, expectedHours);
    QCOMPARE(r.missingHours, missingHours);
    QCOMPARE(r.problemCount(), qsizetype(r.gaps.size()));
}

void TestDataQuality::errorMeanings_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<int>("contour");
    QTest::addColumn<QString>("meaning");

    QTest::newRow("none") << 0u << 0 << QString();
    QTest::newRow("t and G of the supply") << 0x012u << 0 << u"t1: 1 - (t < min); G1: 2 - (G > max)"_s;
    QTest::newRow("pressure of the return, contour 2")
        << 0x0C000000u << 1 << u"p4: C - (обе предыдущие ситуации в течение часа или аппаратный сбой)"_s;
    QTest::newRow("dt below zero") << 0x20000000u << 0 << u"dt: 2 - (dt < 0)"_s;
    QTest::newRow("a code the legend leaves to the manual") << 0x00000500u << 2 << u"p5: 5 - см. ТО"_s;
    QTest::newRow("both situations") << 0x00300003u << 0
                                     << u"G1: 3 - (обе предыдущие ситуации в течение часа); t2: 3 - (обе предыдущие ситуации в течение часа)"_s;
}

void TestDataQuality::errorMeanings()
{
    QFETCH(uint, word);
    QFETCH(int, contour);
    QFETCH(QString, meaning);
    QCOMPARE(errorMeaning(word, contour), meaning);
}

void TestDataQuality::texts()
{
    std::vector<sctArcZap> records = cleanDays();
    QCOMPARE(summaryText(check(records, Period{}, 2)),
             u"Период с 05.01.2026 01:00 по 08.01.2026 00:00: ожидалось 72 ч, есть 72 ч, нет 0 ч; замечаний нет"_s);
    records.insert(records.begin() + 5, records[4]);
    std::swap(records[30], records[31]);
    const Report r = check(records, Period{}, 2);
    const QStringList lines = reportLines(r);
    QVERIFY(lines.contains(u"Запись повторяется: 05.01.2026 05:00"_s));
    QVERIFY(lines.contains(u"Запись не по порядку времени: 06.01.2026 06:00 после 06.01.2026 07:00"_s));
    QVERIFY(lines.front().endsWith(u"замечаний: 2"_s));
    QVERIFY(check({}, Period{}, 1).clean());
}

QTEST_GUILESS_MAIN(TestDataQuality)
#include "TestDataQuality.moc"
