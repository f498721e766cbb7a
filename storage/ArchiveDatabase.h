#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "archive/DayMonRecord.h"
#include "base/ResultCodes.h"

struct sqlite3;
class PgConnection;

// One configuration archive record of a meter, as the database keeps it. It carries its own time
// stamp and ends with a CRC-16/MODBUS over the whole record.
struct CfgArcRecord
{
    static constexpr std::size_t kSize = 1024;
    // Stamp bytes: second, minute, hour, day, month, year - 2000.
    static constexpr std::size_t kSecond = 1016;

    std::array<std::uint8_t, kSize> bytes{};

    // The first kSize bytes; nothing when fewer are given.
    static std::optional<CfgArcRecord> fromBytes(QByteArrayView b);
    // Invalid when the stamp bytes form no moment.
    QDateTime dateTime() const;
    // The check sum over all bytes, with the bytes the meter changes after summing cleared, is 0.
    bool isIntact() const;

    friend bool operator==(const CfgArcRecord&, const CfgArcRecord&) = default;
};

// The program's archive database, open for the whole run or not at all: the SQLite file
// "lorn2.sqlite" of the working folder, or a PostgreSQL server a company shares, with the same
// tables, rows and rules. Every operation fails with E_POINTER without a connection and runs no
// SQL, and gives E_FAIL when the database fails. Each write is one transaction, rolled back on
// failure; inside a BulkWrite each write is a savepoint of one transaction around them all.
class ArchiveDatabase
{
public:
    ArchiveDatabase();
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    // Opens for reading and writing: a file path (created when missing, with UTF-16 text), the
    // same as "sqlite:PATH", or a server URL "postgresql://USER@HOST:PORT/DBNAME".
    HRESULT open(const QString& target);
    void close();
    bool isOpen() const { return m_db != nullptr || m_pg != nullptr; }
    bool isServer() const { return m_pg != nullptr; }
    // What was opened, as given (a server URL may carry a password: see describe()).
    const QString& path() const { return m_path; }
    // The file path, or the server URL without its password.
    QString describe() const;
    sqlite3* handle() const { return m_db; }
    PgConnection* server() const { return m_pg.get(); }

    // Many writes in one transaction, each row still all or nothing: the file syncs once for an
    // export instead of once a row. Ends (committing the rows that went in) when destroyed.
    class BulkWrite
    {
    public:
        explicit BulkWrite(ArchiveDatabase& db);
        ~BulkWrite();
        BulkWrite(const BulkWrite&) = delete;
        BulkWrite& operator=(const BulkWrite&) = delete;

    private:
        ArchiveDatabase& m_db;
        bool m_active = false;
    };

    // Creates each missing table; the first failure leaves the remaining tables unexamined.
    HRESULT ensureTables();
    // The library's text for the last failure, for logs.
    QString lastError() const;

    // Inserts the daily or monthly row of the blob, or replaces the blob of the row with the same
    // type, serial, record type and minute. E_INVALIDARG, with nothing written, when the blob's
    // stamp forms no moment.
    HRESULT storeDayMonRecord(int devType, int serial, const u_data_daymon_full& blob);
    // Number of daily rows of the meter.
    HRESULT countDailyRows(int devType, int serial, int& count);
    // The stamp of the meter's newest daily (or monthly) row as a calendar value; invalid when
    // it has none.
    HRESULT newestDayMonStamp(int devType, int serial, bool monthly, QDateTime& stamp);
    // The meter's daily rows from start to end, to the minute, oldest first; an invalid bound is
    // open, reversed bounds are swapped. A row without a whole blob fails the read; the rows
    // before it stay in the list.
    HRESULT readDailyRows(int devType, int serial, const QDateTime& start, const QDateTime& end,
                          std::vector<archive::DayMonRow>& rows);

    // Inserts the record unless one with the same stamp is stored: that one is kept, with S_OK.
    // E_INVALIDARG, with nothing written, for a record whose stamp or check sum is bad.
    HRESULT storeCfgArcRecord(int devType, int serial, const CfgArcRecord& record);
    // The meter's configuration archive, oldest first. A row whose blob is shorter than
    // CfgArcRecord::kSize bytes is no record: it is skipped and its DATETIME text added to
    // `skipped`. A whole blob that is not intact fails the read; the records before it stay.
    HRESULT readCfgArchive(int devType, int serial, std::vector<CfgArcRecord>& records,
                           std::vector<QString>* skipped = nullptr);

    HRESULT hasDeviceType(int devType, bool& present);
    HRESULT addDeviceType(int devType, const QString& codeName, int hwCode = 0);

    // Rows as they are stored, for checking a database and copying it into another: nothing is
    // derived from the blobs, so an odd row travels as it is.
    struct RawRow
    {
        int devType = 0; // DEVID for DEVTYPES
        int serial = 0;
        int recType = 0; // ARCRECS only
        QString dateTime; // the DATETIME text; NAME for DEVTYPES
        int hwCode = 0;   // DEVTYPES only
        QByteArray blob;
    };
    enum class Table { DevTypes, ArcRecs, CfgArcRecs };
    // Every row of a table in key order; `row` returns false to stop.
    HRESULT forEachRow(Table table, const std::function<bool(const RawRow&)>& row);
    // Adds the row unless one with its key is there (kept as it is): S_OK and `added` set.
    HRESULT putRow(Table table, const RawRow& row, bool& added);
    // Whether the table and the index exist.
    HRESULT hasTable(const QString& name, bool& present) { return hasSchemaObject(false, name, present); }
    HRESULT hasIndex(const QString& name, bool& present) { return hasSchemaObject(true, name, present); }

    static const char* const kCreateDevTypes;
    static const char* const kCreateArcRecs;
    static const char* const kCreateCfgArcRecs;

    // The server's tables: the same columns, blobs as bytea, the keys of the upserts unique.
    static const char* const kPgSchema[];

private:
    HRESULT ensureTable(const char* name, const char* createStatement);
    HRESULT hasSchemaObject(bool index, const QString& name, bool& present);
    bool beginBulk();
    void endBulk();

    sqlite3* m_db = nullptr;
    std::unique_ptr<PgConnection> m_pg;
    QString m_path;
    QString m_openError;
    bool m_bulk = false;
};

namespace archivedb {

struct ExportResult
{
    // S_OK after the records were tried; E_POINTER: no connection; E_FAIL: the device type was
    // missing and could not be added. Nothing was stored after either failure.
    HRESULT hr = S_OK;
    int added = 0;
    int errors = 0; // records that could not be converted or stored
};

// Stores every daily and monthly record of an account's archive into the database, first adding
// the device type when the database lacks it; other records are passed over.
// What to open: LORN2_DATABASE when set, else the Url of lorn2.ini; empty or "sqlite:" is the
// working folder's file. A server URL in lorn2.ini with a password in it is refused (empty
// result): the password belongs in ~/.pgpass or PGPASSWORD, not in a file others read.
QString configuredTarget(const QString& iniUrl, const QString& environment, const QString& defaultFile);

ExportResult exportDayMonArchives(ArchiveDatabase& db, int devType, int serial, const QString& codeName,
                                  std::span<const sctArcZap> records);

} // namespace archivedb
