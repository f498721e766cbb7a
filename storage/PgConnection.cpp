#include "PgConnection.h"

#include <chrono>
#include <thread>

#include <QUrl>

#include <libpq-fe.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A server that does not answer is given up on as a serial line would be.
constexpr const char* kConnectTimeoutSeconds = "5";
// Conflicts the server resolved by aborting a transaction: try it again, a few times.
constexpr int kConflictRetries = 20;
constexpr std::chrono::milliseconds kConflictPause{ 20 };

bool isConflict(const QByteArray& state)
{
    return state == "40001" || state == "40P01";
}

QString messageOf(pg_conn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

} // namespace

namespace pgurl {

bool isServer(const QString& target)
{
    return target.startsWith(u"postgresql://"_s) || target.startsWith(u"postgres://"_s);
}

QString withoutPassword(const QString& url)
{
    QUrl u(url);
    if (!u.isValid() || u.password().isEmpty())
        return url;
    u.setPassword(u"***"_s);
    return u.toString();
}

} // namespace pgurl

std::unique_ptr<PgConnection> PgConnection::connect(const QString& url, QString* error)
{
    std::unique_ptr<PgConnection> c(new PgConnection);
    c->m_display = pgurl::withoutPassword(url);
    const QByteArray uri = url.toUtf8();
    // The URI is expanded in place of dbname; the timeout after it wins unless the URI sets one.
    const char* keys[] = { "connect_timeout", "dbname", "application_name", nullptr };
    const char* values[] = { kConnectTimeoutSeconds, uri.constData(), "lorn2", nullptr };
    c->m_conn = PQconnectdbParams(keys, values, 1);
    if (c->m_conn == nullptr || PQstatus(c->m_conn) != CONNECTION_OK) {
        if (error != nullptr)
            *error = c->m_conn != nullptr ? messageOf(c->m_conn) : u"out of memory"_s;
        return nullptr;
    }
    // Notices (an index that exists already) are no messages for the user.
    PQsetNoticeProcessor(c->m_conn, [](void*, const char*) {}, nullptr);
    return c;
}

PgConnection::~PgConnection()
{
    if (m_conn != nullptr)
        PQfinish(m_conn);
}

bool PgConnection::ensureConnected()
{
    if (PQstatus(m_conn) == CONNECTION_OK)
        return true;
    // A bulk write in progress died with the connection; its open rows are gone with it.
    m_bulk = false;
    PQreset(m_conn);
    if (PQstatus(m_conn) == CONNECTION_OK)
        return true;
    m_error = messageOf(m_conn);
    return false;
}

std::optional<PgConnection::Rows> PgConnection::exec(const char* sql, const std::vector<Param>& params,
                                                     bool binaryResult)
{
    m_lastState.clear();
    if (!ensureConnected())
        return std::nullopt;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
        values.push_back(p.value.constData());
        lengths.push_back(int(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    pg_result* res = PQexecParams(m_conn, sql, int(params.size()), nullptr, values.data(), lengths.data(),
                                  formats.data(), binaryResult ? 1 : 0);
    const ExecStatusType status = res != nullptr ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        m_error = res != nullptr && PQresultErrorMessage(res)[0] != '\0' ? QString::fromUtf8(PQresultErrorMessage(res)).trimmed()
                                                                         : messageOf(m_conn);
        if (res != nullptr) {
            const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
            m_lastState = state != nullptr ? QByteArray(state) : QByteArray();
            PQclear(res);
        }
        return std::nullopt;
    }
    Rows out;
    const int n = PQntuples(res);
    const int cols = PQnfields(res);
    out.rows.reserve(std::size_t(n));
    for (int r = 0; r < n; ++r) {
        std::vector<QByteArray> row;
        row.reserve(std::size_t(cols));
        for (int c = 0; c < cols; ++c) {
            row.emplace_back(PQgetvalue(res, r, c), PQgetlength(res, r, c));
        }
        out.rows.push_back(std::move(row));
    }
    PQclear(res);
    return out;
}

bool PgConnection::command(const char* sql)
{
    return exec(sql).has_value();
}

HRESULT PgConnection::transaction(const std::function<bool()>& write)
{
    if (m_bulk) {
        // One row of a bulk write: its own savepoint, so that it fails alone.
        if (!command("SAVEPOINT row"))
            return E_FAIL;
        if (write() && command("RELEASE SAVEPOINT row"))
            return S_OK;
        const QString error = m_error;
        command("ROLLBACK TO SAVEPOINT row");
        m_error = error;
        return E_FAIL;
    }
    for (int attempt = 0;; ++attempt) {
        if (!command("BEGIN"))
            return E_FAIL;
        if (write() && command("COMMIT"))
            return S_OK;
        const QByteArray state = m_lastState;
        const QString error = m_error;
        command("ROLLBACK");
        m_error = error;
        if (!isConflict(state) || attempt >= kConflictRetries)
            return E_FAIL;
        std::this_thread::sleep_for(kConflictPause);
    }
}

bool PgConnection::beginBulk()
{
    if (m_bulk)
        return true;
    m_bulk = command("BEGIN");
    return m_bulk;
}

bool PgConnection::endBulk()
{
    if (!m_bulk)
        return false;
    m_bulk = false;
    if (command("COMMIT"))
        return true;
    const QString error = m_error;
    command("ROLLBACK");
    m_error = error;
    return false;
}
