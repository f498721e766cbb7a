#include "ArchiveFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QFile>

#include "archive/ArchiveText.h"
#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace archive {

namespace {

constexpr std::string_view kHeader
    = "dd/mm/yyyy, hour:min, Q1, Q2, Q3, M1, M2, M3, M4, M5, M6, t1, t2, t3, t4, t5, t6, p1, p2, p3, p4, p5, p6, "
      "T1, T2, T3, Err1, Err2, Err3, Nstart, Event, Tfmn1, Tfmn2, Tfmn3, Tfmx1, Tfmx2, Tfmx3, Tdtm1, Tdtm2, Tdtm3, "
      "pre_Q1, pre_Q2, pre_Q3, pre_M1, pre_M2, pre_M3, pre_M4, pre_M5, pre_M6, V1, V2, V3, V4, V5, V6, pre_V1, "
      "pre_V2, pre_V3, pre_V4, pre_V5, pre_V6, t_cold, t_amb";

constexpr std::string_view kConfigLine = "<Config>";
constexpr std::string_view kArchiveLine = "<Archive>";
constexpr std::string_view kEol = "\r\n";

// The writer flushes to the file whenever this much is buffered.
constexpr qsizetype kWriteBlock = qsizetype(1) << 20;
// One record line is at most about 600 characters.
constexpr std::size_t kMaxRecordLine = 1024;

// ---- parameter block --------------------------------------------------------------------------

enum class Param {
    SerialNumber,
    Formula1,
    Formula2,
    Formula3,
    ProtVersion,
    ArchiveVersion,
    NumSys,
    ArchiveSize,
    ArcDayRecs,
    ArcMonRecs,
    SoftVersion,
    BuildVersion,
    IspVersion,
    SoftCRC,
    TColdChannel,
    TCold,
    EnergyUnits,
    Pressure1,
    Pressure2,
    Pressure3,
    Custom,
    Telephone,
    Abonent,
    Address,
    FlowRange,
    ResponsePerson,
    Diametr,
    Count
};

// In the order the writer puts them.
constexpr std::string_view kParamNames[] = {
    "Serial Number",  "Formula 1",  "Formula 2",    "Formula 3",    "Prot Version",    "Archive Version", "Num Sys",
    "Archive Size",   "ArcDayRecs", "ArcMonRecs",   "Soft Version", "Build Version",   "Isp Version",     "Soft CRC",
    "t_cold Channel", "t_cold",     "Energy Units", "Pressure1",    "Pressure2",       "Pressure3",       "Custom",
    "Telephone",      "Abonent",    "Address",      "Flow Range",   "Response Person", "Diametr",
};
static_assert(std::size(kParamNames) == std::size_t(Param::Count));

template <typename P> auto textParam(P& p, Param which) -> decltype(&p.Custom)
{
    switch (which) {
    case Param::Custom:
        return &p.Custom;
    case Param::Telephone:
        return &p.Telephone;
    case Param::Abonent:
        return &p.Abonent;
    case Param::Address:
        return &p.Address;
    case Param::FlowRange:
        return &p.FlowRange;
    case Param::ResponsePerson:
        return &p.ResponsePerson;
    case Param::Diametr:
        return &p.Diametr;
    default:
        return nullptr;
    }
}

std::uint16_t* wordParam(ArchiveParams& p, Param which)
{
    switch (which) {
    case Param::ProtVersion:
        return &p.ProtVersion;
    case Param::ArchiveVersion:
        return &p.ArchiveVersion;
    case Param::NumSys:
        return &p.NumSys;
    case Param::ArchiveSize:
        return &p.ArchiveSize;
    case Param::ArcDayRecs:
        return &p.ArcDayRecs;
    case Param::ArcMonRecs:
        return &p.ArcMonRecs;
    case Param::SoftVersion:
        return &p.SoftVersion;
    case Param::BuildVersion:
        return &p.BuildVersion;
    case Param::IspVersion:
        return &p.IspVersion;
    case Param::SoftCRC:
        return &p.SoftCRC;
    case Param::TColdChannel:
        return &p.t_coldChannel;
    default:
        return nullptr;
    }
}

// ---- writing ----------------------------------------------------------------------------------

void appendLine(QByteArray& out, Param which, QByteArrayView value)
{
    const std::string_view name = kParamNames[std::size_t(which)];
    out.append(name.data(), qsizetype(name.size()));
    out.append(" = ");
    out.append(value);
    out.append(kEol.data(), qsizetype(kEol.size()));
}

QByteArrayView decimal(char* buf, std::uint64_t v, int width = 0)
{
    return QByteArrayView(buf, text::putUnsigned(buf, v, width) - buf);
}

QByteArrayView prefixedHex(char* buf, std::uint64_t v)
{
    buf[0] = '0';
    buf[1] = 'x';
    return QByteArrayView(buf, text::putHex(buf + 2, v) - buf);
}

QByteArray textValue(const QString& s)
{
    QString flat = s;
    flat.replace(u'\r', u' ');
    flat.replace(u'\n', u' ');
    return codepage::toAnsi(flat);
}

void appendParams(QByteArray& out, const ArchiveParams& p, std::uint16_t serial)
{
    char b[40];
    out.append(kConfigLine.data(), qsizetype(kConfigLine.size()));
    out.append(kEol.data(), qsizetype(kEol.size()));
    appendLine(out, Param::SerialNumber, decimal(b, serial, 5));
    appendLine(out, Param::Formula1, decimal(b, p.Formula[0]));
    appendLine(out, Param::Formula2, decimal(b, p.Formula[1]));
    appendLine(out, Param::Formula3, decimal(b, p.Formula[2]));
    appendLine(out, Param::ProtVersion, decimal(b, p.ProtVersion));
    appendLine(out, Param::ArchiveVersion, decimal(b, p.ArchiveVersion));
    appendLine(out, Param::NumSys, decimal(b, p.NumSys));
    appendLine(out, Param::ArchiveSize, decimal(b, p.ArchiveSize));
    appendLine(out, Param::ArcDayRecs, decimal(b, p.ArcDayRecs));
    appendLine(out, Param::ArcMonRecs, decimal(b, p.ArcMonRecs));
    appendLine(out, Param::SoftVersion, prefixedHex(b, p.SoftVersion));
    appendLine(out, Param::BuildVersion, prefixedHex(b, p.BuildVersion));
    appendLine(out, Param::IspVersion, prefixedHex(b, p.IspVersion));
    appendLine(out, Param::SoftCRC, prefixedHex(b, p.SoftCRC));
    appendLine(out, Param::TColdChannel, prefixedHex(b, p.t_coldChannel));
    appendLine(out, Param::TCold, QByteArrayView(b, text::putGeneral(b, double(p.t_cold)) - b));
    appendLine(out, Param::EnergyUnits, decimal(b, p.EnergyUnits));
    appendLine(out, Param::Pressure1, decimal(b, p.Pressure[0]));
    appendLine(out, Param::Pressure2, decimal(b, p.Pressure[1]));
    appendLine(out, Param::Pressure3, decimal(b, p.Pressure[2]));
    for (Param t : { Param::Custom, Param::Telephone, Param::Abonent, Param::Address, Param::FlowRange,
                     Param::ResponsePerson, Param::Diametr })
        appendLine(out, t, textValue(*textParam(p, t)));
    out.append(kArchiveLine.data(), qsizetype(kArchiveLine.size()));
    out.append(kEol.data(), qsizetype(kEol.size()));
    out.append(kHeader.data(), qsizetype(kHeader.size()));
    out.append(kEol.data(), qsizetype(kEol.size()));
}

char* putSep(char* p)
{
    *p++ = ',';
    *p++ = ' ';
    return p;
}

template <std::size_t N> char* putBitsList(char* p, const std::array<float, N>& values)
{
    for (float v : values)
        p = putSep(text::putFloatBits(p, v));
    return p;
}

template <std::size_t N> char* putMinutes(char* p, const std::array<std::uint8_t, N>& values)
{
    for (std::uint8_t v : values)
        p = putSep(text::putUnsigned(p, v));
    return p;
}

void appendRecord(QByteArray& out, const sctArcZap& r)
{
    char buf[kMaxRecordLine];
    char* p = buf;
    p = text::putUnsigned(p, r.day, 2);
    *p++ = '/';
    p = text::putUnsigned(p, r.month, 2);
    *p++ = '/';
    p = putSep(text::putUnsigned(p, unsigned(r.year) + 2000, 4));
    p = text::putUnsigned(p, r.hour, 2);
    *p++ = ':';
    p = putSep(text::putUnsigned(p, r.minute, 2));
    p = putBitsList(p, r.Q);
    p = putBitsList(p, r.M);
    p = putBitsList(p, r.t);
    p = putBitsList(p, r.p);
    // "%d" of the unsigned minute counters, as the file has always had them.
    for (std::uint32_t v : r.T)
        p = putSep(text::putSigned(p, std::int32_t(v)));
    for (std::uint32_t v : r.Err) {
        *p++ = '0';
        *p++ = 'x';
        p = putSep(text::putHex(p, v, 8));
    }
    p = putSep(text::putUnsigned(p, r.Nstart));
    *p++ = '0';
    *p++ = 'x';
    p = putSep(text::putHex(p, r.Event));
    p = putMinutes(p, r.Tfmn);
    p = putMinutes(p, r.Tfmx);
    p = putMinutes(p, r.Tdtm);
    p = putBitsList(p, r.pre_Q);
    p = putBitsList(p, r.pre_M);
    p = putBitsList(p, r.V);
    p = putBitsList(p, r.pre_V);
    p = putSep(text::putFloatBits(p, r.t_cold));
    p = text::putFloatBits(p, r.t_amb);
    *p++ = '\r';
    *p++ = '\n';
    out.append(buf, p - buf);
}

// Builds the file text in `out`, handing it to `flush` whenever `block` bytes are held and at the end.
template <typename Flush>
bool generate(QByteArray& out, const ArchiveParams& params, const ArchiveRecordList& records, std::uint16_t serial,
              qsizetype block, Flush flush)
{
    appendParams(out, params, serial);
    for (const sctArcZap& r : records) {
        appendRecord(out, r);
        if (out.size() >= block) {
            if (!flush(out))
                return false;
            out.resize(0);
        }
    }
    return flush(out);
}

// ---- reading ----------------------------------------------------------------------------------

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

// A line ends at CR, at LF or at the end; the CRs and LFs after it go with it, so blank lines
// are never seen. An empty line at the end is no line.
class LineReader
{
public:
    explicit LineReader(QByteArrayView bytes)
        : m_pos(bytes.data())
        , m_end(bytes.data() + bytes.size())
    {
    }

