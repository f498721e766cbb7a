#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "base/CodePage.h"
#include "base/TextBlock.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"
#include "cfgmap/CfgReport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

std::unique_ptr<CfgMgr> parse(const QByteArray& map)
{
    auto mgr = std::make_unique<CfgMgr>();
    mgr->openBytes(map);
    mgr->ParseSection(mgr->root(), mgr->root());
    mgr->close();
    return mgr;
}

const QByteArray kLayoutMap = "var Serial { name = \"Serial number\"; type = uint; addr = 0; }\n"
                              "section Common {\n"
                              "  name = \"Common settings\";\n"
                              "  section Inner { var X { type = uchar; addr = 8; } }\n"
                              "  var Owner { type = string; length = 4; addr = 4; }\n"
                              "}\n"
                              "section Second { var Y { type = ushort; addr = 10; } }\n";

// Serial 0x00000102, Owner "ab", X 7, Y 0x0003.
const QByteArray kLayoutBlock = QByteArray::fromHex("000001026162000007000003");

cfgmap::ReportSubject subject(const QByteArray& current = kLayoutBlock)
{
    cfgmap::ReportSubject s;
    s.typeName = u"Карна-1"_s;
    s.serial = 1234;
    s.current = current;
    return s;
}

QByteArray stamped(qsizetype size, const QByteArray& stampHex)
{
    QByteArray b = kLayoutBlock;
    b.resize(size, '\0');
    const QByteArray stamp = QByteArray::fromHex(stampHex);
    if (size >= cfgmap::kStampedSize)
        b.replace(cfgmap::kStampOffset, stamp.size(), stamp);
    return b;
}

} // namespace

class TestCfgReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void reportLayout();
    void snapshotHeader_data();
    void snapshotHeader();
    void refusedInput_data();
    void refusedInput();
    void overlapMakesNoReport();
    void untypedStillReports();
    void measure_data();
    void measure();
    void fileLayout();
    void fileLineBreaksInValues_data();
    void fileLineBreaksInValues();
    void unnamedSectionKeyInFile();
    void writeFile();
};

void TestCfgReport::reportLayout()
{
    auto mgr = parse(kLayoutMap);
    QCOMPARE(mgr->errorLog(), QByteArray());
    testsupport::MessageRecorder messages;
    QString log = u"stale"_s;
    TextBlock text;
    cfgmap::TextMeasure measure;
    QVERIFY(cfgmap::BuildConfigurationReport(*mgr, subject(), nullptr, log, text, measure));
    QCOMPARE(messages->texts(), QStringList());
    QCOMPARE(log, QString());
    const QByteArray expected = codepage::toOem(u"Current configuration. Heatcounter: Карна-1 Serial #: 01234"_s)
        + "\r\n\r\n"
          "Serial number: 258\r\n"
          "\r\n"
          "Common settings:\r\n"
          "Owner: ab\r\n"
          "\r\n"
          "\tInner:\r\n"
          "\tX: 7\r\n"
          "\r\n"
          "Second:\r\n"
          "Y: 3\r\n";
    QCOMPARE(text.toByteArray(), expected);
    QCOMPARE(measure.lines, 13);
    QCOMPARE(measure.width, 59); // the header
}

void TestCfgReport::snapshotHeader_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("stamp"); // second, minute, hour, day, month, year - 2000
    QTest::addColumn<QByteArray>("header");

    const QByteArray head = "Configuration from archive. Heatcounter: \x8a\xa0\xe0\xad\xa0-1 Serial #: 01234";
    QTest::newRow("valid") << 1024 << QByteArray("1e140a050315") << head + " (05-03-2021 10:20:30)";
    QTest::newRow("impossible date") << 1024 << QByteArray("1e140a1f0d15")
                                     << head + " (INVALID TIME: 31-13-21 10:20:30)";
    QTest::newRow("february 30") << 1022 << QByteArray("0000001e0218") << head + " (INVALID TIME: 30-2-24 0:0:0)";
    QTest::newRow("too short for a stamp") << 1000 << QByteArray() << head;
    QTest::newRow("one byte short") << 1021 << QByteArray() << head;
}

