#include "ArchiveDatabase.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include <sqlite3.h>

#include "PgConnection.h"
#include "base/Crc16.h"
#include "base/DateUtil.h"
#include "base/Format.h"

using namespace Qt::Literals::StringLiterals;

const char* const ArchiveDatabase::kCreateDevTypes
    = "CREATE TABLE \"DEVTYPES\" (\"DEVID\" INTEGER PRIMARY KEY  AUTOINCREMENT  NOT NULL  UNIQUE , \"NAME\" TEXT "
      "NOT NULL , \"HWCODE\" INTEGER)";
const char* const ArchiveDatabase::kCreateArcRecs
    = "CREATE TABLE \"ARCRECS\" (\"DEVTYPE\" INTEGER NOT NULL , \"SERNUM\" INTEGER NOT NULL , \"RECTYPE\" INTEGER NOT "
      "NULL , \"DATETIME\" DATETIME NOT NULL , \"ARCREC\" BLOB NOT NULL )";
const char* const ArchiveDatabase::kCreateCfgArcRecs
    = "CREATE TABLE \"CFGARCRECS\" (\"SERNUM\" INTEGER NOT NULL , \"DEVTYPE\" INTEGER NOT NULL , \"DATETIME\" DATETIME "
      "NOT NULL , \"CFGARCREC\" BLOB NOT NULL )";

