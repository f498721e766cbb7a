#include <cerrno>

#include <QTest>

#include "TestSupport.h"
#include "cfgmap/CfgException.h"
#include "cfgmap/CfgMgr.h"

using namespace Qt::Literals::StringLiterals;

namespace {

struct Parsed
{
    CfgMgr mgr;
    int result = 0;
};

// Parses the bytes as a whole map, the way an account loads its map file.
std::unique_ptr<Parsed> parse(const QByteArray& map)
{
    auto p = std::make_unique<Parsed>();
    p->mgr.openBytes(map);
    p->result = p->mgr.ParseSection(p->mgr.root(), p->mgr.root());
    p->mgr.close();
    return p;
}

const CfgVar* findVar(const CfgSection& section, const QByteArray& name)
{
    for (const CfgVar& v : section.vars) {
        if (v.GetName() == name)
            return &v;
    }
    return nullptr;
}

QByteArray nested(int levels)
{
    return QByteArray("section { ").repeated(levels) + QByteArray("} ").repeated(levels);
}

} // namespace

class TestCfgParser : public QObject
{
    Q_OBJECT

private slots:
    void exampleMap();
    void messages_data();
    void messages();
    void lookaheadKeepsLog();
    void recursionLimit_data();
    void recursionLimit();
    void duplicateSectionStaysInTree();
    void generatedNames();
    void metaItems();
    void parsedValues_data();
    void parsedValues();
    void setValueFromText_data();
    void setValueFromText();
    void setTypeResults_data();
    void setTypeResults();
    void getBytes();
    void resetAndOpen();
    void readFailureEndsSection();
};

void TestCfgParser::exampleMap()
{
    CfgMgr mgr;
    mgr.SetFileName(QByteArray(CFGMAP_DATA_DIR "/example.map"));
    QCOMPARE(mgr.Open(), 0);
    QCOMPARE(mgr.Open(), -2);
    QCOMPARE(mgr.ParseSection(mgr.root(), mgr.root()), 0);
    mgr.Close();
    QCOMPARE(mgr.errorLog(), QByteArray());
    QCOMPARE(mgr.depth(), 0);

    const CfgSection& root = mgr.root();
    QCOMPARE(root.GetName(), QByteArray("_!ROOT!_"));
    QCOMPARE(root.metas.size(), 1u);
    QCOMPARE(root.metas[0].GetName(), QByteArray("AdjByteOrder"));
    QCOMPARE(root.metas[0].entries.size(), 3u);
    QCOMPARE(root.FindMeta("AdjByteOrder"), 0);
    QCOMPARE(root.sections.size(), 1u);

    const CfgSection& common = root.sections[0];
    QCOMPARE(common.GetName(), QByteArray("Common"));
    QCOMPARE(common.displayName, QByteArray("Common settings"));
    QCOMPARE(common.vars.size(), 7u);

    const CfgVar* heating = findVar(common, "Heating");
    QVERIFY(heating);
    QCOMPARE(heating->GetType(), std::uint8_t(CfgType::Bit));
    QCOMPARE(heating->displayName, QByteArray("Heating on"));
    QCOMPARE(heating->address, 4);
    QCOMPARE(findVar(common, "Cooling")->bitOffset, 1);
    QCOMPARE(findVar(common, "Serial")->displayName, QByteArray("Serial number"));

    const CfgVar* owner = findVar(common, "Owner");
    QCOMPARE(owner->length, 16);
    QCOMPARE(owner->ValueToString(), QByteArray("none"));
    QCOMPARE(findVar(common, "Limits")->ValueToString(), QByteArray("{1, 2, 3}"));

    const CfgVar* energy = findVar(common, "Energy");
    QCOMPARE(energy->accessLevel, 255);
    QCOMPARE(energy->metas.size(), 2u);
    QCOMPARE(energy->FindMeta("Units"), 1);
    QCOMPARE(energy->metas[1].entries.back(), CfgMeta::Entry("default", "Gcal"));

    const CfgVar* mode = findVar(common, "Mode");
    QCOMPARE(mode->metas[0].entries.size(), 4u);
    QCOMPARE(mode->metas[0].FindEntry("On", CfgMeta::Match::Value), 3);
}

