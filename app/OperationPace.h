#pragma once

#include <deque>
#include <optional>

#include <QString>

#include "link/OperationHost.h"

// The pace of a device operation: items (records or bytes) per second over the last few
// seconds, and the time the rest will take at that pace. A modem call is paid by the minute, so
// the engineer wants to know whether to wait or to stop and save what came.
class OperationPace
{
public:
    // How far back the current pace looks.
    static constexpr qint64 kWindowMs = 10000;

    // A count of items done out of `total` (0 when unknown) at `elapsedMs` since the start.
    // Another unit than the last sample's starts a new phase.
    void sample(qint64 elapsedMs, qint64 done, qint64 total, CountUnit unit = CountUnit::Records);
    // A new phase (the daily archive after the hourly one) starts counting afresh.
    void reset();
    // The operation's status text: a text other than the last one but for its numbers starts a
    // new phase, so the memory read's pace is not shown beside the archive records.
    void status(const QString& text);

    // None until two samples at least 200 ms apart show a pace.
    std::optional<double> perSecond() const;
    // None without a pace or a total.
    std::optional<qint64> msLeft() const;

    // "12.5 зап/с, осталось 3:07" or "512 байт/с, ..."; empty while there is no pace.
    QString text() const;
    // "0:09", "3:07", "1:02:03".
    static QString formatDuration(qint64 ms);

private:
    struct Sample
    {
        qint64 ms;
        qint64 done;
    };
    std::deque<Sample> m_samples;
    qint64 m_total = 0;
    CountUnit m_unit = CountUnit::Records;
    QString m_phase;
};
