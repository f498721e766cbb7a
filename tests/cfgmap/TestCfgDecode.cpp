#include <QTest>

#include "TestSupport.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"

namespace {

std::unique_ptr<CfgMgr> parse(const QByteArray& map)
{
    auto mgr = std::make_unique<CfgMgr>();
    mgr->openBytes(map);
    mgr->ParseSection(mgr->root(), mgr->root());
    mgr->close();
    return mgr;
}

CfgVar* findVar(CfgMgr& mgr, const QByteArray& name)
{
    for (CfgVar* v : cfgmap::orderedVariables(mgr.root())) {
        if (v->GetName() == name)
            return v;
    }
    return nullptr;
}

} // namespace

class TestCfgDecode : public QObject
{
    Q_OBJECT

private slots:
    void decodedValues_data();
    void decodedValues();
    void orderIsDepthFirst();
    void overlaps_data();
    void overlaps();
    void untypedVariables();
    void formatLine_data();
    void formatLine();
    void scaledValuesFromMemory_data();
    void scaledValuesFromMemory();
    void selectedUnitStays();
};

void TestCfgDecode::decodedValues_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QByteArray>("block"); // hex
    QTest::addColumn<QByteArray>("value");

    const QByteArray onlyUShort = "meta ( name = \"AdjByteOrder\", t1 = \"ushort\" );\n";
    QTest::newRow("uint big-endian without meta") << QByteArray("var v { type = uint; addr = 0; }")
                                                  << QByteArray("01020304") << QByteArray("16909060");
    QTest::newRow("uint kept when meta lists only ushort")
        << onlyUShort + "var v { type = uint; addr = 0; }" << QByteArray("01020304") << QByteArray("67305985");
    QTest::newRow("ushort swapped when listed")
        << onlyUShort + "var v { type = ushort; addr = 0; }" << QByteArray("0102") << QByteArray("258");
    QTest::newRow("meta keys do not matter")
        << QByteArray("meta ( name = \"AdjByteOrder\", ushort = \"int\" ); var v { type = ushort; addr = 0; }")
        << QByteArray("0102") << QByteArray("513");
    QTest::newRow("ulong listed as uint")
        << QByteArray("meta ( name = \"AdjByteOrder\", a = \"uint\" ); var v { type = ulong; addr = 0; }")
        << QByteArray("01020304") << QByteArray("16909060");
    QTest::newRow("short negative") << QByteArray("var v { type = short; addr = 1; }") << QByteArray("00fffe")
                                    << QByteArray("-2");
    QTest::newRow("int negative") << QByteArray("var v { type = int; addr = 0; }") << QByteArray("fffffffe")
                                  << QByteArray("-2");
    QTest::newRow("char") << QByteArray("var v { type = char; addr = 0; }") << QByteArray("ff") << QByteArray("-1");
    QTest::newRow("float big-endian") << QByteArray("var v { type = float; addr = 0; }") << QByteArray("3fc00000")
                                      << QByteArray("1.5");
    QTest::newRow("double never swapped") << QByteArray("var v { type = double; addr = 0; }")
                                          << QByteArray("000000000000f83f") << QByteArray("1.5");
    QTest::newRow("ushort array element by element")
        << QByteArray("var v { type = array(ushort, 4); addr = 0; }") << QByteArray("0001000200030004")
        << QByteArray("{1, 2, 3, 4}");
    QTest::newRow("double array not swapped") << QByteArray("var v { type = array(double, 1); addr = 0; }")
                                              << QByteArray("000000000000f83f") << QByteArray("{1.5}");
    QTest::newRow("array of uint not listed")
        << onlyUShort + "var v { type = array(uint, 2); addr = 0; }" << QByteArray("0100000002000000")
        << QByteArray("{1, 2}");
    QTest::newRow("string cut at zero") << QByteArray("var v { type = string; length = 8; addr = 1; }")
                                        << QByteArray("00616263006465666768") << QByteArray("abc");
    QTest::newRow("string without length") << QByteArray("var v { type = string; addr = 0; value = \"x\"; }")
                                           << QByteArray("41") << QByteArray("");
    QTest::newRow("ends at the last byte") << QByteArray("var v { type = ushort; addr = 2; }")
                                           << QByteArray("00000102") << QByteArray("258");
    QTest::newRow("one byte past the end") << QByteArray("var v { type = ushort; addr = 3; }")
                                           << QByteArray("00000102") << QByteArray("65535");
    QTest::newRow("address wraps") << QByteArray("var v { type = uint; addr = -1; }") << QByteArray("00000000")
                                   << QByteArray("4294967295");
    QTest::newRow("array larger than the scratch")
        << QByteArray("var v { type = array(uchar, 1500); addr = 0; }") << QByteArray("00")
        << QByteArray("{255") + QByteArray(", 255").repeated(1499) + "}";
    QTest::newRow("bit 0 of 02") << QByteArray("var v { type = bit; addr = 0; offset = 0; }") << QByteArray("02")
                                 << QByteArray("0");
    QTest::newRow("bit 1 of 02") << QByteArray("var v { type = bit; addr = 0; offset = 1; }") << QByteArray("02")
                                 << QByteArray("1");
    QTest::newRow("bit 7 of 80") << QByteArray("var v { type = bit; addr = 0; offset = 7; }") << QByteArray("80")
                                 << QByteArray("1");
    QTest::newRow("bit offset 9") << QByteArray("var v { type = bit; addr = 0; offset = 9; }") << QByteArray("ff")
                                  << QByteArray("0");
}

