#include <csignal>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "app/ProgramSettings.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run run(const QString& program, const QStringList& args, const QString& workingDir = QString())
{
    return testsupport::runProgram(program, args, workingDir);
}

const QString kHeader = u"NN\tСерийный №\tМодель ТС\tДата опроса\tНазвание потребителя\tТелефон\t"
                        "Идент. абонента\tАдрес\tКонтактное лицо\tСетевой адрес\n"_s;

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void listInEmptyFolder();
    void listWithFolderOption();
    void usageErrors_data();
    void usageErrors();
    void versionAndHelp_data();
    void versionAndHelp();
    void workingFolderOptions_data();
    void workingFolderOptions();
    void homeFolderAndJsonList();
    void refusedBeforeAnythingRuns_data();
    void refusedBeforeAnythingRuns();
    void archiveAsJsonAndToStandardOutput();
    void portErrorNamesThePort();
    void simulatorSaysWhatItCannotDo();

    void addListEditDelete();
    void editMapCopiesIntoAccountFolder();
    void addRefusals_data();
    void addRefusals();
    void ambiguousSerialNamesTheTypes();
    void exportDevices();
    void demoAccountKeepsItsUnits();
    void archiveCommands();
    void desktopProgramSavesOnTermination_data();
    void desktopProgramSavesOnTermination();
    void renderReportFile();
};

void TestCli::listInEmptyFolder()
{
    QTemporaryDir dir;
    const Run r = run(u"lorn2-cli"_s, {u"list"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, kHeader);
    QCOMPARE(r.err, QString());
    // Only the connection defaults of new accounts are written at exit.
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QStringList sections;
    for (const QByteArray& line : testsupport::readFile(ini).split('\n')) {
        if (line.startsWith('['))
            sections << QString::fromUtf8(line.trimmed());
    }
    QCOMPARE(sections, QStringList{u"[COM4NEWACC]"_s});
    QStringList keys;
    for (const QString& line : testsupport::iniSection(ini, u"COM4NEWACC"_s))
        keys << line.section(u'=', 0, 0);
    keys.sort();
    QStringList expected = settings::connectionKeys();
    expected.sort();
    QCOMPARE(keys, expected);
    QVERIFY(testsupport::iniSection(ini, u"COM4NEWACC"_s).contains(u"Port=-1"_s));
    QVERIFY(QFile::exists(dir.filePath(u"lorn2.sqlite"_s)));
}

void TestCli::listWithFolderOption()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const Run r = run(u"lorn2-cli"_s, {u"-C"_s, dir.path(), u"list"_s}, elsewhere.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, kHeader);
    QVERIFY(QFile::exists(dir.filePath(u"lorn2.ini"_s)));
    QVERIFY(!QFile::exists(elsewhere.filePath(u"lorn2.ini"_s)));
    const Run missing = run(u"lorn2-cli"_s, {u"-C"_s, dir.filePath(u"nowhere"_s), u"list"_s});
    QCOMPARE(missing.exitCode, 1);
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList{} << u"no command given"_s;
    QTest::newRow("unknown command") << QStringList{u"frobnicate"_s} << u"unknown command 'frobnicate'"_s;
    QTest::newRow("unknown option") << QStringList{u"list"_s, u"--bogus"_s} << u"Unknown option 'bogus'"_s;
    QTest::newRow("extra argument") << QStringList{u"list"_s, u"x"_s} << u"unexpected argument 'x'"_s;
    QTest::newRow("-C without folder") << QStringList{u"-C"_s} << u"-C needs a folder"_s;
    QTest::newRow("render without output") << QStringList{u"render"_s, u"a.tsr"_s} << u"--text OUT or --pdf OUT"_s;
    QTest::newRow("render with both outputs")
        << QStringList{u"render"_s, u"a.tsr"_s, u"--text"_s, u"a.txt"_s, u"--pdf"_s, u"a.pdf"_s}
        << u"--text OUT or --pdf OUT"_s;
    QTest::newRow("render pdf to stdout") << QStringList{u"render"_s, u"a.tsr"_s, u"--pdf"_s, u"-"_s}
                                          << u"--pdf: a file name expected"_s;
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run r = run(u"lorn2-cli"_s, args, dir.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.err.contains(u"Usage: lorn2-cli"_s));
    // A wrong command line touches nothing.
    QVERIFY(!QFile::exists(dir.filePath(u"lorn2.ini"_s)));
}

