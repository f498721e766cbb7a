#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "archive/ArchiveFile.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run run(const QStringList& args, const QString& workingDir)
{
    return testsupport::runProgram(u"lorn2-cli"_s, args, workingDir);
}

// A working folder with the account 01234 (type Karna1) whose archive holds the hours from
// 5 January 2015 01:00 to 7 January 00:00.
struct Folder
{
    Folder()
    {
        ArchiveParams params;
        params.NumSys = 1;
        params.Formula = { 1, 0, 0 };
        ArchiveRecordList records;
        for (int h = 1; h <= 48; ++h) {
            sctArcZap r;
            r.year = 15;
            r.month = 1;
            r.day = std::uint8_t(5 + h / 24);
            r.hour = std::uint8_t(h % 24);
            r.Event = archive::kEventHourly;
            r.Q[0] = float(h) / 10.0f;
            r.M[0] = r.M[1] = float(h * 2);
            records.add(r, false);
        }
        const QString file = dir.filePath(u"import.tsa"_s);
        testsupport::writeFile(file, archive::archiveFileBytes(params, records, 1234));
        imported = run({ u"import-archive"_s, file, u"--type"_s, u"Karna1"_s }, dir.path()).exitCode == 0;
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    bool imported = false;
};

} // namespace

class TestCliReport : public QObject
{
    Q_OBJECT

private slots:
    void hourlyReportToTheReportsFolder();
    void dailyReportWithTextAndPdf();
    void usageErrors_data();
    void usageErrors();
    void failures_data();
    void failures();
};

void TestCliReport::hourlyReportToTheReportsFolder()
{
    Folder f;
    QVERIFY(f.imported);
    const Run r = run({ u"report"_s, u"1234"_s, u"--hourly"_s, u"2015-01-05"_s }, f.dir.path());
    QCOMPARE(r.exitCode, 0);
    const QByteArray report = testsupport::readFile(f.path(u"Reports/Karna1_01234.tsr"_s));
    QVERIFY(report.startsWith("\x1b\x43\x64"));
    QVERIFY(report.endsWith('\x0c'));
    // -o writes the same bytes elsewhere.
    const Run again
        = run({ u"report"_s, u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"-o"_s, u"copy.tsr"_s }, f.dir.path());
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(testsupport::readFile(f.path(u"copy.tsr"_s)), report);
    // The report covers its day: the 24:00 row is the 00:00 record of the 6th.
    QVERIFY(report.contains("05/01/2015"));
}

void TestCliReport::dailyReportWithTextAndPdf()
{
    Folder f;
    QVERIFY(f.imported);
    const Run r = run({ u"report"_s, u"1234"_s, u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s, u"--contour"_s, u"1"_s,
                        u"-o"_s, u"d.tsr"_s, u"--text"_s, u"d.txt"_s, u"--pdf"_s, u"d.pdf"_s },
                      f.dir.path());
    QCOMPARE(r.exitCode, 0);
    const QString text = QString::fromUtf8(testsupport::readFile(f.path(u"d.txt"_s)));
    QVERIFY2(text.contains(u"ПОСУТОЧНЫЙ"_s), qPrintable(text.left(200)));
    QVERIFY(text.contains(u"с 05/01/2015 по 07/01/2015"_s));
    QVERIFY(!text.contains(u'\x1b'));
    QVERIFY(testsupport::readFile(f.path(u"d.pdf"_s)).startsWith("%PDF"));
    QVERIFY(testsupport::readFile(f.path(u"d.tsr"_s)).startsWith("\x1b\x43\x64"));
}

void TestCliReport::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no kind") << QStringList{ u"1234"_s };
    QTest::newRow("both kinds") << QStringList{ u"1234"_s,    u"--hourly"_s,   u"2015-01-05"_s,
                                                u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s };
    QTest::newRow("daily without TO") << QStringList{ u"1234"_s, u"--daily"_s, u"2015-01-05"_s };
    QTest::newRow("hourly with a second date")
        << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"2015-01-06"_s };
    QTest::newRow("bad date") << QStringList{ u"1234"_s, u"--hourly"_s, u"05.01.2015"_s };
    QTest::newRow("TO before FROM") << QStringList{ u"1234"_s, u"--daily"_s, u"2015-01-06"_s, u"2015-01-05"_s };
    QTest::newRow("contour 4") << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"--contour"_s, u"4"_s };
    QTest::newRow("contour text") << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"--contour"_s, u"x"_s };
}

void TestCliReport::usageErrors()
{
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    const Run r = run(QStringList{ u"report"_s } + args, dir.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(u"Usage: lorn2-cli report"_s));
    // Nothing was touched: no database, no settings.
    QVERIFY(!QFile::exists(dir.filePath(u"lorn2.sqlite"_s)));
}

void TestCliReport::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown serial") << QStringList{ u"999"_s, u"--hourly"_s, u"2015-01-05"_s } << QString();
    QTest::newRow("contour the meter lacks")
        << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"--contour"_s, u"2"_s } << u"--contour 2"_s;
    QTest::newRow("day without records") << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-02-01"_s }
                                         << u"отсутствуют учетные данные"_s;
    QTest::newRow("unwritable output") << QStringList{ u"1234"_s, u"--hourly"_s, u"2015-01-05"_s, u"-o"_s,
                                                       u"no/such/dir/r.tsr"_s }
                                       << u"Не удалось сохранить отчёт в файл:\n"_s;
}

void TestCliReport::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    Folder f;
    QVERIFY(f.imported);
    const Run r = run(QStringList{ u"report"_s } + args, f.dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(f.path(u"Reports/Karna1_01234.tsr"_s)));
    QVERIFY2(r.err.startsWith(u"error: "_s) || r.err.contains(u"\nerror: "_s), qPrintable(r.err));
    if (!message.isEmpty())
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliReport)
#include "TestCliReport.moc"