namespace {

// Without these an upsert scans the whole table; the tables themselves keep their old form.
const char* const kIndexArcRecs
    = "CREATE INDEX IF NOT EXISTS \"ARCRECS_KEY\" ON \"ARCRECS\" (\"DEVTYPE\", \"SERNUM\", \"RECTYPE\", \"DATETIME\")";
const char* const kIndexCfgArcRecs
    = "CREATE INDEX IF NOT EXISTS \"CFGARCRECS_KEY\" ON \"CFGARCRECS\" (\"DEVTYPE\", \"SERNUM\", \"DATETIME\")";

// The statements keep the text older versions of the program ran; the values are formatted into
// it and only the record travels as a parameter.
constexpr char16_t kSelectArcRec[]
    = u"SELECT * FROM ARCRECS WHERE DEVTYPE = %d AND SERNUM = %d AND RECTYPE = %d AND DATETIME = ";
constexpr char16_t kUpdateArcRec[]
    = u"UPDATE ARCRECS SET ARCREC = ? WHERE DEVTYPE = %d AND SERNUM = %d AND RECTYPE = %d AND DATETIME = ";
constexpr char16_t kInsertArcRec[]
    = u"INSERT INTO ARCRECS(DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) VALUES(%d, %d, %d, ";
constexpr char16_t kSelectRecType[] = u"SELECT * FROM ARCRECS WHERE DEVTYPE = %d AND SERNUM = %d AND RECTYPE = %d";
constexpr char16_t kSelectCfgArcRec[] = u"SELECT * FROM CFGARCRECS WHERE DEVTYPE = %d AND SERNUM = %d AND DATETIME = "
                                        u"\"%04u-%02u-%02u %02u:%02u:%02u\"";
constexpr char16_t kInsertCfgArcRec[] = u"INSERT INTO CFGARCRECS(DEVTYPE, SERNUM, DATETIME, CFGARCREC) VALUES(%d, %d, "
                                        u"\"%04u-%02u-%02u %02u:%02u:%02u\", ?)";
constexpr char16_t kSelectCfgArchive[] = u"SELECT * FROM CFGARCRECS WHERE DEVTYPE = %d AND SERNUM = %d";
constexpr char16_t kSelectDevType[] = u"SELECT * FROM DEVTYPES WHERE DEVID = %d";
constexpr char16_t kInsertDevType[] = u"INSERT INTO DEVTYPES(DEVID, NAME, HWCODE) VALUES(%d, \"%s\", %d)";

constexpr int kDailyRecord = archive::kEventDaily;

// A writer on another connection may hold the file for a moment: wait for it, but not forever.
constexpr int kCommitRetries = 500;
constexpr std::chrono::milliseconds kCommitPause{10};

// Bytes left out of a configuration archive record's check sum.
constexpr std::size_t kCfgVolatile[] = {122, 572, 842, 843, 844, 845, 846};

// Thrown by the helpers below and turned into E_FAIL once, where the operation returns.
struct SqlFailure
{
};

[[noreturn]] void fail()
{
    throw SqlFailure{};
}

template <typename F> HRESULT guarded(sqlite3* db, F&& operation)
{
    if (db == nullptr)
        return E_POINTER;
    try {
        return operation();
    } catch (const SqlFailure&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

class Statement
{
public:
    Statement(sqlite3* db, const QString& sql)
    {
        if (sqlite3_prepare16_v2(db, sql.utf16(), -1, &m_stmt, nullptr) != SQLITE_OK || m_stmt == nullptr) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            fail();
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_stmt; }

    void bindBlob(int index, const void* data, std::size_t size)
    {
        if (sqlite3_bind_blob(m_stmt, index, data, int(size), SQLITE_TRANSIENT) != SQLITE_OK)
            fail();
    }
    // True with a row to read, false when done.
    bool next()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail();
    }
    void run()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
            fail();
    }
    void finish()
    {
        if (sqlite3_finalize(std::exchange(m_stmt, nullptr)) != SQLITE_OK)
            fail();
    }
    // Result columns are found by name in any letter case, as tables of older versions may
    // spell them otherwise; -1 when missing.
    int column(const char* name) const
    {
        const int n = sqlite3_column_count(m_stmt);
        for (int i = 0; i < n; ++i) {
            if (qstricmp(sqlite3_column_name(m_stmt, i), name) == 0)
                return i;
        }
        return -1;
    }
    QString text(int i) const
    {
        if (i < 0)
            return {};
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
        return p != nullptr ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, i)) : QString();
    }
    // The blob of a column when it has at least size bytes, else null.
    const void* blob(int i, std::size_t size) const
    {
        const void* p = sqlite3_column_blob(m_stmt, i);
        const int bytes = sqlite3_column_bytes(m_stmt, i);
        return p != nullptr && bytes >= 0 && std::size_t(bytes) >= size ? p : nullptr;
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

constexpr int kBusyTimeoutMs = 10000;

// Takes the write lock at the start: two writers that both read first and then wanted it would
// otherwise fail one of them at once. Another process or poll line holds it for one short
// transaction, so it is waited for; the commit keeps its own busy rule.
int beginImmediate(sqlite3* db)
{
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE TRANSACTION", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 0);
    return rc;
}

// Commits, waiting for readers of other connections as the busy rule says.
int commitWaiting(sqlite3* db)
{
    int rc = sqlite3_exec(db, "COMMIT TRANSACTION", nullptr, nullptr, nullptr);
    for (int retry = 0; (rc & 0xFF) == SQLITE_BUSY && retry < kCommitRetries; ++retry) {
        std::this_thread::sleep_for(kCommitPause);
        rc = sqlite3_exec(db, "COMMIT TRANSACTION", nullptr, nullptr, nullptr);
    }
    return rc;
}

// One write: rolled back unless committed. Inside a bulk write it is a savepoint of the bulk's
// transaction, so that a failed row goes alone.
class Transaction
{
public:
    Transaction(sqlite3* db, bool savepoint)
        : m_db(db)
        , m_savepoint(savepoint)
    {
        const int rc = m_savepoint ? sqlite3_exec(m_db, "SAVEPOINT row", nullptr, nullptr, nullptr)
                                   : beginImmediate(m_db);
        if (rc != SQLITE_OK)
            fail();
        m_open = true;
    }
    ~Transaction()
    {
        if (m_open)
            rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit()
    {
        const int rc = m_savepoint ? sqlite3_exec(m_db, "RELEASE SAVEPOINT row", nullptr, nullptr, nullptr)
                                   : commitWaiting(m_db);
        if (rc != SQLITE_OK)
            fail();
        m_open = false;
    }
    void rollback()
    {
        m_open = false;
        if (m_savepoint) {
            sqlite3_exec(m_db, "ROLLBACK TRANSACTION TO SAVEPOINT row", nullptr, nullptr, nullptr);
            sqlite3_exec(m_db, "RELEASE SAVEPOINT row", nullptr, nullptr, nullptr);
        } else {
            sqlite3_exec(m_db, "ROLLBACK TRANSACTION", nullptr, nullptr, nullptr);
        }
    }

private:
    sqlite3* m_db;
    bool m_savepoint;
    bool m_open = false;
};

// The date part of the ARCRECS statements: "%Y-%m-%d %H:%M" in double quotes.
QString minuteText(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    return fmt::text(u"\"%04d-%02d-%02d %02d:%02d\"", d.year(), d.month(), d.day(), tm.hour(), tm.minute());
}

// The DATETIME text of ARCRECS rows: "%Y-%m-%d %H:%M", without the quotes of the statements.
QString minuteValue(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm"_s);
}

// Configuration rows carry seconds.
QString secondValue(const std::uint8_t* s)
{
    return fmt::text(u"%04u-%02u-%02u %02u:%02u:%02u", 2000u + s[5], unsigned(s[4]), unsigned(s[3]), unsigned(s[2]),
                     unsigned(s[1]), unsigned(s[0]));
}

// A server's integer in its binary form (network order).
int pgInt(const QByteArray& b)
{
    if (b.size() != 4)
        return 0;
    return int(quint32(quint8(b[0])) << 24 | quint32(quint8(b[1])) << 16 | quint32(quint8(b[2])) << 8 | quint8(b[3]));
}

using P = PgConnection::Param;

} // namespace

// Unquoted names, so that the same statement text finds them on either database; text columns
// compare bytewise ("C"), as SQLite compares the stamps.
const char* const ArchiveDatabase::kPgSchema[] = {
    "CREATE TABLE IF NOT EXISTS DEVTYPES (DEVID INTEGER PRIMARY KEY NOT NULL, NAME TEXT NOT NULL, HWCODE INTEGER)",
    "CREATE TABLE IF NOT EXISTS ARCRECS (DEVTYPE INTEGER NOT NULL, SERNUM INTEGER NOT NULL, RECTYPE INTEGER NOT NULL, "
    "DATETIME TEXT COLLATE \"C\" NOT NULL, ARCREC BYTEA NOT NULL)",
    "CREATE TABLE IF NOT EXISTS CFGARCRECS (SERNUM INTEGER NOT NULL, DEVTYPE INTEGER NOT NULL, "
    "DATETIME TEXT COLLATE \"C\" NOT NULL, CFGARCREC BYTEA NOT NULL)",
    "CREATE UNIQUE INDEX IF NOT EXISTS ARCRECS_KEY ON ARCRECS (DEVTYPE, SERNUM, RECTYPE, DATETIME)",
    "CREATE UNIQUE INDEX IF NOT EXISTS CFGARCRECS_KEY ON CFGARCRECS (DEVTYPE, SERNUM, DATETIME)",
    nullptr,
};

std::optional<CfgArcRecord> CfgArcRecord::fromBytes(QByteArrayView b)
{
    if (b.size() < qsizetype(kSize))
        return std::nullopt;
    CfgArcRecord r;
    std::memcpy(r.bytes.data(), b.data(), kSize);
    return r;
}

QDateTime CfgArcRecord::dateTime() const
{
    const auto* s = bytes.data() + kSecond;
    return dateutil::makeDateTime(2000 + s[5], s[4], s[3], s[2], s[1], s[0]);
}

bool CfgArcRecord::isIntact() const
{
    std::array<std::uint8_t, kSize> summed = bytes;
    for (std::size_t i : kCfgVolatile)
        summed[i] = 0;
    return crc::modbus(summed.data(), summed.size()) == 0;
}

ArchiveDatabase::ArchiveDatabase() = default;

ArchiveDatabase::~ArchiveDatabase()
{
    close();
}

HRESULT ArchiveDatabase::open(const QString& target)
{
    close();
    if (pgurl::isServer(target)) {
        m_pg = PgConnection::connect(target, &m_openError);
        if (!m_pg)
            return E_FAIL;
        m_path = target;
        return S_OK;
    }
    const QString path = target.startsWith(u"sqlite:"_s) ? target.mid(7) : target;
    sqlite3* db = nullptr;
    // The UTF-16 open call gives a new database UTF-16 text, as files of older versions have.
    const int rc = sqlite3_open16(path.utf16(), &db);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return E_FAIL;
    }
    // The statements quote their values in double quotes, which a library built without that
    // legacy form would read as column names.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    m_db = db;
    m_path = path;
    return S_OK;
}

