#include "CliOperationHost.h"

#include <csignal>
#include <thread>

#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/ComPortMap.h"
#include "link/DeviceOperations.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The stop word Ctrl-C sets while an operation runs.
std::atomic<std::atomic<int>*> g_interruptStop{nullptr};

extern "C" void onInterrupt(int)
{
    if (std::atomic<int>* stop = g_interruptStop.load())
        stop->store(OperationHost::kStopAsked);
}

// Ctrl-C is "Остановить" for the lifetime of the object.
class InterruptStops
{
public:
    explicit InterruptStops(std::atomic<int>& stop)
    {
        g_interruptStop.store(&stop);
        struct sigaction action{};
        action.sa_handler = onInterrupt;
        // Reads on the line go on; the worker sees the stop word before its next exchange.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptStops()
    {
        sigaction(SIGINT, &m_previous, nullptr);
        g_interruptStop.store(nullptr);
    }
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

private:
    struct sigaction m_previous{};
};

// Message boxes of the operation: the progress line is put aside while one is printed. A port
// error names the system's error only; a script's log also needs which port and device it was.
class LineAwareMessageBox : public MessageBoxBackend
{
public:
    LineAwareMessageBox(std::shared_ptr<MessageBoxBackend> inner, CliOperationHost& host, QString portText)
        : m_inner(std::move(inner))
        , m_host(host)
        , m_portText(std::move(portText))
    {
    }
    MbAnswer show(const MessageRequest& request) override
    {
        m_host.beginMessage();
        const MbAnswer answer = m_inner ? m_inner->show(request) : request.defaultAnswer();
        if (request.text.startsWith(u"COM port error "_s) && m_inner)
            m_inner->show(MessageRequest{m_portText, QString(), MbIcon::Information, MbButtons::Ok});
        m_host.endMessage();
        return answer;
    }

private:
    std::shared_ptr<MessageBoxBackend> m_inner;
    CliOperationHost& m_host;
    QString m_portText;
};

QString portText(int port)
{
    const QString target = comm::ComPortMap().devicePath(port);
    return target.isEmpty() ? u"COM%1: no device is mapped to this port"_s.arg(port)
                            : u"COM%1: %2"_s.arg(port).arg(target);
}

} // namespace

CliOperationHost::CliOperationHost(QTextStream& err, Options options)
    : m_err(err)
    , m_options(std::move(options))
{
    m_clock.start();
}

void CliOperationHost::setStatus(const QString& text)
{
    std::lock_guard lock(m_mutex);
    if (text == LoadResString(172, u"Start report..."_s))
        m_printingSince = m_clock.elapsed();
    QString phase = text;
    phase.removeIf([](QChar c) { return c.isDigit(); });
    const bool lines = !m_options.silent && !m_options.terminal;
    // A phase ends with its last count, e.g. the number of records read.
    if (lines && phase != m_printedPhase && !m_statusPrinted)
        printLineLocked();
    m_status = text;
    m_pace.status(text);
    if (m_options.silent)
        return;
    if (m_options.terminal) {
        drawLocked();
        return;
    }
    const qint64 now = m_clock.elapsed();
    m_statusPrinted = false;
    // A counting phase ("Считано записей: 12") shows its count every so often and at its end;
    // any other status at once.
    const bool counting = phase.size() != text.size();
    if (phase != m_printedPhase) {
        m_printedPhase = phase;
        m_printedAt = now;
        if (!counting)
            printLineLocked();
    } else if (now - m_printedAt >= kLineIntervalMs) {
        m_printedAt = now;
        printLineLocked();
    }
}

void CliOperationHost::printLineLocked()
{
    const QString pace = m_pace.text();
    m_err << m_status;
    if (!pace.isEmpty())
        m_err << u"  ("_s << pace << u')';
    m_err << u'\n';
    m_err.flush();
    m_statusPrinted = true;
}

void CliOperationHost::setProgress(int position)
{
    std::lock_guard lock(m_mutex);
    m_progress = std::clamp(position, 0, 100);
    if (m_options.terminal && !m_options.silent)
        drawLocked();
}