void TestCfgParser::messages_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QByteArray>("log");

    // Section bodies and headers.
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("stray brace ends map") << QByteArray("} section A { 5 }") << QByteArray();
    QTest::newRow("unexpected with text")
        << QByteArray("\n\n5 ") << QByteArray("Line 3: Syntax error: unexpected token '5'\r\n");
    QTest::newRow("unexpected without text")
        << QByteArray(";") << QByteArray("Line 1: Syntax error: unexpected token\r\n");
    QTest::newRow("section no brace") << QByteArray("section A ; }")
                                      << QByteArray("Line 1: Syntax error: '{' expected after 'section A'\r\n");
    QTest::newRow("section bad header") << QByteArray(
        "section = ") << QByteArray("Line 1: Syntax error: unexpected token after 'section' keyword\r\n");
    QTest::newRow("var bad header") << QByteArray("var 5 {}")
                                    << QByteArray("Line 1: Syntax error: unexpected token after 'var' keyword\r\n"
                                                  "Line 1: Syntax error: unexpected token\r\n");
    QTest::newRow("var no brace") << QByteArray("var a\n;")
                                  << QByteArray("Line 2: Syntax error: '{' expected after 'variable a'\r\n");
    QTest::newRow("var duplicate") << QByteArray("var a {}\nvar a {}")
                                   << QByteArray("Line 2: Error: variable 'a' is already declared int this section\r\n"
                                                 "Line 2: Syntax error: unexpected token\r\n");
    QTest::newRow("var same name other section") << QByteArray("var a {} section S { var a {} }") << QByteArray();

    // Shape checks, in their order.
    QTest::newRow("name two tokens") << QByteArray("name \"x\";") << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("name four tokens") << QByteArray("name = \"x\" \"y\";") << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("name no equals") << QByteArray("name ( \"x\";")
                                    << QByteArray("Line 1: Syntax error: '='expected\r\n");
    QTest::newRow("name cut by eof") << QByteArray("name = \"x\"")
                                     << QByteArray("Line 1: Syntax error: ';' expected\r\n");
    QTest::newRow("section name not string")
        << QByteArray("name = x;") << QByteArray("Line 1: Syntax error: name expected\r\n");
    QTest::newRow("var name not string") << QByteArray("var a { name = 1; }")
                                         << QByteArray("Line 1: Syntax error: string expected\r\n");
    QTest::newRow("access level word")
        << QByteArray("access_level = boss;")
        << QByteArray("Line 1: Warning: 'user', 'advanced', 'admin' or integer is expected\r\n");
    QTest::newRow("access level string")
        << QByteArray("var a { acclevel = \"admin\"; }")
        << QByteArray("Line 1: Warning: 'user', 'advanced', 'admin' or integer is expected\r\n");
    QTest::newRow("addr not integer") << QByteArray("var a { addr = 1.5; }")
                                      << QByteArray("Line 1: Syntax error: integer value expected\r\n");
    QTest::newRow("offset on uint") << QByteArray("var a { type = uint;\noffset = 1; }")
                                    << QByteArray(
                                           "Line 2: Warning: 'Offset' value has effect only for bit variables\r\n");
    QTest::newRow("offset before type") << QByteArray("var a { offset = 1; type = bit; }")
                                        << QByteArray(
                                               "Line 1: Warning: 'Offset' value has effect only for bit variables\r\n");
    QTest::newRow("offset 9 on bit") << QByteArray("var a { type = bit; offset = 9; }")
                                     << QByteArray("Line 1: Warning: 'Offset' value more than 7\r\n");
    QTest::newRow("length on uint") << QByteArray("var a { type = uint; length = 4; }")
                                    << QByteArray(
                                           "Line 1: Warning: 'length' value has effect only for string variables\r\n");

    // Types.
    QTest::newRow("zero array") << QByteArray("var a { type = array(int, 0); }")
                                << QByteArray("Line 1: Arrays of zero size aren't allowed\r\n");
    QTest::newRow("negative array") << QByteArray("var a { type = array(int, -1); }")
                                    << QByteArray("Line 1: Array size out of range: -1\r\n");
    QTest::newRow("huge array") << QByteArray("var a { type = array(double, 2000000000); }")
                                << QByteArray("Line 1: Array size out of range: 2000000000\r\n");
    QTest::newRow("array of bit") << QByteArray("var a { type = array(bit, 2); }")
                                  << QByteArray("Line 1: Undefined type: 'bit'\r\n");
    QTest::newRow("array of string") << QByteArray("var a { type = array(string, 2); }")
                                     << QByteArray("Line 1: Undefined type: 'string'\r\n");
    QTest::newRow("word") << QByteArray("var a { type = word; }") << QByteArray("Line 1: Undefined type: 'word'\r\n");
    QTest::newRow("type number") << QByteArray("var a { type = 5; }")
                                 << QByteArray("Line 1: Syntax error: type name expected\r\n");
    QTest::newRow("type four tokens") << QByteArray("var a { type = uint x; }")
                                      << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("array missing comma") << QByteArray("var a { type = array(int 2) x; }")
                                         << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("type no equals")
        << QByteArray("var a { type : uint; }")
        << QByteArray("Line 1: Error: Unexpected symbol ':\r\nLine 1: Syntax error: '='expected\r\n");

    // Values.
    QTest::newRow("value before type") << QByteArray(
        "var a { value = 1; }") << QByteArray("Line 1: Unable to set default value unless the type will be set\r\n");
    QTest::newRow("value two numbers") << QByteArray("var a { type = int; value = 1 2; }")
                                       << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("value no equals") << QByteArray("var a { type = int; value 1 2; }")
                                     << QByteArray("Line 1: Syntax error: '='expected\r\n");
    QTest::newRow("array value scalar") << QByteArray("var a { type = array(int, 2); value = 1; }")
                                        << QByteArray("Line 1: Syntax error\r\n");
    QTest::newRow("array value no brace") << QByteArray("var a { type = array(int, 2); value = 1, 2; }")
                                          << QByteArray("Line 1: Syntax error: '{'expected\r\n");
    QTest::newRow("array value no closing") << QByteArray("var a { type = array(int, 2); value = { 1, 2; }")
                                            << QByteArray("Line 1: Syntax error: '}'expected\r\n");
    QTest::newRow("array value no comma")
        << QByteArray("var a { type = array(int, 2); value = { 1 2 }; }") << QByteArray("Line 1: ',' expected\r\n");
    QTest::newRow("array value not number") << QByteArray("var a { type = array(int, 2); value = { 1, x }; }")
                                            << QByteArray("Line 1: Integer or float value expected\r\n");
    QTest::newRow("var unexpected keyword")
        << QByteArray("var a { section }\n}") << QByteArray("Line 1: Syntax error: unexpected token 'section'\r\n");

    // Metas.
    QTest::newRow("meta no paren") << QByteArray("meta x")
                                   << QByteArray("Line 1: Syntax error: '(' expected after 'meta' keyword\r\n");
    QTest::newRow("meta semicolon") << QByteArray("meta (a;")
                                    << QByteArray("Line 1: Syntax error: ')' expected before ';'\r\n");
    QTest::newRow("meta bad token") << QByteArray("meta (a = 5)")
                                    << QByteArray("Line 1: Syntax error: unexpeced token '5'\r\n"
                                                  "Line 1: Syntax error: unexpected token\r\n");
    QTest::newRow("meta cut by eof") << QByteArray("meta (a")
                                     << QByteArray("Line 1: Syntax error: unexpeced token 'End Of File'\r\n");
    QTest::newRow("meta empty item") << QByteArray("meta ()")
                                     << QByteArray("Line 1: Syntax error: unexpeced token ')'\r\n");
    QTest::newRow("meta starts with equals")
        << QByteArray("meta (= \"x\")") << QByteArray("Line 1: Syntax error: unexpeced token '='\r\n");
    QTest::newRow("meta three tokens") << QByteArray("meta (a b)")
                                       << QByteArray("Line 1: Syntax error after 'name' token\r\n");
    QTest::newRow("meta no equals") << QByteArray("meta (a b c)")
                                    << QByteArray("Line 1: Syntax error: '='expected after 'name' token\r\n");
    QTest::newRow("meta not string") << QByteArray("meta (a = b)")
                                     << QByteArray("Line 1: Syntax error: string expected after 'name' token\r\n");
    QTest::newRow("meta duplicate") << QByteArray("meta (a, b = \"1\",\n a)")
                                    << QByteArray("Line 2: Error: meta value 'a' has been already defined\r\n");
    QTest::newRow("meta renamed") << QByteArray("meta (name = \"x\", name = \"y\")")
                                  << QByteArray("Line 1: Warning: name of meta was replaced by 'y'\r\n");
    QTest::newRow("meta lookahead line") << QByteArray("meta (a)\n\n5 ")
                                         << QByteArray("Line 3: Syntax error: unexpected token '5'\r\n");
}

