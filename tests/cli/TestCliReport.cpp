#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "JanuaryHours.h"
#include "TestSupport.h"
#include "archive/ArchiveFile.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run run(const QStringList& args, const QString& workingDir)
{
    return testsupport::runProgram(u"lorn2-cli"_s, args, workingDir);
}

// 48 hours of one contour, from 5 January 2015 01:00 to 7 January 00:00, as an archive file.
QByteArray januaryArchive(std::uint16_t serial)
{
    ArchiveParams params;
    params.NumSys = 1;
    params.Formula = { 1, 0, 0 };
    const ArchiveRecordList records = testsupport::januaryHours();
    return archive::archiveFileBytes(params, records, serial);
}

bool importArchive(const QTemporaryDir& dir, const QByteArray& bytes, const QString& type)
{
    const QString file = dir.filePath(u"import.tsa"_s);
    return testsupport::writeFile(file, bytes)
        && run({ u"import-archive"_s, file, u"--type"_s, type }, dir.path()).exitCode == 0;
}

// A working folder with the account 01234 (type Karna1) whose archive holds January's hours.
struct Folder
{
    Folder() { imported = importArchive(dir, januaryArchive(1234), u"Karna1"_s); }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    bool imported = false;
};

// Three accounts: 01111 (Karna1) and 02222 (Velos2) with January's hours, 01234 (Karna1) with
// the February records of the typical archive only.
struct Fleet
{
    Fleet()
    {
        const QString typical = QStringLiteral(LORN2_TEST_DATA_DIR) + u"/typical.tsa"_s;
        imported = importArchive(dir, januaryArchive(1111), u"Karna1"_s)
            && importArchive(dir, januaryArchive(2222), u"Velos2"_s)
            && run({ u"import-archive"_s, typical, u"--type"_s, u"Karna1"_s }, dir.path()).exitCode == 0;
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList reports(const QString& folder, const QString& pattern = u"*.tsr"_s) const
    {
        return QDir(path(folder)).entryList({ pattern }, QDir::Files, QDir::Name);
    }

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
    void reportsOfEveryAccount_data();
    void reportsOfEveryAccount();
    void pdfBesideEveryReport();
    void batchFailures_data();
    void batchFailures();
    void batchUsageErrors_data();
    void batchUsageErrors();
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

void TestCliReport::reportsOfEveryAccount_data()
{
    QTest::addColumn<QStringList>("range");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("dates");
    QTest::newRow("daily") << QStringList{ u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s } << u"month"_s
                           << u"2015-01-05_2015-01-06"_s;
    QTest::newRow("hourly, folder made two deep")
        << QStringList{ u"--hourly"_s, u"2015-01-06"_s } << u"out/jan"_s << u"2015-01-06_2015-01-06"_s;
    QTest::newRow("daily of contour 1, TO last")
        << QStringList{ u"--contour"_s, u"1"_s, u"--daily"_s, u"2015-01-05"_s, u"--dir"_s, u"x"_s, u"2015-01-06"_s }
        << u"x"_s << u"2015-01-05_2015-01-06"_s;
}

// Each account's report is the one `report SERIAL` writes; the account without records in the
// period is named and skipped, which is no failure.
void TestCliReport::reportsOfEveryAccount()
{
    QFETCH(QStringList, range);
    QFETCH(QString, dir);
    QFETCH(QString, dates);
    Fleet f;
    QVERIFY(f.imported);
    QStringList args = QStringList{ u"report"_s, u"--all"_s } + range;
    if (!range.contains(u"--dir"_s))
        args << u"--dir"_s << dir;
    const Run r = run(args, f.dir.path());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));

    const QString first = u"Karna1_01111_"_s + dates + u".tsr"_s;
    const QString second = u"Velos2_02222_"_s + dates + u".tsr"_s;
    QCOMPARE(f.reports(dir), (QStringList{ first, second }));
    const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             (QStringList{ u"Karna1_01111: записан "_s + dir + u'/' + first,
                           u"Karna1_01234: пропущен: нет записей за период"_s,
                           u"Velos2_02222: записан "_s + dir + u'/' + second,
                           u"Отчётов записано: 2, пропущено ТС: 1, ошибок: 0"_s }));

    QStringList single = range;
    if (const qsizetype at = single.indexOf(u"--dir"_s); at >= 0)
        single.remove(at, 2);
    for (const auto& [serial, name] : { std::pair{ u"1111"_s, first }, std::pair{ u"2222"_s, second } }) {
        const Run one
            = run(QStringList{ u"report"_s, serial } + single + QStringList{ u"-o"_s, u"one.tsr"_s }, f.dir.path());
        QCOMPARE(one.exitCode, 0);
        const QByteArray expected = testsupport::readFile(f.path(u"one.tsr"_s));
        QVERIFY(expected.endsWith('\x0c'));
        QCOMPARE(testsupport::readFile(f.path(dir + u'/' + name)), expected);
    }
    // The batch leaves the document's own report file alone.
    QVERIFY(!QFile::exists(f.path(u"Reports"_s)));
}

