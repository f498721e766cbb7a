#include "CfgLexer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>

#include "base/Format.h"

namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexLetter(char c)
{
    return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isNameChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '_' || c == '!' || c == '$' || c == '@';
}

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Bytes that end a number and stay for the next token.
bool endsNumber(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == ';' || c == ')' || c == '}';
}

CfgTokenKind keywordKind(const QByteArray& word)
{
    struct Keyword
    {
        const char* word;
        CfgTokenKind kind;
    };
    static const Keyword keywords[] = {
        { "section", CfgTokenKind::Section },
        { "var", CfgTokenKind::Var },
        { "name", CfgTokenKind::Name },
        { "type", CfgTokenKind::Type },
        { "addr", CfgTokenKind::Address },
        { "address", CfgTokenKind::Address },
        { "value", CfgTokenKind::Value },
        { "array", CfgTokenKind::Array },
        { "offset", CfgTokenKind::Offset },
        { "meta", CfgTokenKind::Meta },
        { "length", CfgTokenKind::Length },
        { "access_level", CfgTokenKind::AccessLevel },
        { "acclevel", CfgTokenKind::AccessLevel },
    };
    for (const Keyword& k : keywords) {
        if (word == k.word)
            return k.kind;
    }
    return CfgTokenKind::Identifier;
}

int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void CfgLexer::openFile(const QString& path)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CfgException({}, errno);
    QByteArray data;
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || data.size() + n > MaxFileSize) {
            const int error = n < 0 ? errno : EFBIG;
            ::close(fd);
            throw CfgException({}, error);
        }
        if (n == 0)
            break;
        data.append(block, static_cast<qsizetype>(n));
    }
    ::close(fd);
    openBytes(data);
}

void CfgLexer::openBytes(const QByteArray& bytes)
{
    m_data = bytes;
    m_pos = 0;
    m_open = true;
    m_line = 0;
}

void CfgLexer::close()
{
    m_data.clear();
    m_pos = 0;
    m_open = false;
}

char CfgLexer::ReadChar()
{
    if (!m_open)
        throw CfgException({}, EBADF);
    if (m_pos >= m_data.size())
        throw CfgEofException();
    return m_data.at(static_cast<qsizetype>(m_pos++));
}

void CfgLexer::UnreadChar()
{
    SeekTo(Tell() - 1);
}

qint64 CfgLexer::Tell() const
{
    if (!m_open)
        throw CfgException({}, EBADF);
    return m_pos;
}

void CfgLexer::SeekTo(qint64 position)
{
    if (!m_open)
        throw CfgException({}, EBADF);
    if (position < 0)
        throw CfgException({}, EINVAL);
    m_pos = position;
}

void CfgLexer::logLine(QByteArrayView body)
{
    // "Line %d: " without the formatter: a garbled file logs a line per bad byte.
    m_errorLog += "Line ";
    m_errorLog += QByteArray::number(qint64(m_line) + 1);
    m_errorLog += ": ";
    m_errorLog += body;
    m_errorLog += "\r\n";
}

// CR LF and LF CR are one break each. The end of the file right after a break is left for the
// next read: the break itself is complete, so the token it ended is kept.
void CfgLexer::countBreak(char first)
{
    if (m_line < INT_MAX - 1)
        ++m_line;
    const char pair = first == '\r' ? '\n' : '\r';
    try {
        if (ReadChar() != pair)
            UnreadChar();
    } catch (const CfgEofException&) {
    }
}

CfgToken CfgLexer::NextToken()
{
    Tell();
    m_text.clear();
    try {
        char c = ReadChar();
        while (c == ' ' || c == '\t' || isBreak(c)) {
            if (isBreak(c))
                countBreak(c);
            c = ReadChar();
        }
        if (isNameChar(c) && !isDigit(c)) {
            m_text += c;
            return lexIdentifier();
        }
        if (isDigit(c) || c == '+' || c == '-') {
            m_text += c;
            return lexNumber();
        }
        switch (c) {
        case '.':
            m_text += c;
            return lexReal(false);
        case '"':
            return lexString();
        case '#':
            return lexComment();
        case '{':
            return CfgToken(CfgTokenKind::LBrace);
        case '}':
            return CfgToken(CfgTokenKind::RBrace);
        case ';':
            return CfgToken(CfgTokenKind::Semicolon);
        case '=':
            return CfgToken(CfgTokenKind::Equals);
        case '(':
            return CfgToken(CfgTokenKind::LParen);
        case ')':
            return CfgToken(CfgTokenKind::RParen);
        case ',':
            return CfgToken(CfgTokenKind::Comma);
        default:
            logLine(fmt::bytes("Error: Unexpected symbol '%s", QByteArray(1, c)));
            return CfgToken();
        }
    } catch (const CfgEofException&) {
        return CfgToken(CfgTokenKind::EndOfFile, m_text);
    }
}

