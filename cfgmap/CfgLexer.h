#pragma once

#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "cfgmap/CfgException.h"
#include "cfgmap/CfgToken.h"

// The tokeniser of map files. CfgMgr derives from it and shares its line counter and error log.
//
// The source is held in memory whole; ReadChar/UnreadChar/Tell/SeekTo behave as one-byte reads
// and seeks on a file descriptor would:
//   - ReadChar past the last byte throws CfgEofException and leaves the position unchanged;
//   - UnreadChar steps one byte back; before the first byte it throws CfgException(EINVAL);
//   - SeekTo may go past the end (later reads see end of file); a negative position throws
//     CfgException(EINVAL);
//   - with no source open every one of them throws CfgException(EBADF).
//
// NextToken never lets CfgEofException out: the end of the source, wherever it is met, gives an
// EndOfFile token and the token in progress is lost. Lexical errors append one line to the
// error log ("Line %d: ...\r\n", the line counter plus one) and give an Error token.
class CfgLexer
{
public:
    // Larger files are refused: map files are a few kilobytes, and this keeps a wrong pick
    // (a device, a huge file) from eating the memory.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    CfgLexer() = default;
    CfgLexer(const CfgLexer&) = default;
    CfgLexer(CfgLexer&&) = default;
    CfgLexer& operator=(const CfgLexer&) = default;
    CfgLexer& operator=(CfgLexer&&) = default;
    virtual ~CfgLexer() = default;

    // Reads the file into memory and rewinds the line counter. Throws CfgException with the
    // system error number (EFBIG above MaxFileSize); the lexer is then closed.
    void openFile(const QString& path);
    // Lexes bytes held in memory, as if they were a file's content.
    void openBytes(const QByteArray& bytes);
    void close();
    bool isOpen() const { return m_open; }

    char ReadChar();
    void UnreadChar();
    qint64 Tell() const;
    void SeekTo(qint64 position);

    CfgToken NextToken();

    // Line breaks consumed so far; messages print it plus one.
    int lineCounter() const { return m_line; }
    void setLineCounter(int line) { m_line = line; }

    QByteArray& errorLog() { return m_errorLog; }
    const QByteArray& errorLog() const { return m_errorLog; }
    // Appends "Line <counter + 1>: " + body + "\r\n"; the parser logs through it too.
    void logLine(QByteArrayView body);

    // The value of an integer token's text: "0x"/"0X" and at least one more character is
    // hexadecimal, keeping the last eight digits; otherwise a decimal with optional sign,
    // clamped to the 32-bit range.
    static std::int32_t integerValue(QByteArrayView text);
    // atof of a real token's text in the C locale, whatever the user's locale.
    static double realValue(QByteArrayView text);

private:
    void countBreak(char first);
    CfgToken lexIdentifier();
    CfgToken lexNumber();
    CfgToken lexReal(bool exponentSeen);
    CfgToken lexString();
    CfgToken lexComment();
    CfgToken badByte(char bad, bool closingQuote);

    QByteArray m_data;
    qint64 m_pos = 0;
    bool m_open = false;
    int m_line = 0;
    QByteArray m_errorLog;
    // The token in progress, so that end of file can hand it over as the EndOfFile text.
    QByteArray m_text;
};
