
#include <algorithm>
#include <random>
#include <set>

#include <QtTest>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"
#include "base/DateUtil.h"

using namespace Qt::Literals::StringLiterals;
using archive::RecordStamp;

namespace {

sctArcZap rec(int year, int month, int day, int hour, int minute = 0, int event = archive::kEventHourly)
{
    sctArcZap r;
    r.year = std::uint8_t(year);
    r.month = std::uint8_t(month);
    r.day = std::uint8_t(day);
    r.hour = std::uint8_t(hour);
    r.minute = std::uint8_t(minute);
    r.Event = std::uint8_t(event);
    return r;
}

sctArcZap withValue(sctArcZap r, float q)
{
    r.Q[0] = q;
    r.M[5] = -q;
    r.Err[2] = 0xDEADBEEF;
    return r;
}

QString emptyTable(int, const QString& fallback)
{
    return fallback;
}

// Hourly records on consecutive hours from 1 Jan 2000, each carrying its number in Q1.
std::vector<sctArcZap> hourlyRun(int n)
{
    std::vector<sctArcZap> out;
    QDateTime t(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < n; ++i, t = t.addSecs(3600)) {
        const QDate d = t.date();
        out.push_back(withValue(rec(d.year() - 2000, d.month(), d.day(), t.time().hour()), float(i)));
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(sctArcZap)
Q_DECLARE_METATYPE(RecordStamp)

class TestArchiveRecords : public QObject
{
    Q_OBJECT

private slots:
    void compare_data();
    void compare();
    void identity_data();
    void identity();
    void recordDateTime_data();
    void recordDateTime();
    void cumulative();
    void energyUnitName_data();
    void energyUnitName();
    void add_data();
    void add();
    void sameStampOtherEventKept();
    void midnightSortsIntoNextDay();
    void sortKeepsEveryRecord();
    void indexAfterSortCopyAndClear();
    void bounds();
    void earliestLatest();
    void timeSpan();
};

void TestArchiveRecords::compare_data()
{
    QTest::addColumn<sctArcZap>("a");
    QTest::addColumn<sctArcZap>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("equal") << rec(15, 2, 5, 13) << rec(15, 2, 5, 13) << 0;
    QTest::newRow("event ignored") << rec(15, 2, 5, 13, 0, 0xA0) << rec(15, 2, 5, 13, 0, 0xE1) << 0;
    QTest::newRow("values ignored") << withValue(rec(15, 2, 5, 13), 1) << rec(15, 2, 5, 13) << 0;
    QTest::newRow("minute") << rec(15, 2, 5, 13, 1) << rec(15, 2, 5, 13, 0) << 1;
    QTest::newRow("hour before minute") << rec(15, 2, 5, 12, 59) << rec(15, 2, 5, 13, 0) << -1;
    QTest::newRow("day before hour") << rec(15, 2, 4, 23) << rec(15, 2, 5, 0) << -1;
    QTest::newRow("month before day") << rec(15, 1, 31, 23) << rec(15, 2, 1, 0) << -1;
    QTest::newRow("year before month") << rec(14, 12, 31, 23) << rec(15, 1, 1, 0) << -1;
    QTest::newRow("00:00 before 01:00 same day") << rec(15, 2, 5, 0) << rec(15, 2, 5, 1) << -1;
    QTest::newRow("00:00 after 23:00 day before") << rec(15, 2, 5, 0) << rec(15, 2, 4, 23) << 1;
    QTest::newRow("hour 24 before next 00:00") << rec(15, 2, 4, 24) << rec(15, 2, 5, 0) << -1;
}

void TestArchiveRecords::compare()
{
    QFETCH(sctArcZap, a);
    QFETCH(sctArcZap, b);
    QFETCH(int, expected);
    QCOMPARE(archive::compareRecords(a, b), expected);
    QCOMPARE(archive::compareRecords(b, a), -expected);
}

void TestArchiveRecords::identity_data()
{
    QTest::addColumn<sctArcZap>("b");
    QTest::addColumn<bool>("same");

    const sctArcZap a = rec(15, 2, 5, 13, 30, 0xA0);
    sctArcZap values = withValue(a, 7);
    values.t_amb = 21;
    values.extCrc = 0x1234;
    QTest::newRow("values differ") << values << true;
    QTest::newRow("event") << rec(15, 2, 5, 13, 30, 0xA1) << false;
    QTest::newRow("minute") << rec(15, 2, 5, 13, 31, 0xA0) << false;
    QTest::newRow("hour") << rec(15, 2, 5, 14, 30, 0xA0) << false;
    QTest::newRow("day") << rec(15, 2, 6, 13, 30, 0xA0) << false;
    QTest::newRow("month") << rec(15, 3, 5, 13, 30, 0xA0) << false;
    QTest::newRow("year") << rec(16, 2, 5, 13, 30, 0xA0) << false;
}

void TestArchiveRecords::identity()
{
    QFETCH(sctArcZap, b);
    QFETCH(bool, same);
    const sctArcZap a = rec(15, 2, 5, 13, 30, 0xA0);
    QCOMPARE(archive::sameRecord(a, b), same);

    ArchiveRecordList list;
    list.add(a, false);
    QCOMPARE(list.contains(b), same);
}

void TestArchiveRecords::recordDateTime_data()
{
    QTest::addColumn<sctArcZap>("r");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("year byte 15") << rec(15, 2, 5, 13, 7) << dateutil::calendarDateTime(QDate(2015, 2, 5), QTime(13, 7));
    QTest::newRow("midnight") << rec(15, 1, 1, 0) << dateutil::calendarDateTime(QDate(2015, 1, 1), QTime(0, 0));
    QTest::newRow("year byte 99") << rec(99, 12, 31, 23, 59) << dateutil::calendarDateTime(QDate(2099, 12, 31), QTime(23, 59));
    QTest::newRow("year byte 100") << rec(100, 1, 1, 1) << QDateTime();
    QTest::newRow("hour 24") << rec(15, 2, 5, 24) << QDateTime();
    QTest::newRow("minute 60") << rec(15, 2, 5, 1, 60) << QDateTime();
    QTest::newRow("29 Feb of a common year") << rec(15, 2, 29, 1) << QDateTime();
    QTest::newRow("zero record") << sctArcZap{} << QDateTime();
}

void TestArchiveRecords::recordDateTime()
{
    QFETCH(sctArcZap, r);
    QFETCH(QDateTime, expected);
    QCOMPARE(archive::recordDateTime(r), expected);
    QCOMPARE(archive::fullYear(r), int(r.year) + 2000);
}

void TestArchiveRecords::cumulative()
{
    sctArcZap r;
    r.Q = { 1.5f, 2.0f, 3.0f };
    r.pre_Q = { 1000.0f, 0.0f, -1.0f };
    r.M[5] = 10.0f;
    r.pre_M[5] = 0.25f;
    r.V[0] = 4.0f;
    r.pre_V[0] = 5.0f;
    QCOMPARE(archive::cumulativeQ(r, 0), 1001.5f);
    QCOMPARE(archive::cumulativeQ(r, 2), 2.0f);
    QCOMPARE(archive::cumulativeM(r, 5), 10.25f);
    QCOMPARE(archive::cumulativeV(r, 0), 9.0f);
    // A contour or channel out of range must not read beyond the arrays.
    QCOMPARE(archive::cumulativeQ(r, 3), 0.0f);
    QCOMPARE(archive::cumulativeM(r, -1), 0.0f);
    QCOMPARE(archive::cumulativeV(r, 6), 0.0f);
}

void TestArchiveRecords::energyUnitName_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("expected");

    QTest::newRow("0 table") << 0 << true << u"кВт*ч"_s;
    QTest::newRow("1 table") << 1 << true << u"ГДж"_s;
    QTest::newRow("2 table") << 2 << true << u"Гкал"_s;
    QTest::newRow("255 table") << 255 << true << u"Гкал"_s;
    QTest::newRow("0 fallback") << 0 << false << u"kW*h"_s;
    QTest::newRow("1 fallback") << 1 << false << u"GJ"_s;
    QTest::newRow("2 fallback") << 2 << false << u"Gcal"_s;
    QTest::newRow("255 fallback") << 255 << false << u"Gcal"_s;
}

void TestArchiveRecords::energyUnitName()
{
    QFETCH(int, code);
    QFETCH(bool, russian);
    QFETCH(QString, expected);
    const auto c = std::uint8_t(code);
    QCOMPARE(russian ? archive::EnergyUnitName(c) : archive::EnergyUnitName(c, &emptyTable), expected);
}

void TestArchiveRecords::add_data()
{
    QTest::addColumn<sctArcZap>("incoming");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<float>>("content"); // Q1 of each record in list order

    const sctArcZap held = rec(15, 2, 5, 13); // held at position 1 of three
    QTest::newRow("new, appended at end")
        << withValue(rec(15, 2, 5, 10), 9) << false << 0 << QList<float>{ 1, 2, 3, 9 };
    QTest::newRow("new with overwrite") << withValue(rec(15, 2, 5, 10), 9) << true << 0 << QList<float>{ 1, 2, 3, 9 };
    QTest::newRow("known, kept") << withValue(held, 9) << false << 0 << QList<float>{ 1, 2, 3 };
    QTest::newRow("known, replaced in place") << withValue(held, 9) << true << 1 << QList<float>{ 1, 9, 3 };
    // An all-zero stamp is a key like any other (files may hold 00/00/0000 lines).
    QTest::newRow("zero stamp, new") << withValue(sctArcZap{}, 9) << true << 0 << QList<float>{ 1, 2, 3, 9 };
}

void TestArchiveRecords::add()
{
    QFETCH(sctArcZap, incoming);
    QFETCH(bool, overwrite);
    QFETCH(int, result);
    QFETCH(QList<float>, content);

    ArchiveRecordList list;
    QCOMPARE(list.add(withValue(rec(15, 2, 5, 14), 1), false), 0);
    QCOMPARE(list.add(withValue(rec(15, 2, 5, 13), 2), false), 0);
    QCOMPARE(list.add(withValue(rec(15, 2, 5, 12), 3), false), 0);

    QCOMPARE(list.add(incoming, overwrite), result);
    QCOMPARE(list.add(incoming, false), 0);
    QList<float> got;
    for (const sctArcZap& r : list)
        got << r.Q[0];
    QCOMPARE(got, content);
    // A replacement takes the whole record, not only the values compared here.
    QCOMPARE(list[1].M[5], -list[1].Q[0]);
}

void TestArchiveRecords::sameStampOtherEventKept()
{
    ArchiveRecordList list;
    QCOMPARE(list.add(rec(15, 2, 5, 0, 0, archive::kEventDaily), false), 0);
    QCOMPARE(list.add(rec(15, 2, 5, 0, 0, archive::kEventHourly), false), 0);
    QCOMPARE(list.add(rec(15, 2, 5, 0, 0, archive::kEventDaily), true), 1);
    QCOMPARE(list.size(), std::size_t(2));
    // Equal stamps sort by Event, whatever order they came in.
    list.sort();
    QCOMPARE(list.size(), std::size_t(2));
    QCOMPARE(list[0].Event, archive::kEventHourly);
    QCOMPARE(list.indexOf(rec(15, 2, 5, 0, 0, archive::kEventHourly)), 0);
    QCOMPARE(list.indexOf(rec(15, 2, 5, 0, 0, archive::kEventDaily)), 1);
}

void TestArchiveRecords::midnightSortsIntoNextDay()
{
    ArchiveRecordList list;
    list.add(withValue(rec(15, 3, 1, 1), 3), false);
    list.add(withValue(rec(15, 2, 28, 22), 0), false);
    list.add(withValue(rec(15, 3, 1, 0), 2), false); // closes 28 Feb 23:00..24:00
    list.add(withValue(rec(15, 2, 28, 23), 1), false);
    QVERIFY(!list.isSorted());
    list.sort();
    QVERIFY(list.isSorted());
    QList<float> order;
    for (const sctArcZap& r : list)
        order << r.Q[0];
    QCOMPARE(order, (QList<float>{ 0, 1, 2, 3 }));
}

void TestArchiveRecords::sortKeepsEveryRecord()
{
    constexpr int n = 100000;
    std::vector<sctArcZap> run = hourlyRun(n);
    std::shuffle(run.begin(), run.end(), std::mt19937(20150205));

    ArchiveRecordList list;
    for (const sctArcZap& r : run)
        QCOMPARE(list.add(r, false), 0);
    list.sort();

    QCOMPARE(list.size(), std::size_t(n));
    for (std::size_t i = 0; i < list.size(); ++i) {
        // Q1 is the record's hour number, so this checks order and that values travelled along.
        if (list[i].Q[0] != float(i) || list[i].M[5] != -float(i))
            QFAIL(qPrintable(u"record %1 out of place or altered"_s.arg(i)));
        if (i > 0 && archive::compareRecords(list[i - 1], list[i]) >= 0)
            QFAIL(qPrintable(u"records %1 and %2 out of order"_s.arg(i - 1).arg(i)));
        if (list.indexOf(list[i]) != std::ptrdiff_t(i))
            QFAIL(qPrintable(u"index lost record %1"_s.arg(i)));
    }
}

void TestArchiveRecords::indexAfterSortCopyAndClear()
{
    std::vector<sctArcZap> run = hourlyRun(500);
    std::reverse(run.begin(), run.end()); // the meter hands records newest first

    ArchiveRecordList list;
    for (const sctArcZap& r : run)
        list.add(r, false);
    list.sort();
    for (std::size_t i = 0; i < list.size(); ++i)
        QCOMPARE(list.indexOf(list[i]), std::ptrdiff_t(i));

    // Duplicates are still found after the sort, and a replacement lands on the moved record.
    for (const sctArcZap& r : run)
        QCOMPARE(list.add(r, false), 0);
    QCOMPARE(list.size(), run.size());
    QCOMPARE(list.add(withValue(run[0], -1), true), 1);
    QCOMPARE(list.size(), run.size());
    QCOMPARE(list[run.size() - 1].Q[0], -1.0f);

    // Accounts are copied by value; the copy's index must be its own.
    ArchiveRecordList copy = list;
    QCOMPARE(copy.add(withValue(run[1], -2), true), 1);
    QCOMPARE(copy[run.size() - 2].Q[0], -2.0f);
    QCOMPARE(list[run.size() - 2].Q[0], float(run.size() - 2));

    list.clear();
    QVERIFY(list.isEmpty());
    QCOMPARE(list.indexOf(run[0]), std::ptrdiff_t(-1));
    QCOMPARE(list.add(run[0], true), 0);
    QCOMPARE(list.size(), std::size_t(1));
}

void TestArchiveRecords::bounds()
{
    ArchiveRecordList list;
    list.add(rec(15, 2, 5, 3), false);
    list.add(rec(15, 2, 5, 1), false);
    list.add(rec(15, 2, 5, 1, 0, archive::kEventSkipped), false);
    list.add(rec(15, 2, 5, 2), false);
    list.sort();
    QCOMPARE(list.lowerBound(rec(15, 2, 5, 1)), std::size_t(0));
    QCOMPARE(list.upperBound(rec(15, 2, 5, 1)), std::size_t(2));
    QCOMPARE(list.lowerBound(rec(15, 2, 5, 2, 30)), std::size_t(3));
    QCOMPARE(list.lowerBound(rec(15, 2, 6, 0)), std::size_t(4));
    QCOMPARE(list.upperBound(rec(14, 1, 1, 0)), std::size_t(0));
}

void TestArchiveRecords::earliestLatest()
{
    ArchiveRecordList list;
    QCOMPARE(list.earliestStamp(), RecordStamp{});
    QCOMPARE(list.latestStamp(), RecordStamp{});

    list.add(rec(15, 2, 5, 13, 30), false);
    list.add(rec(16, 1, 1, 0, 0), false);
    list.add(rec(14, 12, 31, 23, 59), false);
    list.add(rec(15, 6, 1, 2, 0), false);
    const RecordStamp earliest{ 59, 23, 31, 12, 14 };
    const RecordStamp latest{ 0, 0, 1, 1, 16 };
    QCOMPARE(list.earliestStamp(), earliest);
    QCOMPARE(list.latestStamp(), latest);
    list.sort();
    QCOMPARE(list.earliestStamp(), earliest);
    QCOMPARE(list.latestStamp(), latest);
}

void TestArchiveRecords::timeSpan()
{
    const QDateTime jan(QDate(2015, 1, 10), QTime(1, 0));
    const QDateTime feb(QDate(2015, 2, 10), QTime(1, 0));
    const QDateTime mar(QDate(2015, 3, 10), QTime(1, 0));

    RecordTimeSpan account;
    account.widen(QDateTime());
    QVERIFY(!account.hasEarliest() && !account.hasLatest());
    account.widen(feb);
    QVERIFY(account.isComplete());
    QCOMPARE(account.earliest(), feb);
    QCOMPARE(account.latest(), feb);

    RecordTimeSpan file;
    file.widen(mar);
    file.widen(jan);
    account.widen(file);
    QCOMPARE(account.earliest(), jan);
    QCOMPARE(account.latest(), mar);

    account.widen(RecordTimeSpan{});
    QCOMPARE(account.earliest(), jan);
    QCOMPARE(account.latest(), mar);

    ArchiveRecordList list;
    list.timeSpan() = account;
    list.clear();
    QVERIFY(!list.timeSpan().hasEarliest());
}

QTEST_GUILESS_MAIN(TestArchiveRecords)
#include "TestArchiveRecords.moc"
