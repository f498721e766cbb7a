#pragma once

#include <cstdint>

// The printf conversions of archive and CSV lines, written straight into a character buffer.
// An archive of ten years holds millions of values, and a formatter call per value would make
// saving it the slowest step of a Get Archive. The integer forms are exact by construction; the
// floating forms come from std::to_chars with a precision, which the C++ standard defines as
// printf's output in the C locale (so a user's decimal comma never reaches a file). The tests
// hold every form against fmt::bytes. Each function returns the position after what it wrote.
namespace archive::text {

// "%0*llu": at least `width` digits, zero-padded, never truncated. At most 20 characters.
char* putUnsigned(char* p, std::uint64_t v, int width = 0);
// "%lld". At most 20 characters.
char* putSigned(char* p, std::int64_t v);
// "%0*X": uppercase digits, at least `width` of them. At most 16 characters.
char* putHex(char* p, std::uint64_t v, int width = 0);
// The bit pattern of a float as "%08X".
char* putFloatBits(char* p, float f);
// "%f" of a double. At most kMaxFixed characters.
char* putFixed(char* p, double v);
// "%g" of a double. At most 32 characters.
char* putGeneral(char* p, double v);

// DBL_MAX in "%f" is 309 digits, a sign and seven more.
inline constexpr int kMaxFixed = 320;

} // namespace archive::text
