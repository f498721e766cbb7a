#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include <QDate>
#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include "app/OperationPace.h"
#include "app/Shell.h"
#include "link/CommThreadParams.h"

// A device operation's progress on standard error: a progress line redrawn in place on a
// terminal, else one line per status text. The date question is answered from the options,
// and "Остановить" is pressed by the options (a quiet line, enough bytes) or by Ctrl-C.
class CliOperationHost : public OperationHost
{
public:
    struct Options
    {
        // A line redrawn in place (a terminal); otherwise a line when the phase changes and at
        // most one every kLineIntervalMs, so a cron mail stays short.
        bool terminal = false;
        bool silent = false; // no progress at all
        // Get Archive's date dialog: "с:", "по:" and "До конца"; unset fields take the proposal.
        std::optional<QDate> start;
        std::optional<QDate> end;
        bool toEnd = false;
        // Get Report: stop after this long without a byte once printing started, or this many bytes.
        qint64 idleMs = 0;
        qint64 maxBytes = 0;
    };

    CliOperationHost(QTextStream& err, Options options);

    void setStatus(const QString& text) override;
    void setProgress(int position) override;
    void setCounts(qint64 done, qint64 total, CountUnit unit) override;
    std::atomic<int>& stopWord() override { return m_stop; }
    std::optional<DateRange> askDateRange(QDate proposedStart, std::optional<QDate> proposedEnd) override;
    void finished(int result) override;

    // Runs the operation on a worker thread and watches it until it has ended; returns its
    // result. Ctrl-C meanwhile asks the operation to stop.
    int run(int kind, CommThreadParams& params);

    // A message box is about to be printed: the progress line goes first, so the text starts on
    // a line of its own; it is drawn again after.
    void beginMessage();
    void endMessage();

    static constexpr qint64 kLineIntervalMs = 10000;

private:
    void drawLocked();
    void printLineLocked();
    void watchLocked(std::unique_lock<std::mutex>& lock);

    QTextStream& m_err;
    Options m_options;
    std::atomic<int> m_stop{kRunning};

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_finished = false;
    int m_result = -1;
    QString m_status;
    int m_progress = -1;
    bool m_lineShown = false;
    QString m_printedPhase;
    qint64 m_printedAt = -1;
    bool m_statusPrinted = true;
    QElapsedTimer m_clock;
    OperationPace m_pace;
    qint64 m_done = 0;
    // When the meter began printing its report, and when the last byte came; -1: not yet.
    qint64 m_printingSince = -1;
    qint64 m_lastByteAt = -1;
};

// The runner of CliShell: the operation behind a CliOperationHost, "Сохранить" when records
// were read. `lastResult` gets the operation's result, so that a partial read that was kept
// still ends the command with a failure.
bool runCliDeviceOperation(CDevData& account, const DeviceOperationRequest& request,
                           CliOperationHost::Options options, QTextStream& err, int* lastResult);
