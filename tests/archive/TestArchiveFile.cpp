#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include "archive/ArchiveExport.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiveText.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr std::uint16_t kSerial = 1234;

const QByteArray kHeaderLine
    = "dd/mm/yyyy, hour:min, Q1, Q2, Q3, M1, M2, M3, M4, M5, M6, t1, t2, t3, t4, t5, t6, p1, p2, p3, p4, p5, p6, "
      "T1, T2, T3, Err1, Err2, Err3, Nstart, Event, Tfmn1, Tfmn2, Tfmn3, Tfmx1, Tfmx2, Tfmx3, Tdtm1, Tdtm2, Tdtm3, "
      "pre_Q1, pre_Q2, pre_Q3, pre_M1, pre_M2, pre_M3, pre_M4, pre_M5, pre_M6, V1, V2, V3, V4, V5, V6, pre_V1, "
      "pre_V2, pre_V3, pre_V4, pre_V5, pre_V6, t_cold, t_amb";

float bits(std::uint32_t b)
{
    return std::bit_cast<float>(b);
}

sctArcZap stamp(int day, int month, int year, int hour, int minute = 0, int event = archive::kEventHourly)
{
    sctArcZap r;
    r.day = std::uint8_t(day);
    r.month = std::uint8_t(month);
    r.year = std::uint8_t(year);
    r.hour = std::uint8_t(hour);
    r.minute = std::uint8_t(minute);
    r.Event = std::uint8_t(event);
    return r;
}

// Every field the file carries, by bits; the check words never reach a file.
bool sameFileFields(const sctArcZap& a, const sctArcZap& b)
{
#define SAME(f) (std::memcmp(&a.f, &b.f, sizeof a.f) == 0)
    return SAME(hour) && SAME(day) && SAME(month) && SAME(year) && SAME(minute) && SAME(Q) && SAME(M) && SAME(t)
        && SAME(p) && SAME(T) && SAME(Nstart) && SAME(Err) && SAME(Event) && SAME(Tfmn) && SAME(Tfmx) && SAME(Tdtm)
        && SAME(pre_Q) && SAME(pre_M) && SAME(V) && SAME(pre_V) && SAME(t_cold) && SAME(t_amb);
#undef SAME
}

ArchiveParams sampleParams()
{
    ArchiveParams p;
    p.SerialNumber = 999; // the writer's serial argument wins
    p.Formula = { 1, 3, 8 };
    p.ProtVersion = 2;
    p.ArchiveVersion = 3;
    p.NumSys = 2;
    p.ArchiveSize = 1440;
    p.ArcDayRecs = 62;
    p.ArcMonRecs = 24;
    p.SoftVersion = 0x0102;
    p.BuildVersion = 0x1F;
    p.IspVersion = 0x0A;
    p.SoftCRC = 0xBEEF;
    p.t_coldChannel = ArchiveParams::kConstantTCold;
    p.t_cold = 5.5f;
    p.EnergyUnits = 2;
    p.Pressure = { 1, 0, 1 };
    p.Custom = u"ООО Тепло"_s;
    p.Telephone = u"+7 495 1234567"_s;
    p.Address = u"ул. Ленина, 1"_s;
    p.FlowRange = u"0.1-10"_s;
    p.ResponsePerson = u"Иванов"_s;
    p.Diametr = u"50/40"_s;
    return p;
}

// "<Config>", the parameter lines, "<Archive>", the header and the record lines.
QByteArray archiveText(const QByteArrayList& config, const QByteArray& header, const QByteArrayList& lines,
                       const QByteArray& eol = "\r\n")
{
    QByteArray out = "<Config>" + eol;
    for (const QByteArray& l : config)
        out += l + eol;
    out += "<Archive>" + eol + header + eol;
    for (const QByteArray& l : lines)
        out += l + eol;
    return out;
}

QByteArray repeat(const QByteArray& piece, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += piece;
    return out;
}

HRESULT read(const QByteArray& bytes, ArchiveParams& params, ArchiveRecordList& records, bool skip = false,
             QString* message = nullptr)
{
    return archive::readArchiveBytes(bytes, params, records, skip, kSerial, message);
}

} // namespace

