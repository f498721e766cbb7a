// check-map, config-report and save-config, run as a user runs them.
#include <sqlite3.h>

#include <QDate>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "base/CodePage.h"
#include "base/Crc16.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run run(const QStringList& args, const QString& workingDir)
{
    return testsupport::runProgram(u"lorn2-cli"_s, args, workingDir);
}

const QByteArray kMap = "meta ( name = \"AdjByteOrder\", a = \"uint\" );\n"
                        "var Serial { name = \"Serial number\"; type = uint; addr = 0; }\n"
                        "section Common {\n"
                        "  name = \"\x8e\xa1\xe9\xa8\xa5\";\n" // "Общие" in IBM866
                        "  var Owner { type = string; length = 8; addr = 4; }\n"
                        "  var Mode { type = uchar; addr = 12;"
                        " meta ( name = \"ValueList\", val1 = \"1\", name1 = \"On\" ); }\n"
                        "}\n";

QByteArray configBytes(std::uint32_t serial, const QByteArray& owner, char mode)
{
    QByteArray b(1024, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(serial >> (24 - 8 * i));
    b.replace(4, owner.size(), owner);
    b[12] = mode;
    return b;
}

// A configuration archive record with its stamp and a check sum the database accepts.
CfgArcRecord snapshot(const QByteArray& config, const QByteArray& stampHex)
{
    CfgArcRecord r;
    std::memcpy(r.bytes.data(), config.constData(), r.bytes.size());
    const QByteArray stamp = QByteArray::fromHex(stampHex);
    std::memcpy(r.bytes.data() + CfgArcRecord::kSecond, stamp.constData(), std::size_t(stamp.size()));
    std::array<std::uint8_t, CfgArcRecord::kSize> summed = r.bytes;
    for (std::size_t i : {122, 572, 842, 843, 844, 845, 846})
        summed[i] = 0;
    const std::uint16_t crc = crc::modbus(summed.data(), CfgArcRecord::kSize - 2);
    r.bytes[1022] = std::uint8_t(crc & 0xFF);
    r.bytes[1023] = std::uint8_t(crc >> 8);
    return r;
}

// Gives the account file a "Config" element, as reading the configuration from the meter does.
bool addConfig(const QString& accountFile, const QByteArray& config)
{
    const QByteArray base64 = config.toBase64();
    QByteArrayList lines;
    for (qsizetype i = 0; i < base64.size(); i += 76)
        lines << base64.mid(i, 76);
    const QByteArray text = lines.join("\r\n");
    QByteArray xml = testsupport::readFile(accountFile);
    const QByteArray element = "<Config size=\"" + QByteArray::number(text.size()) + "\" binarySize=\""
        + QByteArray::number(config.size()) + "\">" + text + "</Config>";
    qsizetype at = xml.indexOf("<Map>");
    if (at < 0)
        at = xml.indexOf("<ReportSettings>");
    if (at < 0)
        return false;
    xml.insert(at, element);
    return testsupport::writeFile(accountFile, xml);
}

} // namespace

class TestCliConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkMap_data();
    void checkMap();
    void currentReport();
    void snapshots();
    void snapshotStampsAndCutRows_data();
    void snapshotStampsAndCutRows();
    void saveConfig();
    void refusals_data();
    void refusals();

private:
    QTemporaryDir m_dir;
    QString m_wf;
};

