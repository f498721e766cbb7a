#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

#include <sqlite3.h>

#include <libpq-fe.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "archive/DayMonRecord.h"
#include "base/DateUtil.h"
#include "base/Crc16.h"
#include "PgCluster.h"
#include "storage/ArchiveDatabase.h"
#include "storage/PgConnection.h"

using namespace Qt::Literals::StringLiterals;
using archive::DayMonRow;

Q_DECLARE_METATYPE(sctArcZap)
Q_DECLARE_METATYPE(CfgArcRecord)

namespace {

constexpr int kType = 1;
constexpr int kSerial = 1234;

sctArcZap record(int year, int month, int day, int hour = 0, int minute = 0, int event = archive::kEventDaily,
                 float q = 0.0f)
{
    sctArcZap r;
    r.year = std::uint8_t(year);
    r.month = std::uint8_t(month);
    r.day = std::uint8_t(day);
    r.hour = std::uint8_t(hour);
    r.minute = std::uint8_t(minute);
    r.Event = std::uint8_t(event);
    r.Q[0] = q;
    r.extCrc = std::uint16_t(day * 100 + hour);
    return r;
}

u_data_daymon_full blob(const sctArcZap& r)
{
    return archive::toDayMon(r);
}

// Statements of the test's own, beside the program's connection: to look at rows and to leave
// rows as another program might have.
class RawSql
{
public:
    virtual ~RawSql() = default;
    // The rows as "col|col|...", blobs shown by their size.
    virtual QStringList query(const QString& sql) = 0;
    virtual QByteArray firstBlob(const QString& sql) = 0;
    virtual bool exec(const char* sql) = 0;
    // A statement with one blob parameter, written "?".
    virtual bool insertRaw(const char* sql, const QByteArray& bytes) = 0;
};

class SqliteSql : public RawSql
{
public:
    explicit SqliteSql(sqlite3* db)
        : m_db(db)
    {
    }
    QStringList query(const QString& sql) override
    {
        QStringList out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.utf16(), -1, &stmt, nullptr) != SQLITE_OK)
            return {u"prepare failed: "_s + QString::fromUtf8(sqlite3_errmsg(m_db))};
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (sqlite3_column_type(stmt, i) == SQLITE_BLOB)
                    cols << u"blob:%1"_s.arg(sqlite3_column_bytes(stmt, i));
                else
                    cols << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
            }
            out << cols.join(u'|');
        }
        sqlite3_finalize(stmt);
        return out;
    }
    QByteArray firstBlob(const QString& sql) override
    {
        QByteArray out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.utf16(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            out = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)), sqlite3_column_bytes(stmt, 0));
        sqlite3_finalize(stmt);
        return out;
    }
    bool exec(const char* sql) override { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    bool insertRaw(const char* sql, const QByteArray& bytes) override
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            return false;
        sqlite3_bind_blob(stmt, 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        const bool ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_finalize(stmt);
        return ok;
    }

private:
    sqlite3* m_db;
};

class PgSql : public RawSql
{
public:
    explicit PgSql(const QString& url)
        : m_conn(PQconnectdb(url.toUtf8().constData()))
    {
    }
    ~PgSql() override { PQfinish(m_conn); }
    QStringList query(const QString& sql) override
    {
        PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            const QString error = QString::fromUtf8(PQresultErrorMessage(r));
            PQclear(r);
            return {u"query failed: "_s + error};
        }
        QStringList out;
        for (int row = 0; row < PQntuples(r); ++row) {
            QStringList cols;
            for (int c = 0; c < PQnfields(r); ++c) {
                if (PQftype(r, c) == kByteaOid) {
                    std::size_t n = 0;
                    unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r, row, c)), &n);
                    cols << u"blob:%1"_s.arg(n);
                    PQfreemem(bytes);
                } else {
                    cols << QString::fromUtf8(PQgetvalue(r, row, c));
                }
            }
            out << cols.join(u'|');
        }
        PQclear(r);
        return out;
    }
    QByteArray firstBlob(const QString& sql) override
    {
        PGresult* r = PQexecParams(m_conn, sql.toUtf8().constData(), 0, nullptr, nullptr, nullptr, nullptr, 1);
        QByteArray out;
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0)
            out = QByteArray(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0));
        PQclear(r);
        return out;
    }
    bool exec(const char* sql) override
    {
        PGresult* r = PQexec(m_conn, sql);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        PQclear(r);
        return ok;
    }
    bool insertRaw(const char* sql, const QByteArray& bytes) override
    {
        const QByteArray text = QByteArray(sql).replace('?', "$1");
        const char* values[] = {bytes.constData()};
        const int lengths[] = {int(bytes.size())};
        const int formats[] = {1};
        PGresult* r = PQexecParams(m_conn, text.constData(), 1, nullptr, values, lengths, formats, 0);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
        return ok;
    }