void TestCfgReport::snapshotHeader()
{
    QFETCH(int, size);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, header);
    auto mgr = parse(kLayoutMap);
    testsupport::MessageRecorder messages;
    QString log;
    TextBlock text;
    cfgmap::TextMeasure measure;
    const QByteArray snapshot = stamped(size, stamp);
    QVERIFY(cfgmap::BuildConfigurationReport(*mgr, subject(), &snapshot, log, text, measure));
    const QByteArray report = text.toByteArray();
    QCOMPARE(report.left(report.indexOf("\r\n")), header);
}

void TestCfgReport::refusedInput_data()
{
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<bool>("useSnapshot");
    QTest::addColumn<QString>("message");

    QTest::newRow("no current configuration") << QByteArray() << false << u"Конфигурация не загружена"_s;
    QTest::newRow("empty snapshot") << kLayoutBlock << true << u"Invalid size of configuration data (0)"_s;
}

void TestCfgReport::refusedInput()
{
    QFETCH(QByteArray, current);
    QFETCH(bool, useSnapshot);
    QFETCH(QString, message);
    auto mgr = parse(kLayoutMap);
    testsupport::MessageRecorder messages;
    QString log = u"kept"_s;
    TextBlock text;
    text.setData(QByteArray("previous"));
    cfgmap::TextMeasure measure{3, 4};
    const QByteArray empty;
    QVERIFY(!cfgmap::BuildConfigurationReport(*mgr, subject(current), useSnapshot ? &empty : nullptr, log, text,
                                              measure));
    QCOMPARE(messages->texts(), QStringList{message});
    QCOMPARE(messages->shown().front().icon, MbIcon::Error);
    // Refused before decoding: nothing was touched.
    QCOMPARE(text.toByteArray(), QByteArray("previous"));
    QCOMPARE(log, u"kept"_s);
}

void TestCfgReport::overlapMakesNoReport()
{
    auto mgr = parse("var a { type = uint; addr = 0; } var b { type = uchar; addr = 2; }");
    testsupport::MessageRecorder messages;
    messages->setNextAnswer(MbAnswer::Yes);
    QString log;
    TextBlock text;
    text.setData(QByteArray("previous"));
    cfgmap::TextMeasure measure{3, 4};
    QVERIFY(!cfgmap::BuildConfigurationReport(*mgr, subject(), nullptr, log, text, measure));
    const QString conflict = u"Variable a (address 0) intersects variable b (address 2)\r\n"_s;
    QCOMPARE(log, conflict);
    // The question, and on Yes the log it is about.
    QCOMPARE(messages->texts(), QStringList({u"Intersection error!"_s, conflict.chopped(2)}));
    QCOMPARE(messages->shown().front().buttons, MbButtons::YesNo);
    QVERIFY(text.isEmpty());
    QCOMPARE(measure.lines, 0);
}

void TestCfgReport::untypedStillReports()
{
    auto mgr = parse("var a { addr = 0; } var b { type = uchar; addr = 0; }");
    testsupport::MessageRecorder messages;
    messages->setNextAnswer(MbAnswer::No);
    QString log;
    TextBlock text;
    cfgmap::TextMeasure measure;
    QVERIFY(cfgmap::BuildConfigurationReport(*mgr, subject(), nullptr, log, text, measure));
    QCOMPARE(messages->texts(), QStringList{u"Errors"_s});
    QCOMPARE(log, u"Warning: unable to get variable data\r\n"_s);
    QVERIFY(text.toByteArray().endsWith("\r\n\r\na: \r\nb: 0\r\n"));
}

void TestCfgReport::measure_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("tabSize");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("width");

    QTest::newRow("empty") << QByteArray() << 8 << 1 << 0;
    QTest::newRow("CR LF is one end") << QByteArray("ab\r\nc") << 8 << 2 << 2;
    QTest::newRow("LF CR is one end") << QByteArray("ab\n\rc") << 8 << 2 << 2;
    QTest::newRow("CR CR are two") << QByteArray("a\r\rbcd") << 8 << 3 << 3;
    QTest::newRow("LF LF are two") << QByteArray("a\n\n") << 8 << 3 << 1;
    QTest::newRow("CR LF CR LF") << QByteArray("\r\n\r\n") << 8 << 3 << 0;
    QTest::newRow("tab counts tab size") << QByteArray("\tab\r\n\t\t") << 4 << 2 << 8;
}