void TestCliConfig::initTestCase()
{
    m_wf = m_dir.filePath(u"wf"_s);
    QVERIFY(QDir().mkpath(m_wf));
    QVERIFY(testsupport::writeFile(m_wf + u"/esc.ini"_s, QByteArray()));
    QVERIFY(testsupport::writeFile(m_dir.filePath(u"meter.map"_s), kMap));
    QVERIFY(testsupport::writeFile(m_dir.filePath(u"overlap.map"_s),
                                   "var a { type = uint; addr = 0; } var b { type = uchar; addr = 3; }"));
    const QString map = m_dir.filePath(u"meter.map"_s);
    QCOMPARE(run({u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"1234"_s, u"--map"_s, map}, m_wf).exitCode, 0);
    QVERIFY(addConfig(m_wf + u"/Devices/Karna1_01234/01234.xml"_s,
                      configBytes(1234, codepage::toOem(u"Иванов"_s), 1)));
    // Without a configuration, and without a map.
    QCOMPARE(run({u"add"_s, u"--type"_s, u"2"_s, u"--serial"_s, u"2"_s, u"--map"_s, map}, m_wf).exitCode, 0);
    QCOMPARE(run({u"add"_s, u"--type"_s, u"2"_s, u"--serial"_s, u"3"_s}, m_wf).exitCode, 0);
    QVERIFY(addConfig(m_wf + u"/Devices/Velos2_00003/00003.xml"_s, configBytes(3, "x", 0)));
    // With a map that cannot decode.
    QCOMPARE(run({u"add"_s, u"--type"_s, u"3"_s, u"--serial"_s, u"4"_s, u"--map"_s, m_dir.filePath(u"overlap.map"_s)},
                 m_wf)
                 .exitCode,
             0);
    QVERIFY(addConfig(m_wf + u"/Devices/Darna3_00004/00004.xml"_s, configBytes(4, "x", 0)));

    ArchiveDatabase db;
    QCOMPARE(db.open(m_wf + u"/lorn2.sqlite"_s), S_OK);
    QCOMPARE(db.ensureTables(), S_OK);
    // Stored out of time order: the list is oldest first.
    QCOMPARE(db.storeCfgArcRecord(1, 1234, snapshot(configBytes(99, "new", 0), "1e140a050315")), S_OK);
    QCOMPARE(db.storeCfgArcRecord(1, 1234, snapshot(configBytes(98, "old", 1), "000000010114")), S_OK);
    // An hour that daylight saving skips in Berlin, and a cut-short row that sorts before it.
    QCOMPARE(db.storeCfgArcRecord(2, 2, snapshot(configBytes(97, "dst", 0), "001e021d031a")), S_OK);
    sqlite3_stmt* insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db.handle(),
                                "INSERT INTO CFGARCRECS(DEVTYPE, SERNUM, DATETIME, CFGARCREC) "
                                "VALUES(2, 2, '2015-01-01 00:00:00', x'0102')",
                                -1, &insert, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_finalize(insert);
}

void TestCliConfig::checkMap_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");

    QTest::newRow("clean") << kMap << 0 << u"sections: 1, variables: 3\n"_s;
    QTest::newRow("errors and warnings")
        << QByteArray("var a { type = word; }\nsection S { var b { type = uint; offset = 1; } }\n")
        << 1
        << u"Line 1: Undefined type: 'word'\n"
           "Line 2: Warning: 'Offset' value has effect only for bit variables\n"
           "sections: 1, variables: 2\n"_s;
    QTest::newRow("nested sections counted") << QByteArray("section A { section B { } } section C { }") << 0
                                             << u"sections: 3, variables: 0\n"_s;
}

void TestCliConfig::checkMap()
{
    QFETCH(QByteArray, map);
    const QString path = m_dir.filePath(u"check.map"_s);
    QVERIFY(testsupport::writeFile(path, map));
    const Run r = run({u"check-map"_s, path}, m_dir.path());
    QTEST(r.exitCode, "exitCode");
    QTEST(r.out, "out");
    QCOMPARE(r.err, QString());

    const Run missing = run({u"check-map"_s, m_dir.filePath(u"none.map"_s)}, m_dir.path());
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.startsWith(u"error: Cannot read map file"_s), qPrintable(missing.err));
}

void TestCliConfig::currentReport()
{
    const Run r = run({u"config-report"_s, u"1234"_s}, m_wf);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, u"Current configuration. Heatcounter: Карна-1 Serial #: 01234\n\n"
                    "Serial number: 1234\n\nОбщие:\nOwner: Иванов\nMode: On\n"_s);

    const QString file = m_dir.filePath(u"report.txt"_s);
    QCOMPARE(run({u"config-report"_s, u"1234"_s, u"-o"_s, file}, m_wf).exitCode, 0);
    QCOMPARE(testsupport::readFile(file),
             codepage::toOem(u"Current configuration. Heatcounter: Карна-1 Serial #: 01234\r\n\r\n"
                             "Serial number: 1234\r\n\r\nОбщие:\r\nOwner: Иванов\r\nMode: On\r\n"_s));
}

