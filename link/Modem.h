#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "storage/CDevData.h"

class CComPort;
class OperationHost;

// A Hayes modem on the account's open port: commands with WriteLine, replies with ReadLine.
namespace comm {

// ModemResult codes
inline constexpr int kModemOk = 0;
inline constexpr int kModemConnect = 50;
inline constexpr int kModemNoDialTone = 51;
inline constexpr int kModemBusy = 52;
inline constexpr int kModemNoCarrier = 53;
inline constexpr int kModemNoAnswer = 54;
inline constexpr int kModemUnknown = 59;

inline constexpr int kMsgModemSilent = 148;
inline constexpr int kMsgNoConnection = 149;
inline constexpr int kMsgHangUpFailed = 154;

enum class DialMode { Tone, Pulse, None };

// The guard times around "+++"; only tests shorten them.
struct EscapeGuard
{
    int beforeMs = 1000;
    int afterMs = 3000;
};

// The words are tested in this order, so "NO CARRIER" never reads as anything else.
int ModemResult(QByteArrayView line);
// Echo and information lines are not final results.
bool IsFinalResult(QByteArrayView line);

QByteArray DialCommand(const ModemSettings& settings, DialMode mode = DialMode::Tone);

bool ModemAttention(CComPort& port);
bool ModemInit(CComPort& port, const ModemSettings& settings);
int ModemDial(CComPort& port, const ModemSettings& settings, DialMode mode = DialMode::Tone);
bool ModemEscape(CComPort& port, const EscapeGuard& guard = {});
bool ModemHangUp(CComPort& port);

// At the start of an operation: "AT", the init string only when that fails, then the dial.
// Throws OperationError 148 or 149.
void ModemConnect(CComPort& port, const ModemSettings& settings, OperationHost& host,
                  DialMode mode = DialMode::Tone);
// At the end of an operation whose connection was up. A failure shows 154 with the
// operation's caption and leaves the operation's result as it was. True when hung up.
bool ModemDisconnect(CComPort& port, OperationHost& host, const QString& caption, const EscapeGuard& guard = {});

} // namespace comm