void TestCfgReport::measure()
{
    QFETCH(QByteArray, text);
    QFETCH(int, tabSize);
    const cfgmap::TextMeasure m = cfgmap::measureText(text, tabSize);
    QTEST(m.lines, "lines");
    QTEST(m.width, "width");
}

void TestCfgReport::fileLayout()
{
    auto mgr = parse(kLayoutMap);
    QString log;
    QCOMPARE(cfgmap::DecodeBlock(*mgr, kLayoutBlock, log), 0);
    const QByteArray expected = "#Config file for QZ-44\r\n"
                                "#Generated: Tuesday, 05 March 2024\r\n"
                                "\r\n"
                                "_!ROOT!_.Common.Inner.X=7\r\n"
                                "_!ROOT!_.Common.Owner=ab\r\n"
                                "_!ROOT!_.Second.Y=3\r\n"
                                "_!ROOT!_.Serial=258\r\n";
    QCOMPARE(cfgmap::configurationFileText(mgr->root(), QDate(2024, 3, 5)), expected);
}

void TestCfgReport::fileLineBreaksInValues_data()
{
    QTest::addColumn<QByteArray>("memory");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("line feed") << QByteArray("a\nb\0\0\0\0\0", 8) << QByteArray("_!ROOT!_.S=a\r\nb\r\n");
    // A text-mode file adds a CR before every LF, one already preceded by CR too.
    QTest::newRow("CR LF") << QByteArray("a\r\nb\0\0\0\0", 8) << QByteArray("_!ROOT!_.S=a\r\r\nb\r\n");
    QTest::newRow("lone CR kept") << QByteArray("a\rb\0\0\0\0\0", 8) << QByteArray("_!ROOT!_.S=a\rb\r\n");
}

void TestCfgReport::fileLineBreaksInValues()
{
    QFETCH(QByteArray, memory);
    QFETCH(QByteArray, line);
    auto mgr = parse("var S { type = string; length = 8; addr = 0; }");
    QString log;
    QCOMPARE(cfgmap::DecodeBlock(*mgr, memory, log), 0);
    const QByteArray text = cfgmap::configurationFileText(mgr->root(), QDate(2024, 3, 5));
    QVERIFY2(text.endsWith(QByteArray(QByteArray("\r\n\r\n") + line)), text.constData());
}

void TestCfgReport::unnamedSectionKeyInFile()
{
    auto mgr = parse("section { name = \"Shown\"; var A { type = uchar; addr = 0; } }");
    const QByteArray key = mgr->root().sections.at(0).GetName();
    QVERIFY(key.startsWith("_Section"));
    testsupport::MessageRecorder messages;
    QString log;
    TextBlock text;
    cfgmap::TextMeasure measure;
    QVERIFY(cfgmap::BuildConfigurationReport(*mgr, subject(), nullptr, log, text, measure));
    QVERIFY(text.toByteArray().endsWith("\r\n\r\n\r\nShown:\r\nA: 0\r\n"));
    QCOMPARE(mgr->root().CollectLines(), QByteArrayList{"_!ROOT!_." + key + ".A=0"});
}

void TestCfgReport::writeFile()
{
    QTemporaryDir dir;
    auto mgr = parse(kLayoutMap);
    const QString path = dir.filePath(u"Karna1_01234.cfg"_s);
    QVERIFY(testsupport::writeFile(path, "old content that is longer than the new one\r\n"));
    testsupport::MessageRecorder messages;
    QVERIFY(cfgmap::writeConfigurationFile(path, mgr->root(), QDate(2024, 3, 5)));
    QCOMPARE(testsupport::readFile(path), cfgmap::configurationFileText(mgr->root(), QDate(2024, 3, 5)));

    const QString bad = dir.filePath(u"missing/x.cfg"_s);
    QVERIFY(!cfgmap::writeConfigurationFile(bad, mgr->root(), QDate(2024, 3, 5)));
    QCOMPARE(messages->texts(), QStringList{u"Failed to save file: "_s + bad});
    QCOMPARE(messages->shown().front().icon, MbIcon::Error);
}

QTEST_GUILESS_MAIN(TestCfgReport)
#include "TestCfgReport.moc"