void TestCli::versionAndHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cli version") << u"lorn2-cli"_s << QStringList{u"--version"_s} << u"lorn2-cli 1.0.0.0\n"_s;
    QTest::newRow("cli help") << u"lorn2-cli"_s << QStringList{u"--help"_s} << u"  list "_s;
    QTest::newRow("list help") << u"lorn2-cli"_s << QStringList{u"list"_s, u"--help"_s}
                               << u"Usage: lorn2-cli list [options]"_s;
    QTest::newRow("simulator version") << u"lorn2-metersim"_s << QStringList{u"--version"_s}
                                       << u"lorn2-metersim 1.0.0.0\n"_s;
    QTest::newRow("simulator help") << u"lorn2-metersim"_s << QStringList{u"--help"_s} << u"--link PATH"_s;
    // The desktop program answers without a display and writes nothing.
    QTest::newRow("desktop version") << u"lorn2"_s << QStringList{u"--version"_s} << u"lorn2 1.0.0.0\n"_s;
    QTest::newRow("desktop help") << u"lorn2"_s << QStringList{u"--help"_s} << u"-C DIR"_s;
    QTest::newRow("desktop help after -C") << u"lorn2"_s << QStringList{u"-C"_s, u"/nowhere"_s, u"-h"_s}
                                           << u"--home"_s;
}

void TestCli::versionAndHelp()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    qputenv("QT_QPA_PLATFORM", "nowhere"); // any window would fail
    const Run r = run(program, args, dir.path());
    qunsetenv("QT_QPA_PLATFORM");
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestCli::workingFolderOptions_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::newRow("cli: -C of a missing folder") << u"lorn2-cli"_s << QStringList{u"-C"_s, u"missing"_s, u"list"_s} << 1
                                                 << u"lorn2-cli: no such folder 'missing'\n"_s;
    QTest::newRow("cli: -C and --home") << u"lorn2-cli"_s << QStringList{u"-C"_s, u"."_s, u"--home"_s, u"list"_s} << 2
                                        << u"lorn2-cli: -C and --home exclude each other\n"_s;
    QTest::newRow("cli: bad progress") << u"lorn2-cli"_s << QStringList{u"--progress"_s, u"often"_s, u"list"_s} << 2
                                       << u"lorn2-cli: --progress: auto, always or never expected, not 'often'\n"_s;
    QTest::newRow("cli: json of a command without") << u"lorn2-cli"_s << QStringList{u"--json"_s, u"export-db"_s, u"1"_s}
                                                    << 2 << u"lorn2-cli: --json: 'export-db' writes no JSON\n"_s;
    QTest::newRow("desktop: unknown option") << u"lorn2"_s << QStringList{u"--frobnicate"_s} << 2
                                             << u"lorn2: unknown option '--frobnicate'\n"_s;
    QTest::newRow("desktop: -C of a missing folder") << u"lorn2"_s << QStringList{u"-C"_s, u"missing"_s} << 1
                                                     << u"lorn2: no such folder 'missing'\n"_s;
}

