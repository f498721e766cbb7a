#include "Exchange.h"

#include <algorithm>
#include <chrono>

#include "link/CComPort.h"

namespace comm {

namespace {

void checkStop(const std::atomic<int>& stop)
{
    if (stop.load() == kStopAsked)
        throw OperationError{kMsgStopped};
}

// Runs the tries; corrupted tells the caller which message a failure would be.
std::optional<QByteArray> tryRequest(CComPort& port, const meter::Request& request, int retries,
                                     const std::atomic<int>& stop, bool& corrupted)
{
    corrupted = false;
    // An account file may say 0 tries; the request is still sent once rather than failing
    // with "no answer" to a question never asked.
    const int tries = std::max(1, retries);
    for (int attempt = 0; attempt < tries; ++attempt) {
        checkStop(stop);
        port.Write(request.bytes);
        QByteArray reply = port.Read(int(request.replyLength));
        if (reply.isEmpty())
            continue;
        if (meter::CheckReply(reply) == meter::kReplyOk) {
            corrupted = false;
            return reply;
        }
        // The rest of a garbled reply must not be taken for the start of the next one.
        port.DiscardReplyRest();
        corrupted = true;
    }
    return std::nullopt;
}

} // namespace

QByteArray Exchange(CComPort& port, const meter::Request& request, int retries, const std::atomic<int>& stop)
{
    bool corrupted = false;
    if (std::optional<QByteArray> reply = tryRequest(port, request, retries, stop, corrupted))
        return *reply;
    throw OperationError{corrupted ? kMsgDataCorrupted : kMsgNoAnswer};
}

std::optional<QByteArray> TryExchange(CComPort& port, const meter::Request& request, int retries,
                                      const std::atomic<int>& stop)
{
    bool corrupted = false;
    return tryRequest(port, request, retries, stop, corrupted);
}

QByteArray ExchangeOnce(CComPort& port, const meter::Request& request)
{
    port.Write(request.bytes);
    return port.Read(int(request.replyLength));
}

QByteArray ExchangeFindByHour(CComPort& port, const meter::Request& request, const std::atomic<int>& stop,
                              int limitMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    port.Write(request.bytes);
    QByteArray reply;
    while (port.isOpen() && reply.size() < request.replyLength && Clock::now() < deadline) {
        checkStop(stop);
        reply += port.Read(int(request.replyLength - reply.size()));
    }
    return reply;
}

} // namespace comm
