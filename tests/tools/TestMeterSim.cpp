#include <bit>
#include <ctime>

#include <QTemporaryDir>
#include <QTest>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveRecordList.h"
#include "base/Crc16.h"
#include "base/DateUtil.h"
#include "link/MeterBlocks.h"
#include "link/MeterFrame.h"
#include "TestSupport.h"
#include "tools/metersim/HayesModem.h"
#include "tools/metersim/LineFaults.h"
#include "tools/metersim/Meter.h"
#include "tools/metersim/MeterBus.h"
#include "tools/metersim/MeterLine.h"
#include "tools/metersim/MeterRequest.h"
#include "tools/metersim/MeterSetup.h"

using namespace metersim;

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(14, 37, 5));

MeterSetup setupAt(std::uint8_t address, std::uint16_t serial)
{
    MeterSetup s;
    s.address = address;
    s.serial = serial;
    s.hours = 100;
    s.days = 10;
    s.months = 4;
    return s;
}

MeterContext contextFor(const Meter& m)
{
    MeterContext ctx;
    ctx.address = m.setup().address;
    for (int i = 0; i < 15; ++i)
        ctx.params[std::size_t(i)] = m.paramWord(i);
    return ctx;
}

// The request as the program puts it on the line, the zero byte left to the line.
QByteArray ask(Meter& m, const meter::Request& r)
{
    QByteArray frame = r.bytes;
    if (frame.endsWith('\0'))
        frame.chop(1);
    return m.answer(frame);
}

QByteArray data(const QByteArray& reply)
{
    return meter::ReplyData(reply);
}

QByteArray ask(MeterBus& bus, const meter::Request& r, QString* note = nullptr)
{
    QByteArray frame = r.bytes;
    if (frame.endsWith('\0'))
        frame.chop(1);
    return bus.answer(frame, note);
}

MeterContext contextAt(std::uint8_t address)
{
    MeterContext ctx;
    ctx.address = address;
    return ctx;
}

} // namespace

class TestMeterSim : public QObject
{
    Q_OBJECT

private slots:
    void exactReplies_data();
    void exactReplies();
    void silence_data();
    void silence();
    void everyReplyPassesTheCheck_data();
    void everyReplyPassesTheCheck();
    void parameterWordsByProtVersion_data();
    void parameterWordsByProtVersion();
    void fileRecords_data();
    void fileRecords();
    void configurationMemoryAndArchive();
    void hourlyBlocks();
    void emptyRecords();
    void dailyAndMonthlyBlocks();
    void contourBlocks();
    void dateSearch_data();
    void dateSearch();
    void clockSetting_data();
    void clockSetting();
    void reportPrinting();
    void frameSplitter();
    void meterFile();
    void archiveFromFile();
    void ownClockAndReport();
    void hoursKnowNoSummerTime();
    void modemDialogue();
    void modemFailures_data();
    void modemFailures();
    void linePacing();
    void faults();
    void busRouting_data();
    void busRouting();
    void busMetersKeepTheirOwnState();
    void busReportOneAtATime();
    void busConflicts_data();
    void busConflicts();
};

void TestMeterSim::exactReplies_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("serial");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("serial, 01") << 0x01 << 12345 << QByteArray(":010400C800019F\r\n")
                                << QByteArray(":0104043039000048\r\n");
    QTest::newRow("serial, 2A") << 0x2A << 777 << QByteArray(":2A0400C800018D\r\n")
                                << QByteArray(":2A04040309000039\r\n");
    QTest::newRow("broadcast answered with own address")
        << 0x2A << 777 << QByteArray(":000400C80001A0\r\n") << QByteArray(":2A04040309000039\r\n");
    QTest::newRow("hand-typed, bare LF") << 0x01 << 12345 << QByteArray(":010400C800019F\n")
                                         << QByteArray(":0104043039000048\r\n");
    QTest::newRow("archive version, 01") << 0x01 << 1 << QByteArray(":016601D2\r\n") << QByteArray(":01660200060B\r\n");
    QTest::newRow("archive version, 2A") << 0x2A << 1 << QByteArray(":2A6601C0\r\n") << QByteArray(":2A66020006F9\r\n");
    QTest::newRow("archive start, 01") << 0x01 << 1 << QByteArray(":016401000014\r\n") << QByteArray(":0164010074\r\n");
    QTest::newRow("archive start, 2A") << 0x2A << 1 << QByteArray(":2A6401000002\r\n") << QByteArray(":2A64010062\r\n");
    QTest::newRow("configuration size, 01")
        << 0x01 << 1 << QByteArray(":0114070600040000000128\r\n") << QByteArray(":0114040306000449\r\n");
    QTest::newRow("configuration size, 2A")
        << 0x2A << 1 << QByteArray(":2A14070600040000000116\r\n") << QByteArray(":2A14040306000437\r\n");
    QTest::newRow("search found, 01") << 0x01 << 1 << QByteArray(":0168020E0A031A14\r\n")
                                      << QByteArray(":0168000170\r\n");
    QTest::newRow("search not found, 2A")
        << 0x2A << 1 << QByteArray(":2A68020F0A031A01\r\n") << QByteArray(":2A68FFFF07\r\n");
}

void TestMeterSim::exactReplies()
{
    QFETCH(int, address);
    QFETCH(int, serial);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    Meter m(setupAt(std::uint8_t(address), std::uint16_t(serial)), kNow);
    QCOMPARE(m.answer(request), reply);
}

