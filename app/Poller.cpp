#include "Poller.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include <QDir>
#include <QFile>
#include <QStringList>

#include "archive/DataQuality.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/CommThreadParams.h"
#include "link/DeviceOperations.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using Clock = std::chrono::steady_clock;

// Progress of a running account reaches the observer at most this often.
constexpr auto kChangeInterval = std::chrono::milliseconds(100);

// A record's stamp as a calendar value; hour 24 is midnight of the next day.
QDateTime stampTime(const archive::RecordStamp& s)
{
    const QDate day(2000 + s.year, s.month, s.day);
    if (!day.isValid() || s.hour > 24 || s.minute > 59)
        return {};
    if (s.hour == 24)
        return dateutil::calendarDateTime(day.addDays(1), QTime(0, s.minute));
    return dateutil::calendarDateTime(day, QTime(s.hour, s.minute));
}

// The messages of one account's operations: kept as its result text, never waited on. The
// configuration archive is read whatever its size, as the policy says; any other question
// takes its default button.
class CollectingMessages : public MessageBoxBackend
{
public:
    MbAnswer show(const MessageRequest& request) override
    {
        if (request.icon == MbIcon::Question) {
            static const QString cfgArchive = LoadResString(222).section(u'%', 0, 0);
            if (!cfgArchive.isEmpty() && request.text.startsWith(cfgArchive))
                return MbAnswer::Yes;
            return request.defaultAnswer();
        }
        texts << request.text;
        return request.defaultAnswer();
    }

    QStringList texts;
};

} // namespace

QString PollResult::stateWord() const
{
    switch (state) {
    case State::Waiting: return u"waiting"_s;
    case State::Running: return u"running"_s;
    case State::Ok: return u"ok"_s;
    case State::Failed: return u"failed"_s;
    case State::Stopped: return u"stopped"_s;
    }
    return {};
}

// Answers the operation for one account: the date range by the policy, progress to the
// observer, the stop word shared with Poller::stop.
class Poller::Host : public OperationHost
{
public:
    Host(Poller& poller, int job)
        : m_poller(poller)
        , m_job(job)
    {
    }

    void setStatus(const QString& text) override
    {
        {
            std::lock_guard lock(m_poller.m_mutex);
            m_poller.m_results[std::size_t(m_job)].status = text;
        }
        changed(false);
    }
    void setProgress(int) override { }
    void setCounts(qint64 done, qint64 total, CountUnit unit) override
    {
        if (unit != CountUnit::Records || m_phase != Phase::Hourly)
            return;
        {
            std::lock_guard lock(m_poller.m_mutex);
            PollResult& r = m_poller.m_results[std::size_t(m_job)];
            r.recordsRead = done;
            r.recordsTotal = total;
        }
        changed(false);
    }
    std::atomic<int>& stopWord() override { return m_stop; }
    std::optional<DateRange> askDateRange(QDate proposedStart, std::optional<QDate>) override
    {
        m_phase = Phase::Hourly;
        return DateRange{proposedStart, m_poller.m_policy.since};
    }
    void finished(int) override { m_phase = Phase::Other; }

    void changed(bool force)
    {
        const Clock::time_point now = Clock::now();
        if (!force && now - m_lastChange < kChangeInterval)
            return;
        m_lastChange = now;
        m_poller.publish(m_job);
    }

private:
    enum class Phase { Other, Hourly };
    Poller& m_poller;
    int m_job;
    std::atomic<int> m_stop{kRunning};
    Phase m_phase = Phase::Other;
    Clock::time_point m_lastChange{};
};

Poller::Poller(std::vector<Job> jobs, PollPolicy policy, QString workingFolder, QString databasePath)
    : m_jobs(std::move(jobs))
    , m_policy(std::move(policy))
    , m_workingFolder(std::move(workingFolder))
    , m_databasePath(std::move(databasePath))
{
    m_policy.attempts = std::max(1, m_policy.attempts);
    m_results.resize(m_jobs.size());
    for (std::size_t i = 0; i < m_jobs.size(); ++i) {
        PollResult& r = m_results[i];
        const CDevData& d = m_jobs[i].data;
        r.account = m_jobs[i].account;
        r.serial = d.m_serial;
        r.type = d.m_type;
        r.typeName = d.typeCodeName();
        r.port = d.m_connection.port;
    }
}

