#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QLockFile>
#include <QString>

#include "storage/CDevData.h"

// How a poll treats each account; lorn2-cli poll's options.
struct PollPolicy
{
    enum class Config { Auto, Always, Never };

    // Back to this day at most, whatever the account holds.
    std::optional<QDate> since;
    // Auto: the configuration is read with the archive only while the account has none.
    Config config = Config::Auto;
    // The meter's clock is set when it is off by more than this many seconds.
    std::optional<int> clockDriftSeconds;
    // Lines polled at once; 0: every line at once.
    int jobs = 0;
    // Tries of an account in all, the later ones at the end of the round.
    int attempts = 2;
};

// One account's poll, as it stands and as it ended.
struct PollResult
{
    enum class State { Waiting, Running, Ok, Failed, Stopped };

    int account = -1; // the caller's index of the account
    int serial = 0;
    int type = 0;
    QString typeName;
    int port = 0;
    State state = State::Waiting;
    // Every message the operations showed, in order; empty when all went well.
    QString message;
    QString status; // the running operation's status text
    int newRecords = 0;
    qint64 recordsRead = 0; // records read so far in the running try
    qint64 recordsTotal = 0; // of how many the operation expects; 0 while unknown
    QDateTime lastRecord; // the newest record the account holds after the poll
    int attempts = 0;
    double seconds = 0;
    qint64 lineBytes = 0;
    bool configRead = false;
    bool clockSet = false;
    // The data-quality check of the records read: problems found (-1: nothing was read) and
    // the findings, one a line.
    int qualityProblems = -1;
    QString qualityText;

    bool finished() const { return state == State::Ok || state == State::Failed || state == State::Stopped; }
    // "ok", "failed", "stopped", "waiting" or "running".
    QString stateWord() const;
};

// Reads the archives of many accounts in one run: one worker per line (COM number), the
// accounts of a line one after another, failed accounts again at the end of the round. Each
// account is Get Archive from now back to the newest record it holds, merged and saved as
// "Сохранить" does; the configuration and the clock by the policy. Nothing asks a question:
// every message becomes the account's result text.
class Poller
{
public:
    struct Job
    {
        int account = -1; // the caller's index, given back in the results
        CDevData data;    // a copy: the poll works on it, the caller takes it back at the end
    };

    // Called on worker threads; the index is the job's.
    struct Observer
    {
        std::function<void(int job, const PollResult&)> changed;  // state, status or count
        std::function<void(int job, const PollResult&, const CDevData& data)> finished; // each try's end
    };

    Poller(std::vector<Job> jobs, PollPolicy policy, QString workingFolder, QString databasePath);
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    void setObserver(Observer observer) { m_observer = std::move(observer); }
    // Shortens the escape guard times of the modem; only tests set them.
    void setFastModem(bool fast) { m_fastModem = fast; }

    // Polls every job; returns when all have ended or were stopped.
    void run();
    // From any thread: every line's current exchange ends, what came is kept.
    void stop();
    bool stopped() const { return m_stop.load(); }

    const std::vector<PollResult>& results() const { return m_results; }
    const CDevData& data(int job) const { return m_jobs[std::size_t(job)].data; }
    // How many lines (COM numbers) the jobs use.
    int lineCount() const;

private:
    class Host;
    void runLine(const std::vector<int>& jobs);
    void pollOne(int job);
    void publish(int job);

    std::vector<Job> m_jobs;
    PollPolicy m_policy;
    QString m_workingFolder;
    QString m_databasePath;
    Observer m_observer;
    bool m_fastModem = false;

    std::vector<PollResult> m_results;
    std::mutex m_mutex; // m_results and m_hosts while workers run
    std::vector<Host*> m_hosts;
    std::atomic<bool> m_stop{false};
};

// One poll per working folder at a time: a lock file that names the process holding it.
class PollLock
{
public:
    explicit PollLock(const QString& workingFolder);
    // False when another process polls; then otherPid() names it.
    bool acquire();
    qint64 otherPid() const { return m_otherPid; }
    // "Опрос уже выполняется (процесс N)".
    QString refusal() const;

private:
    QLockFile m_lock;
    qint64 m_otherPid = 0;
};

namespace polllog {

// Appends one line per account to WorkingFolder/Logs/poll-YYYY-MM.csv (the month of `when`),
// with a header line in a new file. False when the file cannot be written.
bool append(const QString& workingFolder, const std::vector<PollResult>& results, const QDateTime& when,
            QString* error = nullptr);

// The lines append() writes, after the header line when `header` is set.
QByteArray format(const std::vector<PollResult>& results, const QDateTime& when, bool header);

// The lines of a log file's text, header and lines that are not a poll's left out; a quoted
// message may hold the separator, quotes and line breaks.
std::vector<PollResult> parse(const QByteArray& text);

// Each account's last result in the logs of this month and the one before, by type code name
// and serial number: what a poll from cron left for the desktop program to show.
std::map<std::pair<QString, int>, PollResult> latest(const QString& workingFolder, const QDate& today);

} // namespace polllog
