#include <cerrno>
#include <clocale>
#include <climits>

#include <QByteArrayList>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "cfgmap/CfgException.h"
#include "cfgmap/CfgLexer.h"
#include "cfgmap/CfgToken.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray describe(const CfgToken& t)
{
    switch (t.kind) {
    case CfgTokenKind::Error:
        return "Err";
    case CfgTokenKind::Identifier:
        return "Id(" + t.text + ")";
    case CfgTokenKind::String:
        return "Str(" + t.text + ")";
    case CfgTokenKind::Integer:
        return "Int(" + QByteArray::number(t.intValue) + ")";
    case CfgTokenKind::Real:
        return "Real(" + QByteArray::number(t.realValue, 'g', 17) + ")";
    case CfgTokenKind::Comment:
        return "Rem(" + t.text + ")";
    case CfgTokenKind::EndOfFile:
        return "EOF(" + t.text + ")";
    case CfgTokenKind::LBrace:
    case CfgTokenKind::RBrace:
    case CfgTokenKind::Semicolon:
    case CfgTokenKind::Equals:
    case CfgTokenKind::LParen:
    case CfgTokenKind::RParen:
    case CfgTokenKind::Comma:
        return t.ToString();
    default:
        return "K" + QByteArray::number(int(t.kind)) + "(" + t.text + ")";
    }
}

// Every token up to and including EndOfFile, described and joined by spaces.
QByteArray lexAll(CfgLexer& lexer)
{
    QByteArrayList out;
    for (int guard = 0; guard < 1000; ++guard) {
        const CfgToken t = lexer.NextToken();
        out << describe(t);
        if (t.kind == CfgTokenKind::EndOfFile)
            return out.join(' ');
    }
    return "no end: " + out.join(' ');
}

} // namespace

class TestCfgLexer : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data();
    void tokens();
    void lineNumbers_data();
    void lineNumbers();
    void numberValues_data();
    void numberValues();
    void realsIgnoreTheUserLocale();
    void filesLexLikeMemory_data();
    void filesLexLikeMemory();
    void fileErrors();
    void readerSemantics();
    void toString_data();
    void toString();
};