Poller::~Poller() = default;

int Poller::lineCount() const
{
    std::vector<int> ports;
    for (const Job& j : m_jobs)
        ports.push_back(j.data.m_connection.port);
    std::sort(ports.begin(), ports.end());
    return int(std::unique(ports.begin(), ports.end()) - ports.begin());
}

void Poller::publish(int job)
{
    if (!m_observer.changed)
        return;
    PollResult copy;
    {
        std::lock_guard lock(m_mutex);
        copy = m_results[std::size_t(job)];
    }
    m_observer.changed(job, copy);
}

void Poller::stop()
{
    m_stop = true;
    std::lock_guard lock(m_mutex);
    for (Host* host : m_hosts)
        host->stopWord().store(OperationHost::kStopAsked);
}

void Poller::run()
{
    for (int round = 1; round <= m_policy.attempts && !m_stop.load(); ++round) {
        // The accounts still to try, by line, in the order given.
        std::map<int, std::vector<int>> lines;
        for (std::size_t i = 0; i < m_jobs.size(); ++i) {
            const PollResult& r = m_results[i];
            if (r.state == PollResult::State::Waiting || r.state == PollResult::State::Failed)
                lines[r.port].push_back(int(i));
        }
        if (lines.empty())
            break;
        std::vector<std::vector<int>> queue;
        for (auto& [port, jobs] : lines)
            queue.push_back(std::move(jobs));
        const std::size_t workers
            = std::min(queue.size(), m_policy.jobs > 0 ? std::size_t(m_policy.jobs) : queue.size());
        std::atomic<std::size_t> next{0};
        std::vector<std::thread> threads;
        for (std::size_t w = 0; w < workers; ++w) {
            threads.emplace_back([&] {
                for (std::size_t line = next++; line < queue.size() && !m_stop.load(); line = next++)
                    runLine(queue[line]);
            });
        }
        for (std::thread& t : threads)
            t.join();
    }
    // Accounts a stop left untried say so.
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        PollResult& r = m_results[i];
        if (r.state == PollResult::State::Waiting) {
            r.state = PollResult::State::Stopped;
            if (r.message.isEmpty())
                r.message = LoadResString(141);
            publish(int(i));
        }
    }
}

void Poller::runLine(const std::vector<int>& jobs)
{
    for (const int job : jobs) {
        if (m_stop.load())
            return;
        pollOne(job);
    }
}

