#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "PgCluster.h"
#include "TestSupport.h"
#include "archive/DayMonRecord.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Run = testsupport::ProgramRun;

Run cli(const QString& folder, const QStringList& args, int timeoutMs = 120000)
{
    return testsupport::runProgram(u"lorn2-cli"_s, QStringList{ u"-C"_s, folder } + args, QString(), timeoutMs);
}

// `days` daily rows of each of `meters` meters, from 1 January 2000, plus a device type.
bool fillFile(const QString& path, int meters, int days)
{
    ArchiveDatabase db;
    if (FAILED(db.open(path)) || FAILED(db.ensureTables()) || FAILED(db.addDeviceType(1, u"Karna1"_s)))
        return false;
    ArchiveDatabase::BulkWrite bulk(db);
    for (int m = 0; m < meters; ++m) {
        for (int d = 0; d < days; ++d) {
            const QDate day = QDate(2000, 1, 1).addDays(d);
            sctArcZap r;
            r.year = std::uint8_t(day.year() - 2000);
            r.month = std::uint8_t(day.month());
            r.day = std::uint8_t(day.day());
            r.Event = archive::kEventDaily;
            r.Q[0] = float(d + m * 0.5);
            r.M[1] = float(m);
            if (db.storeDayMonRecord(1, 100 + m, archive::toDayMon(r)) != S_OK)
                return false;
        }
    }
    return true;
}

// Every row of every table as text, blobs in hexadecimal.
QStringList allRows(const QString& target)
{
    ArchiveDatabase db;
    if (FAILED(db.open(target)))
        return { u"cannot open "_s + target };
    QStringList out;
    for (auto table : { ArchiveDatabase::Table::DevTypes, ArchiveDatabase::Table::ArcRecs,
                        ArchiveDatabase::Table::CfgArcRecs }) {
        db.forEachRow(table, [&](const ArchiveDatabase::RawRow& r) {
            out << u"%1|%2|%3|%4|%5|%6|%7"_s.arg(int(table))
                       .arg(r.devType)
                       .arg(r.serial)
                       .arg(r.recType)
                       .arg(r.dateTime)
                       .arg(r.hwCode)
                       .arg(QString::fromLatin1(r.blob.toHex()));
            return true;
        });
    }
    return out;
}

void setDatabaseUrl(const QString& folder, const QString& url)
{
    QFile ini(QDir(folder).filePath(u"lorn2.ini"_s));
    QVERIFY(ini.open(QIODevice::Append));
    ini.write(QString(u"\n[Database]\nUrl="_s + url + u"\n"_s).toUtf8());
}

} // namespace

class TestCliDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copyMovesAFileIntoTheServer();
    void fourCopiesAtOnceLeaveEachRowOnce();
    void checkFindsWhatIsWrong();
    void passwordInTheIniIsRefused();
    void refusals_data();
    void refusals();
    void pollWritesToTheServer();

private:
    std::unique_ptr<PgCluster> m_cluster;
    int m_databases = 0;
    QString newDatabase()
    {
        const QString name = u"d%1"_s.arg(++m_databases);
        return m_cluster->createDatabase(name) ? m_cluster->url(name) : QString();
    }
};

void TestCliDb::initTestCase()
{
    m_cluster = std::make_unique<PgCluster>();
    QVERIFY2(m_cluster->isRunning(), qPrintable(m_cluster->error()));
}

