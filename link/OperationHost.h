#pragma once

#include <atomic>
#include <optional>

#include <QDate>
#include <QString>

// What a device operation needs of whoever shows its progress: the progress dialog of the
// desktop program, a progress line of lorn2-cli, or a test's recorder. Every call comes from
// the operation's worker thread; an implementation hands it on to its own thread as needed.
// What a count of setCounts() counts: archive records, or bytes (configuration memory, a report).
enum class CountUnit { Records, Bytes };

class OperationHost
{
public:
    static constexpr int kRunning = 0;
    static constexpr int kStopAsked = 2;

    virtual ~OperationHost() = default;

    virtual void setStatus(const QString& text) = 0;
    // 0..100
    virtual void setProgress(int position) = 0;
    // Optional, for a records-per-second and time-left display: items done out of total (0
    // when unknown). A new phase (the daily archive after the hourly one) starts again from 0;
    // the total of a phase includes the records of the phases that follow it.
    virtual void setCounts(qint64 done, qint64 total, CountUnit unit = CountUnit::Records)
    {
        (void)done;
        (void)total;
        (void)unit;
    }
    // Optional: the operation's caption ("Получение Архива"), given once as it starts.
    virtual void setCaption(const QString& caption) { (void)caption; }

    // Written with kStopAsked by the user's side, read by the worker before every exchange and
    // set back to kRunning by the worker when it ends.
    virtual std::atomic<int>& stopWord() = 0;
    bool stopAsked() { return stopWord().load() == kStopAsked; }

    // The date range of Get Archive. start is the newest day wanted, end the oldest; an empty
    // end means "to the end of the archive". Nothing when the user cancelled.
    struct DateRange
    {
        QDate start;
        std::optional<QDate> end;
    };
    virtual std::optional<DateRange> askDateRange(QDate proposedStart, std::optional<QDate> proposedEnd) = 0;

    // Called last, after the port is closed and the stop word cleared, Get Report's end too.
    // The result: 0 completed, else the number of the message shown, 2 when the date range
    // was cancelled.
    virtual void finished(int result) = 0;
};
