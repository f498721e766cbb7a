#include "CfgVar.h"

#include <cstring>
#include <new>

#include <QByteArrayList>

#include "base/Format.h"
#include "cfgmap/CfgException.h"
#include "cfgmap/CfgLexer.h"

namespace {

constexpr const char* typeNames[]
    = { "none", "uchar", "char", "ushort", "short", "uint", "int", "float", "double", "array", "bit", "string" };

bool isScalar(std::uint8_t code)
{
    return code >= std::uint8_t(CfgType::UChar) && code <= std::uint8_t(CfgType::Double);
}

QByteArray formatElement(std::uint8_t code, const char* p, bool first)
{
    const char* sep = first ? "" : ", ";
    switch (CfgType(code)) {
    case CfgType::UChar:
        return fmt::bytes("%s%u", QByteArray(sep), unsigned(std::uint8_t(*p)));
    case CfgType::Char:
        return fmt::bytes("%s%d", QByteArray(sep), int(std::int8_t(*p)));
    case CfgType::UShort: {
        std::uint16_t v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%u", QByteArray(sep), unsigned(v));
    }
    case CfgType::Short: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%d", QByteArray(sep), int(v));
    }
    case CfgType::UInt: {
        std::uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%u", QByteArray(sep), v);
    }
    case CfgType::Int: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%d", QByteArray(sep), v);
    }
    case CfgType::Float: {
        float v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%g", QByteArray(sep), double(v));
    }
    case CfgType::Double: {
        double v;
        std::memcpy(&v, p, sizeof v);
        return fmt::bytes("%s%g", QByteArray(sep), v);
    }
    default:
        return {};
    }
}

void storeElement(std::uint8_t code, char* p, const QByteArray& item)
{
    if (code == std::uint8_t(CfgType::Float)) {
        const float v = float(CfgLexer::realValue(item));
        std::memcpy(p, &v, sizeof v);
    } else if (code == std::uint8_t(CfgType::Double)) {
        const double v = CfgLexer::realValue(item);
        std::memcpy(p, &v, sizeof v);
    } else {
        // Little-endian host: the low bytes of the integer are the truncated element.
        const std::uint32_t v = std::uint32_t(CfgLexer::integerValue(item));
        std::memcpy(p, &v, std::size_t(CfgVar::scalarSize(code)));
    }
}

} // namespace

QByteArray CfgVar::typeName(std::uint8_t code)
{
    if (code < std::size(typeNames))
        return QByteArray(typeNames[code]);
    return QByteArrayLiteral("unknown");
}

QByteArray CfgVar::elementTypeName() const
{
    if (type != std::uint8_t(CfgType::Array))
        return QByteArrayLiteral("unknown");
    return typeName(elementType);
}

int CfgVar::typeCode(const QByteArray& name)
{
    if (name == "ulong")
        return int(CfgType::UInt);
    if (name == "long")
        return int(CfgType::Int);
    for (std::size_t i = 1; i < std::size(typeNames); ++i) {
        if (name == typeNames[i])
            return int(i);
    }
    return -1;
}

int CfgVar::scalarSize(std::uint8_t code)
{
    switch (CfgType(code)) {
    case CfgType::UChar:
    case CfgType::Char:
        return 1;
    case CfgType::UShort:
    case CfgType::Short:
        return 2;
    case CfgType::UInt:
    case CfgType::Int:
    case CfgType::Float:
        return 4;
    case CfgType::Double:
        return 8;
    default:
        return 0;
    }
}

std::uint8_t CfgVar::GetType() const
{
    return type;
}

qsizetype CfgVar::GetSize() const
{
    switch (CfgType(type)) {
    case CfgType::UChar:
    case CfgType::Char:
    case CfgType::Bit:
        return 1;
    case CfgType::Array:
        return qsizetype(elementCount) * elementSize;
    case CfgType::String:
        return length;
    default:
        return scalarSize(type);
    }
}

QByteArray CfgVar::GetBytes() const
{
    if (type == std::uint8_t(CfgType::None))
        return {};
    try {
        QByteArray out(GetSize(), '\0');
        switch (CfgType(type)) {
        case CfgType::UChar:
        case CfgType::Char:
        case CfgType::Bit:
            out[0] = char(value8);
            break;
        case CfgType::UShort:
        case CfgType::Short:
            std::memcpy(out.data(), &value16, sizeof value16);
            break;
        case CfgType::UInt:
        case CfgType::Int:
            std::memcpy(out.data(), &value32, sizeof value32);
            break;
        case CfgType::Float:
            std::memcpy(out.data(), &floatValue, sizeof floatValue);
            break;
        case CfgType::Double:
            std::memcpy(out.data(), &doubleValue, sizeof doubleValue);
            break;
        case CfgType::Array:
            std::memcpy(out.data(), elementData.constData(), std::size_t(qMin(out.size(), elementData.size())));
            break;
        case CfgType::String:
            // A shorter value is padded with zero bytes, as the meter stores it.
            std::memcpy(out.data(), stringValue.constData(), std::size_t(qMin(out.size(), stringValue.size())));
            break;
        default:
            break;
        }
        return out;
    } catch (const std::bad_alloc&) {
        throw CfgMemoryException();
    }
}