// Wrong global options are refused before anything is written, with the reason.
void TestCli::workingFolderOptions()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QTemporaryDir dir;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Run r = run(program, args, dir.path());
    qunsetenv("QT_QPA_PLATFORM");
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// --home makes the folder with its printer table; --json lists what the tab-separated list does.
void TestCli::homeFolderAndJsonList()
{
    QTemporaryDir dir;
    const QString home = dir.filePath(u"home/Lorn2"_s);
    qputenv("LORN2_HOME", QFile::encodeName(home));
    Run r = run(u"lorn2-cli"_s, {u"--home"_s, u"add"_s, u"--type"_s, u"2"_s, u"--serial"_s, u"4321"_s, u"--consumer"_s,
                                 u"Котельная\tСеверная\nкорпус 2"_s, u"--net-address"_s, u"1F"_s, u"--port"_s, u"3"_s});
    QCOMPARE(r.exitCode, 0);
    const Run text = run(u"lorn2-cli"_s, {u"--home"_s, u"list"_s});
    const Run json = run(u"lorn2-cli"_s, {u"--home"_s, u"--json"_s, u"list"_s});
    const Run after = run(u"lorn2-cli"_s, {u"--home"_s, u"list"_s, u"--json"_s});
    qunsetenv("LORN2_HOME");
    QVERIFY(QFileInfo(home + u"/esc.ini"_s).isFile());
    QCOMPARE(testsupport::readFile(home + u"/esc.ini"_s), testsupport::readFile(QStringLiteral(LORN2_TEST_DATA_DIR)
                                                                                  + u"/../../resources/esc.ini"_s));
    QCOMPARE(text.exitCode, 0);
    // A tab or line break inside a field would break the columns.
    const QStringList cells = text.out.split(u'\n').at(1).split(u'\t');
    QCOMPARE(cells.size(), 10);
    QCOMPARE(cells[4], u"Котельная Северная корпус 2"_s);

    QCOMPARE(json.exitCode, 0);
    QCOMPARE(json.out, after.out);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject o = doc.array().at(0).toObject();
    QCOMPARE(o.value(u"number"_s).toInt(), cells[0].toInt());
    QCOMPARE(o.value(u"serial"_s).toInt(), cells[1].toInt());
    QCOMPARE(o.value(u"type"_s).toString(), cells[2]);
    QCOMPARE(o.value(u"consumer"_s).toString(), u"Котельная\tСеверная\nкорпус 2"_s);
    QCOMPARE(o.value(u"netAddress"_s).toInt(), cells[9].toInt(nullptr, 16));
    QCOMPARE(o.value(u"port"_s).toInt(), 3);
    QVERIFY(o.value(u"lastConnect"_s).isNull());
}

void TestCli::simulatorSaysWhatItCannotDo()
{
    // The simulator runs until stopped once it has a link or a port; without either it refuses.
    const Run r = run(u"lorn2-metersim"_s, {u"--serial"_s, u"1"_s});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(u"--link PATH or --tcp HOST:PORT is required"_s));
}