Q_DECLARE_METATYPE(sctArcZap)

class TestArchiveFile : public QObject
{
    Q_OBJECT

private slots:
    void writeThenReadIsBitIdentical();
    void writtenBytes();
    void textParamLineBreaks();
    void writeFailure();
    void formattersMatchCLibrary();
    void outcome_data();
    void outcome();
    void rejectedFileLeavesParams();
    void parameterLines();
    void tColdIsDecimal_data();
    void tColdIsDecimal();
    void columns_data();
    void columns();
    void tCold_data();
    void tCold();
    void timeSpanAndRereading();
    void csvLine();
    void csvSkipsInvalidStamps();
    void csvField_data();
    void csvField();
    void exportArchive_data();
    void exportArchive();
};

void TestArchiveFile::writeThenReadIsBitIdentical()
{
    ArchiveRecordList records;
    const std::uint32_t specials[] = { 0x80000000, 0x7F800000, 0xFF800000, 0x7FC00001, 0xFFBFFFFF,
                                       0x7F800001, 0x00000001, 0x7F7FFFFF, 0x41A80000 };
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        sctArcZap r = stamp(1 + i % 28, 1 + i / 28 % 12, i / 336, i % 24, i % 60, rng() & 0xFF);
        auto fill = [&](auto& values) {
            for (float& v : values)
                v = bits(i < 100 ? specials[rng() % std::size(specials)] : std::uint32_t(rng()));
        };
        fill(r.Q);
        fill(r.M);
        fill(r.t);
        fill(r.p);
        fill(r.pre_Q);
        fill(r.pre_M);
        fill(r.V);
        fill(r.pre_V);
        r.t_cold = bits(std::uint32_t(rng()));
        r.t_amb = bits(std::uint32_t(rng()));
        r.T = { std::uint32_t(rng()), 0xFFFFFFFF, 0x80000000 };
        r.Err = { std::uint32_t(rng()), 0, 0xFFFFFFFF };
        r.Nstart = std::uint8_t(rng());
        r.Tfmn = { 255, std::uint8_t(rng()), 0 };
        r.Tfmx = { std::uint8_t(rng()), 60, 1 };
        r.Tdtm = { 0, 0, std::uint8_t(rng()) };
        records.add(r, false);
    }
    // Stamps that no calendar has are carried all the same.
    records.add(stamp(0, 0, 0, 0, 0, 0), false);
    records.add(stamp(255, 255, 255, 24, 255, 0xE2), false);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"01234.tsa"_s);
    const ArchiveParams written = sampleParams();
    QVERIFY(archive::writeArchiveFile(path, written, records, kSerial));
    QCOMPARE(readFile(path), archive::archiveFileBytes(written, records, kSerial));

    ArchiveParams params;
    ArchiveRecordList back;
    QString message;
    QCOMPARE(archive::readArchiveFile(path, params, back, false, kSerial, &message), S_OK);
    QVERIFY(message.isEmpty());
    QCOMPARE(back.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        QVERIFY2(sameFileFields(back[i], records[i]), qPrintable(QString::number(i)));

    // Every parameter the file carries, by the text it gives.
    QCOMPARE(params.SerialNumber, kSerial);
    QCOMPARE(params.t_cold, written.t_cold);
    QCOMPARE(archive::archiveFileBytes(params, ArchiveRecordList(), kSerial),
             archive::archiveFileBytes(written, ArchiveRecordList(), kSerial));
}

