#include "Modem.h"

#include <chrono>
#include <thread>

#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "link/CComPort.h"
#include "link/Exchange.h"
#include "link/OperationHost.h"

namespace comm {

namespace {

struct ResultWord
{
    const char* word;
    int code;
};

constexpr ResultWord kResultWords[] = {
    {"OK", kModemOk},
    {"NO DIALTONE", kModemNoDialTone},
    {"BUSY", kModemBusy},
    {"NO CARRIER", kModemNoCarrier},
    {"NO ANSWER", kModemNoAnswer},
    {"CONNECT", kModemConnect},
};

// Reads up to maxLines lines; true at the first line that `accept` takes, false on a dry or
// overlong read or when the lines run out.
template<typename Accept>
bool readReply(CComPort& port, int maxLines, int emptyReads, Accept accept)
{
    QByteArray line;
    for (int i = 0; i < maxLines; ++i) {
        if (port.ReadLine(emptyReads, line) != CComPort::kLineOk)
            return false;
        if (accept(line))
            return true;
    }
    return false;
}

bool commandOk(CComPort& port, QByteArrayView command)
{
    port.WriteLine(command);
    return readReply(port, 3, 5, [](const QByteArray& line) { return ModemResult(line) == kModemOk; });
}

} // namespace

int ModemResult(QByteArrayView line)
{
    for (const ResultWord& w : kResultWords) {
        if (line.contains(QByteArrayView(w.word)))
            return w.code;
    }
    return kModemUnknown;
}

bool IsFinalResult(QByteArrayView line)
{
    return ModemResult(line) != kModemUnknown;
}

QByteArray DialCommand(const ModemSettings& settings, DialMode mode)
{
    QByteArray command = "ATD";
    if (mode == DialMode::Tone)
        command += 'T';
    else if (mode == DialMode::Pulse)
        command += 'P';
    return command + settings.phone;
}

bool ModemAttention(CComPort& port)
{
    return commandOk(port, "AT");
}

bool ModemInit(CComPort& port, const ModemSettings& settings)
{
    return commandOk(port, settings.initString);
}

int ModemDial(CComPort& port, const ModemSettings& settings, DialMode mode)
{
    port.WriteLine(DialCommand(settings, mode));
    QByteArray line;
    for (int i = 0; i < 30; ++i) {
        if (port.ReadLine(60, line) != CComPort::kLineOk)
            return kModemUnknown;
        if (IsFinalResult(line))
            return ModemResult(line);
    }
    return kModemUnknown;
}

bool ModemEscape(CComPort& port, const EscapeGuard& guard)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(guard.beforeMs));
    port.Write(QByteArrayView("+++"));
    std::this_thread::sleep_for(std::chrono::milliseconds(guard.afterMs));
    return readReply(port, 8, 10, [](const QByteArray& line) { return line.contains("OK"); });
}

bool ModemHangUp(CComPort& port)
{
    port.WriteLine("ATH");
    return readReply(port, 3, 30,
                     [](const QByteArray& line) { return line.contains("OK") || line.contains("NO CARRIER"); });
}

void ModemConnect(CComPort& port, const ModemSettings& settings, OperationHost& host, DialMode mode)
{
    host.setStatus(LoadResString(150));
    if (!ModemAttention(port) && !ModemInit(port, settings))
        throw OperationError{kMsgModemSilent};
    if (ModemDial(port, settings, mode) != kModemConnect)
        throw OperationError{kMsgNoConnection};
    host.setStatus(LoadResString(151));
}

bool ModemDisconnect(CComPort& port, OperationHost& host, const QString& caption, const EscapeGuard& guard)
{
    host.setStatus(LoadResString(152));
    if (ModemEscape(port, guard) && ModemHangUp(port)) {
        host.setStatus(LoadResString(153));
        return true;
    }
    const QString text = LoadResString(kMsgHangUpFailed);
    MessageBox::error(text, caption);
    host.setStatus(text);
    return false;
}

} // namespace comm
