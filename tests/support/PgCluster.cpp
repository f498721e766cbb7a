#include "PgCluster.h"

#include <unistd.h>

#include <QDir>
#include <QProcess>

#include <libpq-fe.h>

#include "Ser2net.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The newest server of the machine: /usr/lib/postgresql/VERSION/bin.
QString serverBin()
{
    QDir root(u"/usr/lib/postgresql"_s);
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = root.filePath(*it + u"/bin"_s);
        if (QFile::exists(bin + u"/initdb"_s) && QFile::exists(bin + u"/pg_ctl"_s))
            return bin;
    }
    return {};
}

} // namespace

PgCluster::PgCluster(bool fsync)
    : m_fsync(fsync)
{
    m_bin = serverBin();
    if (m_bin.isEmpty()) {
        m_error = u"no PostgreSQL server in /usr/lib/postgresql (scripts/install-deps installs it)"_s;
        return;
    }
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return;
    }
    m_data = m_dir.filePath(u"data"_s);
    m_asPostgres = ::geteuid() == 0;
    if (m_asPostgres && !run({ u"chown"_s, u"postgres:"_s, m_dir.path() }))
        return;
    // The runuser wrapper is only needed for the server's own programs.
    if (!run({ m_bin + u"/initdb"_s, u"-D"_s, m_data, u"-A"_s, u"trust"_s, u"-U"_s, u"lorn2"_s, u"-E"_s, u"UTF8"_s,
               u"--locale=C.UTF-8"_s, u"--no-sync"_s }))
        return;
    m_port = testsupport::freeTcpPort();
    start();
}

PgCluster::~PgCluster()
{
    if (m_running)
        run({ m_bin + u"/pg_ctl"_s, u"-D"_s, m_data, u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s });
}

bool PgCluster::run(const QStringList& command, int timeoutMs)
{
    QStringList args = command;
    QString program = args.takeFirst();
    // chown runs as root; the server's programs as the postgres user.
    if (m_asPostgres && program != u"chown"_s) {
        args = QStringList{ u"-u"_s, u"postgres"_s, u"--"_s, program } + args;
        program = u"runuser"_s;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir.path());
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + u' ' + args.join(u' ') + u": "_s + QString::fromLocal8Bit(p.readAll()).trimmed();
        return false;
    }
    return true;
}

bool PgCluster::start()
{
    const QString options = u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=%3 -c max_connections=40"_s.arg(m_port)
                                .arg(m_dir.path(), m_fsync ? u"on"_s : u"off"_s);
    m_running = run({ m_bin + u"/pg_ctl"_s, u"-D"_s, m_data, u"-l"_s, m_dir.filePath(u"server.log"_s), u"-w"_s,
                      u"-t"_s, u"60"_s, u"-o"_s, options, u"start"_s });
    return m_running;
}

bool PgCluster::stop()
{
    if (!m_running)
        return true;
    m_running = !run({ m_bin + u"/pg_ctl"_s, u"-D"_s, m_data, u"-m"_s, u"fast"_s, u"-w"_s, u"stop"_s });
    return !m_running;
}

QString PgCluster::url(const QString& database) const
{
    return u"postgresql://lorn2@127.0.0.1:%1/%2"_s.arg(m_port).arg(database);
}

bool PgCluster::createDatabase(const QString& name)
{
    PGconn* conn = PQconnectdb(url().toUtf8().constData());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        // The name is the test's own; quoted as an identifier all the same.
        char* quoted = PQescapeIdentifier(conn, name.toUtf8().constData(), std::size_t(name.toUtf8().size()));
        const QByteArray sql = QByteArray("CREATE DATABASE ") + QByteArray(quoted);
        PGresult* r = PQexec(conn, sql.constData());
        PQfreemem(quoted);
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok)
            m_error = QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
    } else {
        m_error = QString::fromUtf8(PQerrorMessage(conn));
    }
    PQfinish(conn);
    return ok;
}
