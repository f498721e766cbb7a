#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringView>

// printf-style formatting whose digits are those of the C library: each conversion is handed
// to snprintf on its own, with the argument converted as printf would receive it. Unlike
// printf, a missing or mismatched argument never reads past the list: it prints nothing.
namespace fmt {

struct Arg
{
    enum class Kind { Int, UInt, Double, Bytes, Text, Pointer };
    Kind kind = Kind::Int;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    QByteArray bytes;
    QString text;
    const void* ptr = nullptr;

    static Arg ofInt(std::int64_t v)
    {
        Arg a;
        a.i = v;
        return a;
    }
    static Arg ofUInt(std::uint64_t v)
    {
        Arg a;
        a.kind = Kind::UInt;
        a.u = v;
        return a;
    }
    static Arg ofDouble(double v)
    {
        Arg a;
        a.kind = Kind::Double;
        a.d = v;
        return a;
    }
    static Arg ofBytes(QByteArray v)
    {
        Arg a;
        a.kind = Kind::Bytes;
        a.bytes = std::move(v);
        return a;
    }
    static Arg ofText(QString v)
    {
        Arg a;
        a.kind = Kind::Text;
        a.text = std::move(v);
        return a;
    }
    static Arg ofPointer(const void* v)
    {
        Arg a;
        a.kind = Kind::Pointer;
        a.ptr = v;
        return a;
    }
};

template<typename T>
Arg toArg(const T& v)
{
    using D = std::decay_t<T>;
    if constexpr (std::is_array_v<T>) {
        return Arg::ofBytes(QByteArray(v));
    } else if constexpr (std::is_same_v<D, bool>) {
        return Arg::ofInt(v ? 1 : 0);
    } else if constexpr (std::is_same_v<D, char>) {
        return Arg::ofInt(v);
    } else if constexpr (std::is_enum_v<D>) {
        return toArg(static_cast<std::underlying_type_t<D>>(v));
    } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
        return Arg::ofInt(static_cast<std::int64_t>(v));
    } else if constexpr (std::is_integral_v<D>) {
        return Arg::ofUInt(static_cast<std::uint64_t>(v));
    } else if constexpr (std::is_floating_point_v<D>) {
        return Arg::ofDouble(static_cast<double>(v));
    } else if constexpr (std::is_same_v<D, QString>) {
        return Arg::ofText(v);
    } else if constexpr (std::is_same_v<D, QByteArray>) {
        return Arg::ofBytes(v);
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        return Arg::ofBytes(QByteArray(v == nullptr ? "(null)" : v));
    } else if constexpr (std::is_pointer_v<D>) {
        return Arg::ofPointer(static_cast<const void*>(v));
    } else {
        static_assert(std::is_same_v<D, void>, "unsupported argument type for fmt::format");
    }
}

// Formats 8-bit text. A QString argument of %s is written in windows-1251, the code page of
// the program's 8-bit files.
QByteArray formatBytes(std::string_view format, const std::vector<Arg>& args);
// Formats wide text. %s widths and precisions count characters, not bytes.
QString formatText(QStringView format, const std::vector<Arg>& args);

// The number at the start of `text` as atof reads it, in the C locale, but decimal only: the
// hexadecimal floats ("0x1f") and "inf"/"nan" words that the C library also takes are not
// numbers of the program's files. Leading blanks and tabs are skipped; no number gives 0.
double decimalValue(std::string_view text);

template<typename... A>
QByteArray bytes(std::string_view format, const A&... args)
{
    return formatBytes(format, std::vector<Arg>{toArg(args)...});
}

template<typename... A>
QString text(QStringView format, const A&... args)
{
    return formatText(format, std::vector<Arg>{toArg(args)...});
}

} // namespace fmt