void TestArchiveFile::writtenBytes()
{
    sctArcZap r = stamp(5, 2, 15, 13);
    r.Q[0] = 21.0f;
    r.M[1] = -0.0f;
    r.t_amb = 1.0f;
    r.T = { 0xFFFFFFFF, 60, 0 };
    r.Err[0] = 0x1F;
    r.Nstart = 3;
    r.Tfmn[0] = 255;
    r.Tdtm[2] = 7;
    ArchiveRecordList records;
    records.add(r, false);

    const QByteArray expected = "<Config>\r\n"
                                "Serial Number = 01234\r\n"
                                "Formula 1 = 1\r\n"
                                "Formula 2 = 3\r\n"
                                "Formula 3 = 8\r\n"
                                "Prot Version = 2\r\n"
                                "Archive Version = 3\r\n"
                                "Num Sys = 2\r\n"
                                "Archive Size = 1440\r\n"
                                "ArcDayRecs = 62\r\n"
                                "ArcMonRecs = 24\r\n"
                                "Soft Version = 0x102\r\n"
                                "Build Version = 0x1F\r\n"
                                "Isp Version = 0xA\r\n"
                                "Soft CRC = 0xBEEF\r\n"
                                "t_cold Channel = 0xFF\r\n"
                                "t_cold = 5.5\r\n"
                                "Energy Units = 2\r\n"
                                "Pressure1 = 1\r\n"
                                "Pressure2 = 0\r\n"
                                "Pressure3 = 1\r\n"
                                "Custom = \xCE\xCE\xCE \xD2\xE5\xEF\xEB\xEE\r\n"
                                "Telephone = +7 495 1234567\r\n"
                                "Abonent = \r\n"
                                "Address = \xF3\xEB. \xCB\xE5\xED\xE8\xED\xE0, 1\r\n"
                                "Flow Range = 0.1-10\r\n"
                                "Response Person = \xC8\xE2\xE0\xED\xEE\xE2\r\n"
                                "Diametr = 50/40\r\n"
                                "<Archive>\r\n"
        + kHeaderLine + "\r\n" + "05/02/2015, 13:00, 41A80000, 00000000, 00000000, 00000000, 80000000, "
        + repeat("00000000, ", 16)
        + "-1, 60, 0, 0x0000001F, 0x00000000, 0x00000000, 3, 0xA0, 255, 0, 0, 0, 0, 0, 0, 0, 7, "
        + repeat("00000000, ", 22) + "3F800000\r\n";
    QCOMPARE(archive::archiveFileBytes(sampleParams(), records, kSerial), expected);
}

void TestArchiveFile::textParamLineBreaks()
{
    ArchiveParams p;
    p.Address = u"line one\r\n<Archive>\nCustom = x"_s;
    const QByteArray bytes = archive::archiveFileBytes(p, ArchiveRecordList(), kSerial);
    QVERIFY(bytes.contains("Address = line one  <Archive> Custom = x\r\n"));

    ArchiveParams back;
    ArchiveRecordList records;
    QCOMPARE(read(bytes, back, records), S_OK);
    QCOMPARE(back.Address, u"line one  <Archive> Custom = x"_s);
    QVERIFY(back.Custom.isEmpty());
}

void TestArchiveFile::writeFailure()
{
    testsupport::MessageRecorder recorder;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"missing/01234.tsa"_s);
    QString error;
    QVERIFY(!archive::writeArchiveFile(path, ArchiveParams(), ArchiveRecordList(), kSerial, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(recorder->texts(), QStringList{ u"Error in file: "_s + path });
    QCOMPARE(recorder->shown().front().icon, MbIcon::Error);
}

void TestArchiveFile::formattersMatchCLibrary()
{
    using namespace archive::text;
    char buf[kMaxFixed + 8];
    auto text = [&](char* end) { return QByteArray(buf, end - buf); };

    std::vector<float> floats = { 0.0f,
                                  -0.0f,
                                  0.5e-6f,
                                  1.5e-6f,
                                  2.5f,
                                  1e10f,
                                  123456.5f,
                                  0.1f,
                                  FLT_MAX,
                                  -FLT_MAX,
                                  FLT_MIN,
                                  bits(1),
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  bits(0x7FC00000),
                                  bits(0xFFC00000) };
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i)
        floats.push_back(bits(std::uint32_t(rng())));
    for (float f : floats) {
        const std::uint32_t b = std::bit_cast<std::uint32_t>(f);
        QCOMPARE(text(putFixed(buf, double(f))), fmt::bytes("%f", double(f)));
        QCOMPARE(text(putGeneral(buf, double(f))), fmt::bytes("%g", double(f)));
        QCOMPARE(text(putFloatBits(buf, f)), fmt::bytes("%08X", b));
        QCOMPARE(text(putSigned(buf, std::int32_t(b))), fmt::bytes("%d", b));
        QCOMPARE(text(putHex(buf, b)), fmt::bytes("%X", b));
        QCOMPARE(text(putHex(buf, b & 0xFF, 8)), fmt::bytes("%08X", b & 0xFF));
        QCOMPARE(text(putUnsigned(buf, b % 1000, 2)), fmt::bytes("%02u", b % 1000));
        QCOMPARE(text(putUnsigned(buf, b % 70000, 5)), fmt::bytes("%05d", b % 70000));
    }
    QCOMPARE(text(putSigned(buf, std::numeric_limits<std::int64_t>::min())), QByteArray("-9223372036854775808"));
    QCOMPARE(text(putFixed(buf, DBL_MAX)), fmt::bytes("%f", DBL_MAX));
}

