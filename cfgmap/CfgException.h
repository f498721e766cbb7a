#pragma once

#include <cstdint>

#include <QByteArray>

// Errors of the map lexer, the map parser and the configuration model. All are thrown and caught
// by value; catching CfgException& catches the whole family.
class CfgException
{
public:
    CfgException() = default;
    CfgException(QByteArray message, std::int32_t code)
        : m_message(std::move(message))
        , m_code(code)
    {
    }
    CfgException(const CfgException&) = default;
    CfgException(CfgException&&) = default;
    CfgException& operator=(const CfgException&) = default;
    CfgException& operator=(CfgException&&) = default;
    virtual ~CfgException() = default;

    // Empty for input/output failures, whose code is the system error number.
    const QByteArray& message() const { return m_message; }
    std::int32_t code() const { return m_code; }

private:
    QByteArray m_message;
    std::int32_t m_code = 0;
};

// A read found no byte. NextToken turns it into an EndOfFile token; it never leaves the lexer.
class CfgEofException : public CfgException
{
public:
    CfgEofException()
        : CfgException(QByteArrayLiteral("EOF"), 0)
    {
    }
};

// The parser gave up on a section or variable header; the message is the formatted log line.
class CfgParseException : public CfgException
{
public:
    enum Code : std::int32_t { SyntaxError = -1, SystemError = -2, DuplicateDeclaration = -3 };

    CfgParseException(QByteArray message, std::int32_t code)
        : CfgException(std::move(message), code)
    {
    }
};

class CfgMemoryException : public CfgException
{
public:
    CfgMemoryException()
        : CfgException(QByteArrayLiteral("Memory allocation error"), 0)
    {
    }
};
