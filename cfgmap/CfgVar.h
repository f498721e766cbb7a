#pragma once

#include <cstdint>

#include <QByteArray>

#include "cfgmap/CfgData.h"

// Type codes of variables; the decoder and the configuration file depend on the numbers.
enum class CfgType : std::uint8_t {
    None = 0,
    UChar = 1,
    Char = 2,
    UShort = 3,
    Short = 4,
    UInt = 5,
    Int = 6,
    Float = 7,
    Double = 8,
    Array = 9,
    Bit = 10,
    String = 11,
};

// One variable of the configuration memory with its value.
class CfgVar : public CfgData
{
public:
    // Arrays larger than this are refused: a configuration memory is a few kilobytes, and an
    // element count from a map file must not be able to exhaust the memory.
    static constexpr qsizetype MaxArrayBytes = 1024 * 1024;

    enum Result : int {
        Ok = 0,
        NoType = -1, // SetValueFromText on none; SetType with an unknown name
        ZeroSize = -2, // array of zero elements, or an array value without elements
        NoList = -3, // SetValueFromText: no "{...}" in the text; SetType: element count out of range
        BadElementType = -4,
        BitReplaced = -5,
    };

    CfgVar()
        : CfgData(QByteArrayLiteral("CfgVar"))
    {
    }

    // The raw value bytes in host order, GetSize() of them; a null array for type none.
    virtual QByteArray GetBytes() const;
    virtual int SetValueFromText(const QByteArray& text);
    virtual int SetType(const QByteArray& typeName, const QByteArray& elementName, std::int32_t count);
    virtual QByteArray ValueToString() const;
    virtual std::uint8_t GetType() const;
    virtual qsizetype GetSize() const;

    // "none" .. "string" for codes 0..11, "unknown" otherwise.
    static QByteArray typeName(std::uint8_t code);
    // The element type's name for an array, "unknown" for anything else.
    QByteArray elementTypeName() const;
    // Code of a type name as written in a map (with "ulong" and "long"), or -1.
    static int typeCode(const QByteArray& name);
    // Bytes of one element of types 1..8; 0 for the others.
    static int scalarSize(std::uint8_t code);

    std::uint16_t length = 0;
    QByteArray selectedUnit;
    std::uint8_t bitOffset = 0;
    std::int32_t address = 0;
    QByteArray stringValue;
    std::uint8_t value8 = 0;
    std::uint16_t value16 = 0;
    std::uint32_t value32 = 0;
    float floatValue = 0;
    double doubleValue = 0;
    std::uint8_t type = 0;
    std::uint8_t elementType = 0;
    std::int32_t elementCount = 0;
    std::uint8_t elementSize = 0;
    QByteArray elementData;
};