void Poller::pollOne(int job)
{
    Host host(*this, job);
    {
        std::lock_guard lock(m_mutex);
        m_hosts.push_back(&host);
        if (m_stop.load())
            host.stopWord().store(OperationHost::kStopAsked);
        PollResult& r = m_results[std::size_t(job)];
        r.state = PollResult::State::Running;
        r.status.clear();
        r.recordsRead = 0;
        r.recordsTotal = 0;
        ++r.attempts;
    }
    host.changed(true);

    const Clock::time_point started = Clock::now();
    CDevData& acc = m_jobs[std::size_t(job)].data;
    auto messages = std::make_shared<CollectingMessages>();
    int result = 0;
    int newRecords = 0;
    int qualityProblems = -1;
    QString qualityText;
    qint64 lineBytes = 0;
    bool configRead = false;
    bool clockSet = false;
    {
        ThreadMessageBoxBackend scope(messages);
        if (acc.m_records.isEmpty())
            acc.LoadArchive();
        ArchiveDatabase database;
        if (!m_databasePath.isEmpty())
            database.open(m_databasePath);

        CommThreadParams params;
        params.host = &host;
        params.account = &acc;
        params.database = database.isOpen() ? &database : nullptr;
        params.portMapFile = QDir(m_workingFolder).filePath(u"lorn2.ini"_s);
        params.readConfiguration = m_policy.config == PollPolicy::Config::Always
            || (m_policy.config == PollPolicy::Config::Auto && acc.m_config.isEmpty());
        if (!acc.m_records.isEmpty())
            params.newestHeldKey = archive::stampKey(acc.m_records.latestStamp());
        if (database.isOpen()) {
            database.newestDayMonStamp(acc.m_type, acc.m_serial, false, params.newestDaily);
            database.newestDayMonStamp(acc.m_type, acc.m_serial, true, params.newestMonthly);
        }
        result = comm::runOperation(comm::kOpGetArchive, params);
        lineBytes += params.lineBytes;
        configRead = params.readConfiguration && result == 0;

        // What came is kept whatever the end, as "Сохранить" after a stop keeps it.
        if (!params.records.empty()) {
            newRecords = int(params.records.size());
            // The meter gives its newest record first; the check wants them as they were written.
            const std::vector<sctArcZap> written(params.records.rbegin(), params.records.rend());
            archive::quality::Period period;
            period.now = QDateTime::currentDateTime();
            const archive::quality::Report report
                = archive::quality::check(written, period, std::clamp<int>(acc.m_arcParams.NumSys, 1, 3));
            qualityProblems = int(report.problemCount());
            qualityText = archive::quality::reportLines(report).join(u'\n');
            comm::mergeRecords(params);
            QString error;
            if (!acc.WriteArchive(&error))
                MessageBox::error(error.isEmpty() ? LoadResString(147).section(u'\n', 0, 0) : error);
        }
        if (acc.m_modified != 0 && FAILED(acc.Save()))
            MessageBox::error(LoadResString(108, u"Failed to save device data"_s));

        // The meter tells its time only through its archive: the newest hourly record closes at
        // its last full hour, so its clock reads between that stamp and an hour later.
        if (result == 0 && m_policy.clockDriftSeconds && !acc.m_records.isEmpty() && !m_stop.load()) {
            const QDateTime newest = stampTime(acc.m_records.latestStamp());
            const QDateTime now = dateutil::calendarDateTime(QDateTime::currentDateTime());
            const qint64 low = now.secsTo(newest);
            const qint64 high = low + 3600;
            const qint64 limit = *m_policy.clockDriftSeconds;
            if (newest.isValid() && (low > limit || high < -limit)) {
                CommThreadParams clock;
                clock.host = &host;
                clock.account = &acc;
                clock.portMapFile = params.portMapFile;
                clock.when = QDateTime::currentDateTime();
                result = comm::runOperation(comm::kOpSetDateTime, clock);
                lineBytes += clock.lineBytes;
                clockSet = result == 0;
            }
        }
    }

    {
        std::lock_guard lock(m_mutex);
        m_hosts.erase(std::find(m_hosts.begin(), m_hosts.end(), &host));
        PollResult& r = m_results[std::size_t(job)];
        if (result == 0)
            r.state = PollResult::State::Ok;
        else if (m_stop.load() || result == comm::kMsgStopped)
            r.state = PollResult::State::Stopped;
        else
            r.state = PollResult::State::Failed;
        r.message = messages->texts.join(u'\n');
        r.status.clear();
        r.newRecords += newRecords;
        r.lineBytes += lineBytes;
        r.seconds += std::chrono::duration<double>(Clock::now() - started).count();
        r.configRead = r.configRead || configRead;
        r.clockSet = r.clockSet || clockSet;
        if (qualityProblems >= 0) {
            r.qualityProblems = qualityProblems;
            r.qualityText = qualityText;
        }
        if (!acc.m_records.isEmpty())
            r.lastRecord = stampTime(acc.m_records.latestStamp());
    }
    publish(job);
    if (m_observer.finished) {
        PollResult copy;
        {
            std::lock_guard lock(m_mutex);
            copy = m_results[std::size_t(job)];
        }
        m_observer.finished(job, copy, acc);
    }
}

PollLock::PollLock(const QString& workingFolder)
    : m_lock(QDir(workingFolder).filePath(u"poll.lock"_s))
{
    // A lock is stale only when its process is gone, however long a poll runs.
    m_lock.setStaleLockTime(0);
}

bool PollLock::acquire()
{
    if (m_lock.tryLock(0))
        return true;
    QString host, app;
    m_lock.getLockInfo(&m_otherPid, &host, &app);
    return false;
}

QString PollLock::refusal() const
{
    return fmt::text(u"Опрос уже выполняется (процесс %lld)", static_cast<long long>(m_otherPid));
}

