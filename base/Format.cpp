#include "Format.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <utility>

#include "CodePage.h"

namespace fmt {

namespace {

// Bounds a width or precision so that a hostile format cannot ask for gigabytes.
constexpr int kMaxField = 100000;

struct Conversion
{
    std::string flags;
    int width = -1;
    int precision = -1;
    std::string length;
    char type = 0;
    bool leftAlign() const { return flags.find('-') != std::string::npos; }
};

class ArgCursor
{
public:
    explicit ArgCursor(const std::vector<Arg>& args)
        : m_args(args)
    {
    }
    const Arg* next() { return m_pos < m_args.size() ? &m_args[m_pos++] : nullptr; }

private:
    const std::vector<Arg>& m_args;
    std::size_t m_pos = 0;
};

std::int64_t asSigned(const Arg* a)
{
    if (a == nullptr)
        return 0;
    switch (a->kind) {
    case Arg::Kind::Int:
        return a->i;
    case Arg::Kind::UInt:
        return static_cast<std::int64_t>(a->u);
    case Arg::Kind::Double:
        return a->d >= -9.2e18 && a->d <= 9.2e18 ? static_cast<std::int64_t>(a->d) : 0;
    default:
        return 0;
    }
}

std::uint64_t asUnsigned(const Arg* a)
{
    if (a != nullptr && a->kind == Arg::Kind::UInt)
        return a->u;
    return static_cast<std::uint64_t>(asSigned(a));
}

double asDouble(const Arg* a)
{
    if (a == nullptr)
        return 0;
    switch (a->kind) {
    case Arg::Kind::Double:
        return a->d;
    case Arg::Kind::Int:
        return static_cast<double>(a->i);
    case Arg::Kind::UInt:
        return static_cast<double>(a->u);
    default:
        return 0;
    }
}

// Parses the conversion that starts after '%' at pos; returns false when the format ends
// inside it. `at` yields the character at an index, `n` is the format's length.
template<typename At>
bool parseConversion(At at, std::size_t n, std::size_t& pos, Conversion& conv, ArgCursor& args)
{
    auto peek = [&](std::size_t i) -> char32_t { return i < n ? at(i) : 0; };
    while (pos < n && std::string_view("-+ #0").find(static_cast<char>(peek(pos))) != std::string_view::npos
           && peek(pos) < 128) {
        conv.flags += static_cast<char>(peek(pos));
        ++pos;
    }
    if (peek(pos) == '*') {
        ++pos;
        std::int64_t w = asSigned(args.next());
        if (w < 0) {
            conv.flags += '-';
            w = -w;
        }
        conv.width = static_cast<int>(std::min<std::int64_t>(w, kMaxField));
    } else {
        while (peek(pos) >= '0' && peek(pos) <= '9') {
            conv.width = std::min(kMaxField, std::max(conv.width, 0) * 10 + static_cast<int>(peek(pos) - '0'));
            ++pos;
        }
    }
    if (peek(pos) == '.') {
        ++pos;
        conv.precision = 0;
        if (peek(pos) == '*') {
            ++pos;
            const std::int64_t p = asSigned(args.next());
            conv.precision = p < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(p, kMaxField));
        } else {
            while (peek(pos) >= '0' && peek(pos) <= '9') {
                conv.precision = std::min(kMaxField, conv.precision * 10 + static_cast<int>(peek(pos) - '0'));
                ++pos;
            }
        }
    }
    while (pos < n && std::string_view("hlLqjzt").find(static_cast<char>(peek(pos))) != std::string_view::npos
           && peek(pos) < 128) {
        conv.length += static_cast<char>(peek(pos));
        ++pos;
    }
    if (pos >= n)
        return false;
    const char32_t c = peek(pos);
    conv.type = c < 128 ? static_cast<char>(c) : '?';
    ++pos;
    return true;
}

std::string cConversion(const Conversion& s, const char* lengthAndConv)
{
    std::string out = "%" + s.flags;
    if (s.width >= 0)
        out += std::to_string(s.width);
    if (s.precision >= 0)
        out += "." + std::to_string(s.precision);
    out += lengthAndConv;
    return out;
}

// Files and reports always use the decimal point, whatever locale the program runs in (the
// application object sets the user's): the C locale is switched in for this thread meanwhile.
class CLocaleScope
{
public:
    CLocaleScope()
        : m_previous(uselocale(cLocale()))
    {
    }
    ~CLocaleScope() { uselocale(m_previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    static locale_t cLocale()
    {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
        return c;
    }
    locale_t m_previous;
};

template<typename T>
std::string cFormat(const std::string& conv, T value)
{
    CLocaleScope cLocale;
    const int n = std::snprintf(nullptr, 0, conv.c_str(), value);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), conv.c_str(), value);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

bool isShort(const Conversion& s) { return s.length == "h"; }
bool isChar(const Conversion& s) { return s.length == "hh"; }
bool isWide(const Conversion& s) { return !s.length.empty() && !isShort(s) && !isChar(s); }

// The numeric conversions, which look the same in both outputs. Returns false for %s and %c.
bool formatNumber(const Conversion& s, ArgCursor& cursor, std::string& out)
{
    static constexpr std::string_view kNumeric = "diuoxXfFeEgGaApn";
    if (kNumeric.find(s.type) == std::string_view::npos)
        return false;
    const Arg* arg = cursor.next();
    out.clear();
    if (arg == nullptr)
        return true;
    struct One
    {
        const Arg* a;
        const Arg* next() { return std::exchange(a, nullptr); }
    } args{arg};
    switch (s.type) {
    case 'd':
    case 'i': {
        std::int64_t v = asSigned(args.next());
        if (!isWide(s))
            v = isChar(s) ? static_cast<signed char>(v) : isShort(s) ? static_cast<short>(v) : static_cast<int>(v);
        out = cFormat(cConversion(s, "lld"), static_cast<long long>(v));
        return true;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
        std::uint64_t v = asUnsigned(args.next());
        if (!isWide(s))
            v = isChar(s) ? static_cast<unsigned char>(v)
                : isShort(s) ? static_cast<unsigned short>(v) : static_cast<unsigned int>(v);
        const char conv[] = {'l', 'l', s.type, '\0'};
        out = cFormat(cConversion(s, conv), static_cast<unsigned long long>(v));
        return true;
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A': {
        const char conv[] = {s.type, '\0'};
        out = cFormat(cConversion(s, conv), asDouble(args.next()));
        return true;
    }
    case 'p': {
        const Arg* a = args.next();
        Conversion plain = s;
        plain.precision = -1;
        out = cFormat(cConversion(plain, "p"), a != nullptr && a->kind == Arg::Kind::Pointer ? a->ptr : nullptr);
        return true;
    }
    case 'n':
        args.next(); // never written through
        out.clear();
        return true;
    default:
        return false;
    }
}

template<typename Str>
Str pad(Str body, const Conversion& s, qsizetype length)
{
    if (s.width > length) {
        const Str fill(static_cast<qsizetype>(s.width) - length, typename Str::value_type(u' '));
        body = s.leftAlign() ? body + fill : fill + body;
    }
    return body;
}

} // namespace

QByteArray formatBytes(std::string_view format, const std::vector<Arg>& args)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(format.size()) + 16);
    ArgCursor cursor(args);
    const std::size_t n = format.size();
    auto at = [&](std::size_t i) -> char32_t { return static_cast<unsigned char>(format[i]); };
    for (std::size_t pos = 0; pos < n;) {
        if (format[pos] != '%') {
            out += format[pos++];
            continue;
        }
        const std::size_t start = pos++;
        if (pos < n && format[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        Conversion conv;
        if (!parseConversion(at, n, pos, conv, cursor)) {
            out.append(format.data() + start, static_cast<qsizetype>(n - start));
            break;
        }
        std::string number;
        if (formatNumber(conv, cursor, number)) {
            out.append(number.data(), static_cast<qsizetype>(number.size()));
        } else if (conv.type == 'c') {
            const char c = static_cast<char>(asSigned(cursor.next()));
            out += pad(QByteArray(1, c), conv, 1);
        } else if (conv.type == 's') {
            const Arg* a = cursor.next();
            QByteArray body;
            if (a != nullptr && a->kind == Arg::Kind::Bytes)
                body = a->bytes;
            else if (a != nullptr && a->kind == Arg::Kind::Text)
                body = codepage::toAnsi(a->text);
            if (conv.precision >= 0 && body.size() > conv.precision)
                body.truncate(conv.precision);
            out += pad(body, conv, body.size());
        } else {
            out.append(format.data() + start, static_cast<qsizetype>(pos - start));
        }
    }
    return out;
}

QString formatText(QStringView format, const std::vector<Arg>& args)
{
    QString out;
    out.reserve(format.size() + 16);
    ArgCursor cursor(args);
    const std::size_t n = static_cast<std::size_t>(format.size());
    auto at = [&](std::size_t i) -> char32_t { return format[static_cast<qsizetype>(i)].unicode(); };
    for (std::size_t pos = 0; pos < n;) {
        const QChar ch = format[static_cast<qsizetype>(pos)];
        if (ch != u'%') {
            out += ch;
            ++pos;
            continue;
        }
        const std::size_t start = pos++;
        if (pos < n && format[static_cast<qsizetype>(pos)] == u'%') {
            out += u'%';
            ++pos;
            continue;
        }
        Conversion conv;
        if (!parseConversion(at, n, pos, conv, cursor)) {
            out += format.mid(static_cast<qsizetype>(start));
            break;
        }
        std::string number;
        if (formatNumber(conv, cursor, number)) {
            out += QLatin1StringView(number.data(), static_cast<qsizetype>(number.size()));
        } else if (conv.type == 'c') {
            const QChar c(static_cast<char16_t>(asSigned(cursor.next())));
            out += pad(QString(c), conv, 1);
        } else if (conv.type == 's') {
            const Arg* a = cursor.next();
            QString body;
            if (a != nullptr && a->kind == Arg::Kind::Text)
                body = a->text;
            else if (a != nullptr && a->kind == Arg::Kind::Bytes)
                body = QString::fromUtf8(a->bytes);
            if (conv.precision >= 0 && body.size() > conv.precision)
                body.truncate(conv.precision);
            out += pad(body, conv, body.size());
        } else {
            out += format.mid(static_cast<qsizetype>(start), static_cast<qsizetype>(pos - start));
        }
    }
    return out;
}

double decimalValue(std::string_view text)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    for (; i < text.size() && digit(text[i]); ++i)
        ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && digit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t k = i + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-'))
            ++k;
        if (k < text.size() && digit(text[k])) {
            while (k < text.size() && digit(text[k]))
                ++k;
            end = k;
        }
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::string number(text.substr(start, end - start));
    return cLocale != locale_t(nullptr) ? strtod_l(number.c_str(), nullptr, cLocale)
                                        : std::strtod(number.c_str(), nullptr);
}

} // namespace fmt