void TestCliReport::pdfBesideEveryReport()
{
    Fleet f;
    QVERIFY(f.imported);
    // An account that never read its meter has nothing to report either.
    QCOMPARE(run({ u"add"_s, u"--type"_s, u"Darna3"_s, u"--serial"_s, u"3333"_s }, f.dir.path()).exitCode, 0);
    const Run r = run(
        { u"report"_s, u"--all"_s, u"--pdf"_s, u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s, u"--dir"_s, u"pdf"_s },
        f.dir.path());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(u"Darna3_03333: пропущен: нет архивных данных\n"_s), qPrintable(r.err));
    QVERIFY2(r.err.contains(u"Karna1_01111: записаны pdf/Karna1_01111_2015-01-05_2015-01-06.tsr, "
                            "pdf/Karna1_01111_2015-01-05_2015-01-06.pdf\n"_s),
             qPrintable(r.err));
    QVERIFY(r.err.endsWith(u"Отчётов записано: 2, пропущено ТС: 2, ошибок: 0\n"_s));
    const QStringList pdfs = f.reports(u"pdf"_s, u"*.pdf"_s);
    QCOMPARE(pdfs,
             (QStringList{ u"Karna1_01111_2015-01-05_2015-01-06.pdf"_s, u"Velos2_02222_2015-01-05_2015-01-06.pdf"_s }));

    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed");
    for (const QString& pdf : pdfs) {
        QProcess render;
        render.start(u"pdftoppm"_s,
                     { u"-r"_s, u"20"_s, u"-png"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, f.path(u"pdf/"_s + pdf),
                       f.path(u"page"_s) });
        QVERIFY(render.waitForFinished(30000));
        QVERIFY2(render.exitCode() == 0, render.readAllStandardError().constData());
        const QStringList pages = QDir(f.dir.path()).entryList({ u"page*.png"_s }, QDir::Files);
        QCOMPARE(pages.size(), 1);
        const QImage page(f.path(pages.first()));
        QVERIFY(!page.isNull());
        // Something is printed on the page: not every pixel is white.
        bool ink = false;
        for (int y = 0; y < page.height() && !ink; ++y) {
            for (int x = 0; x < page.width() && !ink; ++x)
                ink = page.pixelColor(x, y).lightness() < 128;
        }
        QVERIFY(ink);
        QFile::remove(f.path(pages.first()));
    }
}

void TestCliReport::batchFailures_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("kept");
    // A folder where a file should go cannot be replaced by it: only that account fails.
    QTest::newRow("report file") << u"out/Karna1_01111_2015-01-05_2015-01-06.tsr"_s
                                 << u"Karna1_01111: ошибка: Не удалось сохранить отчёт в файл: "
                                    "out/Karna1_01111_2015-01-05_2015-01-06.tsr\n"_s
                                 << u"out/Velos2_02222_2015-01-05_2015-01-06.pdf"_s;
    QTest::newRow("pdf file") << u"out/Velos2_02222_2015-01-05_2015-01-06.pdf"_s
                              << u"Velos2_02222: ошибка: Failed to save file: "
                                 "out/Velos2_02222_2015-01-05_2015-01-06.pdf\n"_s
                              << u"out/Karna1_01111_2015-01-05_2015-01-06.pdf"_s;
    QTest::newRow("the folder is a file") << QString() << u"error: Не удалось создать папку: out\n"_s << QString();
}

void TestCliReport::batchFailures()
{
    QFETCH(QString, blocked);
    QFETCH(QString, message);
    QFETCH(QString, kept);
    Fleet f;
    QVERIFY(f.imported);
    if (blocked.isEmpty())
        QVERIFY(testsupport::writeFile(f.path(u"out"_s), "x"));
    else
        QVERIFY(QDir().mkpath(f.path(blocked)));
    const Run r = run(
        { u"report"_s, u"--all"_s, u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s, u"--dir"_s, u"out"_s, u"--pdf"_s },
        f.dir.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    if (blocked.isEmpty())
        return;
    QVERIFY(r.err.endsWith(u"Отчётов записано: 1, пропущено ТС: 1, ошибок: 1\n"_s));
    // The other account's report is written all the same.
    QVERIFY(QFileInfo(f.path(kept)).isFile());
}

void TestCliReport::batchUsageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    const QStringList daily{ u"--daily"_s, u"2015-01-05"_s, u"2015-01-06"_s };
    QTest::newRow("--all with a serial") << QStringList{ u"1111"_s, u"--all"_s, u"--dir"_s, u"d"_s } + daily
                                         << u"--all and a serial number exclude each other"_s;
    QTest::newRow("--all without --dir") << QStringList{ u"--all"_s } + daily << u"--all needs --dir DIR"_s;
    QTest::newRow("--all with -o") << QStringList{ u"--all"_s, u"--dir"_s, u"d"_s, u"-o"_s, u"r.tsr"_s } + daily
                                   << u"-o: not with --all"_s;
    QTest::newRow("--all, --pdf with a file") << QStringList{ u"--all"_s, u"--dir"_s, u"d"_s, u"--pdf"_s, u"r.pdf"_s }
            + daily << u"unexpected argument 'r.pdf' (with --all, --pdf takes no file name)"_s;
    QTest::newRow("--all, daily without TO")
        << QStringList{ u"--all"_s, u"--dir"_s, u"d"_s, u"--daily"_s, u"2015-01-05"_s }
        << u"--daily: FROM and TO expected"_s;
    QTest::newRow("--all, TO before FROM")
        << QStringList{ u"--all"_s, u"--dir"_s, u"d"_s, u"--daily"_s, u"2015-01-06"_s, u"2015-01-05"_s }
        << u"--daily: TO is before FROM"_s;
    QTest::newRow("--dir without --all") << QStringList{ u"1111"_s, u"--dir"_s, u"d"_s } + daily
                                         << u"--dir goes with --all"_s;
    QTest::newRow("neither serial nor --all")
        << QStringList{ u"--hourly"_s, u"2015-01-05"_s } << u"name the account (SERIAL) or give --all"_s;
}

void TestCliReport::batchUsageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const Run r = run(QStringList{ u"report"_s } + args, dir.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.startsWith(u"lorn2-cli report: "_s + reason), qPrintable(r.err));
    QVERIFY(r.err.contains(u"Usage: lorn2-cli report (SERIAL | --all)"_s));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestCliReport)
#include "TestCliReport.moc"