CfgToken CfgLexer::lexIdentifier()
{
    for (;;) {
        const char c = ReadChar();
        if (isNameChar(c)) {
            m_text += c;
            continue;
        }
        if (isBreak(c)) {
            countBreak(c);
            break;
        }
        if (c == ' ' || c == '\t' || c == '=' || c == '{' || c == '(' || c == ')' || c == ';' || c == ',') {
            UnreadChar();
            break;
        }
        return badByte(c, false);
    }
    return CfgToken(keywordKind(m_text), m_text);
}

CfgToken CfgLexer::lexNumber()
{
    for (;;) {
        const char c = ReadChar();
        const bool hex = m_text.size() > 1 && (m_text.startsWith("0x") || m_text.startsWith("0X"));
        if (isDigit(c) || ((c == 'x' || c == 'X') && m_text == "0") || (isHexLetter(c) && hex)) {
            m_text += c;
        } else if (c == 'e' || c == 'E') {
            m_text += c;
            return lexReal(true);
        } else if (c == '.') {
            m_text += c;
            return lexReal(false);
        } else if (endsNumber(c)) {
            UnreadChar();
            break;
        } else if (isBreak(c)) {
            countBreak(c);
            break;
        } else {
            return badByte(c, true);
        }
    }
    CfgToken token(CfgTokenKind::Integer, m_text);
    token.intValue = integerValue(m_text);
    return token;
}

CfgToken CfgLexer::lexReal(bool exponentSeen)
{
    for (;;) {
        const char c = ReadChar();
        if (isDigit(c)) {
            m_text += c;
        } else if ((c == 'e' || c == 'E') && !exponentSeen) {
            m_text += c;
            exponentSeen = true;
        } else if ((c == '+' || c == '-') && exponentSeen) {
            m_text += c;
        } else if (endsNumber(c)) {
            UnreadChar();
            break;
        } else if (isBreak(c)) {
            countBreak(c);
            break;
        } else {
            return badByte(c, true);
        }
    }
    CfgToken token(CfgTokenKind::Real, m_text);
    token.realValue = realValue(m_text);
    return token;
}

CfgToken CfgLexer::lexString()
{
    for (;;) {
        const char c = ReadChar();
        if (c == '"')
            return CfgToken(CfgTokenKind::String, m_text);
        if (isBreak(c)) {
            countBreak(c);
            logLine(fmt::bytes("Error: New line in string '%s'", m_text));
            return CfgToken();
        }
        m_text += c;
    }
}

CfgToken CfgLexer::lexComment()
{
    for (;;) {
        const char c = ReadChar();
        if (isBreak(c)) {
            countBreak(c);
            return CfgToken(CfgTokenKind::Comment, m_text);
        }
        m_text += c;
    }
}

// The bad byte is left to start the next token.
CfgToken CfgLexer::badByte(char bad, bool closingQuote)
{
    UnreadChar();
    logLine(fmt::bytes(closingQuote ? "Error: Unresolved symbol '%s' in token '%s'"
                                    : "Error: Unresolved symbol '%s' in token '%s",
                       QByteArray(1, bad), m_text));
    return CfgToken();
}

std::int32_t CfgLexer::integerValue(QByteArrayView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const QByteArrayView rest = text.sliced(i);
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        std::uint32_t value = 0;
        for (qsizetype j = 2; j < rest.size(); ++j) {
            const int digit = hexDigit(rest[j]);
            if (digit < 0)
                break;
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        return static_cast<std::int32_t>(value);
    }
    // atoi, but an overflow saturates (as a 32-bit strtol would) instead of wrapping.
    qsizetype j = 0;
    bool negative = false;
    if (j < rest.size() && (rest[j] == '+' || rest[j] == '-'))
        negative = rest[j++] == '-';
    std::int64_t value = 0;
    for (; j < rest.size() && isDigit(rest[j]); ++j) {
        value = value * 10 + (rest[j] - '0');
        if (value > std::int64_t(INT32_MAX) + 1)
            value = std::int64_t(INT32_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<std::int32_t>(value);
}

double CfgLexer::realValue(QByteArrayView text)
{
    return fmt::decimalValue(std::string_view(text.data(), std::size_t(text.size())));
}
