#include <bit>
#include <random>

#include <QTest>

#include "archive/DayMonRecord.h"

using namespace Qt::Literals::StringLiterals;
using B = u_data_daymon_full;

namespace {

// Every element its own value, so that a swapped index or a shifted field shows.
sctArcZap distinctRecord()
{
    sctArcZap r;
    r.hour = 0x11;
    r.day = 0x12;
    r.month = 0x0B;
    r.year = 0x0F;
    for (int i = 0; i < 3; ++i) {
        r.Q[i] = 1.0f + float(i);
        r.T[i] = 0x01020300u + std::uint32_t(i);
        r.Err[i] = 0xDEADBE00u + std::uint32_t(i);
        r.Tfmn[i] = std::uint8_t(0x21 + i);
        r.Tfmx[i] = std::uint8_t(0x31 + i);
        r.Tdtm[i] = std::uint8_t(0x41 + i);
        r.pre_Q[i] = 0.5f + float(i);
    }
    for (int i = 0; i < 6; ++i) {
        r.M[i] = 10.25f + float(i);
        r.t[i] = -20.5f - float(i);
        r.p[i] = 30.125f + float(i);
        r.pre_M[i] = 50.0f + float(i);
        r.V[i] = 60.75f + float(i);
        r.pre_V[i] = 70.0f - float(i);
    }
    r.Nstart = 0x55;
    r.Event = archive::kEventMonthly;
    r.minute = 0x2A;
    r.tail = {0x06, 0x99};
    r.arcCrc = 0xA1B2;
    r.t_cold = 4.5f;
    r.t_amb = -12.0f;
    r.extCrc = 0xC3D4;
    return r;
}

QByteArray le32(std::uint32_t v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

QByteArray lef(float v)
{
    return le32(std::bit_cast<std::uint32_t>(v));
}

QByteArray le16(std::uint16_t v)
{
    return le32(v).left(2);
}

B blobOf(int hour, int minute, int day, int month, int year, int event = archive::kEventDaily)
{
    B b;
    b.bytes[B::kHour] = std::uint8_t(hour);
    b.bytes[B::kMinute] = std::uint8_t(minute);
    b.bytes[B::kDay] = std::uint8_t(day);
    b.bytes[B::kMonth] = std::uint8_t(month);
    b.bytes[B::kYear] = std::uint8_t(year);
    b.bytes[B::kEvent] = std::uint8_t(event);
    return b;
}

} // namespace

class TestDayMonRecord : public QObject
{
    Q_OBJECT

private slots:
    void fieldsLandAtTheirBytes_data();
    void fieldsLandAtTheirBytes();
    void unusedBytesStayZero();
    void blobRoundTrip();
    void rowColumns_data();
    void rowColumns();
};

void TestDayMonRecord::fieldsLandAtTheirBytes_data()
{
    const sctArcZap r = distinctRecord();
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("stamp") << 0 << QByteArray::fromHex("11120b0f");
    QTest::newRow("Q1") << 4 << lef(r.Q[0]);
    QTest::newRow("Q3") << 12 << lef(r.Q[2]);
    QTest::newRow("M1") << 16 << lef(r.M[0]);
    QTest::newRow("M6") << 36 << lef(r.M[5]);
    QTest::newRow("t1") << 40 << lef(r.t[0]);
    QTest::newRow("t6") << 60 << lef(r.t[5]);
    QTest::newRow("p1") << 64 << lef(r.p[0]);
    QTest::newRow("p6") << 84 << lef(r.p[5]);
    QTest::newRow("T1") << 88 << QByteArray::fromHex("00030201");
    QTest::newRow("T3") << 96 << QByteArray::fromHex("02030201");
    QTest::newRow("Nstart, Err1 unaligned") << 100 << QByteArray::fromHex("5500beadde");
    QTest::newRow("Err3") << 109 << QByteArray::fromHex("02beadde");
    QTest::newRow("Event to Tdtm3") << 113 << QByteArray::fromHex("e22a212223313233414243");
    QTest::newRow("tail, archive check") << 124 << QByteArray::fromHex("0699b2a1");
    QTest::newRow("pre_Q1") << 128 << lef(r.pre_Q[0]);
    QTest::newRow("pre_Q3") << 136 << lef(r.pre_Q[2]);
    QTest::newRow("pre_M1") << 140 << lef(r.pre_M[0]);
    QTest::newRow("pre_M6") << 160 << lef(r.pre_M[5]);
    QTest::newRow("V1") << 164 << lef(r.V[0]);
    QTest::newRow("V6") << 184 << lef(r.V[5]);
    QTest::newRow("pre_V1") << 188 << lef(r.pre_V[0]);
    QTest::newRow("pre_V6") << 208 << lef(r.pre_V[5]);
    QTest::newRow("t_cold, t_amb") << 212 << lef(r.t_cold) + lef(r.t_amb);
    QTest::newRow("extension check") << 254 << le16(r.extCrc);
}

void TestDayMonRecord::fieldsLandAtTheirBytes()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    const B blob = archive::toDayMon(distinctRecord());
    const QByteArray actual(reinterpret_cast<const char*>(blob.bytes.data()) + offset, expected.size());
    QCOMPARE(actual.toHex(' '), expected.toHex(' '));
}