void TestCfgLexer::tokens_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("tokens");
    QTest::addColumn<QByteArray>("log");

    QTest::newRow("punctuation") << "{}=;(),"_ba
                                 << "{ } = ; ( ) , EOF()"_ba << QByteArray();
    QTest::newRow("keywords") << "section var name type addr address value array offset meta length\n"
                                 "access_level acclevel;"_ba
                              << "K1(section) K2(var) K16(name) K17(type) K18(addr) K18(address) K19(value) "
                                 "K20(array) K21(offset) K22(meta) K23(length) K24(access_level) K24(acclevel) ; "
                                 "EOF()"_ba
                              << QByteArray();
    QTest::newRow("capitals are identifiers") << "Section TYPE sections;"_ba
                                              << "Id(Section) Id(TYPE) Id(sections) ; EOF()"_ba << QByteArray();
    QTest::newRow("name characters") << "_a!$@9 !x\t@=1,"_ba
                                     << "Id(_a!$@9) Id(!x) Id(@) = Int(1) , EOF()"_ba << QByteArray();
    QTest::newRow("identifier before brace") << "abc}"_ba
                                             << "Err } EOF()"_ba
                                             << "Line 1: Error: Unresolved symbol '}' in token 'abc\r\n"_ba;
    QTest::newRow("identifier before quote") << "ab\"x\";"_ba
                                             << "Err Str(x) ; EOF()"_ba
                                             << "Line 1: Error: Unresolved symbol '\"' in token 'ab\r\n"_ba;
    QTest::newRow("high byte in identifier") << "ab\xC0 ;"_ba
                                             << "Err Err ; EOF()"_ba
                                             << "Line 1: Error: Unresolved symbol '\xC0' in token 'ab\r\n"
                                                "Line 1: Error: Unexpected symbol '\xC0\r\n"_ba;
    QTest::newRow("unexpected symbol") << "*x;"_ba
                                       << "Err Id(x) ; EOF()"_ba
                                       << "Line 1: Error: Unexpected symbol '*\r\n"_ba;
    QTest::newRow("unexpected nul") << QByteArray("\0;", 2) << "Err ; EOF()"_ba
                                    << QByteArray("Line 1: Error: Unexpected symbol '\0\r\n", 37);
    QTest::newRow("hex") << "0x1F 0X1F 0xabcdef;"_ba
                         << "Int(31) Int(31) Int(11259375) ; EOF()"_ba << QByteArray();
    QTest::newRow("hex prefix alone") << "0x;"_ba
                                      << "Int(0) ; EOF()"_ba << QByteArray();
    QTest::newRow("hex keeps last eight digits") << "0x123456789 0xFFFFFFFF}"_ba
                                                 << "Int(591751049) Int(-1) } EOF()"_ba << QByteArray();
    QTest::newRow("x only after a lone zero") << "10x;"_ba
                                              << "Err Id(x) ; EOF()"_ba
                                              << "Line 1: Error: Unresolved symbol 'x' in token '10'\r\n"_ba;
    QTest::newRow("hex letter in decimal") << "12a;"_ba
                                           << "Err Id(a) ; EOF()"_ba
                                           << "Line 1: Error: Unresolved symbol 'a' in token '12'\r\n"_ba;
    QTest::newRow("signed integers") << "-5 +7 - +;"_ba
                                     << "Int(-5) Int(7) Int(0) Int(0) ; EOF()"_ba << QByteArray();
    QTest::newRow("number before equals") << "5=1;"_ba
                                          << "Err = Int(1) ; EOF()"_ba
                                          << "Line 1: Error: Unresolved symbol '=' in token '5'\r\n"_ba;
    QTest::newRow("number before terminators") << "5;6}7)8,9\t"_ba
                                               << "Int(5) ; Int(6) } Int(7) ) Int(8) , Int(9) EOF()"_ba << QByteArray();
    QTest::newRow("reals") << "1e5 1.5e-3 .5 -.5 1e+3-2 2.;"_ba
                           << "Real(100000) Real(0.0015) Real(0.5) Real(-0.5) Real(1000) Real(2) ; EOF()"_ba
                           << QByteArray();
    QTest::newRow("zero exponent") << "0e2 0x1e;"_ba
                                   << "Real(0) Int(30) ; EOF()"_ba << QByteArray();
    QTest::newRow("second point") << "1.2.3;"_ba
                                  << "Err Real(0.29999999999999999) ; EOF()"_ba
                                  << "Line 1: Error: Unresolved symbol '.' in token '1.2'\r\n"_ba;
    QTest::newRow("second exponent") << "1e5e;"_ba
                                     << "Err Id(e) ; EOF()"_ba
                                     << "Line 1: Error: Unresolved symbol 'e' in token '1e5'\r\n"_ba;
    QTest::newRow("sign without exponent") << ".5-1;"_ba
                                           << "Err Int(-1) ; EOF()"_ba
                                           << "Line 1: Error: Unresolved symbol '-' in token '.5'\r\n"_ba;
    QTest::newRow("strings") << "\"a b;#{\" \"\" \"\xC0\xFF\"}"_ba
                             << "Str(a b;#{) Str() Str(\xC0\xFF) } EOF()"_ba << QByteArray();
    QTest::newRow("comment") << "# a \"b\" \xC0\r\nx;#end\n"_ba
                             << "Rem( a \"b\" \xC0) Id(x) ; Rem(end) EOF()"_ba << QByteArray();
    QTest::newRow("new line in string") << "x\n\"ab\ncd\";"_ba
                                        << "Id(x) Err Err EOF(;)"_ba
                                        << "Line 3: Error: New line in string 'ab'\r\n"
                                           "Line 3: Error: Unresolved symbol '\"' in token 'cd\r\n"_ba;
    QTest::newRow("integer cut by the end") << "x=12"_ba
                                            << "Id(x) = EOF(12)"_ba << QByteArray();
    QTest::newRow("identifier cut by the end") << "abc"_ba
                                               << "EOF(abc)"_ba << QByteArray();
    QTest::newRow("string cut by the end") << "\"abc"_ba
                                           << "EOF(abc)"_ba << QByteArray();
    QTest::newRow("comment cut by the end") << "#abc"_ba
                                            << "EOF(abc)"_ba << QByteArray();
    QTest::newRow("line break ends the last token") << "abc\r\n12\n"_ba
                                                    << "Id(abc) Int(12) EOF()"_ba << QByteArray();
    QTest::newRow("empty") << QByteArray() << "EOF()"_ba << QByteArray();
    QTest::newRow("blanks only") << " \t\r\n\n\r"_ba
                                 << "EOF()"_ba << QByteArray();
    QTest::newRow("percent in text") << "%\t%"_ba
                                     << "Err Err EOF()"_ba
                                     << "Line 1: Error: Unexpected symbol '%\r\n"
                                        "Line 1: Error: Unexpected symbol '%\r\n"_ba;
}

void TestCfgLexer::tokens()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, tokens);
    QFETCH(QByteArray, log);
    CfgLexer lexer;
    lexer.openBytes(input);
    QCOMPARE(lexAll(lexer), tokens);
    QCOMPARE(lexer.errorLog(), log);
    // End of file stays end of file.
    QCOMPARE(lexer.NextToken().kind, CfgTokenKind::EndOfFile);
}

