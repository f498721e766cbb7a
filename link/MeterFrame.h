#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include "link/MeterContext.h"

struct ArchiveParams;

// The meter's ASCII frames: ':', address, function code and data as upper-case hexadecimal
// text, a check over those characters (not over the decoded bytes), CR LF. Every reader here
// decodes only as far as the characters it is given reach; nothing is read past the end.
namespace meter {

inline constexpr std::uint8_t kFnReadRegister = 0x04;
inline constexpr std::uint8_t kFnReadFileRecord = 0x14;
inline constexpr std::uint8_t kFnArchive = 0x64;
inline constexpr std::uint8_t kFnReadParam = 0x66;
inline constexpr std::uint8_t kFnSetClock = 0x67;
inline constexpr std::uint8_t kFnFindByDate = 0x68;

inline constexpr std::uint16_t kRegSerialNumber = 200;
inline constexpr std::uint16_t kRegSystemType[3] = { 163, 172, 181 };

inline constexpr std::uint16_t kRecordNotFound = 0xFFFF;

// CheckReply results.
inline constexpr int kReplyOk = 1;
inline constexpr int kReplyMalformed = -1; // no ':' or a character that must be a digit is not
inline constexpr int kReplyShort = -2;
inline constexpr int kReplyBadCheck = -3;
inline constexpr int kReplyNoMemory = -4; // kept for the callers' tables; never returned here

// A request as it goes on the line, and how many bytes the single read of its reply asks for.
struct Request
{
    QByteArray bytes;
    qsizetype replyLength = 0;
};

// The two's complement of the 8-bit sum of the characters.
std::uint8_t Lrc(QByteArrayView chars);

// The whole frame; the zero byte that ended the old fixed buffers follows CR LF when asked.
QByteArray MakeFrame(std::uint8_t address, std::uint8_t function, QByteArrayView data, bool zeroByte);

Request MakeReadRegister(const MeterContext& ctx, std::uint16_t reg);
Request MakeReadParam(const MeterContext& ctx, std::uint8_t index);
// count is in 16-bit registers.
Request MakeReadFileRecord(const MeterContext& ctx, std::uint16_t file, std::uint16_t record, std::uint16_t count);

// Sub-command 3 means two things: an hourly extension block while reading the archive, the
// report start record (one-byte reply) while preparing a report.
enum class ArcUse { Archive, Report };
Request MakeArcCommand(const MeterContext& ctx, std::uint8_t sub, std::uint16_t index, ArcUse use = ArcUse::Archive);
qsizetype ArcReplyLength(std::uint8_t sub, ArcUse use = ArcUse::Archive);

// Search by date (68 00): the year byte follows the firmware's own coding, see FindYearByte.
Request MakeFindByDate(const MeterContext& ctx, const QDateTime& when);
Request MakeFindByDateHour(const MeterContext& ctx, std::uint8_t hour, QDate date);
Request MakeSetClock(const MeterContext& ctx, const QDateTime& when);

// Older firmware counts the search year from 2020 once past it, except for one build.
std::uint8_t FindYearByte(int year, std::uint16_t softVersion, std::uint16_t buildVersion);
std::uint8_t ClockYearByte(int year);

int CheckReply(QByteArrayView reply);

// Positions 5..6; -1 when they are not two digits.
int ReplyByteCount(QByteArrayView reply);
// The announced bytes from position 7 on, cut at the first pair that is missing or no digits.
QByteArray ReplyData(QByteArrayView reply);
// Function 14: the sub-reply length at 7..8 and that many bytes from 9 (reference type first).
int FileReplyByteCount(QByteArrayView reply);
QByteArray FileReplyData(QByteArrayView reply);
// FileReplyData without the reference type byte: the registers' bytes.
QByteArray FileRegisterData(QByteArrayView reply);
// Positions 1..2, or -1. The context takes a different, readable address over.
int ReplyAddress(MeterContext& ctx, QByteArrayView reply);
// Positions 5..8 high byte first (function 68 reply), or nothing.
std::optional<std::uint16_t> ReplyWord(QByteArrayView reply);

// A 16-bit value of reply data, high byte first, when both bytes are there.
std::optional<std::uint16_t> DataWord(QByteArrayView data, qsizetype offset);

// How many parameter words (0..n-1) the archive and report operations read for a Prot Version.
int ParamWordCount(std::uint16_t protVersion);
// Puts parameter word i where ArchiveParams keeps it; an index past 13 is ignored.
void StoreParamWord(ArchiveParams& params, int index, std::uint16_t word);

} // namespace meter
