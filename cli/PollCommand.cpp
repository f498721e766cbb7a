#include "PollCommand.h"

#include <csignal>
#include <mutex>
#include <thread>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include "AccountOptions.h"
#include "CliShell.h"
#include "JsonOutput.h"
#include "app/CLorn2App.h"
#include "app/CLorn2Doc.h"
#include "app/Poller.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onPollInterrupt(int)
{
    g_interrupted.store(true);
}

// Ctrl-C and a service manager's SIGTERM end every line's exchange; what came is kept.
class InterruptStopsPoll
{
public:
    InterruptStopsPoll()
    {
        g_interrupted = false;
        struct sigaction action {};
        action.sa_handler = onPollInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_int);
        sigaction(SIGTERM, &action, &m_term);
    }
    ~InterruptStopsPoll()
    {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    InterruptStopsPoll(const InterruptStopsPoll&) = delete;
    InterruptStopsPoll& operator=(const InterruptStopsPoll&) = delete;

private:
    struct sigaction m_int {};
    struct sigaction m_term {};
};

bool parsePositive(const QString& text, int* value)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        return false;
    *value = n;
    return true;
}

QString oneLine(QString text)
{
    text.replace(u'\n', u" / "_s);
    return text;
}

QJsonObject resultJson(const PollResult& r)
{
    QJsonObject o;
    o.insert(u"serial"_s, r.serial);
    o.insert(u"type"_s, r.typeName);
    o.insert(u"result"_s, r.stateWord());
    o.insert(u"message"_s, r.message);
    o.insert(u"newRecords"_s, r.newRecords);
    o.insert(u"lastRecord"_s, r.lastRecord.isValid() ? QJsonValue(r.lastRecord.toString(u"yyyy-MM-ddTHH:mm:ss"_s))
                                                      : QJsonValue());
    o.insert(u"attempts"_s, r.attempts);
    o.insert(u"seconds"_s, qRound(r.seconds * 10) / 10.0);
    o.insert(u"lineBytes"_s, r.lineBytes);
    return o;
}

void printSummary(QTextStream& err, const std::vector<PollResult>& results)
{
    err << u"serial\ttype\tresult\tnew\tlast record\ttries\tseconds\tmessage\n"_s;
    for (const PollResult& r : results) {
        err << QString::number(r.serial).rightJustified(5, u'0') << u'\t' << r.typeName << u'\t' << r.stateWord()
            << u'\t' << r.newRecords << u'\t'
            << (r.lastRecord.isValid() ? r.lastRecord.toString(u"yyyy-MM-dd HH:mm"_s) : u"-"_s) << u'\t'
            << r.attempts << u'\t' << QString::number(r.seconds, 'f', 1) << u'\t' << oneLine(r.message) << u'\n';
    }
    int ok = 0;
    for (const PollResult& r : results)
        ok += r.state == PollResult::State::Ok ? 1 : 0;
    err << u"Опрошено ТС: %1 из %2\n"_s.arg(ok).arg(results.size());
    err.flush();
}

} // namespace

void PollCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"all"_s, u"Poll every account."_s));
    parser.addOption(QCommandLineOption(
        u"since"_s, u"Read back to DATE at most (accounts without records read their whole archive)."_s, u"DATE"_s));
    parser.addOption(QCommandLineOption(
        u"config"_s, u"Read the configuration: auto (when the account has none), always or never."_s,
        u"auto|always|never"_s));
    parser.addOption(QCommandLineOption(
        u"clock-drift"_s, u"Set the meter's clock when it is more than S seconds off (default: never)."_s, u"S"_s));
    parser.addOption(QCommandLineOption(
        u"jobs"_s, u"Lines polled at once (default: every line involved)."_s, u"N"_s));
    parser.addOption(QCommandLineOption(u"attempts"_s, u"Tries per account in all (default 2)."_s, u"N"_s));
    clijson::addOption(parser);
}