void TestCliConfig::snapshots()
{
    const Run list = run({u"config-report"_s, u"1234"_s, u"--list-snapshots"_s}, m_wf);
    QCOMPARE(list.exitCode, 0);
    QCOMPARE(list.out, u"1\t01-01-2020 00:00:00\n2\t05-03-2021 10:20:30\n"_s);

    const Run second = run({u"config-report"_s, u"1234"_s, u"--snapshot"_s, u"2"_s}, m_wf);
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(second.out, u"Configuration from archive. Heatcounter: Карна-1 Serial #: 01234 (05-03-2021 10:20:30)\n\n"
                         "Serial number: 99\n\nОбщие:\nOwner: new\nMode: 0\n"_s);

    const Run beyond = run({u"config-report"_s, u"1234"_s, u"--snapshot"_s, u"3"_s}, m_wf);
    QCOMPARE(beyond.exitCode, 1);
    QVERIFY2(beyond.err.startsWith(u"error: No snapshot 3"_s), qPrintable(beyond.err));

    const Run none = run({u"config-report"_s, u"4"_s, u"--list-snapshots"_s}, m_wf);
    QCOMPARE(none.exitCode, 0);
    QCOMPARE(none.out, QString());
}

void TestCliConfig::snapshotStampsAndCutRows_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
}

void TestCliConfig::snapshotStampsAndCutRows()
{
    QFETCH(QByteArray, zone);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    const Run list = run({u"config-report"_s, u"2"_s, u"--type"_s, u"2"_s, u"--list-snapshots"_s}, m_wf);
    const Run shown = run({u"config-report"_s, u"2"_s, u"--type"_s, u"2"_s, u"--snapshot"_s, u"1"_s}, m_wf);
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);

    QCOMPARE(list.exitCode, 0);
    QCOMPARE(list.out, u"1\t29-03-2026 02:30:00\n"_s);
    const QString warning
        = u"warning: Пропущены повреждённые записи архива конфигураций в БД: 2015-01-01 00:00:00\n"_s;
    QCOMPARE(list.err, warning);
    QCOMPARE(shown.exitCode, 0);
    QVERIFY2(shown.out.startsWith(u"Configuration from archive. Heatcounter: Велос-2 Serial #: 00002 "
                                  "(29-03-2026 02:30:00)\n"_s),
             qPrintable(shown.out));
}

void TestCliConfig::saveConfig()
{
    const QString file = m_dir.filePath(u"out.cfg"_s);
    const Run r = run({u"save-config"_s, u"1234"_s, file}, m_wf);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QByteArray date = QLocale(QLocale::English).toString(QDate::currentDate(), u"dddd, dd MMMM yyyy"_s).toLatin1();
    QCOMPARE(testsupport::readFile(file), "#Config file for QZ-44\r\n#Generated: " + date
                 + "\r\n\r\n_!ROOT!_.Common.Owner=" + codepage::toOem(u"Иванов"_s)
                 + "\r\n_!ROOT!_.Common.Mode=1\r\n_!ROOT!_.Serial=1234\r\n");
}

void TestCliConfig::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err");

    QTest::newRow("report without configuration")
        << QStringList{u"config-report"_s, u"2"_s} << u"error: Конфигурация не загружена\n"_s;
    QTest::newRow("save without configuration")
        << QStringList{u"save-config"_s, u"2"_s, u"x.cfg"_s} << u"error: Конфигурация не загружена\n"_s;
    QTest::newRow("save without map") << QStringList{u"save-config"_s, u"3"_s, u"x.cfg"_s}
                                      << u"error: MAP-file is not set.\n"_s;
    QTest::newRow("overlapping map")
        << QStringList{u"config-report"_s, u"4"_s}
        << u"question: Intersection error!\n-> yes\ninfo: Variable a (address 0) intersects variable b (address 3)\n"_s;
    QTest::newRow("save with overlapping map")
        << QStringList{u"save-config"_s, u"4"_s, u"x.cfg"_s}
        << u"question: Intersection error!\n-> yes\ninfo: Variable a (address 0) intersects variable b (address 3)\n"_s;
}

void TestCliConfig::refusals()
{
    QFETCH(QStringList, args);
    const Run r = run(args, m_wf);
    QCOMPARE(r.exitCode, 1);
    QTEST(r.err, "err");
    QCOMPARE(r.out, QString());
    QVERIFY(!QFile::exists(m_wf + u"/x.cfg"_s));
}

QTEST_GUILESS_MAIN(TestCliConfig)
#include "TestCliConfig.moc"
