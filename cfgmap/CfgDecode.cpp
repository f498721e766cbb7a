#include "CfgDecode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include <QtEndian>

#include "base/CodePage.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "cfgmap/CfgLexer.h"
#include "cfgmap/CfgMgr.h"

using namespace Qt::Literals::StringLiterals;

namespace cfgmap {

namespace {

void collect(CfgSection& section, std::vector<CfgVar*>& out)
{
    for (CfgVar& v : section.vars)
        out.push_back(&v);
    for (CfgSection& s : section.sections)
        collect(s, out);
}

// atoi as the C library has it on this platform: strtol, narrowed to int.
int cAtoi(const QByteArray& text)
{
    return static_cast<int>(std::strtol(text.constData(), nullptr, 10));
}

int truncateToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

bool isSwappable(std::uint8_t code)
{
    switch (CfgType(code)) {
    case CfgType::UShort:
    case CfgType::Short:
    case CfgType::UInt:
    case CfgType::Int:
    case CfgType::Float:
        return true;
    default:
        return false;
    }
}

void swapInPlace(char* p, int size)
{
    if (size == 2) {
        std::swap(p[0], p[1]);
    } else if (size == 4) {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
    }
}

template<typename T>
T readLittle(const char* src)
{
    return qFromLittleEndian<T>(src);
}

// Copies the variable's bytes from src (GetSize of them) into its value.
void storeValue(CfgVar& var, const char* src, qsizetype size)
{
    switch (CfgType(var.type)) {
    case CfgType::UChar:
    case CfgType::Char:
        var.value8 = std::uint8_t(src[0]);
        break;
    case CfgType::Bit:
        var.value8 = var.bitOffset < 8 ? std::uint8_t((std::uint8_t(src[0]) >> var.bitOffset) & 1u) : 0;
        break;
    case CfgType::UShort:
    case CfgType::Short:
        var.value16 = readLittle<std::uint16_t>(src);
        break;
    case CfgType::UInt:
    case CfgType::Int:
        var.value32 = readLittle<std::uint32_t>(src);
        break;
    case CfgType::Float:
        var.floatValue = std::bit_cast<float>(readLittle<std::uint32_t>(src));
        break;
    case CfgType::Double:
        var.doubleValue = std::bit_cast<double>(readLittle<std::uint64_t>(src));
        break;
    case CfgType::Array: {
        // The element data holds elements in host order.
        var.elementData = QByteArray(src, size);
        if constexpr (std::endian::native == std::endian::big) {
            for (qsizetype i = 0; i + var.elementSize <= var.elementData.size(); i += var.elementSize)
                std::reverse(var.elementData.data() + i, var.elementData.data() + i + var.elementSize);
        }
        break;
    }
    case CfgType::String:
        var.SetValueFromText(QByteArray(src, size));
        break;
    default:
        break;
    }
}

QByteArray trailingDigits(const QByteArray& key)
{
    qsizetype i = key.size();
    while (i > 0 && key.at(i - 1) >= '0' && key.at(i - 1) <= '9')
        --i;
    return key.mid(i);
}

// The unit part of a line (", unit" or nothing) and the factor that scales the value.
QByteArray unitAndFactor(CfgVar& var, double& factor)
{
    factor = 1;
    const int base = var.FindMeta(QByteArrayLiteral("BaseUnit"));
    if (base < 0)
        return {};
    const int units = var.FindMeta(QByteArrayLiteral("Units"));
    if (var.selectedUnit.isEmpty() && units >= 0) {
        const CfgMeta& u = var.metas[std::size_t(units)];
        const int d = u.FindEntry(QByteArrayLiteral("default"));
        if (d >= 0)
            var.selectedUnit = u.entries[std::size_t(d)].second;
    }
    const CfgMeta& baseMeta = var.metas[std::size_t(base)];
    const int display = baseMeta.FindEntry(QByteArrayLiteral("display"));
    if (display < 0)
        return {};
    const QByteArray& baseUnit = baseMeta.entries[std::size_t(display)].second;
    if (var.selectedUnit.isEmpty())
        return ", " + baseUnit;
    if (var.selectedUnit == baseUnit)
        return ", " + var.selectedUnit;
    if (units < 0)
        return {};
    const CfgMeta& u = var.metas[std::size_t(units)];
    const int e = u.FindEntry(var.selectedUnit, CfgMeta::Match::Value);
    if (e < 0)
        return {};
    const QByteArray digits = trailingDigits(u.entries[std::size_t(e)].first);
    if (digits.isEmpty())
        return {};
    const int f = u.FindEntry(fmt::bytes("factor%d", cAtoi(digits)));
    if (f < 0)
        return {};
    factor = CfgLexer::realValue(u.entries[std::size_t(f)].second);
    return ", " + var.selectedUnit;
}

QByteArray scaledValue(const CfgVar& var, double factor)
{
    switch (CfgType(var.type)) {
    case CfgType::UChar:
    case CfgType::Char:
    case CfgType::UShort:
    case CfgType::Short:
    case CfgType::UInt:
    case CfgType::Int:
        // The map lexer's atoi: a uint beyond the int range saturates instead of turning negative.
        return fmt::bytes("%d", truncateToInt(CfgLexer::integerValue(var.ValueToString()) * (1 / factor)));
    case CfgType::Float:
    case CfgType::Double: {
        // An erased cell reads as NaN: it must show as such, never as a plausible 0.
        const double raw = CfgType(var.type) == CfgType::Float ? double(var.floatValue) : var.doubleValue;
        if (!std::isfinite(raw))
            return fmt::bytes("%g", raw * (1 / factor));
        return fmt::bytes("%g", CfgLexer::realValue(var.ValueToString()) * (1 / factor));
    }
    default:
        return {};
    }
}

void applyValueName(const CfgVar& var, QByteArray& value)
{
    const int list = var.FindMeta(QByteArrayLiteral("ValueList"));
    if (list < 0)
        return;
    const CfgMeta& m = var.metas[std::size_t(list)];
    const int e = m.FindEntry(value, CfgMeta::Match::Value);
    if (e < 0)
        return;
    const QByteArray& key = m.entries[std::size_t(e)].first;
    const qsizetype at = key.indexOf("val");
    if (at < 0)
        return;
    const int name = m.FindEntry(fmt::bytes("name%d", cAtoi(key.mid(at + 3))));
    if (name >= 0)
        value = m.entries[std::size_t(name)].second;
}

} // namespace

std::vector<CfgVar*> orderedVariables(CfgSection& root)
{
    std::vector<CfgVar*> out;
    collect(root, out);
    return out;
}

int countVariables(const CfgSection& root)
{
    int n = int(root.vars.size());
    for (const CfgSection& s : root.sections)
        n += countVariables(s);
    return n;
}

int countSections(const CfgSection& root)
{
    int n = int(root.sections.size());
    for (const CfgSection& s : root.sections)
        n += countSections(s);
    return n;
}

bool CheckOverlaps(CfgMgr& map, QString& log, std::vector<CfgVar*>* list)
{
    std::vector<CfgVar*> vars;
    try {
        const int count = countVariables(map.root());
        if (count == 0) {
            log += u"Wrong configuration. No variables set.\r\n"_s;
            return false;
        }
        vars.reserve(std::size_t(count));
        collect(map.root(), vars);
    } catch (const std::bad_alloc&) {
        log += u"Memory allocation error.\r\n"_s;
        return false;
    }
    log.clear();

    const QString format = LoadResString(181);
    bool ok = true;
    for (std::size_t i = 0; i < vars.size(); ++i) {
        const CfgVar& a = *vars[i];
        // A variable of no bytes (no type, a string without length) shares no memory; taken as
        // ending one below its start, one at address 0 would wrap and clash with every other.
        if (a.GetSize() == 0)
            continue;
        const std::uint32_t aFirst = std::uint32_t(a.address);
        const std::uint32_t aLast = aFirst + std::uint32_t(a.GetSize()) - 1;
        for (std::size_t j = i + 1; j < vars.size(); ++j) {
            const CfgVar& b = *vars[j];
            if (b.GetSize() == 0)
                continue;
            const std::uint32_t bFirst = std::uint32_t(b.address);
            const std::uint32_t bLast = bFirst + std::uint32_t(b.GetSize()) - 1;
            if ((bFirst < aFirst && bLast < aFirst) || (bFirst > aLast && bLast > aLast))
                continue;
            if (a.GetType() == std::uint8_t(CfgType::Bit) && b.GetType() == std::uint8_t(CfgType::Bit)
                && a.bitOffset != b.bitOffset)
                continue;
            ok = false;
            log += fmt::text(format, codepage::fromOem(a.GetName()), a.address, codepage::fromOem(b.GetName()),
                             b.address)
                + u"\r\n"_s;
        }
    }
    if (list != nullptr)
        *list = std::move(vars);
    return ok;
}

int DecodeBlock(CfgMgr& map, QByteArrayView block, QString& log)
{
    QByteArray scratch;
    try {
        scratch = QByteArray(1024, char(0xFF));
    } catch (const std::bad_alloc&) {
        MessageBox::error(u"Clean memory: "_s + LoadResString(102));
        return -1;
    }
    int untyped = 0;
    for (CfgVar* var : orderedVariables(map.root())) {
        if (var->GetType() == std::uint8_t(CfgType::None)) {
            ++untyped;
            const QString text = LoadResString(184);
            log += text.isEmpty() ? u"Warning: unable to get variable data\r\n"_s
                                  : fmt::text(text, codepage::fromOem(var->GetName())) + u"\r\n"_s;
            continue;
        }
        const qsizetype size = var->GetSize();
        const char* source = nullptr;
        if (std::uint64_t(std::uint32_t(var->address)) + std::uint64_t(size) <= std::uint64_t(block.size())) {
            source = block.data() + std::uint32_t(var->address);
        } else {
            if (scratch.size() < size) {
                try {
                    scratch = QByteArray(size, char(0xFF));
                } catch (const std::bad_alloc&) {
                    MessageBox::error(u"Clean memory (1): "_s + LoadResString(102));
                    return -1;
                }
            }
            source = scratch.constData();
        }
        storeValue(*var, source, size);
        AdjustByteOrder(map, *var);
    }
    return untyped;
}

void AdjustByteOrder(const CfgMgr& map, CfgVar& var)
{
    const bool array = var.GetType() == std::uint8_t(CfgType::Array);
    const std::uint8_t code = array ? var.elementType : var.GetType();
    if (!isSwappable(code))
        return;
    const CfgSection& root = map.root();
    const int meta = root.FindMeta(QByteArrayLiteral("AdjByteOrder"));
    if (meta >= 0 && root.metas[std::size_t(meta)].FindEntry(CfgVar::typeName(code), CfgMeta::Match::Value) < 0)
        return;

    if (array) {
        const int size = CfgVar::scalarSize(code);
        char* p = var.elementData.data();
        for (qsizetype i = 0; i + size <= var.elementData.size(); i += size)
            swapInPlace(p + i, size);
        return;
    }
    switch (CfgType(code)) {
    case CfgType::UShort:
    case CfgType::Short:
        var.value16 = qbswap(var.value16);
        break;
    case CfgType::UInt:
    case CfgType::Int:
        var.value32 = qbswap(var.value32);
        break;
    case CfgType::Float:
        var.floatValue = std::bit_cast<float>(qbswap(std::bit_cast<std::uint32_t>(var.floatValue)));
        break;
    default:
        break;
    }
}

QByteArray valueText(const CfgVar& var)
{
    QByteArray text = var.ValueToString();
    if (var.GetType() == std::uint8_t(CfgType::String)) {
        const qsizetype zero = text.indexOf('\0');
        if (zero >= 0)
            text.truncate(zero);
    }
    return text;
}

QByteArray FormatVariableLine(CfgVar& var, int depth)
{
    QByteArray line(depth > 0 ? depth : 0, '\t');
    line += var.displayName;
    double factor = 1;
    line += unitAndFactor(var, factor);
    line += ": ";
    QByteArray value = factor == 1 ? valueText(var) : scaledValue(var, factor);
    applyValueName(var, value);
    line += value;
    line += "\r\n";
    return line;
}

} // namespace cfgmap