void ArchiveDatabase::close()
{
    if (m_bulk)
        endBulk();
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_pg.reset();
    m_path.clear();
}

QString ArchiveDatabase::describe() const
{
    return m_pg ? m_pg->displayUrl() : m_path;
}

QString ArchiveDatabase::lastError() const
{
    if (m_pg)
        return m_pg->lastError();
    return m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : m_openError;
}

bool ArchiveDatabase::beginBulk()
{
    if (m_bulk || !isOpen())
        return false;
    if (m_pg)
        m_bulk = m_pg->beginBulk();
    else
        m_bulk = beginImmediate(m_db) == SQLITE_OK;
    return m_bulk;
}

void ArchiveDatabase::endBulk()
{
    if (!m_bulk)
        return;
    m_bulk = false;
    if (m_pg) {
        m_pg->endBulk();
    } else if (commitWaiting(m_db) != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK TRANSACTION", nullptr, nullptr, nullptr);
    }
}

ArchiveDatabase::BulkWrite::BulkWrite(ArchiveDatabase& db)
    : m_db(db)
    , m_active(db.beginBulk())
{
}

ArchiveDatabase::BulkWrite::~BulkWrite()
{
    if (m_active)
        m_db.endBulk();
}

HRESULT ArchiveDatabase::ensureTable(const char* name, const char* createStatement)
{
    const QByteArray query = fmt::bytes("SELECT name FROM sqlite_master WHERE type='table' AND name='%s';", name);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, query.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return E_FAIL;
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW)
        return S_OK;
    if (rc != SQLITE_DONE)
        return E_FAIL;
    if (sqlite3_prepare_v2(m_db, createStatement, -1, &stmt, nullptr) != SQLITE_OK)
        return E_FAIL;
    const int created = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    return created == SQLITE_DONE ? S_OK : E_FAIL;
}