void TestCfgDecode::decodedValues()
{
    QFETCH(QByteArray, map);
    QFETCH(QByteArray, block);
    QFETCH(QByteArray, value);
    auto mgr = parse(map);
    QString log;
    QCOMPARE(cfgmap::DecodeBlock(*mgr, QByteArray::fromHex(block), log), 0);
    QCOMPARE(log, QString());
    CfgVar* v = findVar(*mgr, "v");
    QVERIFY(v);
    QCOMPARE(cfgmap::valueText(*v), value);
}

void TestCfgDecode::orderIsDepthFirst()
{
    auto mgr = parse("var a {} section S { section T { var d {} } var b {} } var c {} section U { var e {} }");
    QByteArrayList names;
    for (const CfgVar* v : cfgmap::orderedVariables(mgr->root()))
        names << v->GetName();
    QCOMPARE(names, QByteArrayList({"a", "c", "b", "d", "e"}));
    QCOMPARE(cfgmap::countVariables(mgr->root()), 5);
    QCOMPARE(cfgmap::countSections(mgr->root()), 3);
}

void TestCfgDecode::overlaps_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("log");

    auto clash = [](const char* a, int x, const char* b, int y) {
        return QStringLiteral("Variable %1 (address %2) intersects variable %3 (address %4)\r\n")
            .arg(QLatin1StringView(a))
            .arg(x)
            .arg(QLatin1StringView(b))
            .arg(y);
    };
    QTest::newRow("bits with different offsets")
        << QByteArray("var a { type = bit; addr = 4; offset = 0; } var b { type = bit; addr = 4; offset = 1; }")
        << true << QString();
    QTest::newRow("bits with equal offsets")
        << QByteArray("var a { type = bit; addr = 4; offset = 1; } var b { type = bit; addr = 4; offset = 1; }")
        << false << clash("a", 4, "b", 4);
    QTest::newRow("bit and uchar") << QByteArray("var a { type = bit; addr = 4; } var b { type = uchar; addr = 4; }")
                                   << false << clash("a", 4, "b", 4);
    QTest::newRow("adjacent") << QByteArray("var a { type = uint; addr = 0; } var b { type = ushort; addr = 4; }")
                              << true << QString();
    QTest::newRow("last byte shared")
        << QByteArray("var a { type = uint; addr = 0; } var b { type = ushort; addr = 3; }") << false
        << clash("a", 0, "b", 3);
    QTest::newRow("inside") << QByteArray("var a { type = array(uchar, 10); addr = 0; } var b { type = uchar; addr = 5; }")
                            << false << clash("a", 0, "b", 5);
    QTest::newRow("size 0 touches nothing")
        << QByteArray("var a { type = string; addr = 10; } var b { type = uchar; addr = 10; }"
                      " var c { type = uchar; addr = 9; }")
        << true << QString();
    QTest::newRow("size 0 at address 0")
        << QByteArray("var a { } var b { type = uint; addr = 0; } var c { type = string; addr = 0; }") << true
        << QString();
    QTest::newRow("size 0 inside a wider variable")
        << QByteArray("var a { type = ushort; addr = 9; } var b { type = string; addr = 10; }") << true << QString();
    QTest::newRow("every pair reported")
        << QByteArray("var a { type = uint; addr = 0; } section S { var b { type = ushort; addr = 2; } }"
                      " var c { type = uchar; addr = 3; }")
        << false
        << clash("a", 0, "c", 3) + clash("a", 0, "b", 2)
            + clash("c", 3, "b", 2);
    QTest::newRow("no variables appends to the log") << QByteArray("section S { }") << false
                                                     << QStringLiteral("old\r\nWrong configuration. No variables set.\r\n");
}