void TestArchiveFile::outcome_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<HRESULT>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("records");

    const QByteArray line = "05/02/2015, 13:00, 41A80000";
    const QByteArray header = "dd/mm/yyyy, hour:min, Q1";
    const QString foreign = LoadResString(118, u"Archive has serial number of different heatcounter"_s);
    QTest::newRow("empty") << QByteArray() << false << E_FAIL << u"Файл пуст!"_s << 0;
    QTest::newRow("only line ends") << QByteArray("\r\n\n\r") << false << E_FAIL << u"Файл пуст!"_s << 0;
    QTest::newRow("no <Archive>") << QByteArray("<Config>\r\nSerial Number = 01234\r\n") << true << E_FAIL
                                  << u"Файл поврежден!"_s << 0;
    QTest::newRow("first line is not looked at") << QByteArray("<Archive>\r\n" + header + "\r\n" + line + "\r\n")
                                                 << false << E_FAIL << u"Файл поврежден!"_s << 0;
    QTest::newRow("no header") << QByteArray("<Config>\r\n<Archive>\r\n\r\n") << false << E_FAIL << u"Архив пуст!"_s
                               << 0;
    QTest::newRow("header of blanks") << archiveText({}, " , \t ,, ", { line }) << false << S_OK
                                      << u"Заголовок поврежден!"_s << 0;
    QTest::newRow("foreign serial") << archiveText({ "Serial Number = 04321" }, header, { line }) << false << E_FAIL
                                    << foreign << 0;
    QTest::newRow("foreign serial, parameters skipped")
        << archiveText({ "Serial Number = 04321" }, header, { line }) << true << S_OK << QString() << 1;
    QTest::newRow("bare key drops a digit")
        << archiveText({ "Serial Number=1234" }, header, { line }) << false << E_FAIL << foreign << 0;
    QTest::newRow("bare key") << archiveText({ "Serial Number=01234" }, header, { line }) << false << S_OK << QString()
                              << 1;
    QTest::newRow("key with two blanks is no key")
        << archiveText({ "Serial Number  = 04321" }, header, { line }) << false << S_OK << QString() << 1;
    QTest::newRow("blanks around <Archive>")
        << QByteArray("<Config>\r\n \t<Archive> \r\n" + header + "\r\n" + line + "\r\n") << false << S_OK << QString()
        << 1;
    QTest::newRow("LF only") << archiveText({ "Serial Number = 01234" }, header, { line, "06/02/2015, 13:00" }, "\n")
                             << false << S_OK << QString() << 2;
    QTest::newRow("CR only") << archiveText({ "Serial Number = 01234" }, header, { line, "06/02/2015, 13:00" }, "\r")
                             << false << S_OK << QString() << 2;
    QTest::newRow("no final line end") << archiveText({}, header, { line }).chopped(2) << false << S_OK << QString()
                                       << 1;
}

