#include "ArchiveText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include <QByteArray>

#include "base/Format.h"

namespace archive::text {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The C library's spelling of infinities and NaNs ("inf", "-nan"), which to_chars need not share.
char* putNonFinite(char* p, const char* format, double v)
{
    const QByteArray s = fmt::bytes(format, v);
    std::memcpy(p, s.constData(), std::size_t(s.size()));
    return p + s.size();
}

} // namespace

char* putUnsigned(char* p, std::uint64_t v, int width)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (; width > n; --width)
        *p++ = '0';
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

char* putSigned(char* p, std::int64_t v)
{
    if (v >= 0)
        return putUnsigned(p, std::uint64_t(v));
    *p++ = '-';
    return putUnsigned(p, 0 - std::uint64_t(v));
}

char* putHex(char* p, std::uint64_t v, int width)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = kHexDigits[v & 0xF];
        v >>= 4;
    } while (v != 0);
    for (; width > n; --width)
        *p++ = '0';
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

char* putFloatBits(char* p, float f)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = kHexDigits[(bits >> shift) & 0xF];
    return p;
}

char* putFixed(char* p, double v)
{
    if (!std::isfinite(v))
        return putNonFinite(p, "%f", v);
    return std::to_chars(p, p + kMaxFixed, v, std::chars_format::fixed, 6).ptr;
}

char* putGeneral(char* p, double v)
{
    if (!std::isfinite(v))
        return putNonFinite(p, "%g", v);
    return std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr;
}

} // namespace archive::text
