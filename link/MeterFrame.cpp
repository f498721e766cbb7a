#include "MeterFrame.h"

#include <iterator>

#include "archive/ArchiveRecord.h"

namespace meter {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Upper-case only: the meter never sends lower case, and a lower-case digit fails the check.
int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte at character position pos, or -1 when either digit is missing or not a digit.
int hexByteAt(QByteArrayView text, qsizetype pos)
{
    if (pos < 0 || pos + 1 >= text.size())
        return -1;
    const int hi = digitValue(text[pos]);
    const int lo = digitValue(text[pos + 1]);
    return hi < 0 || lo < 0 ? -1 : hi << 4 | lo;
}

void appendHex(QByteArray& out, std::uint8_t b)
{
    out.append(kDigits[b >> 4]);
    out.append(kDigits[b & 0x0F]);
}

bool allDigits(QByteArrayView text, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i <= to; ++i) {
        if (digitValue(text[i]) < 0)
            return false;
    }
    return true;
}

bool anyCaseDigit(char c)
{
    return digitValue(c) >= 0 || (c >= 'a' && c <= 'f');
}

// The body (bodyEnd is its last character) must be upper-case digits; the two check characters
// may be digits of either case, but only the upper-case digits of the computed check match.
int compareCheck(QByteArrayView reply, qsizetype bodyEnd)
{
    if (!allDigits(reply, 1, bodyEnd) || !anyCaseDigit(reply[bodyEnd + 1]) || !anyCaseDigit(reply[bodyEnd + 2]))
        return kReplyMalformed;
    const std::uint8_t lrc = Lrc(reply.sliced(1, bodyEnd));
    if (reply[bodyEnd + 1] != kDigits[lrc >> 4] || reply[bodyEnd + 2] != kDigits[lrc & 0x0F])
        return kReplyBadCheck;
    return kReplyOk;
}

QByteArray bytesFrom(QByteArrayView reply, qsizetype pos, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int b = hexByteAt(reply, pos + 2 * qsizetype(i));
        if (b < 0)
            break;
        out.append(char(b));
    }
    return out;
}

void put16(QByteArray& data, std::uint16_t v)
{
    data.append(char(v >> 8));
    data.append(char(v & 0xFF));
}

Request fixedRequest(const MeterContext& ctx, std::uint8_t fn, const QByteArray& data, qsizetype replyLength)
{
    return { MakeFrame(ctx.address, fn, data, true), replyLength };
}

} // namespace

std::uint8_t Lrc(QByteArrayView chars)
{
    std::uint8_t sum = 0;
    for (char c : chars)
        sum = std::uint8_t(sum + std::uint8_t(c));
    return std::uint8_t(-sum);
}

QByteArray MakeFrame(std::uint8_t address, std::uint8_t function, QByteArrayView data, bool zeroByte)
{
    QByteArray body;
    body.reserve(4 + 2 * data.size());
    appendHex(body, address);
    appendHex(body, function);
    for (char b : data)
        appendHex(body, std::uint8_t(b));

    QByteArray frame;
    frame.reserve(body.size() + 6);
    frame.append(':');
    frame.append(body);
    appendHex(frame, Lrc(body));
    frame.append('\r');
    frame.append('\n');
    if (zeroByte)
        frame.append('\0');
    return frame;
}

Request MakeReadRegister(const MeterContext& ctx, std::uint16_t reg)
{
    QByteArray data;
    put16(data, reg);
    put16(data, 1);
    return fixedRequest(ctx, kFnReadRegister, data, 19);
}

Request MakeReadParam(const MeterContext& ctx, std::uint8_t index)
{
    return fixedRequest(ctx, kFnReadParam, QByteArray(1, char(index)), 15);
}

Request MakeReadFileRecord(const MeterContext& ctx, std::uint16_t file, std::uint16_t record, std::uint16_t count)
{
    QByteArray data;
    data.append(char(0x07));
    data.append(char(0x06));
    put16(data, file);
    put16(data, record);
    put16(data, count);
    return fixedRequest(ctx, kFnReadFileRecord, data, 15 + 4 * qsizetype(count));
}

qsizetype ArcReplyLength(std::uint8_t sub, ArcUse use)
{
    switch (sub) {
    case 0:
    case 6:
    case 7:
    case 10:
    case 11:
    case 14:
        return 267;
    case 3:
        return use == ArcUse::Archive ? 267 : 13;
    case 2:
    case 9:
    case 13:
        return 19;
    default:
        break;
    }
    if (sub >= 15 && sub <= 23)
        return 219;
    return 13;
}

Request MakeArcCommand(const MeterContext& ctx, std::uint8_t sub, std::uint16_t index, ArcUse use)
{
    QByteArray data(1, char(sub));
    put16(data, index);
    return fixedRequest(ctx, kFnArchive, data, ArcReplyLength(sub, use));
}