void TestCliDb::copyMovesAFileIntoTheServer()
{
    QTemporaryDir dir;
    QVERIFY(fillFile(dir.filePath(u"lorn2.sqlite"_s), 20, 1000));
    const Run checked = cli(dir.path(), { u"db"_s, u"check"_s });
    QCOMPARE(checked.exitCode, 0);
    QVERIFY2(checked.out.contains(u"Таблица ARCRECS: строк 20000 (суточных 20000, месячных 0)"_s), qPrintable(checked.out));
    QVERIFY(checked.out.startsWith(u"База данных: SQLite "_s));

    const QString url = newDatabase();
    QVERIFY(!url.isEmpty());
    const Run first = cli(dir.path(), { u"db"_s, u"copy"_s, u"--to"_s, url });
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QVERIFY2(first.out.contains(u"ARCRECS: добавлено 20000, уже были 0"_s), qPrintable(first.out));
    QCOMPARE(allRows(url), allRows(dir.filePath(u"lorn2.sqlite"_s)));
    // Twice doubles nothing.
    const Run again = cli(dir.path(), { u"db"_s, u"copy"_s, u"--to"_s, url });
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.out.contains(u"ARCRECS: добавлено 0, уже были 20000"_s), qPrintable(again.out));
    QVERIFY(again.out.contains(u"DEVTYPES: добавлено 0, уже были 1"_s));

    // The server in use from lorn2.ini.
    setDatabaseUrl(dir.path(), url);
    const Run onServer = cli(dir.path(), { u"db"_s, u"check"_s });
    QCOMPARE(onServer.exitCode, 0);
    QVERIFY2(onServer.out.startsWith(u"База данных: PostgreSQL "_s + url), qPrintable(onServer.out));
    QVERIFY(onServer.out.contains(u"Итог: база данных исправна"_s));
}

void TestCliDb::fourCopiesAtOnceLeaveEachRowOnce()
{
    QTemporaryDir dir;
    QVERIFY(fillFile(dir.filePath(u"lorn2.sqlite"_s), 1, 1000));
    const QString url = newDatabase();
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < 4; ++i) {
        copies.push_back(std::make_unique<QProcess>());
        copies.back()->start(testsupport::binary(u"lorn2-cli"_s),
                             { u"-C"_s, dir.path(), u"db"_s, u"copy"_s, u"--to"_s, url });
    }
    for (auto& p : copies) {
        QVERIFY(p->waitForFinished(120000));
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
    }
    const QStringList rows = allRows(url);
    QCOMPARE(rows.size(), 1 + 1000);
    QCOMPARE(rows, allRows(dir.filePath(u"lorn2.sqlite"_s)));
}

void TestCliDb::checkFindsWhatIsWrong()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"lorn2.sqlite"_s);
    QVERIFY(fillFile(path, 1, 3));
    {
        // A short blob, and the index of an older version's file missing.
        ArchiveDatabase db;
        QCOMPARE(db.open(path), S_OK);
        bool added = false;
        ArchiveDatabase::RawRow r;
        r.devType = 1;
        r.serial = 7;
        r.recType = archive::kEventDaily;
        r.dateTime = u"2001-01-01 00:00"_s;
        r.blob = QByteArray(10, '\0');
        QCOMPARE(db.putRow(ArchiveDatabase::Table::ArcRecs, r, added), S_OK);
        QVERIFY(added);
    }
    const Run r = cli(dir.path(), { u"db"_s, u"check"_s });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.contains(u"строк с неполной записью: 1"_s), qPrintable(r.out));
    QVERIFY(r.out.contains(u"Итог: замечаний 1"_s));
}

void TestCliDb::passwordInTheIniIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(fillFile(dir.filePath(u"lorn2.sqlite"_s), 1, 1));
    setDatabaseUrl(dir.path(), m_cluster->url().replace(u"lorn2@"_s, u"lorn2:secret@"_s));
    const Run r = cli(dir.path(), { u"db"_s, u"check"_s });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"Failed to connect database!"_s), qPrintable(r.err));
    QVERIFY(!r.out.contains(u"secret"_s));
}

void TestCliDb::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no action") << QStringList{ u"db"_s } << 2 << QString();
    QTest::newRow("unknown action") << QStringList{ u"db"_s, u"drop"_s } << 2 << u"check or copy"_s;
    QTest::newRow("copy without target") << QStringList{ u"db"_s, u"copy"_s } << 2 << u"--to URL"_s;
    QTest::newRow("unreachable server") << QStringList{ u"db"_s, u"copy"_s, u"--to"_s,
                                                        u"postgresql://lorn2@127.0.0.1:1/none"_s }
                                        << 1 << u"Не удалось открыть базу данных"_s;
    QTest::newRow("into itself") << QStringList{ u"db"_s, u"copy"_s, u"--to"_s, u"lorn2.sqlite"_s } << 1
                                 << u"сама в себя"_s;
}

