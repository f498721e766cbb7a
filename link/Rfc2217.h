#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

#include "base/ConnectionBlock.h"

// The byte layer of a serial server reached over telnet with the COM-PORT option: what goes out
// is escaped and negotiated, what comes in is split into line data and the server's answers.
// No sockets here, so that every byte the server may send can be tried without one.
namespace comm::rfc2217 {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kOptBinary = 0;
inline constexpr std::uint8_t kOptSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptComPort = 44;

// Client commands of the COM-PORT option; the server answers each with the code plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values the program sends.
inline constexpr std::uint8_t kFlowNone = 1;
inline constexpr std::uint8_t kFlowXonXoff = 2;
inline constexpr std::uint8_t kFlowHardware = 3;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;

// PURGE-DATA: both the server's receive and transmit buffers.
inline constexpr std::uint8_t kPurgeBoth = 3;

// A subnegotiation longer than this is not one the program asked for; it is skipped, not kept.
inline constexpr int kMaxSubnegotiation = 64;

// The line settings as the option carries them.
struct Settings
{
    std::uint32_t baud = 0;
    std::uint8_t dataSize = 8;
    std::uint8_t parity = 1;   // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 1; // 1 one, 2 two, 3 one and a half
    std::uint8_t flow = kFlowNone;
    bool dtr = true;

    bool operator==(const Settings&) const = default;
};

// The block's settings, or nothing for a value the option cannot carry.
std::optional<Settings> settingsFromDcb(const DeviceControlBlock& dcb);

// What the client sends on connecting: it will speak COM-PORT and binary both ways.
QByteArray greeting();
// IAC SB COM-PORT code value IAC SE, the value escaped.
QByteArray command(std::uint8_t code, QByteArrayView value);
// The commands that set the line: bit rate, data size, parity, stop size, flow control, DTR, RTS.
QByteArray settingsCommands(const Settings& settings);
// Line data with every IAC doubled.
QByteArray escape(QByteArrayView data);

// The receiving side of one connection.
class Receiver
{
public:
    // Splits what came from the server: line data is appended to data, negotiation answers are
    // queued for takeReplies(), the COM-PORT answers are kept. Works across any split.
    void feed(QByteArrayView bytes, QByteArray& data);
    // Answers owed to the server's DO and WILL requests.
    QByteArray takeReplies();

    // The server refused the COM-PORT option (DONT or WONT).
    bool comPortRefused() const { return m_comPortRefused; }

    // Every answer to a client command since the last clear, in order, by command code.
    const std::vector<QByteArray>& answers(std::uint8_t code) const;
    void clearAnswers();

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void option(std::uint8_t verb, std::uint8_t opt);
    void subnegotiation();

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
    QByteArray m_replies;
    bool m_comPortRefused = false;
    // Options already agreed, so that a request is answered once and never starts a loop.
    std::array<bool, 256> m_localOn {};
    std::array<bool, 256> m_remoteOn {};
    std::array<std::vector<QByteArray>, 13> m_answers;
};

// Whether the server's answers confirm the settings sent: 0, or EPROTO for a value other than
// the one asked (a bit rate or framing the server cannot take), or EAGAIN while answers are
// still missing.
int checkAnswers(const Receiver& receiver, const Settings& settings);

} // namespace comm::rfc2217