void TestMeterSim::silence_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("check wrong") << QByteArray(":010400C800019E\r\n");
    QTest::newRow("lower-case digits") << QByteArray(":010400c800019F\r\n");
    QTest::newRow("another meter") << meter::MakeFrame(2, 0x04, QByteArray("\x00\xC8\x00\x01", 4), false);
    QTest::newRow("odd digits") << QByteArray(":010400C80001F\r\n");
    QTest::newRow("no line end") << QByteArray(":010400C800019F");
    QTest::newRow("too short") << QByteArray(":01FF\r\n");
    QTest::newRow("unknown function") << meter::MakeFrame(1, 0x55, "\x01", false);
    QTest::newRow("register request too short") << meter::MakeFrame(1, 0x04, QByteArray("\x00\xC8", 2), false);
    QTest::newRow("unknown archive sub-command") << meter::MakeFrame(1, 0x64, QByteArray("\x30\x00\x00", 3), false);
    QTest::newRow("unknown file") << meter::MakeFrame(1, 0x14, QByteArray("\x07\x06\x00\x09\x00\x00\x00\x01", 8),
                                                      false);
    QTest::newRow("no registers") << meter::MakeFrame(1, 0x14, QByteArray("\x07\x06\x00\x01\x00\x00\x00\x00", 8),
                                                      false);
    QTest::newRow("impossible clock") << meter::MakeFrame(1, 0x67, QByteArray("\x01\x00\x00\x00\x1F\x02\x18", 7),
                                                          false);
}

void TestMeterSim::silence()
{
    QFETCH(QByteArray, frame);
    Meter m(setupAt(1, 12345), kNow);
    QVERIFY(m.answer(frame).isEmpty());
}

void TestMeterSim::everyReplyPassesTheCheck_data()
{
    QTest::addColumn<int>("address");
    QTest::newRow("01") << 0x01;
    QTest::newRow("A5") << 0xA5;
}

// Each request of the device operations, built by the program's own builders: the reply has
// the length the program reads, passes its check and carries the meter's address.
void TestMeterSim::everyReplyPassesTheCheck()
{
    QFETCH(int, address);
    Meter m(setupAt(std::uint8_t(address), 4321), kNow);
    const MeterContext ctx = contextFor(m);
    std::vector<meter::Request> requests = {
        meter::MakeReadRegister(ctx, 200),
        meter::MakeReadRegister(ctx, 163),
        meter::MakeReadFileRecord(ctx, 1, 114, 2),
        meter::MakeReadFileRecord(ctx, 1, 411, 1),
        meter::MakeReadFileRecord(ctx, 1, 36, 24),
        meter::MakeReadFileRecord(ctx, 4, 0, 1),
        meter::MakeReadFileRecord(ctx, 1, 496, 16),
        meter::MakeReadFileRecord(ctx, 5, 0, 16),
        meter::MakeFindByDate(ctx, QDateTime(QDate(2026, 3, 9), QTime(0, 0))),
        meter::MakeFindByDateHour(ctx, 3, QDate(2026, 3, 9)),
        meter::MakeSetClock(ctx, QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58))),
        meter::MakeArcCommand(ctx, 4, 30, meter::ArcUse::Report),
        meter::MakeArcCommand(ctx, 3, 40, meter::ArcUse::Report),
        meter::MakeArcCommand(ctx, 5, 0x101, meter::ArcUse::Report),
    };
    for (int i = 0; i < 15; ++i)
        requests.push_back(meter::MakeReadParam(ctx, std::uint8_t(i)));
    for (int sub = 0; sub <= 23; ++sub)
        requests.push_back(meter::MakeArcCommand(ctx, std::uint8_t(sub), sub == 3 ? 2 : 1));
    for (const meter::Request& r : requests) {
        const QByteArray reply = ask(m, r);
        QVERIFY2(!reply.isEmpty(), r.bytes.constData());
        QCOMPARE(reply.size(), r.replyLength);
        // The clock echo has a check of its own, tested with the clock setting.
        if (!r.bytes.startsWith(QByteArray(":" + ctx.addressText() + "67")))
            QVERIFY2(meter::CheckReply(reply) == meter::kReplyOk, reply.constData());
        MeterContext c;
        QCOMPARE(meter::ReplyAddress(c, reply), address);
        QVERIFY(reply.endsWith("\r\n"));
    }
}

void TestMeterSim::parameterWordsByProtVersion_data()
{
    QTest::addColumn<int>("prot");
    QTest::addColumn<int>("words"); // words 0..words-1 carry the meter's values
    QTest::newRow("6") << 6 << 2;
    QTest::newRow("11") << 11 << 9;
    QTest::newRow("12") << 12 << 11;
    QTest::newRow("13") << 13 << 14;
    QTest::newRow("15") << 15 << 15;
}

void TestMeterSim::parameterWordsByProtVersion()
{
    QFETCH(int, prot);
    QFETCH(int, words);
    MeterSetup s = setupAt(1, 1);
    s.params = { std::uint16_t(prot), 6, 3, 512, 0x1A05, 0x0102, 7, 0xBEEF, 255, 0, 0, 0x1111, 0x2222, 0x3333 };
    s.days = 20;
    s.months = 5;
    s.cfgArchive = 4;
    Meter m(s, kNow);
    const std::uint16_t expected[]
        = { std::uint16_t(prot), 6, 3, 512, 0x1A05, 0x0102, 7, 0xBEEF, 255, 20, 5, 0x1111, 0x2222, 0x3333, 4 };
    const MeterContext ctx = contextFor(m);
    for (int i = 0; i < 15; ++i) {
        const QByteArray reply = ask(m, meter::MakeReadParam(ctx, std::uint8_t(i)));
        QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
        QCOMPARE(meter::DataWord(data(reply), 0).value(), i < words ? expected[i] : 0);
    }
}

void TestMeterSim::fileRecords_data()
{
    QTest::addColumn<int>("soft");
    QTest::newRow("older firmware") << 0x0F10;
    QTest::newRow("below 0x1800") << 0x1750;
    QTest::newRow("current firmware") << 0x1A05;
}