void TestCfgDecode::overlaps()
{
    QFETCH(QByteArray, map);
    QFETCH(bool, ok);
    QFETCH(QString, log);
    auto mgr = parse(map);
    QString got = QStringLiteral("old\r\n");
    std::vector<CfgVar*> list;
    QCOMPARE(cfgmap::CheckOverlaps(*mgr, got, &list), ok);
    QCOMPARE(got, log);
    QCOMPARE(int(list.size()), cfgmap::countVariables(mgr->root()));
}

void TestCfgDecode::untypedVariables()
{
    auto mgr = parse("var a { addr = 0; } var b { type = uchar; addr = 0; } var c { type = word; addr = 1; }");
    QString log;
    QCOMPARE(cfgmap::DecodeBlock(*mgr, QByteArray::fromHex("0708"), log), 2);
    QCOMPARE(log, QStringLiteral("Warning: unable to get variable data\r\nWarning: unable to get variable data\r\n"));
    QCOMPARE(findVar(*mgr, "b")->ValueToString(), QByteArray("7"));
}

void TestCfgDecode::formatLine_data()
{
    QTest::addColumn<QByteArray>("var"); // the body of "var v { ... }"
    QTest::addColumn<int>("depth");
    QTest::addColumn<QByteArray>("selected");
    QTest::addColumn<QByteArray>("line");

    const QByteArray energy = "type = float; value = 41.868; meta ( name = \"BaseUnit\", display = \"GJ\" );"
                              "meta ( name = \"Units\", display1 = \"GJ\", display2 = \"Gcal\", factor2 = \"4.1868\",";
    QTest::newRow("default unit scales") << energy + "default = \"Gcal\" );" << -1 << QByteArray()
                                         << QByteArray("v, Gcal: 10\r\n");
    QTest::newRow("selected base unit unscaled") << energy + "default = \"Gcal\" );" << -1 << QByteArray("GJ")
                                                 << QByteArray("v, GJ: 41.868\r\n");
    QTest::newRow("no default shows base unit") << energy + "x = \"y\" );" << 0 << QByteArray()
                                                << QByteArray("v, GJ: 41.868\r\n");
    QTest::newRow("unknown selected unit") << energy + "x = \"y\" );" << 0 << QByteArray("MWh")
                                           << QByteArray("v: 41.868\r\n");
    QTest::newRow("base unit without display")
        << QByteArray("type = uint; value = 5; meta ( name = \"BaseUnit\", show = \"GJ\" );"
                      "meta ( name = \"Units\", display2 = \"Gcal\", factor2 = \"2\", default = \"Gcal\" );")
        << 0 << QByteArray() << QByteArray("v: 5\r\n");
    QTest::newRow("display12 pairs with factor12")
        << QByteArray("type = uint; value = 5000; meta ( name = \"BaseUnit\", display = \"kWh\" );"
                      "meta ( name = \"Units\", display1 = \"Wh\", factor1 = \"0.001\", display12 = \"MWh\","
                      " factor12 = \"1000\", default = \"MWh\" );")
        << 0 << QByteArray() << QByteArray("v, MWh: 5\r\n");
    QTest::newRow("integer truncated toward zero")
        << QByteArray("type = int; value = -7; meta ( name = \"BaseUnit\", display = \"a\" );"
                      "meta ( name = \"Units\", display3 = \"b\", factor3 = \"2\", default = \"b\" );")
        << 0 << QByteArray() << QByteArray("v, b: -3\r\n");
    QTest::newRow("no factor entry")
        << QByteArray("type = int; value = 7; meta ( name = \"BaseUnit\", display = \"a\" );"
                      "meta ( name = \"Units\", display3 = \"b\", default = \"b\" );")
        << 0 << QByteArray() << QByteArray("v: 7\r\n");
    QTest::newRow("key without digits")
        << QByteArray("type = int; value = 7; meta ( name = \"BaseUnit\", display = \"a\" );"
                      "meta ( name = \"Units\", default = \"b\", display3 = \"b\", factor3 = \"2\" );")
        << 0 << QByteArray() << QByteArray("v: 7\r\n");
    QTest::newRow("scaled array is empty")
        << QByteArray("type = array(uchar, 2); meta ( name = \"BaseUnit\", display = \"a\" );"
                      "meta ( name = \"Units\", display3 = \"b\", factor3 = \"2\", default = \"b\" );")
        << 0 << QByteArray() << QByteArray("v, b: \r\n");
    const QByteArray list = "meta ( name = \"ValueList\", val0 = \"0\", name0 = \"Off\", val1 = \"1\", name1 = \"On\" );";
    QTest::newRow("value name") << "type = uchar; value = 1;" + list << 2 << QByteArray()
                                << QByteArray("\t\tv: On\r\n");
    QTest::newRow("value without name") << "type = uchar; value = 2;" + list << 1 << QByteArray()
                                        << QByteArray("\tv: 2\r\n");
    QTest::newRow("value name without val key")
        << QByteArray("type = uchar; value = 1; meta ( name = \"ValueList\", one = \"1\", name1 = \"On\" );") << 0
        << QByteArray() << QByteArray("v: 1\r\n");
    QTest::newRow("display name") << QByteArray("type = bit; value = 1; name = \"Heating on\";") << -1 << QByteArray()
                                  << QByteArray("Heating on: 1\r\n");
}