int CfgVar::SetValueFromText(const QByteArray& text)
{
    switch (CfgType(type)) {
    case CfgType::UChar:
    case CfgType::Char:
        value8 = std::uint8_t(CfgLexer::integerValue(text));
        return Ok;
    case CfgType::UShort:
    case CfgType::Short:
        value16 = std::uint16_t(CfgLexer::integerValue(text));
        return Ok;
    case CfgType::UInt:
    case CfgType::Int:
        value32 = std::uint32_t(CfgLexer::integerValue(text));
        return Ok;
    case CfgType::Float:
        floatValue = float(CfgLexer::realValue(text));
        return Ok;
    case CfgType::Double:
        doubleValue = CfgLexer::realValue(text);
        return Ok;
    case CfgType::Bit:
        value8 = std::uint8_t(CfgLexer::integerValue(text));
        if (value8 > 1) {
            value8 = 0;
            return BitReplaced;
        }
        return Ok;
    case CfgType::String:
        stringValue = (length != 0 && text.size() >= length) ? text.left(length) : text;
        return Ok;
    case CfgType::Array:
        break;
    default:
        return NoType;
    }

    if (elementData.isEmpty() || elementCount <= 0)
        return ZeroSize;
    const qsizetype open = text.indexOf('{');
    const qsizetype close = open < 0 ? -1 : text.indexOf('}', open + 1);
    if (close < 0)
        return NoList;
    if (!isScalar(elementType))
        return BadElementType;
    QByteArray inner = text.mid(open + 1, close - open - 1);
    inner.replace(' ', QByteArray()).replace('\t', QByteArray());
    // "{}" is a list of no items, not one empty item that would zero the first element.
    const QByteArrayList items = inner.isEmpty() ? QByteArrayList() : inner.split(',');
    const qsizetype n = qMin(items.size(), qsizetype(elementCount));
    for (qsizetype i = 0; i < n && (i + 1) * elementSize <= elementData.size(); ++i)
        storeElement(elementType, elementData.data() + i * elementSize, items[i]);
    return Ok;
}

int CfgVar::SetType(const QByteArray& name, const QByteArray& elementName, std::int32_t count)
{
    if (name != "array") {
        const int code = typeCode(name);
        if (code < 0 || code == int(CfgType::Array))
            return NoType;
        type = std::uint8_t(code);
        elementType = 0;
        elementCount = 0;
        elementSize = 0;
        elementData.clear();
        return Ok;
    }
    if (count == 0)
        return ZeroSize;
    const int code = typeCode(elementName);
    if (code < 0 || !isScalar(std::uint8_t(code)))
        return NoType;
    const int size = scalarSize(std::uint8_t(code));
    if (count < 0 || qsizetype(count) * size > MaxArrayBytes)
        return NoList;
    try {
        elementData = QByteArray(qsizetype(count) * size, '\0');
    } catch (const std::bad_alloc&) {
        throw CfgMemoryException();
    }
    elementType = std::uint8_t(code);
    elementSize = std::uint8_t(size);
    elementCount = count;
    type = std::uint8_t(CfgType::Array);
    return Ok;
}

QByteArray CfgVar::ValueToString() const
{
    switch (CfgType(type)) {
    case CfgType::None:
        return {};
    case CfgType::UChar:
        return fmt::bytes("%u", unsigned(value8));
    case CfgType::Char:
        return fmt::bytes("%d", int(std::int8_t(value8)));
    case CfgType::UShort:
        return fmt::bytes("%u", unsigned(value16));
    case CfgType::Short:
        return fmt::bytes("%d", int(std::int16_t(value16)));
    case CfgType::UInt:
        return fmt::bytes("%u", value32);
    case CfgType::Int:
        return fmt::bytes("%d", std::int32_t(value32));
    case CfgType::Float:
        return fmt::bytes("%g", double(floatValue));
    case CfgType::Double:
        return fmt::bytes("%g", doubleValue);
    case CfgType::Bit:
        return value8 ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case CfgType::String:
        return stringValue;
    case CfgType::Array:
        break;
    default:
        return {};
    }
    if (elementData.isEmpty() || elementCount <= 0)
        return QByteArrayLiteral("empty");
    if (!isScalar(elementType))
        return QByteArrayLiteral("{}");
    QByteArray out = "{";
    for (qsizetype i = 0; i < elementCount && (i + 1) * elementSize <= elementData.size(); ++i)
        out += formatElement(elementType, elementData.constData() + i * elementSize, i == 0);
    out += '}';
    return out;
}
