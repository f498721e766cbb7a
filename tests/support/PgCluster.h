#pragma once

#include <QString>
#include <QTemporaryDir>

// A throwaway PostgreSQL server for one test program: a cluster made with initdb in a
// temporary folder, listening on a free port of 127.0.0.1 and a socket in that folder, removed
// again when the object goes. The server refuses to run as root, so when the tests do, its
// commands run as the "postgres" user. The superuser "lorn2" needs no password.
class PgCluster
{
public:
    // fsync off suits tests; a benchmark that measures real writes keeps it on.
    explicit PgCluster(bool fsync = false);
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool isRunning() const { return m_running; }
    // Why the cluster is not running.
    const QString& error() const { return m_error; }

    // A libpq URL of a database of the cluster.
    QString url(const QString& database = QStringLiteral("postgres")) const;
    // Creates an empty database; false with error() set when the server refused.
    bool createDatabase(const QString& name);
    // Stops the server (fast), and starts it again on the same port.
    bool stop();
    bool start();

private:
    bool run(const QStringList& command, int timeoutMs = 60000);

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_data;
    quint16 m_port = 0;
    bool m_asPostgres = false;
    bool m_running = false;
    bool m_fsync = false;
    QString m_error;
};