// What Get Archive decodes from file 1 and file 4 is what the meter was given.
void TestMeterSim::fileRecords()
{
    QFETCH(int, soft);
    MeterSetup s = setupAt(1, 1);
    s.params[4] = std::uint16_t(soft);
    s.tCold = 7.25f;
    s.energyUnits = 1;
    s.pressure = std::array<bool, 3>{ false, true, true };
    s.formula = { 4, 7, 9 };
    Meter m(s, kNow);
    const MeterContext ctx = contextFor(m);

    const auto regs = [&](std::uint16_t file, std::uint16_t record, std::uint16_t count) {
        const QByteArray reply = ask(m, meter::MakeReadFileRecord(ctx, file, record, count));
        return meter::FileRegisterData(reply);
    };
    QCOMPARE(meter::TColdFromFile(regs(1, 114, 2), std::uint16_t(soft)).value(), 7.25f);
    QCOMPARE(meter::EnergyUnitsFromFile(regs(1, 411, 1)).value(), std::uint8_t(1));
    ArchiveParams params;
    QCOMPARE(meter::PressureFromFile(regs(1, 36, 24), params), 3);
    QCOMPARE(params.Pressure, (std::array<std::uint8_t, 3>{ 0, 1, 1 }));
    QCOMPARE(meter::ConfigSizeFromFile(regs(4, 0, 1), std::uint16_t(soft)).value(), std::uint16_t(1024));
    for (int c = 0; c < 3; ++c) {
        const QByteArray reply = ask(m, meter::MakeReadRegister(ctx, meter::kRegSystemType[c]));
        QCOMPARE(std::uint8_t(data(reply).at(0)), s.formula[std::size_t(c)]);
    }
}

// Read as Get Config reads it: 16 registers a request, the rest in the last one.
void TestMeterSim::configurationMemoryAndArchive()
{
    QTemporaryDir dir;
    QByteArray file(300, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 7 + 3);
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("m.bin")), file));

    for (const bool fromFile : { false, true }) {
        MeterSetup s = setupAt(1, 1);
        s.cfgArchive = 3;
        if (fromFile)
            s.cfgFile = dir.filePath(QStringLiteral("m.bin"));
        QString error;
        const auto m = Meter::create(s, kNow, &error);
        QVERIFY2(m, qPrintable(error));
        const MeterContext ctx = contextFor(*m);
        const int size = *meter::ConfigSizeFromFile(
            meter::FileRegisterData(ask(*m, meter::MakeReadFileRecord(ctx, 4, 0, 1))), ctx.softVersion());
        QCOMPARE(size, fromFile ? 300 : 1024);

        const auto readAll = [&](std::uint16_t fileNo, int bytes) {
            QByteArray out;
            for (int reg = 0; reg < bytes / 2; reg += 16) {
                const auto count = std::uint16_t(std::min(16, bytes / 2 - reg));
                out += meter::FileRegisterData(
                    ask(*m, meter::MakeReadFileRecord(ctx, fileNo, std::uint16_t(reg), count)));
            }
            return out;
        };
        const QByteArray memory = readAll(1, size);
        QCOMPARE(memory, m->configuration());
        if (fromFile) {
            // A memory from a file is served as it is.
            QCOMPARE(memory, file);
        } else {
            QCOMPARE(crc::modbus(memory), std::uint16_t(0));
            QCOMPARE(memory.mid(372, 12), QByteArray("TS-0004-0001"));
        }

        const int records = m->paramWord(14);
        QCOMPARE(records, 3);
        const QByteArray archive = readAll(5, records * size);
        QCOMPARE(archive.size(), records * size);
        for (int r = 0; r < records; ++r) {
            const QByteArray record = archive.mid(qsizetype(r) * size, size);
            QCOMPARE(crc::modbus(record), std::uint16_t(0));
            QVERIFY(record != memory);
        }
    }
}

void TestMeterSim::hourlyBlocks()
{
    Meter m(setupAt(1, 1), kNow);
    const MeterContext ctx = contextFor(m);
    sctArcZap newer;
    for (int n = 1; n <= 30; ++n) {
        sctArcZap r;
        QCOMPARE(meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 0, std::uint16_t(n)))), r),
                 meter::BlockStatus::Good);
        QVERIFY(meter::DecodeExtensionBlock(data(ask(m, meter::MakeArcCommand(ctx, 6, std::uint16_t(n)))), r));
        // Record 1 closes at the hour of the meter's start, each further one an hour earlier.
        QCOMPARE(archive::recordDateTime(r), dateutil::calendarDateTime(kNow.date(), QTime(14, 0)).addSecs(-3600 * (n - 1)));
        QCOMPARE(r.Event, archive::kEventHourly);
        const auto head = meter::DecodeRecordHead(data(ask(m, meter::MakeArcCommand(ctx, 2, std::uint16_t(n)))));
        QCOMPARE(*head, (std::array<std::uint8_t, 4>{ r.hour, r.day, r.month, r.year }));
        if (n > 1) {
            // Integrators only grow: the older record never holds more.
            for (int c = 0; c < 2; ++c) {
                QVERIFY(archive::cumulativeQ(r, c) < archive::cumulativeQ(newer, c));
                QVERIFY(archive::cumulativeM(r, 2 * c) < archive::cumulativeM(newer, 2 * c));
                QVERIFY(r.T[std::size_t(c)] < newer.T[std::size_t(c)]);
            }
            QVERIFY(r.pre_Q[0] > 0.0f);
        }
        newer = r;
    }
    // Record 0, where the report walk ends, is the newest record.
    QCOMPARE(data(ask(m, meter::MakeArcCommand(ctx, 0, 0))), data(ask(m, meter::MakeArcCommand(ctx, 0, 1))));
}

void TestMeterSim::emptyRecords()
{
    MeterSetup s = setupAt(1, 1);
    s.hours = 10;
    s.emptyHours = { 4, 5 };
    Meter m(s, kNow);
    const MeterContext ctx = contextFor(m);
    const QByteArray ff(4, '\xFF');
    for (const int n : { 4, 5, 11, 2048, 65535 }) {
        sctArcZap r;
        const QByteArray block = data(ask(m, meter::MakeArcCommand(ctx, 0, std::uint16_t(n))));
        QCOMPARE(block.size(), 128);
        QCOMPARE(meter::DecodeArchiveBlock(block, r), meter::BlockStatus::Empty);
        QCOMPARE(data(ask(m, meter::MakeArcCommand(ctx, 2, std::uint16_t(n)))), ff);
        for (int c = 0; c < 3; ++c) {
            const QByteArray cb = data(ask(m, meter::MakeArcCommand(ctx, std::uint8_t(15 + c), std::uint16_t(n))));
            const meter::ContourBlock check = meter::CheckContourBlock(cb, c);
            QVERIFY(check.valid);
            QVERIFY(check.empty);
        }
    }
    sctArcZap r;
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 0, 6))), r), meter::BlockStatus::Good);
    QCOMPARE(data(ask(m, meter::MakeArcCommand(ctx, 9, 10))), ff);
}