void TestArchiveFile::outcome()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, skip);
    QFETCH(HRESULT, result);
    QFETCH(QString, message);
    QFETCH(int, records);

    testsupport::MessageRecorder recorder;
    ArchiveParams params;
    ArchiveRecordList list;
    QString got;
    QCOMPARE(read(file, params, list, skip, &got), result);
    QCOMPARE(got, message);
    QCOMPARE(recorder->texts(), message.isEmpty() ? QStringList() : QStringList{ message });
    if (!message.isEmpty())
        QCOMPARE(recorder->shown().front().icon, result == S_OK ? MbIcon::Warning : MbIcon::Error);
    QCOMPARE(int(list.size()), records);

    // From a file, with the same outcome.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.tsa"_s);
    QVERIFY(writeFile(path, file));
    ArchiveRecordList fromFile;
    QCOMPARE(archive::readArchiveFile(path, params, fromFile, skip, kSerial, &got), result);
    QCOMPARE(int(fromFile.size()), records);
}

void TestArchiveFile::rejectedFileLeavesParams()
{
    testsupport::MessageRecorder recorder;
    ArchiveParams params = sampleParams();
    ArchiveRecordList list;
    list.add(stamp(1, 1, 15, 1), false);
    QCOMPARE(read(archiveText({ "Formula 1 = 7", "Custom = other", "Serial Number = 00001" }, "Q1", { "41A80000" }),
                  params, list),
             E_FAIL);
    QCOMPARE(params.Formula[0], std::uint8_t(1));
    QCOMPARE(params.Custom, sampleParams().Custom);
    QCOMPARE(int(list.size()), 1);

    QCOMPARE(read("<Config>\r\nFormula 1 = 7\r\n", params, list), E_FAIL);
    QCOMPARE(params.Formula[0], std::uint8_t(1));
}

void TestArchiveFile::parameterLines()
{
    ArchiveParams params = sampleParams();
    ArchiveRecordList list;
    const QByteArray file = archiveText({ "Formula 1 = 0x10A", "Formula 2 = -1", "Soft Version = \t0x1a2 tail",
                                          "Pressure2 = 7", "Pressure3 = 0", "t_cold = 2.5e1", "Custom =  two blanks",
                                          "Telephone=X", "Unknown = 5", "no equals sign", "Num Sys = 12abc" },
                                        "Q1", {});
    QCOMPARE(read(file, params, list), S_OK);
    QCOMPARE(params.Formula[0], std::uint8_t(0x0A));
    QCOMPARE(params.Formula[1], std::uint8_t(0xFF));
    QCOMPARE(params.Formula[2], std::uint8_t(8)); // no line: kept
    QCOMPARE(params.SoftVersion, std::uint16_t(0x1A2));
    QCOMPARE(params.Pressure, (std::array<std::uint8_t, 3>{ 1, 1, 0 }));
    QCOMPARE(params.t_cold, 25.0f);
    QCOMPARE(params.Custom, u" two blanks"_s);
    QCOMPARE(params.Telephone, QString());
    QCOMPARE(params.NumSys, std::uint16_t(12));
    QCOMPARE(params.SerialNumber, std::uint16_t(999)); // no line: no check, kept
}

void TestArchiveFile::tColdIsDecimal_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<float>("tCold");
    QTest::newRow("exponent") << QByteArray("2.5e1") << 25.0f;
    QTest::newRow("hexadecimal is no number") << QByteArray("0x1f") << 0.0f;
    QTest::newRow("hexadecimal float") << QByteArray("0x1p3") << 0.0f;
    QTest::newRow("infinity word") << QByteArray("inf") << 0.0f;
    QTest::newRow("nan word") << QByteArray("nan") << 0.0f;
    QTest::newRow("trailing text") << QByteArray("7.5abc") << 7.5f;
    QTest::newRow("bare exponent mark") << QByteArray("-3e") << -3.0f;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5f;
}

void TestArchiveFile::tColdIsDecimal()
{
    QFETCH(QByteArray, value);
    QFETCH(float, tCold);
    ArchiveParams params = sampleParams();
    ArchiveRecordList list;
    QCOMPARE(read(archiveText({ "t_cold = " + value }, "Q1", {}), params, list), S_OK);
    QCOMPARE(params.t_cold, tCold);
}