private:
    static constexpr Oid kByteaOid = 17;
    PGconn* m_conn;
};

QByteArray bytesOf(const u_data_daymon_full& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.bytes.data()), qsizetype(b.bytes.size()));
}

// A configuration archive record as the meter sends it: stamp in its last bytes, the check sum
// behind them, and the bytes the meter changes after summing set to something.
CfgArcRecord cfgRecord(int year, int month, int day, int hour, int minute, int second, std::uint8_t fill)
{
    CfgArcRecord r;
    for (std::size_t i = 0; i < r.bytes.size(); ++i)
        r.bytes[i] = std::uint8_t(fill + i * 7);
    const int stamp[] = {second, minute, hour, day, month, year};
    for (int i = 0; i < 6; ++i)
        r.bytes[CfgArcRecord::kSecond + std::size_t(i)] = std::uint8_t(stamp[i]);
    auto summed = r.bytes;
    for (std::size_t i : {122, 572, 842, 843, 844, 845, 846})
        summed[i] = 0;
    const std::uint16_t c = crc::modbus(summed.data(), 1022);
    r.bytes[1022] = std::uint8_t(c);
    r.bytes[1023] = std::uint8_t(c >> 8);
    r.bytes[122] = 0xAA;
    r.bytes[846] = 0x55;
    return r;
}