void TestMeterSim::dailyAndMonthlyBlocks()
{
    Meter m(setupAt(1, 1), kNow);
    const MeterContext ctx = contextFor(m);
    // Daily records close at hour 24 of their day, monthly ones at hour 24 of the month's last day.
    const struct
    {
        std::uint8_t block, head, ext;
        int number;
        QDate day;
        std::uint8_t event;
    } cases[] = {
        { 7, 9, 10, 0, QDate(2026, 3, 9), archive::kEventDaily },
        { 7, 9, 10, 9, QDate(2026, 2, 28), archive::kEventDaily },
        { 11, 13, 14, 0, QDate(2026, 2, 28), archive::kEventMonthly },
        { 11, 13, 14, 3, QDate(2025, 11, 30), archive::kEventMonthly },
    };
    for (const auto& c : cases) {
        const QByteArray arc = data(ask(m, meter::MakeArcCommand(ctx, c.block, std::uint16_t(c.number))));
        const QByteArray ext = data(ask(m, meter::MakeArcCommand(ctx, c.ext, std::uint16_t(c.number))));
        sctArcZap r;
        QCOMPARE(meter::DecodeArchiveBlock(arc, r), meter::BlockStatus::Good);
        QCOMPARE(r.Event, c.event);
        QCOMPARE(int(r.hour), 24);
        QCOMPARE(QDate(2000 + r.year, r.month, r.day), c.day);
        const u_data_daymon_full blob = meter::DayMonFromBlocks(arc, ext);
        QCOMPARE(archive::dayMonDateTime(blob), dateutil::calendarDateTime(c.day.addDays(1), QTime(0, 0)));
        QCOMPARE(data(ask(m, meter::MakeArcCommand(ctx, c.head, std::uint16_t(c.number)))), arc.first(4));
    }
    sctArcZap r;
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 7, 10))), r), meter::BlockStatus::Empty);
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 11, 4))), r), meter::BlockStatus::Empty);
}

void TestMeterSim::contourBlocks()
{
    Meter m(setupAt(1, 1), kNow);
    const MeterContext ctx = contextFor(m);
    for (const std::uint8_t first : { 15, 18, 21 }) {
        QByteArray blocks[3];
        for (int c = 0; c < 3; ++c) {
            blocks[c] = data(ask(m, meter::MakeArcCommand(ctx, std::uint8_t(first + c), 2)));
            QCOMPARE(blocks[c].size(), 104);
            const meter::ContourBlock check = meter::CheckContourBlock(blocks[c], c);
            QVERIFY(check.valid);
            QVERIFY(!check.empty);
            QVERIFY(!meter::CheckContourBlock(blocks[c], (c + 1) % 3).valid);
        }
        QVERIFY(meter::SameContourStamp(blocks[0], blocks[1]));
        QVERIFY(meter::SameContourStamp(blocks[0], blocks[2]));
    }
    // The contour values are those of the whole block of the same record.
    sctArcZap whole;
    meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 0, 2))), whole);
    meter::DecodeExtensionBlock(data(ask(m, meter::MakeArcCommand(ctx, 6, 2))), whole);
    const QByteArray c1 = data(ask(m, meter::MakeArcCommand(ctx, 16, 2)));
    const auto le32 = [&](int at) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
            v = v << 8 | std::uint8_t(c1[at + k]);
        return v;
    };
    QCOMPARE(std::bit_cast<float>(le32(16)), whole.Q[1]);
    QCOMPARE(std::bit_cast<float>(le32(20)), whole.pre_Q[1]);
    QCOMPARE(std::bit_cast<float>(le32(24)), whole.M[2]);
    QCOMPARE(std::bit_cast<float>(le32(60)), whole.t[3]);
    QCOMPARE(le32(80), whole.T[1]);
    QCOMPARE(std::uint8_t(c1[8]), whole.hour);

    // A firmware fault on request: contour 2 of an hourly record names contour 3, check intact.
    MeterSetup s = setupAt(1, 1);
    s.wrongContourHours = { 2 };
    Meter faulty(s, kNow);
    const QByteArray wrong = data(ask(faulty, meter::MakeArcCommand(ctx, 16, 2)));
    QCOMPARE(crc::modbus(wrong), std::uint16_t(0));
    QVERIFY(!meter::CheckContourBlock(wrong, 1).valid);
    QVERIFY(meter::CheckContourBlock(data(ask(faulty, meter::MakeArcCommand(ctx, 16, 3))), 1).valid);
    QVERIFY(meter::CheckContourBlock(data(ask(faulty, meter::MakeArcCommand(ctx, 19, 2))), 1).valid);
}

void TestMeterSim::dateSearch_data()
{
    QTest::addColumn<int>("soft");
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("yearByte"); // what 68 00 carries for 2026
    QTest::newRow("current firmware") << 0x1A05 << 0x0102 << 26;
    QTest::newRow("older firmware counts from 2020") << 0x0305 << 0x0010 << 6;
    QTest::newRow("the build that does not") << 0x0219 << 0x0003 << 26;
}