void TestDayMonRecord::unusedBytesStayZero()
{
    const B blob = archive::toDayMon(distinctRecord());
    for (std::size_t i = B::kExtension; i < B::kExtCrc; ++i)
        QCOMPARE(int(blob.bytes[i]), 0);
}

// Every byte read back lands where it came from; the extension bytes the record cannot hold
// come back as zeros.
void TestDayMonRecord::blobRoundTrip()
{
    std::mt19937 rng(3);
    for (int round = 0; round < 50; ++round) {
        B wire;
        for (std::uint8_t& b : wire.bytes)
            b = std::uint8_t(rng());
        B expected = wire;
        std::fill(expected.bytes.begin() + B::kExtension, expected.bytes.begin() + B::kExtCrc, 0);
        const B again = archive::toDayMon(archive::fromDayMon(wire));
        QVERIFY2(again == expected, qPrintable(u"round %1"_s.arg(round)));
    }
}

void TestDayMonRecord::rowColumns_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("expected"); // empty: invalid
    QTest::newRow("midnight") << 0 << 0 << 18 << 1 << 15 << u"2015-01-18 00:00"_s;
    QTest::newRow("minutes kept") << 13 << 45 << 5 << 7 << 23 << u"2023-07-05 13:45"_s;
    QTest::newRow("hour 24 is the next day") << 24 << 0 << 17 << 3 << 15 << u"2015-03-18 00:00"_s;
    QTest::newRow("hour 24 at the year's end") << 24 << 0 << 31 << 12 << 14 << u"2015-01-01 00:00"_s;
    QTest::newRow("hour 24 onto a leap day") << 24 << 0 << 28 << 2 << 16 << u"2016-02-29 00:00"_s;
    QTest::newRow("hour 24 keeps the minute") << 24 << 30 << 9 << 9 << 20 << u"2020-09-10 00:30"_s;
    QTest::newRow("hour 25") << 25 << 0 << 1 << 1 << 15 << QString();
    QTest::newRow("minute 60") << 10 << 60 << 1 << 1 << 15 << QString();
    QTest::newRow("month 13") << 0 << 0 << 1 << 13 << 15 << QString();
    QTest::newRow("month 0") << 0 << 0 << 1 << 0 << 15 << QString();
    QTest::newRow("day 0") << 0 << 0 << 0 << 1 << 15 << QString();
    QTest::newRow("31 April") << 0 << 0 << 31 << 4 << 15 << QString();
    QTest::newRow("29 February of a common year") << 0 << 0 << 29 << 2 << 15 << QString();
    QTest::newRow("hour 24 of a day that does not exist") << 24 << 0 << 30 << 2 << 16 << QString();
    QTest::newRow("erased record") << 0xFF << 0xFF << 0xFF << 0xFF << 0xFF << QString();
}

void TestDayMonRecord::rowColumns()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QString, expected);
    const B blob = blobOf(hour, minute, day, month, year, archive::kEventMonthly);
    const archive::DayMonRow row = archive::makeDayMonRow(2, 1234, blob);
    QCOMPARE(row.devType, 2);
    QCOMPARE(row.serial, 1234);
    QCOMPARE(row.recType, int(archive::kEventMonthly));
    QVERIFY(row.blob == blob);
    if (expected.isEmpty()) {
        QVERIFY(!row.dateTime.isValid());
    } else {
        QVERIFY(row.dateTime.isValid());
        QCOMPARE(row.dateTime.toString(u"yyyy-MM-dd HH:mm"_s), expected);
        QCOMPARE(row.dateTime.time().second(), 0);
    }
}

QTEST_GUILESS_MAIN(TestDayMonRecord)
#include "TestDayMonRecord.moc"