QByteArray bytesOf(const CfgArcRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(r.bytes.data()), qsizetype(r.bytes.size()));
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Holds a read lock on the database from another connection, as a second program would.
class Reader
{
public:
    explicit Reader(const QString& path)
    {
        sqlite3_open16(path.utf16(), &m_db);
        exec(m_db, "BEGIN");
        sqlite3_prepare_v2(m_db, "SELECT * FROM ARCRECS", -1, &m_stmt, nullptr);
        sqlite3_step(m_stmt);
    }
    ~Reader()
    {
        release();
        sqlite3_close(m_db);
    }
    void release()
    {
        if (m_stmt == nullptr)
            return;
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        exec(m_db, "COMMIT");
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace

// One suite, two back ends: the embedded file and a PostgreSQL server.
enum class Backend { Sqlite, Postgres };

class TestArchiveDatabase : public QObject
{
    Q_OBJECT

public:
    explicit TestArchiveDatabase(Backend backend, PgCluster* cluster = nullptr)
        : m_backend(backend)
        , m_cluster(cluster)
    {
    }

private slots:
    void init();
    void cleanup();

    void newFileHasUtf16TablesAndIndexes();
    void storingAgainReplacesTheBlob();
    void storedColumns_data();
    void storedColumns();
    void invalidStampWritesNothing_data();
    void invalidStampWritesNothing();
    void dailyRange_data();
    void dailyRange();
    void countsDailyRowsOfTheMeter();
    void rowWithoutWholeBlobFailsTheRead();
    void columnsFoundInAnyLetterCase();

    void cfgRecordStoredOnce();
    void cfgRecordRoundTripKeepsEveryByte();
    void cfgRecordRefusedWhenBroken_data();
    void cfgRecordRefusedWhenBroken();
    void cfgArchiveReadStopsAtBrokenRow_data();
    void cfgArchiveReadStopsAtBrokenRow();
    void cfgArchiveSkipsShortBlobs_data();
    void cfgArchiveSkipsShortBlobs();
    void cfgArchiveStampsAreCalendarValues();

    void deviceTypes();
    void noConnection();

    void exportCountsAddedAndErrors();
    void exportWithoutDeviceTypeTable();

    void bulkExportKeepsEachRowAllOrNothing();
    void serverSchemaHasUniqueKeys();
    void serverLostAndBack();
    void commitWaitsForAReader();
    void commitGivesUpAndRollsBack();

private:
    // The tests of the file's own locking and layout.
    bool sqliteOnly()
    {
        return m_backend == Backend::Sqlite;
    }

    Backend m_backend;
    PgCluster* m_cluster;
    int m_databases = 0;
    QString m_path;
    std::unique_ptr<QTemporaryDir> m_dir;
    ArchiveDatabase m_db;
    std::unique_ptr<RawSql> m_raw;
};

void TestArchiveDatabase::init()
{
    if (m_backend == Backend::Postgres) {
        // A database of its own for each test, as a new file is.
        QVERIFY2(m_cluster != nullptr && m_cluster->isRunning(), m_cluster ? qPrintable(m_cluster->error()) : "");
        const QString name = u"t%1"_s.arg(++m_databases);
        QVERIFY2(m_cluster->createDatabase(name), qPrintable(m_cluster->error()));
        m_path = m_cluster->url(name);
        QCOMPARE(m_db.open(m_path), S_OK);
        QCOMPARE(m_db.ensureTables(), S_OK);
        m_raw = std::make_unique<PgSql>(m_path);
        return;
    }
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"lorn2.sqlite"_s);
    QCOMPARE(m_db.open(m_path), S_OK);
    QCOMPARE(m_db.ensureTables(), S_OK);
    m_raw = std::make_unique<SqliteSql>(m_db.handle());
}

void TestArchiveDatabase::cleanup()
{
    m_raw.reset();
    m_db.close();
    m_dir.reset();
}

void TestArchiveDatabase::newFileHasUtf16TablesAndIndexes()
{
    if (!sqliteOnly())
        QSKIP("the embedded file only");
    QCOMPARE(m_raw->query(u"PRAGMA encoding"_s), QStringList{u"UTF-16le"_s});
    // sqlite_sequence belongs to the library (AUTOINCREMENT of DEVTYPES).
    const QString ours = u"FROM sqlite_master WHERE name NOT LIKE 'sqlite%'"_s;
    const QStringList schema = m_raw->query(u"SELECT type, name, sql "_s + ours + u" ORDER BY name"_s);
    QCOMPARE(schema,
             (QStringList{u"table|ARCRECS|"_s + QString::fromUtf8(ArchiveDatabase::kCreateArcRecs),
                          u"index|ARCRECS_KEY|CREATE INDEX \"ARCRECS_KEY\" ON \"ARCRECS\" (\"DEVTYPE\", \"SERNUM\", "
                          u"\"RECTYPE\", \"DATETIME\")"_s,
                          u"table|CFGARCRECS|"_s + QString::fromUtf8(ArchiveDatabase::kCreateCfgArcRecs),
                          u"index|CFGARCRECS_KEY|CREATE INDEX \"CFGARCRECS_KEY\" ON \"CFGARCRECS\" (\"DEVTYPE\", "
                          u"\"SERNUM\", \"DATETIME\")"_s,
                          u"table|DEVTYPES|"_s + QString::fromUtf8(ArchiveDatabase::kCreateDevTypes)}));

    // Opening an existing file finds its tables and adds nothing.
    m_db.close();
    QCOMPARE(m_db.open(m_path), S_OK);
    QCOMPARE(m_db.ensureTables(), S_OK);
    QCOMPARE(m_raw->query(u"SELECT count(*) "_s + ours), QStringList{u"5"_s});
}

void TestArchiveDatabase::storingAgainReplacesTheBlob()
{
    const sctArcZap first = record(15, 1, 18, 0, 0, archive::kEventDaily, 1.0f);
    const sctArcZap latest = record(15, 1, 18, 0, 0, archive::kEventDaily, 2.0f);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(first)), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(latest)), S_OK);
    // The same minute of a monthly record, or of another meter, is a row of its own.
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 18, 0, 0, archive::kEventMonthly))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial + 1, blob(first)), S_OK);

    QCOMPARE(m_raw->query(u"SELECT RECTYPE, SERNUM FROM ARCRECS ORDER BY RECTYPE, SERNUM"_s),
             (QStringList{u"225|1234"_s, u"225|1235"_s, u"226|1234"_s}));
    QCOMPARE(m_raw->firstBlob(u"SELECT ARCREC FROM ARCRECS WHERE RECTYPE = 225 AND SERNUM = 1234"_s),
             bytesOf(blob(latest)));
}

