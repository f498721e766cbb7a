// The bytes as a map file, tokenised to the end. Every token but the last must consume input,
// which is what keeps the parser's loops finite.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "cfgmap/CfgLexer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CfgLexer lexer;
    lexer.openBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (std::size_t n = 0;; ++n) {
        const qint64 before = lexer.Tell();
        const CfgToken token = lexer.NextToken();
        if (token.kind == CfgTokenKind::EndOfFile)
            break;
        if (lexer.Tell() <= before || n > size)
            std::abort();
        if (token.kind == CfgTokenKind::Integer)
            (void)CfgLexer::integerValue(token.text);
        (void)token.ToString();
    }
    if (!lexer.errorLog().isEmpty() && !lexer.errorLog().endsWith("\r\n"))
        std::abort();
    return 0;
}