    bool next(std::string_view& line)
    {
        if (m_pos == m_end)
            return false;
        const char* start = m_pos;
        while (m_pos != m_end && *m_pos != '\r' && *m_pos != '\n')
            ++m_pos;
        line = std::string_view(start, std::size_t(m_pos - start));
        while (m_pos != m_end && (*m_pos == '\r' || *m_pos == '\n'))
            ++m_pos;
        return !(line.empty() && m_pos == m_end);
    }

private:
    const char* m_pos;
    const char* m_end;
};

// The pieces of a line between separators, without the ones that hold nothing but blanks and
// tabs. The blanks inside a piece are left for the readers below, which pass over them, so no
// piece is ever copied.
class Pieces
{
public:
    Pieces(std::string_view s, char separator)
        : m_rest(s)
        , m_sep(separator)
    {
    }

    bool next(std::string_view& piece)
    {
        while (!m_done) {
            const std::size_t at = m_rest.find(m_sep);
            piece = m_rest.substr(0, at);
            if (at == std::string_view::npos)
                m_done = true;
            else
                m_rest.remove_prefix(at + 1);
            for (char c : piece) {
                if (!isBlank(c))
                    return true;
            }
        }
        return false;
    }

private:
    std::string_view m_rest;
    char m_sep;
    bool m_done = false;
};

// The characters of a piece with its blanks and tabs taken out (everywhere, as the split does
// for columns, or only at the start, as for a parameter value).
class Chars
{
public:
    Chars(std::string_view s, bool skipEveryBlank)
        : m_s(s)
        , m_skipAll(skipEveryBlank)
    {
        skip();
    }
    int peek() const { return m_i < m_s.size() ? static_cast<unsigned char>(m_s[m_i]) : -1; }
    void advance()
    {
        ++m_i;
        if (m_skipAll)
            skip();
    }

private:
    void skip()
    {
        while (m_i < m_s.size() && isBlank(m_s[m_i]))
            ++m_i;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    bool m_skipAll;
};

int hexDigit(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Optional sign and decimal digits, as far as they go; wraps modulo 2^32 as the 32-bit fields do.
std::uint32_t readDecimal(Chars& c)
{
    bool negative = false;
    if (c.peek() == '-' || c.peek() == '+') {
        negative = c.peek() == '-';
        c.advance();
    }
    std::uint32_t v = 0;
    while (c.peek() >= '0' && c.peek() <= '9') {
        v = v * 10 + std::uint32_t(c.peek() - '0');
        c.advance();
    }
    return negative ? 0 - v : v;
}

// "0x" and hexadecimal digits, else a signed decimal number.
std::uint32_t readInteger(std::string_view s, bool skipEveryBlank)
{
    Chars c(s, skipEveryBlank);
    Chars hex = c;
    if (hex.peek() == '0') {
        hex.advance();
        if (hex.peek() == 'x') {
            hex.advance();
            std::uint32_t v = 0;
            for (int d; (d = hexDigit(hex.peek())) >= 0; hex.advance())
                v = v << 4 | std::uint32_t(d);
            return v;
        }
    }
    return readDecimal(c);
}

// The digit values of the pattern rule: 0-9 and A-F; every other character counts as 0.
constexpr std::array<std::uint8_t, 256> kPatternDigit = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[std::size_t(c)] = std::uint8_t(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        t[std::size_t(c)] = std::uint8_t(c - 'A' + 10);
    return t;
}();

// Exactly eight characters besides blanks, two to a byte, most significant first; anything
// else is the pattern 0.
float readBits(std::string_view s)
{
    std::uint32_t bits = 0;
    int n = 0;
    for (char ch : s) {
        if (isBlank(ch))
            continue;
        if (++n > 8)
            return 0.0f;
        bits = bits << 4 | kPatternDigit[static_cast<unsigned char>(ch)];
    }
    return n == 8 ? std::bit_cast<float>(bits) : 0.0f;
}

// "Serial Number": a decimal number, saturated so that no text can pass for another by overflow.
std::int64_t readSerial(std::string_view s)
{
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::size_t i = 0;
    while (i < s.size() && space(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    std::int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = std::min<std::int64_t>(v * 10 + (s[i] - '0'), std::int64_t(1) << 40);
    return negative ? -v : v;
}

// Stores one parameter line; false when it names a serial number other than the expected one.
bool storeParam(std::string_view key, std::string_view value, ArchiveParams& p, std::uint16_t expectedSerial)
{
    std::size_t which = 0;
    for (; which < std::size(kParamNames); ++which) {
        const std::string_view name = kParamNames[which];
        if (key == name || (key.size() == name.size() + 1 && key.back() == ' ' && key.starts_with(name)))
            break;
    }
    const Param param = Param(which);
    const auto integer = [&] { return readInteger(value, false); };
    switch (param) {
    case Param::Count:
        return true;
    case Param::SerialNumber: {
        const std::int64_t serial = readSerial(value);
        if (serial != expectedSerial)
            return false;
        p.SerialNumber = std::uint16_t(serial);
        return true;
    }
    case Param::Formula1:
    case Param::Formula2:
    case Param::Formula3:
        p.Formula[std::size_t(param) - std::size_t(Param::Formula1)] = std::uint8_t(integer());
        return true;
    case Param::EnergyUnits:
        p.EnergyUnits = std::uint8_t(integer());
        return true;
    case Param::Pressure1:
    case Param::Pressure2:
    case Param::Pressure3:
        p.Pressure[std::size_t(param) - std::size_t(Param::Pressure1)] = integer() != 0 ? 1 : 0;
        return true;
    case Param::TCold:
        p.t_cold = float(fmt::decimalValue(value));
        return true;
    default:
        break;
    }
    if (std::uint16_t* word = wordParam(p, param))
        *word = std::uint16_t(integer());
    else if (QString* t = textParam(p, param))
        *t = codepage::fromAnsi(QByteArrayView(value.data(), qsizetype(value.size())));
    return true;
}

// What a column of the header stores.
enum class Kind : std::uint8_t { Ignored, Date, Time, Bits, Int32, Int8, TCold };

struct Column
{
    Kind kind = Kind::Ignored;
    std::uint16_t offset = 0; // of the field in sctArcZap
};

using ColumnTable = std::unordered_map<std::string, Column>;

// The 63 names of the header, each with what it stores.
const ColumnTable& columnTable()
{
    static const ColumnTable table = [] {
        ColumnTable t;
        auto add = [&](std::string name, Kind kind, std::size_t offset) {
            t.emplace(std::move(name), Column{ kind, std::uint16_t(offset) });
        };
        auto group = [&](const char* prefix, int n, Kind kind, std::size_t offset, std::size_t size) {
            for (int i = 0; i < n; ++i)
                add(prefix + std::to_string(i + 1), kind, offset + std::size_t(i) * size);
        };
        add("dd/mm/yyyy", Kind::Date, 0);
        add("hour:min", Kind::Time, 0);
        group("Q", 3, Kind::Bits, offsetof(sctArcZap, Q), sizeof(float));
        group("M", 6, Kind::Bits, offsetof(sctArcZap, M), sizeof(float));
        group("t", 6, Kind::Bits, offsetof(sctArcZap, t), sizeof(float));
        group("p", 6, Kind::Bits, offsetof(sctArcZap, p), sizeof(float));
        group("V", 6, Kind::Bits, offsetof(sctArcZap, V), sizeof(float));
        group("pre_Q", 3, Kind::Bits, offsetof(sctArcZap, pre_Q), sizeof(float));
        group("pre_M", 6, Kind::Bits, offsetof(sctArcZap, pre_M), sizeof(float));
        group("pre_V", 6, Kind::Bits, offsetof(sctArcZap, pre_V), sizeof(float));
        group("T", 3, Kind::Int32, offsetof(sctArcZap, T), sizeof(std::uint32_t));
        group("Err", 3, Kind::Int32, offsetof(sctArcZap, Err), sizeof(std::uint32_t));
        group("Tfmn", 3, Kind::Int8, offsetof(sctArcZap, Tfmn), 1);
        group("Tfmx", 3, Kind::Int8, offsetof(sctArcZap, Tfmx), 1);
        group("Tdtm", 3, Kind::Int8, offsetof(sctArcZap, Tdtm), 1);
        add("Nstart", Kind::Int8, offsetof(sctArcZap, Nstart));
        add("Event", Kind::Int8, offsetof(sctArcZap, Event));
        add("t_cold", Kind::TCold, offsetof(sctArcZap, t_cold));
        add("t_amb", Kind::Bits, offsetof(sctArcZap, t_amb));
        return t;
    }();
    return table;
}

Column columnOf(std::string_view piece)
{
    // No known name is longer than "dd/mm/yyyy".
    char name[16];
    std::size_t n = 0;
    for (char c : piece) {
        if (isBlank(c))
            continue;
        if (n == sizeof name)
            return {};
        name[n++] = c;
    }
    const ColumnTable& table = columnTable();
    const auto it = table.find(std::string(name, n));
    return it == table.end() ? Column{} : it->second;
}

// The columns up to the last one that stores anything; the rest could only be skipped.
std::vector<Column> readHeader(std::string_view line, bool& anyName)
{
    std::vector<Column> columns;
    std::size_t ignored = 0;
    anyName = false;
    Pieces pieces(line, ',');
    for (std::string_view piece; pieces.next(piece);) {
        anyName = true;
        const Column c = columnOf(piece);
        if (c.kind == Kind::Ignored) {
            ++ignored;
            continue;
        }
        columns.insert(columns.end(), ignored, Column{});
        ignored = 0;
        columns.push_back(c);
    }
    return columns;
}

struct LineState
{
    bool dateStored = false;
    bool stampValid = false;
    std::uint64_t stamp = 0;
};

void storeDate(sctArcZap& r, std::string_view value)
{
    Pieces parts(value, '/');
    std::string_view part;
    std::uint8_t* const fields[] = { &r.day, &r.month };
    for (std::uint8_t* f : fields) {
        if (!parts.next(part))
            return;
        Chars c(part, true);
        *f = std::uint8_t(readDecimal(c));
    }
    if (parts.next(part)) {
        Chars c(part, true);
        r.year = std::uint8_t(readDecimal(c) + 48); // 2000 + n -> n, modulo 256
    }
}

void storeTime(sctArcZap& r, std::string_view value, LineState& line)
{
    Pieces parts(value, ':');
    std::string_view part;
    if (parts.next(part)) {
        Chars c(part, true);
        r.hour = std::uint8_t(readDecimal(c));
        if (parts.next(part)) {
            Chars m(part, true);
            r.minute = std::uint8_t(readDecimal(m));
        }
    }
    if (line.dateStored) {
        line.stampValid = r.year < 100 && dateutil::isValidStamp(fullYear(r), r.month, r.day, r.hour, r.minute);
        line.stamp = stampKey(r);
    }
}

void storeValue(sctArcZap& r, Column column, std::string_view value, const ArchiveParams& params, LineState& line)
{
    auto* base = reinterpret_cast<unsigned char*>(&r);
    switch (column.kind) {
    case Kind::Ignored:
        return;
    case Kind::Date:
        storeDate(r, value);
        line.dateStored = true;
        return;
    case Kind::Time:
        storeTime(r, value, line);
        return;
    case Kind::Bits: {
        const float f = readBits(value);
        std::memcpy(base + column.offset, &f, sizeof f);
        return;
    }
    case Kind::Int32: {
        const std::uint32_t v = readInteger(value, true);
        std::memcpy(base + column.offset, &v, sizeof v);
        return;
    }
    case Kind::Int8:
        base[column.offset] = std::uint8_t(readInteger(value, true));
        return;
    case Kind::TCold:
        if (params.ArchiveVersion != 1) {
            r.t_cold = readBits(value);
        } else if (params.t_coldChannel == ArchiveParams::kConstantTCold && params.t_cold >= 0.0f) {
            r.t_cold = params.t_cold;
        } else if (params.t_coldChannel < kChannels) {
            r.t_cold = r.t[params.t_coldChannel];
        }
        return;
    }
}

QDateTime stampTime(std::uint64_t key)
{
    return dateutil::makeDateTime(2000 + int(key >> 32 & 0xFF), int(key >> 24 & 0xFF), int(key >> 16 & 0xFF),
                                  int(key >> 8 & 0xFF), int(key & 0xFF));
}

HRESULT shown(HRESULT hr, const QString& text, MbIcon icon, QString* message)
{
    MessageBox::show(text, icon);
    if (message != nullptr)
        *message = text;
    return hr;
}

} // namespace

QByteArrayView columnHeader()
{
    return QByteArrayView(kHeader.data(), qsizetype(kHeader.size()));
}

QByteArray archiveFileBytes(const ArchiveParams& params, const ArchiveRecordList& records, std::uint16_t serial)
{
    QByteArray out;
    out.reserve(4096 + qsizetype(records.size()) * 640);
    generate(out, params, records, serial, std::numeric_limits<qsizetype>::max(),
             [](const QByteArray&) { return true; });
    return out;
}

bool writeArchiveFile(const QString& path, const ArchiveParams& params, const ArchiveRecordList& records,
                      std::uint16_t serial, QString* error)
{
    AtomicFile file(path);
    bool ok = file.open();
    if (ok) {
        QByteArray block;
        block.reserve(kWriteBlock + qsizetype(kMaxRecordLine));
        ok = generate(block, params, records, serial, kWriteBlock, [&](const QByteArray& b) { return file.write(b); });
        ok = file.commit() && ok;
    }
    if (ok)
        return true;
    if (error != nullptr)
        *error = file.errorString();
    MessageBox::error(u"Error in file: "_s + path);
    return false;
}

HRESULT readArchiveBytes(QByteArrayView bytes, ArchiveParams& params, ArchiveRecordList& records, bool skipParams,
                         std::uint16_t expectedSerial, QString* message)
{
    if (message != nullptr)
        message->clear();
    LineReader lines(bytes);
    std::string_view line;
    if (!lines.next(line))
        return shown(E_FAIL, u"Файл пуст!"_s, MbIcon::Error, message);

    ArchiveParams read = params;
    for (;;) {
        if (!lines.next(line))
            return shown(E_FAIL, u"Файл поврежден!"_s, MbIcon::Error, message);
        if (trimmed(line) == kArchiveLine)
            break;
        if (skipParams)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        // The writer puts a blank after "="; whatever stands there is dropped.
        std::string_view value = line.substr(eq + 1);
        if (!value.empty())
            value.remove_prefix(1);
        if (!storeParam(line.substr(0, eq), value, read, expectedSerial)) {
            return shown(E_FAIL, LoadResString(118, u"Archive has serial number of different heatcounter"_s),
                         MbIcon::Error, message);
        }
    }
    if (!skipParams)
        params = std::move(read);

    if (!lines.next(line))
        return shown(E_FAIL, u"Архив пуст!"_s, MbIcon::Error, message);
    bool anyName = false;
    const std::vector<Column> columns = readHeader(line, anyName);
    if (!anyName)
        return shown(S_OK, u"Заголовок поврежден!"_s, MbIcon::Warning, message);

    bool anyValid = false;
    std::uint64_t earliest = 0;
    std::uint64_t latest = 0;
    while (lines.next(line)) {
        sctArcZap r;
        LineState state;
        Pieces values(line, ',');
        std::string_view value;
        for (std::size_t i = 0; i < columns.size() && values.next(value); ++i)
            storeValue(r, columns[i], value, params, state);
        records.add(r, false);
        if (state.stampValid) {
            if (!anyValid || state.stamp < earliest)
                earliest = state.stamp;
            if (!anyValid || state.stamp > latest)
                latest = state.stamp;
            anyValid = true;
        }
    }
    if (anyValid) {
        RecordTimeSpan span;
        span.widen(stampTime(earliest));
        span.widen(stampTime(latest));
        records.timeSpan().widen(span);
    }
    return S_OK;
}

HRESULT readArchiveFile(const QString& path, ArchiveParams& params, ArchiveRecordList& records, bool skipParams,
                        std::uint16_t expectedSerial, QString* message)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (message != nullptr)
            *message = file.errorString();
        return E_FAIL;
    }
    if (file.size() > kMaxArchiveFileSize) {
        if (message != nullptr)
            *message = u"File too large"_s;
        return E_FAIL;
    }
    // One read for the whole file; a device that tells no size is read in blocks up to the cap.
    QByteArray bytes;
    if (file.size() > 0) {
        bytes = file.read(file.size());
    } else {
        while (bytes.size() <= kMaxArchiveFileSize) {
            const QByteArray block = file.read(kWriteBlock);
            if (block.isEmpty())
                break;
            bytes += block;
        }
    }
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxArchiveFileSize) {
        if (message != nullptr)
            *message = file.error() != QFileDevice::NoError ? file.errorString() : u"File too large"_s;
        return E_FAIL;
    }
    return readArchiveBytes(bytes, params, records, skipParams, expectedSerial, message);
}

} // namespace archive