void TestCfgParser::messages()
{
    QFETCH(QByteArray, map);
    QFETCH(QByteArray, log);
    testsupport::MessageRecorder box;
    const auto p = parse(map);
    QCOMPARE(p->mgr.errorLog(), log);
    QCOMPARE(p->mgr.depth(), 0);
    QVERIFY(box->shown().empty());
}

void TestCfgParser::lookaheadKeepsLog()
{
    // The look-ahead for ";" after a meta must not log the next token's lexical error twice.
    CfgLexer lexer;
    lexer.openBytes(": ");
    lexer.NextToken();
    const QByteArray lexical = lexer.errorLog();
    QVERIFY(!lexical.isEmpty());
    const auto p = parse("meta (a) : ");
    QCOMPARE(p->mgr.errorLog(), lexical + "Line 1: Syntax error: unexpected token\r\n");
}

void TestCfgParser::recursionLimit_data()
{
    QTest::addColumn<int>("levels");
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("49 below root") << 49 << QByteArray();
    QTest::newRow("50 below root") << 50
                                   << QByteArray("Line 1: System error: recursion level greater than 50\r\n"
                                                 "Line 1: Syntax error: unexpected token\r\n");
}

void TestCfgParser::recursionLimit()
{
    QFETCH(int, levels);
    QFETCH(QByteArray, log);
    // The extra "}" proves the deepest section's tokens went to its parent, not further up.
    const auto p = parse(nested(levels) + "var after {}");
    QCOMPARE(p->mgr.errorLog(), log);
    QCOMPARE(p->mgr.depth(), 0);
    int depth = 0;
    for (const CfgSection* s = &p->mgr.root(); !s->sections.empty(); s = &s->sections[0])
        ++depth;
    QCOMPARE(depth, levels);
    QCOMPARE(p->mgr.root().vars.size(), levels == 49 ? 1u : 0u);
}