void TestCfgLexer::lineNumbers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("line");

    QTest::newRow("none") << "*"_ba << 1;
    QTest::newRow("LF") << "\n\n*"_ba << 3;
    QTest::newRow("CR") << "\r\r*"_ba << 3;
    QTest::newRow("CR LF") << "\r\n\r\n*"_ba << 3;
    QTest::newRow("LF CR") << "\n\r\n\r*"_ba << 3;
    QTest::newRow("CR LF then CR") << "\r\n\r*"_ba << 3;
    QTest::newRow("LF CR then CR") << "\n\r\r*"_ba << 3;
    QTest::newRow("CR LF then LF") << "\r\n\n*"_ba << 3;
    QTest::newRow("after identifier") << "abc\r\n*"_ba << 2;
    QTest::newRow("after integer") << "1\n\r*"_ba << 2;
    QTest::newRow("after real") << "1.5\r\r*"_ba << 3;
    QTest::newRow("in comment") << "#x\r\n\n*"_ba << 3;
    QTest::newRow("in string") << "\"a\r\n*"_ba << 2;
    QTest::newRow("token at line end") << "x y\n*"_ba << 2;
}

void TestCfgLexer::lineNumbers()
{
    QFETCH(QByteArray, input);
    QFETCH(int, line);
    CfgLexer lexer;
    lexer.openBytes(input);
    lexAll(lexer);
    const QByteArray prefix = "Line " + QByteArray::number(line) + ": Error: ";
    QVERIFY2(lexer.errorLog().endsWith("Unexpected symbol '*\r\n"), lexer.errorLog().constData());
    const qsizetype last = lexer.errorLog().lastIndexOf("Line ");
    QCOMPARE(lexer.errorLog().mid(last, prefix.size()), prefix);
    QCOMPARE(lexer.lineCounter(), line - 1);
}

void TestCfgLexer::numberValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");

    QTest::newRow("decimal") << "42"_ba << 42 << 42.0;
    QTest::newRow("hex") << "0x1F"_ba << 31 << 0.0;
    QTest::newRow("hex all ones") << "0xFFFFFFFF"_ba << -1 << 0.0;
    QTest::newRow("hex nine digits") << "0x1FFFFFFFF"_ba << -1 << 0.0;
    QTest::newRow("hex prefix alone") << "0x"_ba << 0 << 0.0;
    QTest::newRow("leading blanks") << " \t0x10"_ba << 16 << 0.0;
    QTest::newRow("sign alone") << "-"_ba << 0 << 0.0;
    QTest::newRow("limits") << "2147483647"_ba << INT_MAX << 2147483647.0;
    QTest::newRow("low limit") << "-2147483648"_ba << INT_MIN << -2147483648.0;
    QTest::newRow("overflow saturates") << "99999999999"_ba << INT_MAX << 99999999999.0;
    QTest::newRow("underflow saturates") << "-99999999999"_ba << INT_MIN << -99999999999.0;
    QTest::newRow("exponent sign junk") << "1e+3-2"_ba << 1 << 1000.0;
    QTest::newRow("dangling exponent") << "2e"_ba << 2 << 2.0;
    QTest::newRow("point alone") << "."_ba << 0 << 0.0;
    QTest::newRow("hex float is not taken") << "0x1.8"_ba << 1 << 0.0;
}

void TestCfgLexer::numberValues()
{
    QFETCH(QByteArray, text);
    QFETCH(int, integer);
    QFETCH(double, real);
    QCOMPARE(CfgLexer::integerValue(text), integer);
    QCOMPARE(CfgLexer::realValue(text), real);
}

void TestCfgLexer::realsIgnoreTheUserLocale()
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    const QByteArray saved = old ? QByteArray(old) : QByteArray("C");
    if (!std::setlocale(LC_ALL, "ru_RU.utf8"))
        QSKIP("no locale with a decimal comma installed");
    CfgLexer lexer;
    lexer.openBytes("1.5 2.5e1;"_ba);
    const double a = lexer.NextToken().realValue;
    const double b = lexer.NextToken().realValue;
    std::setlocale(LC_ALL, saved.constData());
    QCOMPARE(a, 1.5);
    QCOMPARE(b, 25.0);
}

void TestCfgLexer::filesLexLikeMemory_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("map") << "# meter map\r\nsection Main\r\n{\r\n    var Flow { type = float; addr = 0x10; }\r\n"
                            "    var Name { type = \"string\"; length = 12; }\r\n}\r\n"_ba;
    QTest::newRow("errors") << "abc}\n\"broken\nx = 1.2.3;\n\xC0 12"_ba;
    // Larger than one read block, so that the blocks join correctly.
    QTest::newRow("large") << QByteArray("var x { addr = 0x1234; }\n").repeated(5000);
}