HRESULT ArchiveDatabase::ensureTables()
{
    if (m_pg) {
        // Several programs starting at once would race to create the same table: the lock
        // makes them take turns.
        return m_pg->transaction([this] {
            if (!m_pg->exec("SELECT pg_advisory_xact_lock(2042)"))
                return false;
            for (const char* const* sql = kPgSchema; *sql != nullptr; ++sql) {
                if (!m_pg->exec(*sql))
                    return false;
            }
            return true;
        });
    }
    if (m_db == nullptr)
        return E_POINTER;
    const struct
    {
        const char* name;
        const char* create;
    } tables[] = {{"DEVTYPES", kCreateDevTypes}, {"ARCRECS", kCreateArcRecs}, {"CFGARCRECS", kCreateCfgArcRecs}};
    for (const auto& t : tables) {
        const HRESULT hr = ensureTable(t.name, t.create);
        if (FAILED(hr))
            return hr;
    }
    for (const char* index : {kIndexArcRecs, kIndexCfgArcRecs}) {
        if (sqlite3_exec(m_db, index, nullptr, nullptr, nullptr) != SQLITE_OK)
            return E_FAIL;
    }
    return S_OK;
}

HRESULT ArchiveDatabase::storeDayMonRecord(int devType, int serial, const u_data_daymon_full& blob)
{
    if (!isOpen())
        return E_POINTER;
    const archive::DayMonRow row = archive::makeDayMonRow(devType, serial, blob);
    if (!row.dateTime.isValid())
        return E_INVALIDARG;
    if (m_pg) {
        // One statement, so that two writers of the same row end with it once.
        const std::vector<P> params{ P::number(devType), P::number(serial), P::number(row.recType),
                                     P::text(minuteValue(row.dateTime)),
                                     P::bytes(QByteArray(reinterpret_cast<const char*>(blob.bytes.data()),
                                                         qsizetype(blob.bytes.size()))) };
        return m_pg->transaction([&] {
            return m_pg
                ->exec("INSERT INTO ARCRECS (DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) VALUES ($1, $2, $3, $4, $5) "
                       "ON CONFLICT (DEVTYPE, SERNUM, RECTYPE, DATETIME) DO UPDATE SET ARCREC = EXCLUDED.ARCREC",
                       params)
                .has_value();
        });
    }
    return guarded(m_db, [&] {
        const QString date = minuteText(row.dateTime);
        Transaction transaction(m_db, m_bulk);
        Statement select(m_db, fmt::text(kSelectArcRec, devType, serial, row.recType) + date);
        const bool exists = select.next();
        select.finish();
        const QString sql = exists ? QString(fmt::text(kUpdateArcRec, devType, serial, row.recType) + date)
                                   : QString(fmt::text(kInsertArcRec, devType, serial, row.recType) + date + u", ?)"_s);
        Statement write(m_db, sql);
        write.bindBlob(1, blob.bytes.data(), blob.bytes.size());
        write.run();
        write.finish();
        transaction.commit();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::countDailyRows(int devType, int serial, int& count)
{
    count = 0;
    if (m_pg) {
        const auto rows = m_pg->exec("SELECT COUNT(*) FROM ARCRECS WHERE DEVTYPE = $1 AND SERNUM = $2 AND RECTYPE = $3",
                                     { P::number(devType), P::number(serial), P::number(kDailyRecord) });
        if (!rows || rows->rows.empty())
            return E_FAIL;
        count = rows->rows.front().front().toInt();
        return S_OK;
    }
    return guarded(m_db, [&] {
        Statement select(m_db, fmt::text(kSelectRecType, devType, serial, kDailyRecord));
        int n = 0;
        while (select.next())
            ++n;
        select.finish();
        count = n;
        return S_OK;
    });
}

HRESULT ArchiveDatabase::newestDayMonStamp(int devType, int serial, bool monthly, QDateTime& stamp)
{
    stamp = QDateTime();
    if (m_pg) {
        const int recType = monthly ? archive::kEventMonthly : kDailyRecord;
        const auto rows = m_pg->exec("SELECT MAX(DATETIME) FROM ARCRECS WHERE DEVTYPE = $1 AND SERNUM = $2 AND RECTYPE = $3",
                                     { P::number(devType), P::number(serial), P::number(recType) });
        if (!rows || rows->rows.empty())
            return E_FAIL;
        const QDateTime t = QDateTime::fromString(QString::fromUtf8(rows->rows.front().front()), u"yyyy-MM-dd HH:mm"_s);
        if (t.isValid())
            stamp = dateutil::calendarDateTime(t.date(), t.time());
        return S_OK;
    }
    return guarded(m_db, [&] {
        const int recType = monthly ? archive::kEventMonthly : kDailyRecord;
        Statement select(m_db, fmt::text(u"SELECT MAX(DATETIME) AS NEWEST FROM ARCRECS WHERE DEVTYPE = %d AND "
                                         u"SERNUM = %d AND RECTYPE = %d",
                                         devType, serial, recType));
        if (select.next()) {
            const QString text = select.text(select.column("NEWEST"));
            const QDateTime t = QDateTime::fromString(text, u"yyyy-MM-dd HH:mm"_s);
            if (t.isValid())
                stamp = dateutil::calendarDateTime(t.date(), t.time());
        }
        select.finish();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::readDailyRows(int devType, int serial, const QDateTime& start, const QDateTime& end,
                                       std::vector<archive::DayMonRow>& rows)
{
    rows.clear();
    if (m_pg) {
        QDateTime from = start;
        QDateTime to = end;
        if (from.isValid() && to.isValid() && from > to)
            std::swap(from, to);
        // Open bounds are the lowest and highest texts, so one statement serves every range.
        const auto result = m_pg->exec(
            "SELECT DEVTYPE, SERNUM, ARCREC FROM ARCRECS WHERE DEVTYPE = $1 AND SERNUM = $2 AND RECTYPE = $3 "
            "AND DATETIME >= $4 AND DATETIME <= $5 ORDER BY DATETIME",
            { P::number(devType), P::number(serial), P::number(kDailyRecord),
              P::text(from.isValid() ? minuteValue(from) : QString()),
              P::text(to.isValid() ? minuteValue(to) : u"9999-12-31 23:59"_s) },
            true);
        if (!result)
            return E_FAIL;
        for (const auto& r : result->rows) {
            if (r[2].size() < qsizetype(u_data_daymon_full::kSize))
                return E_FAIL;
            u_data_daymon_full record;
            std::memcpy(record.bytes.data(), r[2].constData(), record.bytes.size());
            rows.push_back(archive::makeDayMonRow(pgInt(r[0]), pgInt(r[1]), record));
        }
        return S_OK;
    }
    return guarded(m_db, [&] {
        QDateTime from = start;
        QDateTime to = end;
        if (from.isValid() && to.isValid() && from > to)
            std::swap(from, to);
        QString sql = fmt::text(kSelectRecType, devType, serial, kDailyRecord);
        if (from.isValid())
            sql += u" AND DATETIME >= "_s + minuteText(from);
        if (to.isValid())
            sql += u" AND DATETIME <= "_s + minuteText(to);
        sql += u" ORDER BY DATETIME"_s;

        Statement select(m_db, sql);
        // RECTYPE and DATETIME are derived from the blob again, which the report reads, so only
        // the account's columns are taken from the row.
        const int cType = select.column("DEVTYPE");
        const int cSerial = select.column("SERNUM");
        const int cBlob = select.column("ARCREC");
        while (select.next()) {
            const int type = cType >= 0 ? sqlite3_column_int(select.get(), cType) : 0;
            const int sernum = cSerial >= 0 ? sqlite3_column_int(select.get(), cSerial) : 0;
            const void* blob = cBlob >= 0 ? select.blob(cBlob, u_data_daymon_full::kSize) : nullptr;
            if (blob == nullptr)
                fail();
            u_data_daymon_full record;
            std::memcpy(record.bytes.data(), blob, record.bytes.size());
            rows.push_back(archive::makeDayMonRow(type, sernum, record));
        }
        select.finish();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::storeCfgArcRecord(int devType, int serial, const CfgArcRecord& record)
{
    if (!isOpen())
        return E_POINTER;
    // A record the read refuses would end every later read of the archive at this row.
    if (!record.dateTime().isValid() || !record.isIntact())
        return E_INVALIDARG;
    if (m_pg) {
        const std::vector<P> params{ P::number(devType), P::number(serial),
                                     P::text(secondValue(record.bytes.data() + CfgArcRecord::kSecond)),
                                     P::bytes(QByteArray(reinterpret_cast<const char*>(record.bytes.data()),
                                                         qsizetype(record.bytes.size()))) };
        return m_pg->transaction([&] {
            return m_pg
                ->exec("INSERT INTO CFGARCRECS (DEVTYPE, SERNUM, DATETIME, CFGARCREC) VALUES ($1, $2, $3, $4) "
                       "ON CONFLICT (DEVTYPE, SERNUM, DATETIME) DO NOTHING",
                       params)
                .has_value();
        });
    }
    return guarded(m_db, [&] {
        const auto* s = record.bytes.data() + CfgArcRecord::kSecond;
        const unsigned year = 2000u + s[5];
        Transaction transaction(m_db, m_bulk);
        Statement select(m_db, fmt::text(kSelectCfgArcRec, devType, serial, year, unsigned(s[4]), unsigned(s[3]),
                                         unsigned(s[2]), unsigned(s[1]), unsigned(s[0])));
        const bool exists = select.next();
        select.finish();
        if (exists) {
            transaction.rollback();
            return S_OK;
        }
        Statement insert(m_db, fmt::text(kInsertCfgArcRec, devType, serial, year, unsigned(s[4]), unsigned(s[3]),
                                         unsigned(s[2]), unsigned(s[1]), unsigned(s[0])));
        insert.bindBlob(1, record.bytes.data(), record.bytes.size());
        insert.run();
        insert.finish();
        transaction.commit();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::readCfgArchive(int devType, int serial, std::vector<CfgArcRecord>& records,
                                        std::vector<QString>* skipped)
{
    records.clear();
    if (skipped != nullptr)
        skipped->clear();
    if (m_pg) {
        const auto result = m_pg->exec("SELECT DATETIME, CFGARCREC FROM CFGARCRECS WHERE DEVTYPE = $1 AND SERNUM = $2 "
                                       "ORDER BY DATETIME",
                                       { P::number(devType), P::number(serial) }, true);
        if (!result)
            return E_FAIL;
        for (const auto& r : result->rows) {
            if (r[1].size() < qsizetype(CfgArcRecord::kSize)) {
                if (skipped != nullptr)
                    skipped->push_back(QString::fromUtf8(r[0]));
                continue;
            }
            CfgArcRecord record;
            std::memcpy(record.bytes.data(), r[1].constData(), record.bytes.size());
            if (!record.isIntact())
                return E_FAIL;
            records.push_back(record);
        }
        return S_OK;
    }
    return guarded(m_db, [&] {
        Statement select(m_db, fmt::text(kSelectCfgArchive, devType, serial) + u" ORDER BY DATETIME"_s);
        const int cBlob = select.column("CFGARCREC");
        const int cDate = select.column("DATETIME");
        while (select.next()) {
            if (cBlob < 0)
                fail();
            const void* blob = select.blob(cBlob, CfgArcRecord::kSize);
            if (blob == nullptr) {
                // One cut-short row must not hide the sound snapshots after it.
                if (skipped != nullptr)
                    skipped->push_back(select.text(cDate));
                continue;
            }
            CfgArcRecord record;
            std::memcpy(record.bytes.data(), blob, record.bytes.size());
            if (!record.isIntact())
                fail();
            records.push_back(record);
        }
        select.finish();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::hasDeviceType(int devType, bool& present)
{
    present = false;
    if (m_pg) {
        const auto rows = m_pg->exec("SELECT 1 FROM DEVTYPES WHERE DEVID = $1", { P::number(devType) });
        if (!rows)
            return E_FAIL;
        present = !rows->rows.empty();
        return S_OK;
    }
    return guarded(m_db, [&] {
        Statement select(m_db, fmt::text(kSelectDevType, devType));
        const bool found = select.next();
        select.finish();
        present = found;
        return S_OK;
    });
}

HRESULT ArchiveDatabase::addDeviceType(int devType, const QString& codeName, int hwCode)
{
    if (m_pg) {
        // A type already there fails as the file's key does, without aborting a bulk write.
        const auto rows = m_pg->exec("INSERT INTO DEVTYPES (DEVID, NAME, HWCODE) VALUES ($1, $2, $3) "
                                     "ON CONFLICT (DEVID) DO NOTHING RETURNING DEVID",
                                     { P::number(devType), P::text(codeName), P::number(hwCode) });
        return rows && !rows->rows.empty() ? S_OK : E_FAIL;
    }
    return guarded(m_db, [&] {
        // A quote in the name would end the quoted value early; doubled it stays part of it.
        QString name = codeName;
        name.replace(u'"', u"\"\""_s);
        Statement insert(m_db, fmt::text(kInsertDevType, devType, name, hwCode));
        insert.run();
        insert.finish();
        return S_OK;
    });
}

namespace {

struct TableText
{
    const char* select; // every row, in key order, with the columns of RawRow
    const char* exists; // by key: ?1.. in RawRow's order
    const char* insert;
    const char* pgInsert; // the server's own: one statement that keeps an existing row
};

const TableText& tableText(ArchiveDatabase::Table t)
{
    static const TableText devTypes{
        "SELECT DEVID, NAME, HWCODE FROM DEVTYPES ORDER BY DEVID",
        "SELECT 1 FROM DEVTYPES WHERE DEVID = ?1",
        "INSERT INTO DEVTYPES(DEVID, NAME, HWCODE) VALUES(?1, ?2, ?3)",
        "INSERT INTO DEVTYPES (DEVID, NAME, HWCODE) VALUES ($1, $2, $3) ON CONFLICT (DEVID) DO NOTHING RETURNING 1",
    };
    static const TableText arcRecs{
        "SELECT DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC FROM ARCRECS ORDER BY DEVTYPE, SERNUM, RECTYPE, DATETIME",
        "SELECT 1 FROM ARCRECS WHERE DEVTYPE = ?1 AND SERNUM = ?2 AND RECTYPE = ?3 AND DATETIME = ?4",
        "INSERT INTO ARCRECS(DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) VALUES(?1, ?2, ?3, ?4, ?5)",
        "INSERT INTO ARCRECS (DEVTYPE, SERNUM, RECTYPE, DATETIME, ARCREC) VALUES ($1, $2, $3, $4, $5) "
        "ON CONFLICT (DEVTYPE, SERNUM, RECTYPE, DATETIME) DO NOTHING RETURNING 1",
    };
    static const TableText cfgArcRecs{
        "SELECT DEVTYPE, SERNUM, DATETIME, CFGARCREC FROM CFGARCRECS ORDER BY DEVTYPE, SERNUM, DATETIME",
        "SELECT 1 FROM CFGARCRECS WHERE DEVTYPE = ?1 AND SERNUM = ?2 AND DATETIME = ?3",
        "INSERT INTO CFGARCRECS(DEVTYPE, SERNUM, DATETIME, CFGARCREC) VALUES(?1, ?2, ?3, ?4)",
        "INSERT INTO CFGARCRECS (DEVTYPE, SERNUM, DATETIME, CFGARCREC) VALUES ($1, $2, $3, $4) "
        "ON CONFLICT (DEVTYPE, SERNUM, DATETIME) DO NOTHING RETURNING 1",
    };
    switch (t) {
    case ArchiveDatabase::Table::DevTypes:
        return devTypes;
    case ArchiveDatabase::Table::ArcRecs:
        return arcRecs;
    case ArchiveDatabase::Table::CfgArcRecs:
        break;
    }
    return cfgArcRecs;
}

// The key and value columns of a row in the order of the table's statements.
std::vector<PgConnection::Param> paramsOf(ArchiveDatabase::Table t, const ArchiveDatabase::RawRow& r)
{
    using T = ArchiveDatabase::Table;
    switch (t) {
    case T::DevTypes:
        return { P::number(r.devType), P::text(r.dateTime), P::number(r.hwCode) };
    case T::ArcRecs:
        return { P::number(r.devType), P::number(r.serial), P::number(r.recType), P::text(r.dateTime), P::bytes(r.blob) };
    case T::CfgArcRecs:
        break;
    }
    return { P::number(r.devType), P::number(r.serial), P::text(r.dateTime), P::bytes(r.blob) };
}

int keyCount(ArchiveDatabase::Table t)
{
    return t == ArchiveDatabase::Table::DevTypes ? 1 : t == ArchiveDatabase::Table::ArcRecs ? 4 : 3;
}

void bindSqlite(sqlite3_stmt* stmt, const std::vector<PgConnection::Param>& params, int count)
{
    for (int i = 0; i < count; ++i) {
        const PgConnection::Param& p = params[std::size_t(i)];
        int rc;
        if (p.binary)
            rc = sqlite3_bind_blob(stmt, i + 1, p.value.constData(), int(p.value.size()), SQLITE_TRANSIENT);
        else if (p.integer)
            rc = sqlite3_bind_int(stmt, i + 1, p.value.toInt());
        else
            rc = sqlite3_bind_text(stmt, i + 1, p.value.constData(), int(p.value.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            fail();
    }
}

} // namespace

HRESULT ArchiveDatabase::forEachRow(Table table, const std::function<bool(const RawRow&)>& row)
{
    const TableText& text = tableText(table);
    using Column = std::function<QByteArray(int)>;
    const auto fill = [table](RawRow& r, const Column& text, const Column& bytes, const std::function<int(int)>& num) {
        switch (table) {
        case Table::DevTypes:
            r.devType = num(0);
            r.dateTime = QString::fromUtf8(text(1));
            r.hwCode = num(2);
            break;
        case Table::ArcRecs:
            r.devType = num(0);
            r.serial = num(1);
            r.recType = num(2);
            r.dateTime = QString::fromUtf8(text(3));
            r.blob = bytes(4);
            break;
        case Table::CfgArcRecs:
            r.devType = num(0);
            r.serial = num(1);
            r.dateTime = QString::fromUtf8(text(2));
            r.blob = bytes(3);
            break;
        }
    };
    if (m_pg) {
        // Text results: the blob comes back as bytes of its own escaping, so ask for binary.
        const auto result = m_pg->exec(text.select, {}, true);
        if (!result)
            return E_FAIL;
        for (const auto& cols : result->rows) {
            RawRow r;
            const auto col = [&](int i) { return cols[std::size_t(i)]; };
            fill(r, col, col, [&](int i) { return pgInt(cols[std::size_t(i)]); });
            if (!row(r))
                break;
        }
        return S_OK;
    }
    return guarded(m_db, [&] {
        Statement select(m_db, QString::fromLatin1(text.select));
        while (select.next()) {
            RawRow r;
            sqlite3_stmt* st = select.get();
            // Text as UTF-8 whatever the file's own encoding; blobs as they are.
            fill(
                r,
                [st](int i) {
                    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                    return p != nullptr ? QByteArray(p, sqlite3_column_bytes(st, i)) : QByteArray();
                },
                [st](int i) {
                    const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
                    return p != nullptr ? QByteArray(p, sqlite3_column_bytes(st, i)) : QByteArray();
                },
                [st](int i) { return sqlite3_column_int(st, i); });
            if (!row(r))
                break;
        }
        select.finish();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::putRow(Table table, const RawRow& row, bool& added)
{
    added = false;
    const TableText& text = tableText(table);
    const std::vector<PgConnection::Param> params = paramsOf(table, row);
    if (m_pg) {
        bool inserted = false;
        const HRESULT hr = m_pg->transaction([&] {
            const auto rows = m_pg->exec(text.pgInsert, params);
            inserted = rows && !rows->rows.empty();
            return rows.has_value();
        });
        added = SUCCEEDED(hr) && inserted;
        return hr;
    }
    return guarded(m_db, [&] {
        Transaction transaction(m_db, m_bulk);
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db, text.exists, -1, &raw, nullptr) != SQLITE_OK)
            fail();
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> exists(raw, sqlite3_finalize);
        bindSqlite(exists.get(), params, keyCount(table));
        const int found = sqlite3_step(exists.get());
        if (found != SQLITE_ROW && found != SQLITE_DONE)
            fail();
        if (found == SQLITE_DONE) {
            if (sqlite3_prepare_v2(m_db, text.insert, -1, &raw, nullptr) != SQLITE_OK)
                fail();
            std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insert(raw, sqlite3_finalize);
            bindSqlite(insert.get(), params, int(params.size()));
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                fail();
            added = true;
        }
        transaction.commit();
        return S_OK;
    });
}

HRESULT ArchiveDatabase::hasSchemaObject(bool index, const QString& name, bool& present)
{
    present = false;
    if (m_pg) {
        const auto rows = m_pg->exec(index ? "SELECT 1 FROM pg_indexes WHERE indexname = lower($1) AND schemaname = current_schema()"
                                           : "SELECT 1 FROM pg_tables WHERE tablename = lower($1) AND schemaname = current_schema()",
                                     { P::text(name) });
        if (!rows)
            return E_FAIL;
        present = !rows->rows.empty();
        return S_OK;
    }
    return guarded(m_db, [&] {
        Statement select(m_db, u"SELECT 1 FROM sqlite_master WHERE type = ?1 AND name = ?2 COLLATE NOCASE"_s);
        sqlite3_bind_text(select.get(), 1, index ? "index" : "table", -1, SQLITE_STATIC);
        sqlite3_bind_text16(select.get(), 2, name.utf16(), -1, SQLITE_TRANSIENT);
        present = select.next();
        select.finish();
        return S_OK;
    });
}

namespace archivedb {

QString configuredTarget(const QString& iniUrl, const QString& environment, const QString& defaultFile)
{
    const QString url = (environment.isEmpty() ? iniUrl : environment).trimmed();
    if (url.isEmpty() || url == u"sqlite:"_s)
        return defaultFile;
    if (environment.isEmpty() && pgurl::isServer(url) && pgurl::withoutPassword(url) != url)
        return {};
    return url;
}

ExportResult exportDayMonArchives(ArchiveDatabase& db, int devType, int serial, const QString& codeName,
                                  std::span<const sctArcZap> records)
{
    ExportResult result;
    if (!db.isOpen()) {
        result.hr = E_POINTER;
        return result;
    }
    bool present = false;
    if (db.hasDeviceType(devType, present) != S_OK || !present) {
        // Another program sharing the database may have added it in between: that is no failure.
        if (FAILED(db.addDeviceType(devType, codeName, 0)) && (db.hasDeviceType(devType, present) != S_OK || !present)) {
            result.hr = E_FAIL;
            return result;
        }
    }
    ArchiveDatabase::BulkWrite bulk(db);
    for (const sctArcZap& r : records) {
        if (r.Event != archive::kEventDaily && r.Event != archive::kEventMonthly)
            continue;
        if (SUCCEEDED(db.storeDayMonRecord(devType, serial, archive::toDayMon(r))))
            ++result.added;
        else
            ++result.errors;
    }
    return result;
}

} // namespace archivedb