void TestCfgParser::duplicateSectionStaysInTree()
{
    const auto p = parse("section A { }\nsection A { var x {} }\nvar y {}");
    QCOMPARE(p->mgr.errorLog(),
             QByteArray("Line 2: Error: section 'A' is already declared in this section\r\n"
                        "Line 2: Syntax error: unexpected token\r\n"));
    const CfgSection& root = p->mgr.root();
    QCOMPARE(root.sections.size(), 2u);
    QCOMPARE(root.sections[1].GetName(), QByteArray());
    QVERIFY(findVar(root, "x"));
    QVERIFY(!findVar(root, "y")); // the duplicate's "}" ended the map
}

void TestCfgParser::generatedNames()
{
    const std::uint32_t n = CfgMgr::nameCounter();
    const QByteArray taken = "_Section" + QByteArray::number(n);
    const auto first = parse("section " + taken + " {} section {} section { name = \"Shown\"; } var {}");
    QCOMPARE(first->mgr.errorLog(), QByteArray());
    const CfgSection& root = first->mgr.root();
    QCOMPARE(root.sections[1].GetName(), "_Section" + QByteArray::number(n + 1));
    QCOMPARE(root.sections[2].GetName(), "_Section" + QByteArray::number(n + 2));
    QCOMPARE(root.sections[2].displayName, QByteArray("Shown"));
    QCOMPARE(root.vars[0].GetName(), "_Var" + QByteArray::number(n + 3));
    QCOMPARE(CfgMgr::nameCounter(), n + 4);

    // The counter is never reset: the same map loaded again gets new names.
    const auto second = parse("section {}");
    QCOMPARE(second->mgr.root().sections[0].GetName(), "_Section" + QByteArray::number(n + 4));
}

void TestCfgParser::metaItems()
{
    const auto p = parse("var v { meta ( a, b = \"x\", name = \"M\" ); meta (name) }");
    QCOMPARE(p->mgr.errorLog(), QByteArray());
    const CfgVar& v = p->mgr.root().vars[0];
    QCOMPARE(v.metas.size(), 2u);
    const CfgMeta& m = v.metas[0];
    QCOMPARE(m.GetName(), QByteArray("M"));
    QCOMPARE(m.entries.size(), 2u);
    QCOMPARE(m.entries[0], CfgMeta::Entry("a", ""));
    QCOMPARE(m.entries[1], CfgMeta::Entry("b", "x"));
    QCOMPARE(m.FindEntry("x", CfgMeta::Match::Value), 1);
    QCOMPARE(m.FindEntry("x"), -1);
    QCOMPARE(v.metas[1].GetName(), QByteArray());
    QVERIFY(v.metas[1].entries.empty());
}