void TestCliDb::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(fillFile(dir.filePath(u"lorn2.sqlite"_s), 1, 1));
    const Run r = testsupport::runProgram(u"lorn2-cli"_s, QStringList{ u"-C"_s, dir.path() } + args, dir.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

// A poll with the server as the working folder's database: the meter's daily rows land there,
// the daily report is built from them; with the server down the poll says so, and after it is
// back the next poll completes.
void TestCliDb::pollWritesToTheServer()
{
    QTemporaryDir dir;
    testsupport::writeFile(dir.filePath(u"esc.ini"_s), QByteArray());
    const QString link = dir.filePath(u"line1"_s);
    QProcess meter;
    meter.start(testsupport::binary(u"lorn2-metersim"_s),
                { u"--link"_s, link, u"--serial"_s, u"7001"_s, u"--hours"_s, u"72"_s, u"--archive-size"_s, u"96"_s,
                  u"--prot"_s, u"14"_s, u"--cfg-archive"_s, u"3"_s });
    QVERIFY(meter.waitForStarted(5000));
    QCOMPARE(testsupport::readLines(meter, 1).size(), 1);
    QCOMPARE(cli(dir.path(), { u"ports"_s, u"add"_s, u"COM1"_s, link }).exitCode, 0);
    QCOMPARE(cli(dir.path(), { u"add"_s, u"--type"_s, u"1"_s, u"--serial"_s, u"7001"_s, u"--port"_s, u"1"_s,
                               u"--timeout"_s, u"300"_s })
                 .exitCode,
             0);
    const QString url = newDatabase();
    setDatabaseUrl(dir.path(), url);

    QVERIFY(m_cluster->stop());
    const Run down = cli(dir.path(), { u"poll"_s, u"--all"_s, u"--attempts"_s, u"1"_s });
    QVERIFY2(down.err.contains(u"Failed to connect database!"_s), qPrintable(down.err));
    QCOMPARE(down.exitCode, 1);
    QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));

    const Run up = cli(dir.path(), { u"poll"_s, u"--all"_s, u"--config"_s, u"always"_s });
    QVERIFY2(up.exitCode == 0, qPrintable(up.err));
    ArchiveDatabase server;
    QCOMPARE(server.open(url), S_OK);
    int daily = 0;
    QCOMPARE(server.countDailyRows(1, 7001, daily), S_OK);
    QVERIFY2(daily >= 2, qPrintable(QString::number(daily)));
    std::vector<archive::DayMonRow> rows;
    QCOMPARE(server.readDailyRows(1, 7001, {}, {}, rows), S_OK);
    QCOMPARE(int(rows.size()), daily);
    // The daily report of those days comes from the server's rows.
    const QDate first = rows.front().dateTime.date(), last = rows.back().dateTime.date();
    const Run report = cli(dir.path(), { u"report"_s, u"7001"_s, u"--daily"_s, first.toString(Qt::ISODate),
                                         last.toString(Qt::ISODate), u"--text"_s, u"-"_s });
    QVERIFY2(report.exitCode == 0, qPrintable(report.err));
    QVERIFY(report.out.contains(u"ПОСУТОЧНЫЙ"_s));

    // The configuration archive goes to the server and is listed from there.
    const Run config = cli(dir.path(), { u"read-config"_s, u"7001"_s, u"--cfg-archive"_s, u"yes"_s });
    QVERIFY2(config.exitCode == 0, qPrintable(config.err));
    std::vector<CfgArcRecord> snapshots;
    QCOMPARE(server.readCfgArchive(1, 7001, snapshots), S_OK);
    QCOMPARE(snapshots.size(), std::size_t(3));
    const Run listed = cli(dir.path(), { u"config-report"_s, u"7001"_s, u"--list-snapshots"_s });
    QCOMPARE(int(listed.out.count(u'\n')), 3);
    // The account's own export of its records keeps the rows once.
    const Run exported = cli(dir.path(), { u"export-db"_s, u"7001"_s });
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    int after = 0;
    QCOMPARE(server.countDailyRows(1, 7001, after), S_OK);
    QVERIFY(after >= daily);
    meter.terminate();
    meter.waitForFinished(3000);
}

QTEST_GUILESS_MAIN(TestCliDb)
#include "TestCliDb.moc"