std::uint8_t FindYearByte(int year, std::uint16_t softVersion, std::uint16_t buildVersion)
{
    const std::uint32_t build = std::uint32_t(softVersion) << 8 | (buildVersion & 0xFFu);
    if (softVersion < 0x1800 && build < 0x39926 && build != 0x21903 && year >= 2020)
        return std::uint8_t(year - 2020);
    return std::uint8_t(year - 2000);
}

std::uint8_t ClockYearByte(int year)
{
    return std::uint8_t(year >= 2000 ? year - 2000 : year - 1900);
}

Request MakeFindByDate(const MeterContext& ctx, const QDateTime& when)
{
    const QDate d = when.date();
    QByteArray data;
    data.append(char(0x00));
    data.append(char(when.time().hour()));
    data.append(char(d.day()));
    data.append(char(d.month()));
    data.append(char(FindYearByte(d.year(), ctx.softVersion(), ctx.buildVersion())));
    return { MakeFrame(ctx.address, kFnFindByDate, data, false), 13 };
}

Request MakeFindByDateHour(const MeterContext& ctx, std::uint8_t hour, QDate date)
{
    QByteArray data;
    data.append(char(0x02));
    data.append(char(hour));
    data.append(char(date.day()));
    data.append(char(date.month()));
    data.append(char(std::uint8_t(date.year() - 2000)));
    return fixedRequest(ctx, kFnFindByDate, data, 13);
}

Request MakeSetClock(const MeterContext& ctx, const QDateTime& when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    QByteArray data;
    data.append(char(0x01));
    data.append(char(t.second()));
    data.append(char(t.minute()));
    data.append(char(t.hour()));
    data.append(char(d.day()));
    data.append(char(d.month()));
    data.append(char(ClockYearByte(d.year())));
    return { MakeFrame(ctx.address, kFnSetClock, data, false), 23 };
}

int CheckReply(QByteArrayView reply)
{
    const qsizetype n = reply.size();
    if (n < 6)
        return kReplyShort;
    if (reply[0] != ':')
        return kReplyMalformed;
    if (reply[3] == '6' && reply[4] == '8') {
        if (n < 13)
            return kReplyShort;
        return compareCheck(reply, 8);
    }
    if (n < 7)
        return kReplyShort;
    const int count = hexByteAt(reply, 5);
    if (count < 0)
        return kReplyMalformed;
    const qsizetype b = count;
    if (n < 2 * b + 11)
        return kReplyShort;
    return compareCheck(reply, 2 * b + 6);
}

int ReplyByteCount(QByteArrayView reply)
{
    return hexByteAt(reply, 5);
}

QByteArray ReplyData(QByteArrayView reply)
{
    const int count = ReplyByteCount(reply);
    return count < 0 ? QByteArray() : bytesFrom(reply, 7, count);
}

int FileReplyByteCount(QByteArrayView reply)
{
    return hexByteAt(reply, 7);
}

QByteArray FileReplyData(QByteArrayView reply)
{
    const int count = FileReplyByteCount(reply);
    return count < 0 ? QByteArray() : bytesFrom(reply, 9, count);
}

QByteArray FileRegisterData(QByteArrayView reply)
{
    QByteArray data = FileReplyData(reply);
    return data.isEmpty() ? data : data.sliced(1);
}

int ReplyAddress(MeterContext& ctx, QByteArrayView reply)
{
    const int address = hexByteAt(reply, 1);
    if (address >= 0 && address != ctx.address)
        ctx.address = std::uint8_t(address);
    return address;
}

std::optional<std::uint16_t> ReplyWord(QByteArrayView reply)
{
    const int hi = hexByteAt(reply, 5);
    const int lo = hexByteAt(reply, 7);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    return std::uint16_t(hi << 8 | lo);
}

std::optional<std::uint16_t> DataWord(QByteArrayView data, qsizetype offset)
{
    if (offset < 0 || offset + 2 > data.size())
        return std::nullopt;
    return std::uint16_t(std::uint8_t(data[offset]) << 8 | std::uint8_t(data[offset + 1]));
}

int ParamWordCount(std::uint16_t protVersion)
{
    if (protVersion <= 6)
        return 2;
    if (protVersion <= 11)
        return 9;
    if (protVersion == 12)
        return 11;
    return 14;
}

void StoreParamWord(ArchiveParams& params, int index, std::uint16_t word)
{
    std::uint16_t* const fields[]
        = { &params.ProtVersion,   &params.ArchiveVersion, &params.NumSys,     &params.ArchiveSize,
            &params.SoftVersion,   &params.BuildVersion,   &params.IspVersion, &params.SoftCRC,
            &params.t_coldChannel, &params.ArcDayRecs,     &params.ArcMonRecs, &params.ExtraWords[0],
            &params.ExtraWords[1], &params.ExtraWords[2] };
    if (index >= 0 && index < int(std::size(fields)))
        *fields[index] = word;
}

} // namespace meter
