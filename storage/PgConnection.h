#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "base/ResultCodes.h"

struct pg_conn;
struct pg_result;

// A connection to a PostgreSQL server through libpq, for the archive database. Every value
// travels as a bound parameter; nothing is ever formatted into the statement text. A lost
// connection fails the statement it broke and is reset before the next one.
class PgConnection
{
public:
    // A parameter: text, or bytes sent as binary (bytea).
    struct Param
    {
        QByteArray value;
        bool binary = false;
        bool integer = false; // sent as text all the same; other databases bind it as a number
        static Param text(const QString& s) { return { s.toUtf8(), false, false }; }
        static Param number(int n) { return { QByteArray::number(n), false, true }; }
        static Param bytes(QByteArray b) { return { std::move(b), true, false }; }
    };
    // A result's rows, each column as the text the server sends (binary columns as bytes); a
    // NULL is an empty value.
    struct Rows
    {
        std::vector<std::vector<QByteArray>> rows;
    };

    // Connects to a libpq URI ("postgresql://user@host:port/db"); none, with the reason, when
    // the server cannot be reached. The password comes from ~/.pgpass or PGPASSWORD.
    static std::unique_ptr<PgConnection> connect(const QString& url, QString* error);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs one statement; the rows when it returns some. `binaryResult` asks for bytea columns
    // as raw bytes (and every other column in the server's binary form too).
    std::optional<Rows> exec(const char* sql, const std::vector<Param>& params = {}, bool binaryResult = false);
    // One write in a transaction of its own, or in a savepoint while a bulk write is open;
    // retried when the server resolved a conflict by aborting it (serialization, deadlock).
    // `write` runs the statements and returns false to roll back.
    HRESULT transaction(const std::function<bool()>& write);

    // One transaction around many writes, each of which then keeps its own savepoint.
    bool beginBulk();
    bool endBulk();

    QString lastError() const { return m_error; }
    // The URL without its password, for messages.
    const QString& displayUrl() const { return m_display; }

private:
    PgConnection() = default;
    bool ensureConnected();
    bool command(const char* sql);

    pg_conn* m_conn = nullptr;
    QString m_error;
    QString m_display;
    QByteArray m_lastState; // SQLSTATE of the last failure
    bool m_bulk = false;
};

namespace pgurl {

// True for the URLs libpq takes as a server ("postgresql://", "postgres://").
bool isServer(const QString& target);
// The URL with any password replaced by "***".
QString withoutPassword(const QString& url);

} // namespace pgurl