void TestArchiveDatabase::storedColumns_data()
{
    QTest::addColumn<sctArcZap>("rec");
    QTest::addColumn<QString>("expected");
    QTest::newRow("daily at midnight") << record(15, 1, 18) << u"1|1234|225|2015-01-18 00:00"_s;
    QTest::newRow("monthly with minutes") << record(15, 2, 1, 13, 45, archive::kEventMonthly)
                                          << u"1|1234|226|2015-02-01 13:45"_s;
    QTest::newRow("hour 24 is 00:00 of the next day") << record(14, 12, 31, 24) << u"1|1234|225|2015-01-01 00:00"_s;
}

void TestArchiveDatabase::storedColumns()
{
    QFETCH(sctArcZap, rec);
    QFETCH(QString, expected);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(rec)), S_OK);
    QCOMPARE(m_raw->query(u"SELECT DEVTYPE, SERNUM, RECTYPE, DATETIME FROM ARCRECS"_s),
             QStringList{expected});
    // The blob keeps the meter's own stamp.
    QCOMPARE(m_raw->firstBlob(u"SELECT ARCREC FROM ARCRECS"_s), bytesOf(blob(rec)));
}

void TestArchiveDatabase::invalidStampWritesNothing_data()
{
    QTest::addColumn<sctArcZap>("rec");
    QTest::newRow("month 13") << record(15, 13, 1);
    QTest::newRow("hour 25") << record(15, 1, 1, 25);
    QTest::newRow("minute 60") << record(15, 1, 1, 10, 60);
    QTest::newRow("hour 24 of 30 February") << record(16, 2, 30, 24);
    QTest::newRow("erased") << record(0xFF, 0xFF, 0xFF, 0xFF, 0xFF);
}

void TestArchiveDatabase::invalidStampWritesNothing()
{
    QFETCH(sctArcZap, rec);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(rec)), E_INVALIDARG);
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM ARCRECS"_s), QStringList{u"0"_s});
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1))), S_OK);
}

void TestArchiveDatabase::dailyRange_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QList<int>>("days");
    const auto jan = [](int day, int second = 0) { return QDateTime(QDate(2015, 1, day), QTime(0, 0, second)); };
    QTest::newRow("no bounds") << QDateTime() << QDateTime() << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("end only, oldest first") << QDateTime() << jan(4) << QList<int>{1, 2, 3, 4};
    QTest::newRow("start only") << jan(8) << QDateTime() << QList<int>{8, 9, 10};
    QTest::newRow("both") << jan(3) << jan(5) << QList<int>{3, 4, 5};
    QTest::newRow("reversed") << jan(5) << jan(3) << QList<int>{3, 4, 5};
    QTest::newRow("bounds to the minute") << jan(4, 59) << jan(6, 59) << QList<int>{4, 5, 6};
    QTest::newRow("nothing in range") << QDateTime(QDate(2015, 2, 1), QTime(0, 0)) << QDateTime()
                                      << QList<int>{};
}

void TestArchiveDatabase::dailyRange()
{
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(QList<int>, days);
    // Stored out of order, among rows the read must pass over; day 10 closes at hour 24 of the 9th.
    for (int day : {5, 2, 9, 1, 7, 3, 8, 4, 6})
        QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, day))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 9, 24))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 3, 0, 0, archive::kEventMonthly))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType + 1, kSerial, blob(record(15, 1, 3))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial + 1, blob(record(15, 1, 3))), S_OK);

    std::vector<DayMonRow> rows(3); // left over from an earlier read
    QCOMPARE(m_db.readDailyRows(kType, kSerial, start, end, rows), S_OK);
    QList<int> got;
    for (const DayMonRow& row : rows) {
        QCOMPARE(row.devType, kType);
        QCOMPARE(row.serial, kSerial);
        QCOMPARE(row.recType, int(archive::kEventDaily));
        QCOMPARE(row.dateTime, archive::dayMonDateTime(row.blob));
        got << row.dateTime.date().day();
    }
    QCOMPARE(got, days);
    if (!rows.empty() && days.last() == 10)
        QVERIFY(rows.back().blob == blob(record(15, 1, 9, 24)));
}

void TestArchiveDatabase::countsDailyRowsOfTheMeter()
{
    int count = -1;
    QCOMPARE(m_db.countDailyRows(kType, kSerial, count), S_OK);
    QCOMPARE(count, 0);
    for (int day = 1; day <= 4; ++day)
        QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, day))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1, 0, 0, archive::kEventMonthly))), S_OK);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial + 1, blob(record(15, 1, 1))), S_OK);
    QCOMPARE(m_db.countDailyRows(kType, kSerial, count), S_OK);
    QCOMPARE(count, 4);
}

