#pragma once

#include <cstdint>

#include <QByteArray>

// The parser compares these values; keep them as they are.
enum class CfgTokenKind : std::uint8_t {
    Error = 0,
    Section = 1,
    Var = 2,
    Identifier = 3,
    String = 4,
    Integer = 5,
    Real = 6,
    LBrace = 7,
    RBrace = 8,
    Semicolon = 9,
    Equals = 10,
    EndOfFile = 11,
    LParen = 12,
    RParen = 13,
    Comment = 14,
    Comma = 15,
    Name = 16,
    Type = 17,
    Address = 18,
    Value = 19,
    Array = 20,
    Offset = 21,
    Meta = 22,
    Length = 23,
    AccessLevel = 24,
};

// One token of a map file. Texts are the file's bytes, unconverted.
//   Identifier, keywords: the word as written; String: the bytes between the quotes;
//   Integer, Real: the number as written; Comment: the bytes after "#";
//   EndOfFile: the text of a token cut short by the end of the file; others: empty.
class CfgToken
{
public:
    CfgToken() = default;
    CfgToken(CfgTokenKind kind, QByteArray text = {})
        : kind(kind)
        , text(std::move(text))
    {
    }
    CfgToken(const CfgToken&) = default;
    CfgToken(CfgToken&&) = default;
    CfgToken& operator=(const CfgToken&) = default;
    CfgToken& operator=(CfgToken&&) = default;
    virtual ~CfgToken() = default;

    // For messages: the character of a one-character token, "End Of File", or the text.
    virtual QByteArray ToString() const;

    CfgTokenKind kind = CfgTokenKind::Error;
    QByteArray text;
    double realValue = 0; // Real tokens only
    std::int32_t intValue = 0; // Integer tokens only
};