void TestArchiveFile::columns_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<sctArcZap>("expected");

    sctArcZap r = stamp(5, 2, 15, 13, 0, 0);
    r.Q[0] = 21.0f;
    QTest::newRow("fewer values than names") << kHeaderLine << QByteArray("05/02/2015, 13:00, 41A80000") << r;

    r = sctArcZap();
    r.Q[0] = 21.0f;
    QTest::newRow("empty value shifts left") << QByteArray("Q1, Q2, Q3") << QByteArray(" , 41A80000") << r;

    r = stamp(5, 2, 15, 13, 30, 0xA1);
    r.Q[1] = 21.0f;
    QTest::newRow("by name, unknown ignored") << QByteArray("Q2, hour:min, Q4, dd/mm/yyyy, q1, Event, T0")
                                              << QByteArray("41A80000, 13:30, 3F800000, 5/2/2015, 3F800000, "
                                                            "0x1A1, 5")
                                              << r;

    r = sctArcZap();
    r.Q = { 0.0f, bits(0x41080000), 21.0f };
    r.M[0] = bits(0x40A80000);
    r.M[1] = 0.0f;
    QTest::newRow("hexadecimal pattern rule")
        << QByteArray("Q1, Q2, Q3, M1, M2") << QByteArray("41A8000, 41a80000, 41A8 0000, 4GA80000, 41A800000") << r;

    r = sctArcZap();
    r.T = { 0xFFFFFFFF, 0x1F, 12 };
    r.Err[0] = 0xDEADBEEF;
    r.Nstart = 44;
    r.Tfmn[0] = 0;
    QTest::newRow("integer rule") << QByteArray("T1, T2, T3, Err1, Err2, Nstart, Tfmn1")
                                  << QByteArray("-1, 0 x1F, 12abc, 0xdeadBEEF, 0-5, 300, 0x") << r;

    r = stamp(31, 12, 99, 24, 59, 0);
    QTest::newRow("last year of the century")
        << QByteArray("dd/mm/yyyy, hour:min") << QByteArray("31/12/2099, 24:59") << r;
    r = stamp(5, 2, 255, 0, 0, 0);
    QTest::newRow("year modulo 256") << QByteArray("dd/mm/yyyy") << QByteArray("5/2/1999") << r;
    r = stamp(5, 2, 15, 7, 0, 0);
    QTest::newRow("blanks and empty parts")
        << QByteArray("dd / mm / yyyy, hour:min") << QByteArray(" 5 / / 2 /2 015 , 7") << r;
}

void TestArchiveFile::columns()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, line);
    QFETCH(sctArcZap, expected);

    ArchiveParams params;
    ArchiveRecordList list;
    QCOMPARE(read(archiveText({}, header, { line }), params, list, true), S_OK);
    QCOMPARE(int(list.size()), 1);
    QVERIFY(sameFileFields(list[0], expected));
}

void TestArchiveFile::tCold_data()
{
    QTest::addColumn<QByteArrayList>("config");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<float>("expected");

    const QByteArray header = "t3, t_cold";
    auto config = [](int version, int channel, const char* tCold) {
        return QByteArrayList{ "Archive Version = " + QByteArray::number(version),
                               "t_cold Channel = " + QByteArray::number(channel), QByteArray("t_cold = ") + tCold };
    };
    QTest::newRow("version 3 reads the column") << config(3, 255, "5.5") << false << header << 2.0f;
    QTest::newRow("version 1, constant") << config(1, 255, "5.5") << false << header << 5.5f;
    QTest::newRow("version 1, negative constant") << config(1, 255, "-1") << false << header << 0.0f;
    QTest::newRow("version 1, channel t3") << config(1, 2, "5.5") << false << header << 21.0f;
    QTest::newRow("version 1, channel not in the line") << config(1, 3, "5.5") << false << header << 0.0f;
    QTest::newRow("version 1, channel read later") << config(1, 2, "5.5") << false << QByteArray("t_cold, t3") << 0.0f;
    QTest::newRow("version 1, no such channel") << config(1, 6, "5.5") << false << header << 0.0f;
    QTest::newRow("skipped: the account's parameters") << config(3, 255, "5.5") << true << header << 21.0f;
}

