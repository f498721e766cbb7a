#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>

#include "tools/metersim/HayesModem.h"
#include "tools/metersim/LineFaults.h"
#include "tools/metersim/Meter.h"
#include "tools/metersim/MeterBus.h"
#include "tools/metersim/MeterRequest.h"

// The line between the computer and the meters on it, with the modem in front when there is one.
// It knows no file descriptors: the caller hands in what it read and writes out what is
// pending, with times in nanoseconds of a steady clock. At a given baud rate each byte takes
// ten bit times both ways: a request is answered only once its last byte has crossed the line,
// and a reply leaves no faster than the line carries it.
namespace metersim {

class MeterLine
{
public:
    struct Options
    {
        std::int64_t byteTime = 0; // 0: as fast as the bytes are taken
        bool modem = false;
        HayesModem::Options modemOptions;
    };
    // kind: '<' request, '>' reply, '#' what the meter or the line did, 'm' to the modem,
    // 'M' from the modem.
    using Logger = std::function<void(char kind, QByteArrayView text)>;

    static constexpr qsizetype kMaxInput = 1 << 16;
    // Replies beyond this, to a client that writes but never reads, are lost as on a real line.
    static constexpr qsizetype kMaxOutput = 1 << 20;

    MeterLine(Meter& meter, LineFaults& faults, Options options, Logger logger = {});
    MeterLine(MeterBus bus, LineFaults& faults, Options options, Logger logger = {});

    void received(QByteArrayView bytes, std::int64_t now);
    // Delivers what has arrived by now, runs the modem's timers, feeds a report being printed.
    void advance(std::int64_t now);
    // What may be written now; tell consumed() how much was.
    QByteArrayView pending(std::int64_t now) const;
    void consumed(qsizetype n);
    // When advance() or pending() have something new next; nothing: only new input. While
    // the terminal takes no more output, its pacing is no reason to wake.
    std::optional<std::int64_t> nextWake(std::int64_t now, bool outputBlocked = false) const;

    const HayesModem* modem() const { return m_modem ? &*m_modem : nullptr; }

private:
    void deliver(char c, std::int64_t t);
    void toMeter(char c, std::int64_t t);
    void send(QByteArrayView bytes, std::int64_t now);
    void queueOut(QByteArrayView bytes, std::int64_t now);
    void log(char kind, QByteArrayView text) const;

    MeterBus m_bus;
    LineFaults& m_faults;
    Options m_options;
    Logger m_logger;
    std::optional<HayesModem> m_modem;
    FrameSplitter m_splitter;
    std::deque<std::pair<std::int64_t, char>> m_in;
    std::int64_t m_inClock = 0; // when the line has carried every byte received so far
    QByteArray m_out;
    std::int64_t m_outClock = 0; // when the line has carried every byte written so far
    QByteArray m_modemInput; // a command line being typed, for the log
};

// Printable text for a log line: CR, LF and other control bytes as escapes.
QByteArray escaped(QByteArrayView bytes);

} // namespace metersim