void TestArchiveDatabase::rowWithoutWholeBlobFailsTheRead()
{
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1))), S_OK);
    QVERIFY(m_raw->insertRaw(
                      "INSERT INTO ARCRECS(DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) "
                      "VALUES(1, 1234, 225, '2015-01-02 00:00', ?)",
                      QByteArray(255, '\1')));
    std::vector<DayMonRow> rows;
    QCOMPARE(m_db.readDailyRows(kType, kSerial, {}, {}, rows), E_FAIL);
    QCOMPARE(rows.size(), std::size_t(1));
}

void TestArchiveDatabase::columnsFoundInAnyLetterCase()
{
    if (!sqliteOnly())
        QSKIP("the embedded file only");
    m_db.close();
    QVERIFY(QFile::remove(m_path));
    QCOMPARE(m_db.open(m_path), S_OK);
    QVERIFY(m_raw->exec(
                 "CREATE TABLE \"ARCRECS\" (\"devType\" INTEGER NOT NULL , \"sernum\" INTEGER NOT NULL , \"RecType\" "
                 "INTEGER NOT NULL , \"datetime\" DATETIME NOT NULL , \"arcrec\" BLOB NOT NULL )"));
    QCOMPARE(m_db.ensureTables(), S_OK);
    const sctArcZap rec = record(15, 3, 8, 0, 0, archive::kEventDaily, 7.5f);
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(rec)), S_OK);
    std::vector<DayMonRow> rows;
    QCOMPARE(m_db.readDailyRows(kType, kSerial, {}, {}, rows), S_OK);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].serial, kSerial);
    QVERIFY(rows[0].blob == blob(rec));
}

void TestArchiveDatabase::cfgRecordStoredOnce()
{
    const CfgArcRecord first = cfgRecord(15, 1, 18, 10, 20, 30, 1);
    const CfgArcRecord second = cfgRecord(15, 1, 18, 10, 20, 30, 2);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, first), S_OK);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, second), S_OK);
    QCOMPARE(m_raw->query(u"SELECT DEVTYPE, SERNUM, DATETIME, CFGARCREC FROM CFGARCRECS"_s),
             QStringList{u"1|1234|2015-01-18 10:20:30|blob:1024"_s});
    QCOMPARE(m_raw->firstBlob(u"SELECT CFGARCREC FROM CFGARCRECS"_s), bytesOf(first));
    // No transaction was left open by the early end.
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, cfgRecord(15, 1, 19, 0, 0, 0, 3)), S_OK);
}

void TestArchiveDatabase::cfgRecordRoundTripKeepsEveryByte()
{
    const CfgArcRecord later = cfgRecord(16, 2, 29, 23, 59, 59, 4);
    const CfgArcRecord earlier = cfgRecord(9, 12, 31, 0, 0, 1, 5);
    QVERIFY(later.isIntact());
    QVERIFY(!CfgArcRecord::fromBytes(bytesOf(later).left(1023)));
    QVERIFY(CfgArcRecord::fromBytes(QByteArray(bytesOf(later) + "tail")) == later);
    QCOMPARE(later.dateTime(), dateutil::calendarDateTime(QDate(2016, 2, 29), QTime(23, 59, 59)));
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, later), S_OK);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, earlier), S_OK);
    QCOMPARE(m_db.storeCfgArcRecord(kType + 1, kSerial, cfgRecord(15, 1, 1, 0, 0, 0, 6)), S_OK);

    std::vector<CfgArcRecord> records(2);
    QCOMPARE(m_db.readCfgArchive(kType, kSerial, records), S_OK);
    QCOMPARE(records.size(), std::size_t(2));
    QCOMPARE(bytesOf(records[0]), bytesOf(earlier));
    QCOMPARE(bytesOf(records[1]), bytesOf(later));
    QCOMPARE(int(records[1].bytes[122]), 0xAA); // summed as zero, kept as read
}

void TestArchiveDatabase::cfgRecordRefusedWhenBroken_data()
{
    QTest::addColumn<CfgArcRecord>("rec");
    CfgArcRecord badCrc = cfgRecord(15, 1, 18, 10, 20, 30, 1);
    badCrc.bytes[500] ^= 1;
    QTest::newRow("bad check sum") << badCrc;
    QTest::newRow("month 13") << cfgRecord(15, 13, 1, 0, 0, 0, 1);
    QTest::newRow("second 60") << cfgRecord(15, 1, 1, 0, 0, 60, 1);
    QTest::newRow("erased") << cfgRecord(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1);
}