void TestCli::addListEditDelete()
{
    QTemporaryDir dir;
    // Without a printer control table every account load reports the missing file.
    QVERIFY(testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Bold.On=<ESC>E\r\n"));
    Run r = run(u"lorn2-cli"_s,
                {u"add"_s, u"--type"_s, u"Karna1"_s, u"--serial"_s, u"1234"_s, u"--consumer"_s, u"ООО Тепло"_s,
                 u"--net-address"_s, u"1F"_s, u"--port"_s, u"3"_s, u"--baud"_s, u"19200"_s},
                dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    const QString xml = dir.filePath(u"Devices/Karna1_01234/01234.xml"_s);
    QVERIFY(QFile::exists(xml));
    QVERIFY(testsupport::readFile(xml).contains("<Baud>19200</Baud>"));
    // The connection of the last new account is the default of the next one.
    QVERIFY(testsupport::iniSection(dir.filePath(u"lorn2.ini"_s), u"COM4NEWACC"_s).contains(u"BaudRate=19200"_s));

    r = run(u"lorn2-cli"_s, {u"list"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], u"1\t01234\tКарна-1\t\tООО Тепло\t\t\t\t\t1F"_s);

    r = run(u"lorn2-cli"_s, {u"edit"_s, u"1234"_s, u"--phone"_s, u"555-12-34"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    r = run(u"lorn2-cli"_s, {u"list"_s}, dir.path());
    QVERIFY(r.out.contains(u"\tООО Тепло\t555-12-34\t"_s));

    r = run(u"lorn2-cli"_s, {u"delete"_s, u"1234"_s, u"--move-files"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, u"question: Вы уверены, что хотите удалить учётную запись ТС?\n-> yes\n"_s);
    QVERIFY(QFile::exists(dir.filePath(u"DeviceArchives/Karna1_01234/01234.xml"_s)));
    r = run(u"lorn2-cli"_s, {u"list"_s}, dir.path());
    QCOMPARE(r.out, kHeader);
    r = run(u"lorn2-cli"_s, {u"delete"_s, u"1234"_s, u"--remove-files"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.startsWith(u"error: "_s));
}

void TestCli::editMapCopiesIntoAccountFolder()
{
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Bold.On=<ESC>E\r\n"));
    const QByteArray map = "int Serial @ 0x10;\r\n";
    QVERIFY(testsupport::writeFile(dir.filePath(u"chosen.map"_s), map));
    Run r = run(u"lorn2-cli"_s, {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"77"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);

    r = run(u"lorn2-cli"_s, {u"edit"_s, u"77"_s, u"--map"_s, dir.filePath(u"chosen.map"_s)}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.startsWith(u"info: "_s), qPrintable(r.err));
    // The account names the copy in its own folder, so the next start reads the map from there.
    QCOMPARE(testsupport::readFile(dir.filePath(u"Devices/Karna1_00077/chosen.map"_s)), map);
    QVERIFY(testsupport::readFile(dir.filePath(u"Devices/Karna1_00077/00077.xml"_s))
                .contains("<FileName>chosen.map</FileName>"));
}

void TestCli::addRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("serial 0") << QStringList{u"--type"_s, u"1"_s, u"--serial"_s, u"0"_s} << 2
                              << u"--serial: a serial number 1 to 65534 expected"_s;
    QTest::newRow("duplicate") << QStringList{u"--type"_s, u"1"_s, u"--serial"_s, u"7"_s} << 1
                               << u"error: Не удалось создать учётную запись."_s;
    QTest::newRow("missing type") << QStringList{u"--serial"_s, u"8"_s} << 2 << u"--type and --serial"_s;
    QTest::newRow("unknown type") << QStringList{u"--type"_s, u"Karna9"_s, u"--serial"_s, u"8"_s} << 2
                                  << u"unknown device type"_s;
    QTest::newRow("bad parity") << QStringList{u"--type"_s, u"1"_s, u"--serial"_s, u"8"_s, u"--parity"_s, u"x"_s}
                                << 2 << u"--parity"_s;
    QTest::newRow("bad address") << QStringList{u"--type"_s, u"1"_s, u"--serial"_s, u"8"_s, u"--net-address"_s,
                                                u"1FF"_s}
                                 << 2 << u"--net-address"_s;
}

void TestCli::addRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QCOMPARE(run(u"lorn2-cli"_s, {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"7"_s}, dir.path()).exitCode, 0);
    const Run r = run(u"lorn2-cli"_s, QStringList{u"add"_s} + args, dir.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(QDir(dir.filePath(u"Devices"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{u"Karna1_00007"_s});
}

void TestCli::ambiguousSerialNamesTheTypes()
{
    QTemporaryDir dir;
    for (const QString& type : {u"1"_s, u"Velos2"_s})
        QCOMPARE(run(u"lorn2-cli"_s, {u"add"_s, u"--type"_s, type, u"--serial"_s, u"42"_s}, dir.path()).exitCode, 0);
    Run r = run(u"lorn2-cli"_s, {u"edit"_s, u"42"_s, u"--consumer"_s, u"x"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"Karna1, Velos2"_s), qPrintable(r.err));
    r = run(u"lorn2-cli"_s, {u"edit"_s, u"42"_s, u"--type"_s, u"2"_s, u"--consumer"_s, u"x"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(testsupport::readFile(dir.filePath(u"Devices/Velos2_00042/00042.xml"_s)).contains("<Consumer>x</Consumer>"));
    r = run(u"lorn2-cli"_s, {u"edit"_s, u"43"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
}

void TestCli::exportDevices()
{
    QTemporaryDir dir;
    QCOMPARE(run(u"lorn2-cli"_s, {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"1234"_s, u"--consumer"_s,
                                  u"Тепло, ООО"_s},
                 dir.path())
                 .exitCode,
             0);
    const Run r = run(u"lorn2-cli"_s, {u"export-devices"_s, u"devices.csv"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    const QByteArray csv = testsupport::readFile(dir.filePath(u"devices.csv"_s));
    const QList<QByteArray> lines = csv.split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("NN, SerialNumber, Type, LastConnect, Consumer, Phone, ConsumerID, Address, "
                                  "ContactPerson, NetAddress\r"));
    // windows-1251, the name with a comma quoted.
    QCOMPARE(lines[1], QByteArray("1, 1234, \xCA\xE0\xF0\xED\xE0-1,  ,\"\xD2\xE5\xEF\xEB\xEE, \xCE\xCE\xCE\", , , , , 0\r"));
}

// The demo's month of records is in Gcal, and its reports say so.
void TestCli::demoAccountKeepsItsUnits()
{
    QTemporaryDir dir;
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LORN2_DEMO"_s, dir.path());
    env.insert(u"LORN2_DEMO_PREPARE_ONLY"_s, u"1"_s);
    demo.setProcessEnvironment(env);
    demo.start(u"sh"_s, {QStringLiteral(LORN2_TEST_DATA_DIR) + u"/../../scripts/demo"_s});
    QVERIFY(demo.waitForFinished(60000));
    QVERIFY2(demo.exitCode() == 0, demo.readAllStandardError().constData());

    const QByteArray file = testsupport::readFile(dir.filePath(u"Devices/Karna1_01234/01234.tsa"_s));
    QVERIFY(file.contains("\r\nEnergy Units = 2\r\n"));
    const Run shown = run(u"lorn2-cli"_s, {u"show-archive"_s, u"1234"_s}, dir.path());
    QVERIFY(shown.out.startsWith(u"Время\tQ1(Гкал)"_s));
    // The account's own texts head its reports.
    const Run list = run(u"lorn2-cli"_s, {u"list"_s}, dir.path());
    QVERIFY2(list.out.contains(u"Школа №5"_s), qPrintable(list.out));
}

void TestCli::refusedBeforeAnythingRuns_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("serial too large") << QStringList{u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"65535"_s}
                                      << u"--serial: a serial number 1 to 65534 expected, not '65535'"_s;
    QTest::newRow("serial zero") << QStringList{u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"0"_s}
                                 << u"--serial: a serial number 1 to 65534 expected, not '0'"_s;
    QTest::newRow("serial not a number") << QStringList{u"show-archive"_s, u"12a"_s}
                                         << u"SERIAL: a serial number 1 to 65534 expected, not '12a'"_s;
    QTest::newRow("unknown type") << QStringList{u"add"_s, u"--type"_s, u"Karna9"_s, u"--serial"_s, u"5"_s}
                                  << u"--type: unknown device type 'Karna9'"_s;
    QTest::newRow("from after to")
        << QStringList{u"show-archive"_s, u"5"_s, u"--from"_s, u"2015-02-06"_s, u"--to"_s, u"2015-02-05"_s}
        << u"--from 2015-02-06 is after --to 2015-02-05"_s;
}

// A wrong value is a wrong command line: exit 2 with the reason, and nothing written.
void TestCli::refusedBeforeAnythingRuns()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const Run r = run(u"lorn2-cli"_s, args, dir.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.startsWith(u"lorn2-cli "_s + args.first() + u": "_s + reason + u'\n'), qPrintable(r.err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestCli::archiveAsJsonAndToStandardOutput()
{
    QTemporaryDir dir;
    const QString tsa = QStringLiteral(LORN2_TEST_DATA_DIR) + u"/typical.tsa"_s;
    QCOMPARE(run(u"lorn2-cli"_s, {u"import-archive"_s, tsa, u"--type"_s, u"Karna1"_s}, dir.path()).exitCode, 0);
    const Run text = run(u"lorn2-cli"_s, {u"show-archive"_s, u"1234"_s}, dir.path());
    const Run json = run(u"lorn2-cli"_s, {u"--json"_s, u"show-archive"_s, u"1234"_s}, dir.path());
    QCOMPARE(json.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.value(u"serial"_s).toInt(), 1234);
    const QJsonArray records = doc.value(u"records"_s).toArray();
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(records.size(), lines.size() - 1);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QStringList cells = lines[i + 1].split(u'\t');
        const QJsonObject r = records[i].toObject();
        const QDateTime t = QDateTime::fromString(r.value(u"time"_s).toString(), Qt::ISODate);
        QCOMPARE(t.toString(u"dd/MM/yy HH:mm"_s), cells[0]);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(r.value(u"Q"_s).toArray().at(c).toDouble(), cells[1 + c].toDouble());
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(r.value(u"M"_s).toArray().at(c).toDouble(), cells[4 + c].toDouble());
            QCOMPARE(r.value(u"t"_s).toArray().at(c).toDouble(), cells[10 + c].toDouble());
        }
        QCOMPARE(r.value(u"errors"_s).toArray().at(0).toInteger(), cells[25].toLongLong(nullptr, 16));
    }

    // "-" is standard output, with the file's own bytes.
    const QString file = dir.filePath(u"a.csv"_s);
    QCOMPARE(run(u"lorn2-cli"_s, {u"export-archive"_s, u"1234"_s, file}, dir.path()).exitCode, 0);
    const Run piped = run(u"lorn2-cli"_s, {u"export-archive"_s, u"1234"_s, u"-"_s}, dir.path());
    QCOMPARE(piped.exitCode, 0);
    QCOMPARE(piped.out.toLatin1().size() > 0, true);
    QProcess raw;
    raw.setWorkingDirectory(dir.path());
    raw.start(testsupport::binary(u"lorn2-cli"_s), {u"export-archive"_s, u"1234"_s, u"-"_s});
    QVERIFY(raw.waitForFinished(30000));
    QCOMPARE(raw.readAllStandardOutput(), testsupport::readFile(file));
    QVERIFY(!QFile::exists(dir.filePath(u"-"_s)));
}

// The exact message, then where it happened.
void TestCli::portErrorNamesThePort()
{
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"lorn2.ini"_s), "[SerialComm]\nCOM5=/dev/nonexistent-lorn2\n"));
    QCOMPARE(run(u"lorn2-cli"_s, {u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"5"_s, u"--port"_s, u"5"_s}, dir.path())
                 .exitCode,
             0);
    const Run r = run(u"lorn2-cli"_s, {u"set-clock"_s, u"5"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"error: COM port error 2: No such file or directory\n"
                            "info: COM5: /dev/nonexistent-lorn2\n"_s),
             qPrintable(r.err));
}

void TestCli::archiveCommands()
{
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Bold.On=<ESC>E\r\n"));
    const QString tsa = QStringLiteral(LORN2_TEST_DATA_DIR) + u"/typical.tsa"_s;
    Run r = run(u"lorn2-cli"_s, {u"import-archive"_s, tsa}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, u"error: Не выбран тип\n"_s);
    r = run(u"lorn2-cli"_s, {u"import-archive"_s, tsa, u"--type"_s, u"Karna1"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QFile::exists(dir.filePath(u"Devices/Karna1_01234/01234.tsa"_s)));

    r = run(u"lorn2-cli"_s, {u"show-archive"_s, u"1234"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines[0].startsWith(u"Время\tQ1(Гкал)\tQ2(Гкал)\tQ3(Гкал)\tM1 под"_s));
    QCOMPARE(lines[0].count(u'\t'), 36);
    QVERIFY(lines[1].startsWith(u"05/02/15 01:00\t21.000000\t"_s));
    r = run(u"lorn2-cli"_s, {u"show-archive"_s, u"1234"_s, u"--from"_s, u"2015-02-06"_s}, dir.path());
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 2);
    r = run(u"lorn2-cli"_s, {u"show-archive"_s, u"1234"_s, u"--to"_s, u"2015-02-05"_s}, dir.path());
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 4);

    r = run(u"lorn2-cli"_s, {u"export-archive"_s, u"1234"_s, u"out.csv"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, u"info: Архив экспортирован\n"_s);
    QCOMPARE(testsupport::readFile(dir.filePath(u"out.csv"_s)).count("\r\n"), 5);
    r = run(u"lorn2-cli"_s, {u"export-archive"_s, u"1234"_s, u"out.iar"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(u"Not supported"_s));

    r = run(u"lorn2-cli"_s, {u"export-db"_s, u"1234"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(u"-> yes\ninfo: Added 0 records\n"_s), qPrintable(r.err));
}

void TestCli::desktopProgramSavesOnTermination_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("messageOpen");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    // The database cannot open (its name is a folder): start-up waits on that message.
    QTest::newRow("SIGTERM, message box open") << int(SIGTERM) << true;
    QTest::newRow("SIGHUP, message box open") << int(SIGHUP) << true;
}

void TestCli::desktopProgramSavesOnTermination()
{
    QFETCH(int, signal);
    QFETCH(bool, messageOpen);
    QTemporaryDir dir;
    if (messageOpen)
        QVERIFY(QDir(dir.path()).mkdir(u"lorn2.sqlite"_s));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // Its own runtime folder, so that its instance lock meets no other copy of the program.
    env.insert(u"XDG_RUNTIME_DIR"_s, dir.path());
    env.insert(u"TMPDIR"_s, dir.path());
    p.setProcessEnvironment(env);
    p.start(testsupport::binary(u"lorn2"_s), {});
    QVERIFY(p.waitForStarted(10000));
    if (messageOpen) {
        // The settings are chosen before the database is opened; then the message waits.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(u"Lorn2SingleInstMutex.lock"_s)), 20000);
        QTest::qWait(1500);
        QVERIFY(!p.waitForFinished(100));
    } else {
        // The database file appears once start-up has reached the document.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(u"lorn2.sqlite"_s)), 20000);
        QTest::qWait(500);
    }
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY(testsupport::iniSection(dir.filePath(u"lorn2.ini"_s), u"COM4NEWACC"_s).contains(u"Port=-1"_s));
    // The lock goes with the program.
    QVERIFY(!QFile::exists(dir.filePath(u"Lorn2SingleInstMutex.lock"_s)));
}

void TestCli::renderReportFile()
{
    QTemporaryDir dir;
    const QByteArray report = "\x1b@\x1b" "EHead\x1b" "F\r\n\xda\xc4\xc2\xbf\r\n\xb3\x8f\xb3\tx\r\n\x0c"_ba;
    QVERIFY(testsupport::writeFile(dir.filePath(u"a.tsr"_s), report));
    QVERIFY(testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Init.Reset=<ESC>@\r\nBold.On=<ESC>E\r\n"));
    QVERIFY(testsupport::writeFile(dir.filePath(u"more.ini"_s), "Init.Reset=<ESC>@\r\nBold.Off=<ESC>F\r\n"));

    // esc.ini of the working folder: ESC F is not listed, so its ESC is a cell, drawn as a box.
    Run r = run(u"lorn2-cli"_s, {u"render"_s, u"a.tsr"_s, u"--text"_s, u"out.txt"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(QString::fromUtf8(testsupport::readFile(dir.filePath(u"out.txt"_s))),
             u"Head□F\n┌─┬┐\n│П│     x\n"_s);
    r = run(u"lorn2-cli"_s, {u"render"_s, u"a.tsr"_s, u"--text"_s, u"-"_s, u"--esc"_s, u"more.ini"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, u"□EHead\n┌─┬┐\n│П│     x\n"_s);
    r = run(u"lorn2-cli"_s, {u"render"_s, u"a.tsr"_s, u"--text"_s, u"-"_s, u"--esc"_s, u"none.ini"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(u"error: File error: "_s), qPrintable(r.err));
    r = run(u"lorn2-cli"_s, {u"render"_s, u"missing.tsr"_s, u"--text"_s, u"-"_s}, dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(u"error: File error: "_s), qPrintable(r.err));

    // Enough lines for three pages; the closing form feed adds none.
    QByteArray longReport;
    for (int i = 0; i < 200; ++i)
        longReport += "\xb3 line " + QByteArray::number(i) + "\r\n";
    QVERIFY(testsupport::writeFile(dir.filePath(u"long.tsr"_s), longReport + "\x0c"));
    r = run(u"lorn2-cli"_s, {u"render"_s, u"long.tsr"_s, u"--pdf"_s, u"long.pdf"_s}, dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    const QByteArray pdf = testsupport::readFile(dir.filePath(u"long.pdf"_s));
    QVERIFY(pdf.startsWith("%PDF-"));
    static const QRegularExpression page(u"/Type\\s*/Page(?![s\\w])"_s);
    QCOMPARE(QString::fromLatin1(pdf).count(page), 3);
    r = run(u"lorn2-cli"_s, {u"render"_s, u"long.tsr"_s, u"--pdf"_s, dir.filePath(u"no/such/folder.pdf"_s)},
            dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(u"error: Failed to save file: "_s), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"