void TestMeterSim::dateSearch()
{
    QFETCH(int, soft);
    QFETCH(int, build);
    QFETCH(int, yearByte);
    MeterSetup s = setupAt(1, 1);
    s.params[4] = std::uint16_t(soft);
    s.params[5] = std::uint16_t(build);
    Meter m(s, kNow);
    const MeterContext ctx = contextFor(m);

    const meter::Request byDate = meter::MakeFindByDate(ctx, QDateTime(QDate(2026, 3, 9), QTime(0, 0)));
    QCOMPARE(byDate.bytes.mid(13, 2), QByteArray::number(yearByte, 16).rightJustified(2, '0').toUpper());
    // 2026-03-09 00:00 is 38 hours before 14:00 on the 10th: record 39.
    const QByteArray reply = ask(m, byDate);
    QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
    QCOMPARE(meter::ReplyWord(reply).value(), std::uint16_t(39));
    sctArcZap r;
    meter::DecodeArchiveBlock(data(ask(m, meter::MakeArcCommand(ctx, 0, 39))), r);
    meter::FixOldFirmwareYear(r, ctx.softVersion());
    QCOMPARE(archive::recordDateTime(r), dateutil::calendarDateTime(QDate(2026, 3, 9), QTime(0, 0)));

    QCOMPARE(meter::ReplyWord(ask(m, meter::MakeFindByDateHour(ctx, 3, QDate(2026, 3, 10)))).value(),
             std::uint16_t(12));
    // Before the oldest record, after the newest, and a day the archive does not reach.
    QCOMPARE(meter::ReplyWord(ask(m, meter::MakeFindByDateHour(ctx, 15, QDate(2026, 3, 10)))).value(),
             meter::kRecordNotFound);
    QCOMPARE(meter::ReplyWord(ask(m, meter::MakeFindByDateHour(ctx, 3, QDate(2026, 1, 10)))).value(),
             meter::kRecordNotFound);
}

void TestMeterSim::clockSetting_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::newRow("1999") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 30));
    QTest::newRow("2024") << QDateTime(QDate(2024, 2, 29), QTime(1, 2, 3));
}

void TestMeterSim::clockSetting()
{
    QFETCH(QDateTime, when);
    Meter m(setupAt(0x17, 1), kNow);
    MeterContext ctx; // the operation may still address 00
    const QByteArray reply = ask(m, meter::MakeSetClock(ctx, when));
    // Accepted as Set Date and Time accepts it: the sum of 1..18 plus the check is 0.
    QCOMPARE(reply.size(), 23);
    std::uint8_t sum = 0;
    for (int i = 1; i <= 18; ++i)
        sum = std::uint8_t(sum + std::uint8_t(reply[i]));
    sum = std::uint8_t(sum + std::uint8_t(QByteArray::fromHex(reply.mid(19, 2)).at(0)));
    QCOMPARE(sum, std::uint8_t(0));
    QCOMPARE(reply.mid(1, 6), QByteArray("176701"));
    QVERIFY(std::abs(m.clock().secsTo(dateutil::calendarDateTime(when))) <= 2);
}

void TestMeterSim::reportPrinting()
{
    Meter m(setupAt(1, 1), kNow);
    const MeterContext ctx = contextFor(m);
    // Without the end set first, sub-command 3 is the hourly extension block.
    QCOMPARE(ask(m, meter::MakeArcCommand(ctx, 3, 5)).size(), 267);
    QCOMPARE(ask(m, meter::MakeArcCommand(ctx, 4, 1, meter::ArcUse::Report)).size(), 13);
    QCOMPARE(ask(m, meter::MakeArcCommand(ctx, 3, 24, meter::ArcUse::Report)).size(), 13);
    QVERIFY(!m.printing());
    QCOMPARE(ask(m, meter::MakeArcCommand(ctx, 5, 0x100, meter::ArcUse::Report)).size(), 13);
    QVERIFY(m.printing());
    QByteArray text;
    while (m.printing())
        text += m.takeReport(100);
    QVERIFY(text.startsWith("\x1B@"));
    QVERIFY(text.endsWith('\x0C'));
    // 24 rows, one an hour, from record 24 up to record 1.
    QCOMPARE(text.count("\r\n"), 24 + 8);
    QVERIFY(text.contains(" 14 "));

    // A new request stops the printing.
    ask(m, meter::MakeArcCommand(ctx, 5, 0x100, meter::ArcUse::Report));
    QVERIFY(m.printing());
    ask(m, meter::MakeReadRegister(ctx, 200));
    QVERIFY(!m.printing());
}

void TestMeterSim::frameSplitter()
{
    FrameSplitter s;
    QList<QByteArray> frames;
    const auto feed = [&](QByteArrayView bytes) {
        for (const char c : bytes) {
            if (s.feed(c))
                frames << s.frame();
        }
    };
    feed(QByteArrayView(":0104\r\n\0noise:01", 16));
    feed(":02\r\n");
    feed(QByteArray(QByteArray(FrameSplitter::kMaxFrame + 10, 'A') + "\r\n"));
    feed(QByteArray(":" + QByteArray(FrameSplitter::kMaxFrame + 10, 'A') + "\r\n:03\n"));
    QCOMPARE(frames, (QList<QByteArray>{ ":0104\r\n", ":02\r\n", ":03\n" }));
}

void TestMeterSim::meterFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.ini"));
    QVERIFY(testsupport::writeFile(path,
                                   "[Meter]\n# a comment\nSerial = 777\naddress=2a\nPROTVERSION=0x0C\n"
                                   "EmptyHours = 3, 7-9\nFormula2 = 5\nTCold=4.5\nCfg = mem.bin\n"));
    MeterSetup s;
    QString error;
    QVERIFY2(loadMeterFile(s, path, &error), qPrintable(error));
    QCOMPARE(s.serial, std::uint16_t(777));
    QCOMPARE(s.address, std::uint8_t(0x2A));
    QCOMPARE(s.protVersion(), std::uint16_t(12));
    QCOMPARE(s.emptyHours, (std::set<int>{ 3, 7, 8, 9 }));
    QCOMPARE(s.formula[1], std::uint8_t(5));
    QCOMPARE(s.tCold.value(), 4.5f);
    QCOMPARE(s.cfgFile, dir.filePath(QStringLiteral("mem.bin")));

    const QList<QByteArray> bad
        = { "Serial = 70000\n", "Colour = red\n", "Serial\n", "Address = 1FF\n", "EmptyHours = 9-3\n" };
    for (const QByteArray& line : bad) {
        QVERIFY(testsupport::writeFile(path, "Serial = 1\n" + line));
        QVERIFY2(!loadMeterFile(s, path, &error), line.constData());
        QVERIFY2(error.contains(QStringLiteral(":2:")), qPrintable(error));
    }
}