void TestArchiveDatabase::cfgRecordRefusedWhenBroken()
{
    QFETCH(CfgArcRecord, rec);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, rec), E_INVALIDARG);
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM CFGARCRECS"_s), QStringList{u"0"_s});
}

void TestArchiveDatabase::cfgArchiveReadStopsAtBrokenRow_data()
{
    QTest::addColumn<QByteArray>("stored");
    QByteArray badCrc = bytesOf(cfgRecord(15, 6, 1, 0, 0, 0, 9));
    badCrc[10] = char(badCrc[10] ^ 0x40);
    QTest::newRow("bad check sum") << badCrc;
}

void TestArchiveDatabase::cfgArchiveReadStopsAtBrokenRow()
{
    QFETCH(QByteArray, stored);
    const CfgArcRecord good = cfgRecord(15, 5, 1, 0, 0, 0, 8);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, good), S_OK);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, cfgRecord(15, 7, 1, 0, 0, 0, 8)), S_OK);
    QVERIFY(m_raw->insertRaw(
                      "INSERT INTO CFGARCRECS(DEVTYPE, SERNUM, DATETIME, CFGARCREC) "
                      "VALUES(1, 1234, '2015-06-01 00:00:00', ?)",
                      stored));
    std::vector<CfgArcRecord> records;
    QCOMPARE(m_db.readCfgArchive(kType, kSerial, records), E_FAIL);
    QCOMPARE(records.size(), std::size_t(1));
    QVERIFY(records[0] == good);
}

void TestArchiveDatabase::cfgArchiveSkipsShortBlobs_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("one byte short") << bytesOf(cfgRecord(15, 1, 1, 0, 0, 0, 9)).left(1023);
    QTest::newRow("empty") << QByteArray();
}

// A cut-short row that sorts first must not hide the sound snapshots after it.
void TestArchiveDatabase::cfgArchiveSkipsShortBlobs()
{
    QFETCH(QByteArray, stored);
    const CfgArcRecord a = cfgRecord(15, 5, 1, 0, 0, 0, 8);
    const CfgArcRecord b = cfgRecord(15, 7, 1, 0, 0, 0, 8);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, a), S_OK);
    QCOMPARE(m_db.storeCfgArcRecord(kType, kSerial, b), S_OK);
    QVERIFY(m_raw->insertRaw(
                      "INSERT INTO CFGARCRECS(DEVTYPE, SERNUM, DATETIME, CFGARCREC) "
                      "VALUES(1, 1234, '2015-01-01 00:00:00', ?)",
                      stored));
    std::vector<CfgArcRecord> records;
    std::vector<QString> skipped;
    QCOMPARE(m_db.readCfgArchive(kType, kSerial, records, &skipped), S_OK);
    QCOMPARE(records.size(), std::size_t(2));
    QVERIFY(records[0] == a);
    QVERIFY(records[1] == b);
    QCOMPARE(skipped, std::vector<QString>{u"2015-01-01 00:00:00"_s});
}

// The hour a daylight-saving change skips here is an hour like any other on the meter.
void TestArchiveDatabase::cfgArchiveStampsAreCalendarValues()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    const CfgArcRecord skipped = cfgRecord(26, 3, 29, 2, 30, 0, 3);
    const QDateTime t = skipped.dateTime();
    const HRESULT stored = m_db.storeCfgArcRecord(kType, kSerial, skipped);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    ::tzset();
    QVERIFY(t.isValid());
    QCOMPARE(t.toString(u"dd-MM-yyyy HH:mm:ss"_s), u"29-03-2026 02:30:00"_s);
    QCOMPARE(stored, S_OK);
}

void TestArchiveDatabase::deviceTypes()
{
    bool present = true;
    QCOMPARE(m_db.hasDeviceType(2, present), S_OK);
    QVERIFY(!present);
    QCOMPARE(m_db.addDeviceType(2, u"Velos2"_s), S_OK);
    QCOMPARE(m_db.addDeviceType(3, u"Da\"rna 3"_s), S_OK);
    QCOMPARE(m_db.hasDeviceType(2, present), S_OK);
    QVERIFY(present);
    QCOMPARE(m_db.addDeviceType(2, u"Velos2"_s), E_FAIL); // the number is the key
    QCOMPARE(m_raw->query(u"SELECT DEVID, NAME, HWCODE FROM DEVTYPES ORDER BY DEVID"_s),
             (QStringList{u"2|Velos2|0"_s, u"3|Da\"rna 3|0"_s}));
}

