#pragma once

#include <atomic>
#include <optional>

#include <QByteArray>

#include "link/MeterFrame.h"
#include "link/OperationHost.h"

class CComPort;

namespace comm {

// Device operations end by throwing the number of their message, caught once at the top of
// the worker.
struct OperationError
{
    int message = 0;
};

inline constexpr int kMsgDataCorrupted = 138;
inline constexpr int kMsgNoAnswer = 139;
inline constexpr int kMsgStopped = 141;

inline constexpr int kStopAsked = OperationHost::kStopAsked;

// Every request of a device operation: up to `retries` tries, each write followed by one read
// of the reply length. A reply that fails the check is never used: the buffers are purged and
// the next try is made. Returns the accepted reply; throws 141 when stop was asked before a
// try, else 138 when some reply came garbled, 139 when none came at all.
QByteArray Exchange(CComPort& port, const meter::Request& request, int retries, const std::atomic<int>& stop);

// The same rule, but running out of tries is no failure: nothing is returned (the date search
// that falls back to the first record). Stop still throws 141.
std::optional<QByteArray> TryExchange(CComPort& port, const meter::Request& request, int retries,
                                      const std::atomic<int>& stop);

// One write and one read of the reply length, the reply not checked (record heads).
QByteArray ExchangeOnce(CComPort& port, const meter::Request& request);

// The date-and-hour search: after one write, reads what is still missing of the reply until
// it is complete or `limitMs` have passed, looking at the stop word between reads (141).
// Returns what came, complete or not.
inline constexpr int kFindByHourLimitMs = 25000;
QByteArray ExchangeFindByHour(CComPort& port, const meter::Request& request, const std::atomic<int>& stop,
                              int limitMs = kFindByHourLimitMs);

} // namespace comm
