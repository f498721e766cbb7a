#include "ArchiveDatabase.h"

#include <sqlite3.h>

#include "base/Format.h"

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

} // namespace

ArchiveDatabase::~ArchiveDatabase()
{
    close();
}

HRESULT ArchiveDatabase::open(const QString& path)
{
    close();
    sqlite3* db = nullptr;
    // The UTF-16 open call gives a new database UTF-16 text, as files of older versions have.
    const int rc = sqlite3_open16(path.utf16(), &db);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return E_FAIL;
    }
    m_db = db;
    m_path = path;
    return S_OK;
}

void ArchiveDatabase::close()
{
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path.clear();
}

QString ArchiveDatabase::lastError() const
{
    return m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
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