void TestArchiveFile::tCold()
{
    QFETCH(QByteArrayList, config);
    QFETCH(bool, skip);
    QFETCH(QByteArray, header);
    QFETCH(float, expected);

    ArchiveParams params; // as the account holds them, for the skipped case
    params.ArchiveVersion = 1;
    params.t_coldChannel = 2;
    ArchiveRecordList list;
    const QByteArray line = header.startsWith("t3") ? "41A80000, 40000000" : "40000000, 41A80000";
    QCOMPARE(read(archiveText(config, header, { line }), params, list, skip), S_OK);
    QCOMPARE(list[0].t_cold, expected);
}

void TestArchiveFile::timeSpanAndRereading()
{
    const QByteArray file
        = archiveText({}, "dd/mm/yyyy, hour:min, Q1",
                      { "00/00/0000, 00:00", "05/02/2015, 13:00, 41A80000", "01/01/2014, 01:00", "31/02/2015, 10:00",
                        "05/02/2016, 24:00", "05/02/2015, 13:00, 3F800000", "05/02/2099, 99:00" });
    ArchiveParams params;
    ArchiveRecordList list;
    QCOMPARE(read(file, params, list, true), S_OK);
    QCOMPARE(int(list.size()), 6); // the repeated stamp is dropped, the first one wins
    QCOMPARE(list[1].Q[0], 21.0f);
    QCOMPARE(list.timeSpan().earliest(), dateutil::calendarDateTime(QDate(2014, 1, 1), QTime(1, 0)));
    QCOMPARE(list.timeSpan().latest(), dateutil::calendarDateTime(QDate(2015, 2, 5), QTime(13, 0)));

    QCOMPARE(read(file, params, list, true), S_OK);
    QCOMPARE(int(list.size()), 6);

    // The span only widens; a time before the date column is never a valid stamp.
    list.timeSpan().widen(dateutil::calendarDateTime(QDate(2010, 1, 1), QTime(0, 0)));
    QCOMPARE(read(archiveText({}, "hour:min, dd/mm/yyyy", { "13:00, 05/02/2020" }), params, list, true), S_OK);
    QCOMPARE(int(list.size()), 7);
    QCOMPARE(list.timeSpan().earliest(), dateutil::calendarDateTime(QDate(2010, 1, 1), QTime(0, 0)));
    QCOMPARE(list.timeSpan().latest(), dateutil::calendarDateTime(QDate(2015, 2, 5), QTime(13, 0)));
}

void TestArchiveFile::csvLine()
{
    ArchiveParams params;
    params.ArchiveVersion = 1;
    params.Formula = { 1, 3, 0 };
    sctArcZap r = stamp(5, 2, 15, 13);
    r.Q = { 21.0f, 0.1f, 0.0f };
    r.pre_Q[0] = 1.5f;
    r.M[0] = 10.0f;
    r.pre_M[0] = 0.25f;
    r.M[2] = 99.0f;
    r.t[0] = -0.0f;
    r.p[0] = 1e10f;
    r.T = { 125, 0, 0xFFFFFFFF };
    r.Err[0] = 0xDEADBEEF;
    r.Nstart = 3;
    r.Tfmn = { 1, 2, 3 };
    r.Tdtm[2] = 60;
    r.V[5] = std::numeric_limits<float>::infinity();
    r.t_cold = 5.5f;
    r.t_amb = std::numeric_limits<float>::quiet_NaN();

    const QByteArray zero = "0.000000, ";
    const QByteArray expected = "05/02/15 13:00, 22.500000, 0.100000, 0.000000, 10.250000, 0.000000, 0, 0, " + zero
        + zero + "-0.000000, " + repeat(zero, 5) + "10000000000.000000, " + repeat(zero, 5)
        + "2:05, 0:00, 71582788:15, DEADBEEF, 00000000, 00000000, 3, 0xA0, 1, 2, 3, 0, 0, 0, 0, 0, 60, " + "1.500000, "
        + repeat(zero, 2) + "0.250000, " + repeat(zero, 5) + repeat(zero, 5) + "inf, " + repeat(zero, 6)
        + "5.500000, nan\r\n";
    QCOMPARE(archive::csvLine(params, r), expected);
    QCOMPARE(expected.count(','), 61);

    params.ArchiveVersion = 2;
    QVERIFY(archive::csvLine(params, r).startsWith("05/02/15 13:00, 22.500000, 0.100000, 0.000000, 10.250000, "
                                                   "0.000000, 99.000000, 0.000000, "));
}