void TestCfgDecode::formatLine()
{
    QFETCH(QByteArray, var);
    QFETCH(int, depth);
    QFETCH(QByteArray, selected);
    QFETCH(QByteArray, line);
    auto mgr = parse("var v { " + var + " }");
    QCOMPARE(mgr->errorLog(), QByteArray());
    CfgVar* v = findVar(*mgr, "v");
    QVERIFY(v);
    v->selectedUnit = selected;
    QCOMPARE(cfgmap::FormatVariableLine(*v, depth), line);
}

void TestCfgDecode::scaledValuesFromMemory_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("bytes"); // the cell, high byte first
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("uint") << QByteArray("uint") << QByteArray::fromHex("00000010") << QByteArray("v, b: 8\r\n");
    // 2^31 and above saturate as the map's own numbers do, never turning negative.
    QTest::newRow("uint 2^31") << QByteArray("uint") << QByteArray::fromHex("80000000")
                               << QByteArray("v, b: 1073741823\r\n");
    QTest::newRow("uint max") << QByteArray("uint") << QByteArray::fromHex("ffffffff")
                              << QByteArray("v, b: 1073741823\r\n");
    QTest::newRow("float") << QByteArray("float") << QByteArray::fromHex("41200000") << QByteArray("v, b: 5\r\n");
    QTest::newRow("float +inf") << QByteArray("float") << QByteArray::fromHex("7f800000")
                                << QByteArray("v, b: inf\r\n");
    QTest::newRow("float -inf") << QByteArray("float") << QByteArray::fromHex("ff800000")
                                << QByteArray("v, b: -inf\r\n");
    QTest::newRow("float nan") << QByteArray("float") << QByteArray::fromHex("7fc00000")
                               << QByteArray("v, b: nan\r\n");
    // An erased cell: all bits set, a NaN with its sign bit, as %g writes it.
    QTest::newRow("float erased") << QByteArray("float") << QByteArray::fromHex("ffffffff")
                                  << QByteArray("v, b: -nan\r\n");
    QTest::newRow("double erased") << QByteArray("double") << QByteArray::fromHex("ffffffffffffffff")
                                   << QByteArray("v, b: -nan\r\n");
}

// Values decoded from memory bytes, shown halved in another unit.
void TestCfgDecode::scaledValuesFromMemory()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, line);
    auto mgr = parse("var v { type = " + type + "; addr = 0; meta ( name = \"BaseUnit\", display = \"a\" );"
                     " meta ( name = \"Units\", display2 = \"b\", factor2 = \"2\", default = \"b\" ); }");
    QCOMPARE(mgr->errorLog(), QByteArray());
    QString log;
    cfgmap::DecodeBlock(*mgr, bytes, log);
    QCOMPARE(log, QString());
    CfgVar* v = findVar(*mgr, "v");
    QVERIFY(v);
    QCOMPARE(cfgmap::FormatVariableLine(*v, -1), line);
}

void TestCfgDecode::selectedUnitStays()
{
    auto mgr = parse("var v { type = float; value = 41.868; meta ( name = \"BaseUnit\", display = \"GJ\" );"
                     " meta ( name = \"Units\", display2 = \"Gcal\", factor2 = \"4.1868\", default = \"Gcal\" ); }");
    CfgVar* v = findVar(*mgr, "v");
    cfgmap::FormatVariableLine(*v, 0);
    QCOMPARE(v->selectedUnit, QByteArray("Gcal"));
    // The default is taken once; a unit chosen since stays.
    v->selectedUnit = "GJ";
    QCOMPARE(cfgmap::FormatVariableLine(*v, 0), QByteArray("v, GJ: 41.868\r\n"));
}

QTEST_GUILESS_MAIN(TestCfgDecode)
#include "TestCfgDecode.moc"