void TestCfgParser::parsedValues_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("array partial") << QByteArray("type = array(short, 4); value = { 1, -2 };")
                                   << QByteArray("{1, -2, 0, 0}");
    QTest::newRow("array cut at missing comma")
        << QByteArray("type = array(int, 3); value = { 7 8, 9 };") << QByteArray("{7, 0, 0}");
    QTest::newRow("array reals") << QByteArray("type = array(float, 2); value = { 1.5, 2 };") << QByteArray("{1.5, 2}");
    QTest::newRow("bit 2") << QByteArray("type = bit; value = 2;") << QByteArray("0");
    QTest::newRow("ushort hex") << QByteArray("type = ushort; value = 0x10;") << QByteArray("16");
    QTest::newRow("string cut") << QByteArray("type = string; length = 3; value = \"abcdef\";") << QByteArray("abc");
    QTest::newRow("retype drops array") << QByteArray("type = array(int, 2); type = long; value = -3;")
                                        << QByteArray("-3");
    QTest::newRow("access words") << QByteArray("type = int; access_level = advanced;") << QByteArray("0");
}

void TestCfgParser::parsedValues()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, value);
    const auto p = parse("var v { " + body + " }");
    const CfgVar& v = p->mgr.root().vars.at(0);
    QCOMPARE(v.ValueToString(), value);
    if (QByteArray(QTest::currentDataTag()) == "retype drops array")
        QCOMPARE(v.GetSize(), 4);
    if (QByteArray(QTest::currentDataTag()) == "access words")
        QCOMPARE(v.accessLevel, 1);
}

void TestCfgParser::setValueFromText_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("none") << QByteArray("none") << QByteArray() << 0 << QByteArray("1") << -1 << QByteArray();
    QTest::newRow("uchar wraps") << QByteArray("uchar") << QByteArray() << 0 << QByteArray("-1") << 0
                                 << QByteArray("255");
    QTest::newRow("char signed") << QByteArray("char") << QByteArray() << 0 << QByteArray("255") << 0
                                 << QByteArray("-1");
    QTest::newRow("short signed") << QByteArray("short") << QByteArray() << 0 << QByteArray("40000") << 0
                                  << QByteArray("-25536");
    QTest::newRow("ulong") << QByteArray("ulong") << QByteArray() << 0 << QByteArray("-1") << 0
                           << QByteArray("4294967295");
    QTest::newRow("int hex") << QByteArray("int") << QByteArray() << 0 << QByteArray("0xFFFFFFFF") << 0
                             << QByteArray("-1");
    QTest::newRow("double") << QByteArray("double") << QByteArray() << 0 << QByteArray("1e10") << 0
                            << QByteArray("1e+10");
    QTest::newRow("bit 1") << QByteArray("bit") << QByteArray() << 0 << QByteArray("1") << 0 << QByteArray("1");
    QTest::newRow("bit 256 is 0") << QByteArray("bit") << QByteArray() << 0 << QByteArray("256") << 0
                                  << QByteArray("0");
    QTest::newRow("bit 3") << QByteArray("bit") << QByteArray() << 0 << QByteArray("3") << -5 << QByteArray("0");
    QTest::newRow("string whole") << QByteArray("string") << QByteArray() << 0 << QByteArray("abc") << 0
                                  << QByteArray("abc");
    QTest::newRow("array spaces") << QByteArray("array") << QByteArray("uchar") << 3 << QByteArray("x{ 1 ,\t300 }y")
                                  << 0 << QByteArray("{1, 44, 0}");
    QTest::newRow("array surplus") << QByteArray("array") << QByteArray("char") << 2 << QByteArray("{1,2,3}") << 0
                                   << QByteArray("{1, 2}");
    QTest::newRow("array empty list") << QByteArray("array") << QByteArray("double") << 1 << QByteArray("{}") << 0
                                      << QByteArray("{0}");
    QTest::newRow("array no braces") << QByteArray("array") << QByteArray("int") << 2 << QByteArray("1,2") << -3
                                     << QByteArray("{0, 0}");
    QTest::newRow("array unclosed") << QByteArray("array") << QByteArray("int") << 2 << QByteArray("{1,2") << -3
                                    << QByteArray("{0, 0}");
}