bool PollCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!cliopts::checkAccountChoice(parser, error))
        return false;
    if (parser.isSet(u"since"_s) && !cliopts::parseDate(parser.value(u"since"_s)).isValid()) {
        *error = u"--since: a date YYYY-MM-DD expected"_s;
        return false;
    }
    const QString config = parser.value(u"config"_s);
    if (parser.isSet(u"config"_s) && config != u"auto"_s && config != u"always"_s && config != u"never"_s) {
        *error = u"--config: auto, always or never expected"_s;
        return false;
    }
    int n = 0;
    if (parser.isSet(u"clock-drift"_s)) {
        bool ok = false;
        const int s = parser.value(u"clock-drift"_s).toInt(&ok);
        if (!ok || s < 0) {
            *error = u"--clock-drift: a number of seconds from 0 expected"_s;
            return false;
        }
    }
    if (parser.isSet(u"jobs"_s) && !parsePositive(parser.value(u"jobs"_s), &n)) {
        *error = u"--jobs: a number from 1 expected"_s;
        return false;
    }
    if (parser.isSet(u"attempts"_s) && !parsePositive(parser.value(u"attempts"_s), &n)) {
        *error = u"--attempts: a number from 1 expected"_s;
        return false;
    }
    return true;
}

int PollCommand::executeWithDocument(CLorn2App& app, CLorn2Doc& doc, CliShell& shell,
                                     const QCommandLineParser& parser, CliStreams& io)
{
    PollPolicy policy;
    if (parser.isSet(u"since"_s))
        policy.since = cliopts::parseDate(parser.value(u"since"_s));
    const QString config = parser.value(u"config"_s);
    if (config == u"always"_s)
        policy.config = PollPolicy::Config::Always;
    else if (config == u"never"_s)
        policy.config = PollPolicy::Config::Never;
    if (parser.isSet(u"clock-drift"_s))
        policy.clockDriftSeconds = parser.value(u"clock-drift"_s).toInt();
    if (parser.isSet(u"jobs"_s))
        policy.jobs = parser.value(u"jobs"_s).toInt();
    if (parser.isSet(u"attempts"_s))
        policy.attempts = parser.value(u"attempts"_s).toInt();

    const std::optional<std::vector<int>> chosen = cliopts::chosenAccounts(doc, shell.rows(), parser);
    if (!chosen)
        return cliexit::Failed;
    std::vector<Poller::Job> jobs;
    for (const int index : *chosen) {
        const CDevData* account = doc.account(index);
        if (account == nullptr)
            continue;
        if (account->m_connection.port < 1) {
            MessageBox::error(QString::number(account->m_serial).rightJustified(5, u'0') + u": "_s
                              + LoadResString(121, u"No COM-port selected"_s));
            return cliexit::Failed;
        }
        jobs.push_back(Poller::Job{index, *account});
    }

    PollLock lock(doc.workingFolder());
    if (!lock.acquire()) {
        MessageBox::error(lock.refusal());
        return cliexit::Failed;
    }

    const QDateTime started = QDateTime::currentDateTime();
    Poller poller(std::move(jobs), policy, doc.workingFolder(),
                  app.ArchiveDatabase.isOpen() ? app.ArchiveDatabase.path() : QString());
    std::mutex printing;
    const bool progress = !io.quiet && io.progress != ProgressMode::Never;
    Poller::Observer observer;
    observer.finished = [&](int, const PollResult& r, const CDevData&) {
        if (!progress)
            return;
        std::lock_guard lock(printing);
        io.err << QString::number(r.serial).rightJustified(5, u'0') << u' ' << r.typeName << u": "_s
               << r.stateWord() << u", "_s << u"новых записей: %1"_s.arg(r.newRecords) << u'\n';
        io.err.flush();
    };
    poller.setObserver(observer);
    {
        InterruptStopsPoll interrupt;
        std::thread worker([&] { poller.run(); });
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            while (!done.load()) {
                if (g_interrupted.exchange(false))
                    poller.stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        worker.join();
        done = true;
        watcher.join();
    }

    QString logError;
    if (!polllog::append(doc.workingFolder(), poller.results(), started, &logError))
        MessageBox::error(u"Logs/poll-%1.csv: %2"_s.arg(started.toString(u"yyyy-MM"_s), logError));
    if (clijson::wanted(parser, io)) {
        QJsonArray list;
        for (const PollResult& r : poller.results())
            list.append(resultJson(r));
        clijson::write(io, QJsonDocument(list));
    } else {
        printSummary(io.err, poller.results());
    }
    for (const PollResult& r : poller.results()) {
        if (r.state != PollResult::State::Ok)
            return cliexit::Failed;
    }
    return cliexit::Ok;
}
