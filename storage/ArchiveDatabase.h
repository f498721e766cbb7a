#pragma once

#include <QString>

#include "base/ResultCodes.h"

struct sqlite3;

// The program's SQLite connection to "lorn2.sqlite", open for the whole run or not at all.
class ArchiveDatabase
{
public:
    ArchiveDatabase() = default;
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    // Opens for reading and writing, creating the file when missing (with UTF-16 text).
    HRESULT open(const QString& path);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString& path() const { return m_path; }
    sqlite3* handle() const { return m_db; }

    // Creates each missing table; the first failure leaves the remaining tables unexamined.
    HRESULT ensureTables();
    // The library's text for the last failure, for logs.
    QString lastError() const;

    static const char* const kCreateDevTypes;
    static const char* const kCreateArcRecs;
    static const char* const kCreateCfgArcRecs;

private:
    HRESULT ensureTable(const char* name, const char* createStatement);

    sqlite3* m_db = nullptr;
    QString m_path;
};