void TestArchiveDatabase::noConnection()
{
    ArchiveDatabase db;
    int count = 7;
    bool present = true;
    std::vector<DayMonRow> rows(2);
    std::vector<CfgArcRecord> records(2);
    const CfgArcRecord cfg = cfgRecord(15, 1, 1, 0, 0, 0, 1);
    const struct
    {
        const char* name;
        std::function<HRESULT()> run;
    } operations[] = {
        {"ensureTables", [&] { return db.ensureTables(); }},
        {"storeDayMonRecord", [&] { return db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1))); }},
        {"storeDayMonRecord, invalid stamp",
         [&] { return db.storeDayMonRecord(kType, kSerial, blob(record(15, 13, 1))); }},
        {"countDailyRows", [&] { return db.countDailyRows(kType, kSerial, count); }},
        {"readDailyRows", [&] { return db.readDailyRows(kType, kSerial, {}, {}, rows); }},
        {"storeCfgArcRecord", [&] { return db.storeCfgArcRecord(kType, kSerial, cfg); }},
        {"readCfgArchive", [&] { return db.readCfgArchive(kType, kSerial, records); }},
        {"hasDeviceType", [&] { return db.hasDeviceType(kType, present); }},
        {"addDeviceType", [&] { return db.addDeviceType(kType, u"Karna1"_s); }},
        {"export", [&] {
             const sctArcZap r = record(15, 1, 1);
             return archivedb::exportDayMonArchives(db, kType, kSerial, u"Karna1"_s, {&r, 1}).hr;
         }},
    };
    for (const auto& op : operations)
        QVERIFY2(op.run() == E_POINTER, op.name);
    QCOMPARE(count, 0);
    QVERIFY(!present);
    QVERIFY(rows.empty());
    QVERIFY(records.empty());
}

void TestArchiveDatabase::exportCountsAddedAndErrors()
{
    const std::vector<sctArcZap> archive = {
        record(15, 1, 17, 23, 0, archive::kEventHourly),
        record(15, 1, 17, 0, 0, archive::kEventDaily, 1.0f),
        record(15, 1, 17, 24, 0, archive::kEventDaily, 2.0f),
        record(15, 1, 18, 0, 0, archive::kEventSkipped),
        record(15, 1, 1, 0, 0, archive::kEventMonthly, 3.0f),
        record(15, 1, 0, 0, 0, archive::kEventDaily), // day 0: cannot be stored
        record(15, 2, 1, 0, 0, archive::kEventMonthly, 4.0f),
    };
    for (int round = 0; round < 2; ++round) {
        const archivedb::ExportResult r = archivedb::exportDayMonArchives(m_db, kType, kSerial, u"Karna1"_s, archive);
        QCOMPARE(r.hr, S_OK);
        QCOMPARE(r.added, 4);
        QCOMPARE(r.errors, 1);
    }
    QCOMPARE(m_raw->query(u"SELECT DEVID, NAME, HWCODE FROM DEVTYPES"_s), QStringList{u"1|Karna1|0"_s});
    QCOMPARE(m_raw->query(u"SELECT RECTYPE, DATETIME FROM ARCRECS ORDER BY RECTYPE, DATETIME"_s),
             (QStringList{u"225|2015-01-17 00:00"_s, u"225|2015-01-18 00:00"_s, u"226|2015-01-01 00:00"_s,
                          u"226|2015-02-01 00:00"_s}));
}

void TestArchiveDatabase::exportWithoutDeviceTypeTable()
{
    QVERIFY(m_raw->exec("DROP TABLE DEVTYPES"));
    const sctArcZap r = record(15, 1, 1);
    const archivedb::ExportResult result = archivedb::exportDayMonArchives(m_db, kType, kSerial, u"Karna1"_s, {&r, 1});
    QCOMPARE(result.hr, E_FAIL);
    QCOMPARE(result.added, 0);
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM ARCRECS"_s), QStringList{u"0"_s});
}