namespace polllog {

namespace {

// A CSV field: quoted when it holds the separator, a quote or a line break.
QString field(QString text)
{
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    text.replace(u"\""_s, u"\"\""_s);
    return u'"' + text + u'"';
}

} // namespace

QByteArray format(const std::vector<PollResult>& results, const QDateTime& when, bool header)
{
    QByteArray out;
    if (header)
        out += "time;serial;type;result;message;newRecords;lastRecord;attempts;seconds;lineBytes\n";
    const QString stamp = when.toString(u"yyyy-MM-ddTHH:mm:ss"_s);
    for (const PollResult& r : results) {
        const QStringList fields{stamp,
                                 QString::number(r.serial),
                                 field(r.typeName),
                                 r.stateWord(),
                                 field(r.message),
                                 QString::number(r.newRecords),
                                 r.lastRecord.isValid() ? r.lastRecord.toString(u"yyyy-MM-ddTHH:mm:ss"_s) : QString(),
                                 QString::number(r.attempts),
                                 QString::number(r.seconds, 'f', 1),
                                 QString::number(r.lineBytes)};
        out += fields.join(u';').toUtf8() + '\n';
    }
    return out;
}

bool append(const QString& workingFolder, const std::vector<PollResult>& results, const QDateTime& when,
            QString* error)
{
    const QDir logs(QDir(workingFolder).filePath(u"Logs"_s));
    if (!logs.exists() && !QDir().mkpath(logs.path())) {
        if (error != nullptr)
            *error = u"cannot create "_s + logs.path();
        return false;
    }
    QFile file(logs.filePath(u"poll-%1.csv"_s.arg(when.toString(u"yyyy-MM"_s))));
    const bool fresh = !file.exists() || file.size() == 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    const QByteArray out = format(results, when, fresh);
    if (file.write(out) != out.size()) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    return true;
}

namespace {

// The fields of one line; `pos` moves past the line's end. Empty at the end of the text.
QStringList nextLine(const QString& text, qsizetype& pos)
{
    QStringList fields;
    if (pos >= text.size())
        return fields;
    QString field;
    bool quoted = false;
    while (pos < text.size()) {
        const QChar c = text[pos++];
        if (quoted) {
            if (c == u'"') {
                if (pos < text.size() && text[pos] == u'"') {
                    field += u'"';
                    ++pos;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            fields << field;
            field.clear();
        } else if (c == u'\n') {
            break;
        } else if (c != u'\r') {
            field += c;
        }
    }
    fields << field;
    return fields;
}

PollResult::State stateOf(const QString& word, bool* ok)
{
    *ok = true;
    if (word == u"ok"_s)
        return PollResult::State::Ok;
    if (word == u"failed"_s)
        return PollResult::State::Failed;
    if (word == u"stopped"_s)
        return PollResult::State::Stopped;
    *ok = false;
    return PollResult::State::Waiting;
}

} // namespace

std::vector<PollResult> parse(const QByteArray& text)
{
    std::vector<PollResult> results;
    const QString all = QString::fromUtf8(text);
    qsizetype pos = 0;
    while (pos < all.size()) {
        const QStringList f = nextLine(all, pos);
        if (f.size() != 10)
            continue;
        PollResult r;
        bool ok = false;
        r.serial = f[1].toInt(&ok);
        bool known = false;
        r.state = stateOf(f[3], &known);
        if (!ok || !known)
            continue;
        r.typeName = f[2];
        r.message = f[4];
        r.newRecords = f[5].toInt();
        r.lastRecord = QDateTime::fromString(f[6], u"yyyy-MM-ddTHH:mm:ss"_s);
        r.attempts = f[7].toInt();
        r.seconds = f[8].toDouble();
        r.lineBytes = f[9].toLongLong();
        results.push_back(std::move(r));
    }
    return results;
}

std::map<std::pair<QString, int>, PollResult> latest(const QString& workingFolder, const QDate& today)
{
    std::map<std::pair<QString, int>, PollResult> found;
    const QDir logs(QDir(workingFolder).filePath(u"Logs"_s));
    // The older month first, so that this month's lines win.
    for (const QDate& month : {today.addMonths(-1), today}) {
        QFile file(logs.filePath(u"poll-%1.csv"_s.arg(month.toString(u"yyyy-MM"_s))));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // A log grows by a line per account a night; its end is all that matters.
        constexpr qint64 kTail = qint64(4) << 20;
        if (file.size() > kTail)
            file.seek(file.size() - kTail);
        for (PollResult& r : parse(file.readAll()))
            found[{r.typeName, r.serial}] = std::move(r);
    }
    return found;
}

} // namespace polllog