void TestArchiveFile::csvSkipsInvalidStamps()
{
    ArchiveRecordList records;
    records.add(stamp(0, 0, 0, 0, 0, 0), false);
    records.add(stamp(5, 2, 15, 13), false);
    records.add(stamp(29, 2, 15, 1), false);
    records.add(stamp(5, 2, 15, 24), false);
    records.add(stamp(6, 2, 15, 0), false);
    const QByteArray csv = archive::csvBytes(ArchiveParams(), records);
    const QList<QByteArray> lines = csv.split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], kHeaderLine + '\r');
    QVERIFY(lines[1].startsWith("05/02/15 13:00, "));
    QVERIFY(lines[2].startsWith("06/02/15 00:00, "));
    QVERIFY(lines[3].isEmpty());
}

void TestArchiveFile::csvField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("21.000000") << QByteArray("21.000000");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("comma") << QByteArray("1,5") << QByteArray("\"1,5\"");
    QTest::newRow("quote") << QByteArray("a\"b") << QByteArray("\"a\"\"b\"");
    QTest::newRow("line break") << QByteArray("a\r\nb") << QByteArray("\"a\r\nb\"");
}

void TestArchiveFile::csvField()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, expected);
    QCOMPARE(archive::csvField(field), expected);
}

void TestArchiveFile::exportArchive_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("content"); // "tsa", "csv" or none

    using S = archive::ExportResult::Status;
    QTest::newRow("tsa") << u"copy.tsa"_s << int(S::Exported) << u"tsa"_s;
    QTest::newRow("TSA") << u"COPY.TSA"_s << int(S::Exported) << u"tsa"_s;
    QTest::newRow("csv") << u"table.csv"_s << int(S::Exported) << u"csv"_s;
    QTest::newRow("Csv") << u"Table.Csv"_s << int(S::Exported) << u"csv"_s;
    QTest::newRow("iar") << u"other.iar"_s << int(S::NotSupported) << QString();
    QTest::newRow("no extension") << u"tsa"_s << int(S::NotSupported) << QString();
    QTest::newRow("csv into a missing folder") << u"no/table.csv"_s << int(S::Failed) << QString();
    QTest::newRow("tsa into a missing folder") << u"no/copy.tsa"_s << int(S::Failed) << QString();
}

void TestArchiveFile::exportArchive()
{
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QString, content);

    QTemporaryDir dir;
    ArchiveParams params = sampleParams();
    ArchiveRecordList records;
    records.add(stamp(5, 2, 15, 13), false);
    records.add(stamp(0, 0, 0, 0, 0, 0), false);
    const QString source = dir.filePath(u"01234.tsa"_s);
    // LF line ends: a copy is a copy, not a rewrite.
    const QByteArray sourceBytes = archive::archiveFileBytes(params, records, kSerial).replace("\r\n", "\n");
    QVERIFY(writeFile(source, sourceBytes));

    const QString path = dir.filePath(target);
    const archive::ExportResult result = archive::exportArchive(source, params, records, path);
    QCOMPARE(int(result.status), status);
    switch (result.status) {
    case archive::ExportResult::Status::Exported:
        QCOMPARE(result.message, LoadResString(198, u"Archive exported"_s));
        QCOMPARE(result.icon, MbIcon::Information);
        QCOMPARE(readFile(path), content == u"tsa"_s ? sourceBytes : archive::csvBytes(params, records));
        break;
    case archive::ExportResult::Status::NotSupported:
        QCOMPARE(result.message, u"Not supported"_s);
        QVERIFY(!QFileInfo::exists(path));
        break;
    case archive::ExportResult::Status::Failed:
        QVERIFY(result.message.startsWith(LoadResString(197, u"Archive export failed:\n"_s)));
        QVERIFY(result.message.size() > LoadResString(197, u"Archive export failed:\n"_s).size());
        QCOMPARE(result.icon, MbIcon::Error);
        break;
    }
}

QTEST_GUILESS_MAIN(TestArchiveFile)
#include "TestArchiveFile.moc"