// The export is one transaction, each row a savepoint: a row the database refuses fails alone.
void TestArchiveDatabase::bulkExportKeepsEachRowAllOrNothing()
{
    const bool file = m_backend == Backend::Sqlite;
    QVERIFY(m_raw->exec(file ? "CREATE TRIGGER refuse BEFORE INSERT ON ARCRECS WHEN NEW.DATETIME = '2015-01-03 00:00' "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END"
                             : "CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.DATETIME = '2015-01-03 00:00' "
                               "THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
    if (!file)
        QVERIFY(m_raw->exec("CREATE TRIGGER refuse BEFORE INSERT ON ARCRECS FOR EACH ROW EXECUTE FUNCTION refuse()"));
    std::vector<sctArcZap> archive;
    for (int day = 1; day <= 5; ++day)
        archive.push_back(record(15, 1, day, 0, 0, archive::kEventDaily, float(day)));
    const archivedb::ExportResult r = archivedb::exportDayMonArchives(m_db, kType, kSerial, u"Karna1"_s, archive);
    QCOMPARE(r.hr, S_OK);
    QCOMPARE(r.added, 4);
    QCOMPARE(r.errors, 1);
    QCOMPARE(m_raw->query(u"SELECT DATETIME FROM ARCRECS ORDER BY DATETIME"_s),
             (QStringList{u"2015-01-01 00:00"_s, u"2015-01-02 00:00"_s, u"2015-01-04 00:00"_s, u"2015-01-05 00:00"_s}));
    // Nothing is left open: a single write after it commits on its own.
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 6))), S_OK);
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM ARCRECS"_s), QStringList{u"5"_s});
}

void TestArchiveDatabase::serverSchemaHasUniqueKeys()
{
    if (m_backend != Backend::Postgres)
        QSKIP("the server only");
    QCOMPARE(m_raw->query(u"SELECT indexname FROM pg_indexes WHERE indexdef LIKE 'CREATE UNIQUE INDEX%' "
                          u"AND tablename IN ('arcrecs', 'cfgarcrecs') ORDER BY indexname"_s),
             (QStringList{u"arcrecs_key"_s, u"cfgarcrecs_key"_s}));
    // Made again by a second program: nothing changes, nothing fails.
    ArchiveDatabase second;
    QCOMPARE(second.open(m_path), S_OK);
    QCOMPARE(second.ensureTables(), S_OK);
    QVERIFY(second.isServer());
    QVERIFY(!second.describe().contains(u"password"_s));
}

// A write while the server is down fails; the next one after its return reconnects.
void TestArchiveDatabase::serverLostAndBack()
{
    if (m_backend != Backend::Postgres)
        QSKIP("the server only");
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1))), S_OK);
    m_raw.reset();
    QVERIFY2(m_cluster->stop(), qPrintable(m_cluster->error()));
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 2))), E_FAIL);
    QVERIFY(!m_db.lastError().isEmpty());
    int count = -1;
    QCOMPARE(m_db.countDailyRows(kType, kSerial, count), E_FAIL);
    QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 3))), S_OK);
    QCOMPARE(m_db.countDailyRows(kType, kSerial, count), S_OK);
    QCOMPARE(count, 2);
}

void TestArchiveDatabase::commitWaitsForAReader()
{
    if (!sqliteOnly())
        QSKIP("the embedded file only");
    Reader reader(m_path);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        reader.release();
    });
    const HRESULT hr = m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1)));
    releaser.join();
    QCOMPARE(hr, S_OK);
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM ARCRECS"_s), QStringList{u"1"_s});
}

void TestArchiveDatabase::commitGivesUpAndRollsBack()
{
    if (!sqliteOnly())
        QSKIP("the embedded file only");
    {
        Reader reader(m_path);
        QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 1))), E_FAIL);
    }
    QCOMPARE(m_raw->query(u"SELECT count(*) FROM ARCRECS"_s), QStringList{u"0"_s});
    QCOMPARE(m_db.storeDayMonRecord(kType, kSerial, blob(record(15, 1, 2))), S_OK);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TestArchiveDatabase onFile(Backend::Sqlite);
    int failed = QTest::qExec(&onFile, argc, argv);
    PgCluster cluster;
    if (!cluster.isRunning()) {
        qCritical("PostgreSQL test server: %s", qPrintable(cluster.error()));
        return failed + 1;
    }
    TestArchiveDatabase onServer(Backend::Postgres, &cluster);
    failed += QTest::qExec(&onServer, argc, argv);
    return failed;
}
#include "TestArchiveDatabase.moc"