// A file written in kW*h is served in Gcal, newest record first, with daily records from midnight.
void TestMeterSim::archiveFromFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tsa"));
    ArchiveParams params;
    params.SerialNumber = 4242;
    params.EnergyUnits = archive::kEnergyKWh;
    ArchiveRecordList records;
    for (int h = 0; h < 30; ++h) {
        sctArcZap r;
        const QDateTime at = QDateTime(QDate(2025, 6, 1), QTime(0, 0)).addSecs(3600 * h);
        r.hour = std::uint8_t(at.time().hour());
        r.day = std::uint8_t(at.date().day());
        r.month = std::uint8_t(at.date().month());
        r.year = std::uint8_t(at.date().year() - 2000);
        r.Event = archive::kEventHourly;
        r.Q[0] = 1163.0f * float(h + 1);
        records.add(r, false);
    }
    QVERIFY(testsupport::writeFile(path, archive::archiveFileBytes(params, records, 4242)));

    MeterSetup s = setupAt(1, 1);
    s.tsaFile = path;
    QString error;
    const auto m = Meter::create(s, kNow, &error);
    QVERIFY2(m, qPrintable(error));
    const MeterContext ctx = contextFor(*m);
    sctArcZap r;
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(*m, meter::MakeArcCommand(ctx, 0, 1))), r), meter::BlockStatus::Good);
    QCOMPARE(archive::recordDateTime(r), dateutil::calendarDateTime(QDate(2025, 6, 2), QTime(5, 0)));
    QCOMPARE(r.Q[0], 30.0f);
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(*m, meter::MakeArcCommand(ctx, 0, 30))), r), meter::BlockStatus::Good);
    QCOMPARE(r.Q[0], 1.0f);
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(*m, meter::MakeArcCommand(ctx, 0, 31))), r), meter::BlockStatus::Empty);
    QCOMPARE(meter::ReplyWord(ask(*m, meter::MakeFindByDateHour(ctx, 0, QDate(2025, 6, 2)))).value(), std::uint16_t(6));
    // The midnight of 2 June closes 1 June.
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(*m, meter::MakeArcCommand(ctx, 7, 0))), r), meter::BlockStatus::Good);
    QCOMPARE(QDate(2000 + r.year, r.month, r.day), QDate(2025, 6, 1));
    QCOMPARE(r.Q[0], 25.0f);

    s.tsaFile = dir.filePath(QStringLiteral("missing.tsa"));
    QVERIFY(!Meter::create(s, kNow, &error));
    QVERIFY(error.contains(QStringLiteral("missing.tsa")));
}

void TestMeterSim::ownClockAndReport()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("m.ini"));
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("r.prn")), "\x1B@REPORT\x0C"));
    QVERIFY(testsupport::writeFile(ini, "Clock = 2025-01-01 10:30:00\nReport = r.prn\n"));
    MeterSetup s;
    QString error;
    QVERIFY2(loadMeterFile(s, ini, &error), qPrintable(error));
    const auto m = Meter::create(s, kNow, &error);
    QVERIFY2(m, qPrintable(error));
    const MeterContext ctx = contextFor(*m);
    // The archive ends at the hour of the meter's clock, not the computer's.
    sctArcZap r;
    meter::DecodeArchiveBlock(data(ask(*m, meter::MakeArcCommand(ctx, 0, 1))), r);
    QCOMPARE(archive::recordDateTime(r), dateutil::calendarDateTime(QDate(2025, 1, 1), QTime(10, 0)));
    ask(*m, meter::MakeArcCommand(ctx, 5, 0, meter::ArcUse::Report));
    QCOMPARE(m->takeReport(1000), QByteArray("\x1B@REPORT\x0C"));
    QVERIFY(!m->printing());

    QVERIFY(testsupport::writeFile(ini, "Clock = yesterday\n"));
    QVERIFY(!loadMeterFile(s, ini, &error));
}

// A meter's archive has every hour, also the one a summer-time change skips on the computer.
void TestMeterSim::hoursKnowNoSummerTime()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    MeterSetup s;
    s.clock = QDateTime(QDate(2026, 3, 29), QTime(4, 10));
    QString error;
    const auto m = Meter::create(s, kNow, &error);
    QList<int> hours;
    for (int n = 1; m && n <= 5; ++n)
        hours << int(m->archive().record(ArchiveKind::Hourly, n).value_or(sctArcZap{}).hour);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    ::tzset();
    QVERIFY2(m, qPrintable(error));
    QCOMPARE(hours, (QList<int>{4, 3, 2, 1, 0}));
}

void TestMeterSim::modemDialogue()
{
    constexpr std::int64_t ms = HayesModem::kSecond / 1000;
    HayesModem modem;
    std::int64_t t = 0;
    const auto type = [&](QByteArrayView text) {
        for (const char c : text)
            modem.fromLine(c, t += ms);
    };
    type("AT\r");
    QCOMPARE(modem.takeForLine(), QByteArray("AT\r\r\nOK\r\n"));
    type("AT&F &D0 &S0 \\Q0 E0 Q0 S0=0 +IPR=9600 &W0\r");
    QVERIFY(modem.takeForLine().endsWith("\r\nOK\r\n"));
    QVERIFY(!modem.echo());
    type("ATDT143\r");
    modem.tick(t + ms);
    QCOMPARE(modem.takeForLine(), QByteArray());
    t += HayesModem::kSecond;
    modem.tick(t);
    QCOMPARE(modem.takeForLine(), QByteArray("\r\nCONNECT 9600\r\n"));
    QVERIFY(modem.dataMode());
    type(":010400C800019F\r\n");
    QCOMPARE(modem.takeForMeter(), QByteArray(":010400C800019F\r\n"));
    modem.fromMeter("reply");
    QCOMPARE(modem.takeForLine(), QByteArray("reply"));

    // "+++" too soon after data is data.
    type("+++");
    t += 2 * HayesModem::kSecond;
    modem.tick(t);
    QVERIFY(modem.dataMode());
    modem.takeForMeter();
    // After a second of silence, and a second after it, the commands are back.
    t += HayesModem::kSecond;
    modem.fromLine('+', t);
    modem.fromLine('+', t + ms);
    modem.fromLine('+', t + 2 * ms);
    modem.tick(t + 500 * ms);
    QVERIFY(modem.dataMode());
    modem.tick(t + 1100 * ms);
    QVERIFY(!modem.dataMode());
    QCOMPARE(modem.takeForLine(), QByteArray("\r\nOK\r\n"));
    modem.fromMeter("late reply");
    QCOMPARE(modem.takeForLine(), QByteArray());
    t += 2 * HayesModem::kSecond;
    type("ATH\r");
    QCOMPARE(modem.takeForLine(), QByteArray("\r\nOK\r\n"));
    QVERIFY(!modem.connected());
}