void TestCfgLexer::filesLexLikeMemory()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"test.map"_s);
    QVERIFY(testsupport::writeFile(path, content));

    CfgLexer fromFile;
    fromFile.openFile(path);
    CfgLexer fromMemory;
    fromMemory.openBytes(content);
    for (;;) {
        const CfgToken a = fromFile.NextToken();
        const CfgToken b = fromMemory.NextToken();
        QCOMPARE(describe(a), describe(b));
        QCOMPARE(fromFile.Tell(), fromMemory.Tell());
        if (a.kind == CfgTokenKind::EndOfFile)
            break;
    }
    QCOMPARE(fromFile.errorLog(), fromMemory.errorLog());
    QCOMPARE(fromFile.lineCounter(), fromMemory.lineCounter());
}

void TestCfgLexer::fileErrors()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CfgLexer lexer;
    try {
        lexer.openFile(dir.filePath(u"missing.map"_s));
        QFAIL("a missing file was opened");
    } catch (const CfgException& e) {
        QCOMPARE(e.code(), ENOENT);
        QVERIFY(e.message().isEmpty());
    }
    QVERIFY(!lexer.isOpen());
    try {
        lexer.openFile(dir.path());
        QFAIL("a folder was read as a map");
    } catch (const CfgException& e) {
        QCOMPARE(e.code(), EISDIR);
    }
    QVERIFY(!lexer.isOpen());
    try {
        lexer.NextToken();
        QFAIL("a token without a source");
    } catch (const CfgException& e) {
        QCOMPARE(e.code(), EBADF);
    }
}

void TestCfgLexer::readerSemantics()
{
    CfgLexer lexer;
    lexer.openBytes("ab"_ba);
    try {
        lexer.UnreadChar();
        QFAIL("unread before the first byte");
    } catch (const CfgException& e) {
        QCOMPARE(e.code(), EINVAL);
    }
    QCOMPARE(lexer.ReadChar(), 'a');
    QCOMPARE(lexer.ReadChar(), 'b');
    QVERIFY_THROWS_EXCEPTION(CfgEofException, lexer.ReadChar());
    QCOMPARE(lexer.Tell(), 2);
    lexer.UnreadChar();
    QCOMPARE(lexer.ReadChar(), 'b');
    lexer.SeekTo(10);
    QVERIFY_THROWS_EXCEPTION(CfgEofException, lexer.ReadChar());
    QCOMPARE(lexer.NextToken().kind, CfgTokenKind::EndOfFile);
    QCOMPARE(lexer.Tell(), 10);
    lexer.SeekTo(0);
    QCOMPARE(describe(lexer.NextToken()), "EOF(ab)"_ba);
    QVERIFY_THROWS_EXCEPTION(CfgException, lexer.SeekTo(-1));

    // The parser rewinds to re-read a token.
    lexer.openBytes("one two;"_ba);
    QCOMPARE(describe(lexer.NextToken()), "Id(one)"_ba);
    const qint64 mark = lexer.Tell();
    QCOMPARE(describe(lexer.NextToken()), "Id(two)"_ba);
    lexer.SeekTo(mark);
    QCOMPARE(describe(lexer.NextToken()), "Id(two)"_ba);

    lexer.close();
    QVERIFY_THROWS_EXCEPTION(CfgException, lexer.ReadChar());
}

void TestCfgLexer::toString_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("brace") << int(CfgTokenKind::LBrace) << QByteArray() << "{"_ba;
    QTest::newRow("comma") << int(CfgTokenKind::Comma) << QByteArray() << ","_ba;
    QTest::newRow("end of file ignores pending text") << int(CfgTokenKind::EndOfFile) << "12"_ba
                                                      << "End Of File"_ba;
    QTest::newRow("keyword as written") << int(CfgTokenKind::Address) << "address"_ba
                                        << "address"_ba;
    QTest::newRow("string") << int(CfgTokenKind::String) << "\xC0 b"_ba
                            << "\xC0 b"_ba;
    QTest::newRow("fresh token") << int(CfgTokenKind::Error) << QByteArray() << QByteArray();
}

void TestCfgLexer::toString()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    const CfgToken token(static_cast<CfgTokenKind>(kind), text);
    QCOMPARE(token.ToString(), expected);
    QCOMPARE(CfgToken().kind, CfgTokenKind::Error);
}

QTEST_GUILESS_MAIN(TestCfgLexer)
#include "TestCfgLexer.moc"