void CliOperationHost::setCounts(qint64 done, qint64 total, CountUnit unit)
{
    std::lock_guard lock(m_mutex);
    const qint64 now = m_clock.elapsed();
    if (done != m_done)
        m_lastByteAt = now;
    m_done = done;
    m_pace.sample(now, done, total, unit);
    if (m_options.terminal && !m_options.silent)
        drawLocked();
    m_changed.notify_all();
}

std::optional<OperationHost::DateRange> CliOperationHost::askDateRange(QDate proposedStart,
                                                                       std::optional<QDate> proposedEnd)
{
    DateRange range;
    range.start = m_options.start.value_or(proposedStart);
    if (m_options.toEnd)
        range.end.reset();
    else if (m_options.end)
        range.end = m_options.end;
    else
        range.end = proposedEnd;
    return range;
}

void CliOperationHost::finished(int result)
{
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_result = result;
    m_changed.notify_all();
}

void CliOperationHost::drawLocked()
{
    QString line = m_status;
    if (m_progress >= 0)
        line += u"  %1%"_s.arg(m_progress);
    const QString pace = m_pace.text();
    if (!pace.isEmpty())
        line += u"  "_s + pace;
    // Carriage return and erase-to-end, so a shorter line leaves nothing of the longer one.
    m_err << u'\r' << line << u"\x1b[K"_s;
    m_err.flush();
    m_lineShown = true;
}

void CliOperationHost::beginMessage()
{
    std::lock_guard lock(m_mutex);
    if (m_options.terminal && m_lineShown && !m_options.silent) {
        m_err << u"\r\x1b[K"_s;
        m_err.flush();
    }
}

void CliOperationHost::endMessage()
{
    std::lock_guard lock(m_mutex);
    if (m_options.terminal && m_lineShown && !m_finished && !m_options.silent)
        drawLocked();
}

void CliOperationHost::watchLocked(std::unique_lock<std::mutex>& lock)
{
    while (!m_finished) {
        m_changed.wait_for(lock, std::chrono::milliseconds(100));
        if (m_finished || m_stop.load() == kStopAsked)
            continue;
        const qint64 now = m_clock.elapsed();
        bool stop = m_options.maxBytes > 0 && m_done >= m_options.maxBytes;
        if (m_options.idleMs > 0 && m_printingSince >= 0) {
            const qint64 last = std::max(m_printingSince, m_lastByteAt);
            stop = stop || now - last >= m_options.idleMs;
        }
        if (stop)
            m_stop.store(kStopAsked);
    }
}

int CliOperationHost::run(int kind, CommThreadParams& params)
{
    params.host = this;
    {
        InterruptStops interrupt(m_stop);
        std::thread worker([kind, &params] { comm::runOperation(kind, params); });
        {
            std::unique_lock lock(m_mutex);
            watchLocked(lock);
        }
        worker.join();
    }
    std::lock_guard lock(m_mutex);
    // The last count of a run of lines is worth seeing even when it came too soon after the one before.
    if (!m_options.silent && !m_options.terminal && !m_statusPrinted)
        printLineLocked();
    if (m_options.terminal && m_lineShown) {
        m_err << u'\n';
        m_err.flush();
    }
    return m_result;
}

bool runCliDeviceOperation(CDevData& account, const DeviceOperationRequest& request,
                           CliOperationHost::Options options, QTextStream& err, int* lastResult)
{
    CliOperationHost host(err, std::move(options));
    CommThreadParams params;
    params.account = &account;
    params.database = request.database;
    params.overwrite = request.overwrite;
    if (request.when.isValid())
        params.when = request.when;

    int result = 0;
    {
        ScopedMessageBoxBackend messages(
            std::make_shared<LineAwareMessageBox>(MessageBox::backend(), host, portText(account.m_connection.port)));
        result = host.run(int(request.kind), params);
    }
    if (lastResult != nullptr)
        *lastResult = result;
    // What a failed or stopped read brought is kept, as "Сохранить" would after a stop: the line
    // time is paid for. The command still fails on the result.
    if (!params.records.empty()) {
        comm::mergeRecords(params);
        return true;
    }
    return result == 0;
}
