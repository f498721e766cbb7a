#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "app/ProgramSettings.h"

using namespace Qt::Literals::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& args, const QString& workingDir = QString())
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(testsupport::binary(program), args);
    Run r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
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
    void simulatorSaysWhatItCannotDo();
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
}

void TestCli::versionAndHelp()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const Run r = run(program, args, dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QVERIFY(!QFile::exists(dir.filePath(u"lorn2.ini"_s)));
}

void TestCli::simulatorSaysWhatItCannotDo()
{
    const Run r = run(u"lorn2-metersim"_s, {u"--link"_s, u"/tmp/x"_s});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(u"not available"_s));
}

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"