void TestMeterSim::modemFailures_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("busy") << int(DialFailure::Busy) << QByteArray("\r\nBUSY\r\n");
    QTest::newRow("no carrier") << int(DialFailure::NoCarrier) << QByteArray("\r\nNO CARRIER\r\n");
    QTest::newRow("silent") << int(DialFailure::Silent) << QByteArray();
}

void TestMeterSim::modemFailures()
{
    QFETCH(int, failure);
    QFETCH(QByteArray, result);
    HayesModem::Options o;
    o.failure = DialFailure(failure);
    HayesModem modem(o);
    for (const char c : QByteArrayView("ATE0\rATDT143\r"))
        modem.fromLine(c, 0);
    modem.takeForLine();
    modem.tick(10 * HayesModem::kSecond);
    QCOMPARE(modem.takeForLine(), result);
    QVERIFY(!modem.dataMode());
    // The modem still takes commands.
    for (const char c : QByteArrayView("AT\r"))
        modem.fromLine(c, 11 * HayesModem::kSecond);
    QCOMPARE(modem.takeForLine(), QByteArray("\r\nOK\r\n"));
}

void TestMeterSim::linePacing()
{
    Meter m(setupAt(1, 12345), kNow);
    LineFaults faults;
    MeterLine::Options o;
    o.byteTime = 10 * 1000000000LL / 9600;
    MeterLine line(m, faults, o);
    const QByteArray request(":010400C800019F\r\n", 18); // with the zero byte
    line.received(request, 0);
    // The frame has not crossed the line before its 17th byte, the LF, has.
    line.advance(16 * o.byteTime);
    QVERIFY(line.pending(16 * o.byteTime).isEmpty());
    QCOMPARE(line.nextWake(16 * o.byteTime).value(), 17 * o.byteTime);
    const std::int64_t arrived = 17 * o.byteTime;
    line.advance(arrived);
    QVERIFY(line.pending(arrived).isEmpty());
    // The reply's bytes come one line time apart.
    QCOMPARE(line.pending(arrived + 5 * o.byteTime), QByteArrayView(":0104"));
    line.consumed(5);
    QCOMPARE(line.pending(arrived + 5 * o.byteTime).size(), 0);
    QCOMPARE(line.pending(arrived + 19 * o.byteTime), QByteArrayView("043039000048\r\n"));

    // Unpaced, the reply is there at once.
    MeterLine fast(m, faults, MeterLine::Options{});
    fast.received(request, 0);
    fast.advance(0);
    QCOMPARE(fast.pending(0), QByteArrayView(":0104043039000048\r\n"));
}

void TestMeterSim::faults()
{
    const QByteArray reply = meter::MakeFrame(1, 0x64, QByteArray(129, '\x80'), false);
    for (const char* kind : { "garble", "truncate", "drop" }) {
        LineFaults f;
        QVERIFY(f.add(QStringLiteral("%1:1").arg(QLatin1String(kind)), nullptr));
        for (int i = 0; i < 200; ++i) {
            const QByteArray out = f.apply(reply);
            if (out.isEmpty()) {
                QCOMPARE(kind, "drop");
                continue;
            }
            QVERIFY(out != reply);
            QVERIFY(meter::CheckReply(out) != meter::kReplyOk);
        }
    }
    // The same seed strikes the same replies.
    LineFaults a;
    LineFaults b;
    QVERIFY(a.add(QStringLiteral("drop:0.5"), nullptr));
    QVERIFY(b.add(QStringLiteral("drop:0.5"), nullptr));
    a.seed(42);
    b.seed(42);
    int dropped = 0;
    for (int i = 0; i < 100; ++i) {
        const QByteArray x = a.apply(reply);
        QCOMPARE(b.apply(reply), x);
        dropped += x.isEmpty() ? 1 : 0;
    }
    QVERIFY(dropped > 20 && dropped < 80);
    for (const char* bad : { "garble", "garble:2", "flood:0.1", "drop:x" })
        QVERIFY(!LineFaults().add(QLatin1String(bad), nullptr));
}

void TestMeterSim::busRouting_data()
{
    QTest::addColumn<int>("meters");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("serial"); // 0: no reply
    QTest::addColumn<QString>("note");
    const auto serialAt = [](std::uint8_t a) { return meter::MakeReadRegister(contextAt(a), 200).bytes.chopped(1); };
    QTest::newRow("first of two") << 2 << serialAt(0x01) << 1111 << QStringLiteral("meter 01111 at 01: register 200");
    QTest::newRow("second of two") << 2 << serialAt(0x2A) << 2222 << QStringLiteral("meter 02222 at 2A: register 200");
    QTest::newRow("nobody at 05") << 2 << serialAt(0x05) << 0
                                  << QStringLiteral("for address 05, no meter there, no reply");
    QTest::newRow("00 on a bus") << 2 << serialAt(0x00) << 0
                                 << QStringLiteral("for address 00 on a line of 2 meters, no reply");
    QTest::newRow("bad check on a bus") << 2 << QByteArray(":010400C800019E\r\n") << 0
                                        << QStringLiteral("not a valid frame, no reply");
    // A lone meter is what it always was: 00 reaches it, notes name no meter.
    QTest::newRow("00 to a lone meter") << 1 << serialAt(0x00) << 1111 << QStringLiteral("register 200");
    QTest::newRow("another address, lone meter")
        << 1 << serialAt(0x2A) << 0 << QStringLiteral("for address 2A, no reply");
}