void TestCfgParser::setValueFromText()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, element);
    QFETCH(int, count);
    QFETCH(QByteArray, text);
    QFETCH(int, result);
    QFETCH(QByteArray, shown);
    CfgVar v;
    v.SetType(type, element, count);
    QCOMPARE(v.SetValueFromText(text), result);
    QCOMPARE(v.ValueToString(), shown);
}

void TestCfgParser::setTypeResults_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("size");
    QTest::newRow("word") << QByteArray("word") << QByteArray() << 0 << -1 << 0;
    QTest::newRow("string") << QByteArray("string") << QByteArray() << 0 << 0 << 0;
    QTest::newRow("zero") << QByteArray("array") << QByteArray("int") << 0 << -2 << 0;
    QTest::newRow("element unknown") << QByteArray("array") << QByteArray("array") << 2 << -1 << 0;
    QTest::newRow("negative") << QByteArray("array") << QByteArray("int") << -2 << -3 << 0;
    QTest::newRow("too big") << QByteArray("array") << QByteArray("double") << 131073 << -3 << 0;
    QTest::newRow("largest") << QByteArray("array") << QByteArray("double") << 131072 << 0 << 1048576;
    QTest::newRow("double") << QByteArray("double") << QByteArray() << 0 << 0 << 8;
}

void TestCfgParser::setTypeResults()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, element);
    QFETCH(int, count);
    QFETCH(int, result);
    QFETCH(int, size);
    CfgVar v;
    QCOMPARE(v.SetType(type, element, count), result);
    QCOMPARE(v.GetSize(), qsizetype(size));
    QCOMPARE(v.GetBytes().size(), qsizetype(size));
}

void TestCfgParser::getBytes()
{
    CfgVar v;
    QVERIFY(v.GetBytes().isNull());
    QCOMPARE(v.ValueToString(), QByteArray());
    QCOMPARE(v.elementTypeName(), QByteArray("unknown"));

    v.SetType("ushort", {}, 0);
    v.SetValueFromText("0x1234");
    QCOMPARE(v.GetBytes(), QByteArray("\x34\x12", 2));

    v.SetType("string", {}, 0);
    v.length = 4;
    v.SetValueFromText("ab");
    QCOMPARE(v.GetBytes(), QByteArray("ab\0\0", 4));

    v.SetType("array", "short", 2);
    QCOMPARE(v.elementTypeName(), QByteArray("short"));
    v.SetValueFromText("{-1, 2}");
    QCOMPARE(v.GetBytes(), QByteArray("\xff\xff\x02\x00", 4));
    QCOMPARE(CfgVar::typeName(12), QByteArray("unknown"));
}

void TestCfgParser::resetAndOpen()
{
    CfgMgr mgr;
    QCOMPARE(mgr.Open(), -3);
    mgr.SetFileName(QByteArray(CFGMAP_DATA_DIR "/no-such.map"));
    try {
        mgr.Open();
        QFAIL("no exception");
    } catch (const CfgException& e) {
        QCOMPARE(e.code(), ENOENT);
    }
    QVERIFY(!mgr.isFileOpen());

    mgr.openBytes("meta (name = \"m\") section A {} ;");
    mgr.ParseSection(mgr.root(), mgr.root());
    QVERIFY(!mgr.errorLog().isEmpty());
    mgr.root().keyName = "other";
    mgr.Reset();
    QCOMPARE(mgr.root().GetName(), QByteArray("_!ROOT!_"));
    QVERIFY(mgr.root().sections.empty());
    QCOMPARE(mgr.root().metas.size(), 1u);
    QCOMPARE(mgr.errorLog(), QByteArray());
    QCOMPARE(mgr.lineCounter(), 0);
}

void TestCfgParser::readFailureEndsSection()
{
    testsupport::MessageRecorder box;
    CfgMgr mgr; // nothing open: the first read fails
    QCOMPARE(mgr.ParseSection(mgr.root(), mgr.root()), int(CfgParseException::SystemError));
    QCOMPARE(mgr.depth(), 0);
    QCOMPARE(box->texts(), QStringList{ u"CfgException: "_s });
}

QTEST_GUILESS_MAIN(TestCfgParser)
#include "TestCfgParser.moc"