void TestMeterSim::busRouting()
{
    QFETCH(int, meters);
    QFETCH(QByteArray, frame);
    QFETCH(int, serial);
    QFETCH(QString, note);
    Meter a(setupAt(0x01, 1111), kNow);
    Meter b(setupAt(0x2A, 2222), kNow);
    MeterBus bus(meters == 1 ? std::vector<Meter*>{ &a } : std::vector<Meter*>{ &a, &b });
    QString said;
    const QByteArray reply = bus.answer(frame, &said);
    QCOMPARE(said, note);
    if (serial == 0) {
        QVERIFY2(reply.isEmpty(), reply.constData());
        return;
    }
    QCOMPARE(meter::CheckReply(reply), meter::kReplyOk);
    QCOMPARE(meter::DataWord(data(reply), 0).value(), std::uint16_t(serial));
    // The reply carries the answering meter's own address.
    QCOMPARE(reply.mid(1, 2), serial == 1111 ? QByteArray("01") : QByteArray("2A"));
}

// Archives, parameter words and clocks belong to each meter: what one is asked or told does not
// reach the other.
void TestMeterSim::busMetersKeepTheirOwnState()
{
    MeterSetup sa = setupAt(0x01, 1111);
    MeterSetup sb = setupAt(0x02, 2222);
    sb.hours = 30;
    sb.params[3] = 40;
    sb.clock = QDateTime(QDate(2025, 1, 1), QTime(10, 30));
    Meter a(sa, kNow);
    Meter b(sb, kNow);
    MeterBus bus({ &a, &b });
    const MeterContext ca = contextFor(a);
    const MeterContext cb = contextFor(b);

    QCOMPARE(meter::DataWord(data(ask(bus, meter::MakeReadParam(ca, 3))), 0).value(), std::uint16_t(2048));
    QCOMPARE(meter::DataWord(data(ask(bus, meter::MakeReadParam(cb, 3))), 0).value(), std::uint16_t(40));
    sctArcZap r;
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(bus, meter::MakeArcCommand(ca, 0, 31))), r), meter::BlockStatus::Good);
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(bus, meter::MakeArcCommand(cb, 0, 31))), r), meter::BlockStatus::Empty);
    QCOMPARE(meter::DecodeArchiveBlock(data(ask(bus, meter::MakeArcCommand(cb, 0, 1))), r), meter::BlockStatus::Good);
    QCOMPARE(archive::recordDateTime(r), dateutil::calendarDateTime(QDate(2025, 1, 1), QTime(10, 0)));

    const QDateTime before = a.clock();
    const QDateTime when(QDate(2024, 2, 29), QTime(1, 2, 3));
    QVERIFY(!ask(bus, meter::MakeSetClock(cb, when)).isEmpty());
    QVERIFY(std::abs(b.clock().secsTo(dateutil::calendarDateTime(when))) <= 2);
    QVERIFY(std::abs(a.clock().secsTo(before)) <= 2);
}

// A report is printed by the meter asked for it, headed with its serial number; asking the other
// meter ends it, as the line carries one talker at a time.
void TestMeterSim::busReportOneAtATime()
{
    Meter a(setupAt(0x01, 1111), kNow);
    Meter b(setupAt(0x02, 2222), kNow);
    MeterBus bus({ &a, &b });
    const auto print = [&](const MeterContext& ctx) {
        ask(bus, meter::MakeArcCommand(ctx, 4, 1, meter::ArcUse::Report));
        ask(bus, meter::MakeArcCommand(ctx, 3, 5, meter::ArcUse::Report));
        ask(bus, meter::MakeArcCommand(ctx, 5, 0x100, meter::ArcUse::Report));
    };
    print(contextAt(0x02));
    QVERIFY(b.printing());
    QVERIFY(!a.printing());
    QByteArray text;
    while (bus.printing())
        text += bus.takeReport(100);
    QVERIFY(text.contains("02222"));
    QVERIFY(!text.contains("01111"));

    print(contextAt(0x02));
    QVERIFY(bus.printing());
    QVERIFY(!ask(bus, meter::MakeReadRegister(contextAt(0x01), 200)).isEmpty());
    QVERIFY(!bus.printing());
    // Nobody takes a request for an absent meter, so nothing it says stops a report.
    print(contextAt(0x01));
    QVERIFY(ask(bus, meter::MakeReadRegister(contextAt(0x07), 200)).isEmpty());
    QVERIFY(a.printing());
}

void TestMeterSim::busConflicts_data()
{
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<QString>("conflict"); // a part of the message; empty: none
    QTest::newRow("one meter at 00") << QList<int>{ 0x00 } << QString();
    QTest::newRow("distinct") << QList<int>{ 0x01, 0x02, 0xFF } << QString();
    QTest::newRow("same address") << QList<int>{ 0x01, 0x02, 0x02 } << QStringLiteral("m1 and m2 both have address 02");
    QTest::newRow("00 among several") << QList<int>{ 0x01, 0x00 } << QStringLiteral("m1: address 00");
}

void TestMeterSim::busConflicts()
{
    QFETCH(QList<int>, addresses);
    QFETCH(QString, conflict);
    std::vector<MeterSetup> setups;
    QStringList names;
    for (const int a : addresses) {
        names << QStringLiteral("m%1").arg(setups.size());
        setups.push_back(setupAt(std::uint8_t(a), 1));
    }
    const QString message = busConflict(setups, names);
    if (conflict.isEmpty())
        QVERIFY2(message.isEmpty(), qPrintable(message));
    else
        QVERIFY2(message.startsWith(conflict), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestMeterSim)
#include "TestMeterSim.moc"
