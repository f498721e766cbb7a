#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/PrinterControlTable.h"
#include "base/CodePage.h"
#include "TestSupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kEsc = QString(QChar(27));

// Hands out its bytes, then fails as a disk would.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(QByteArray data)
        : m_data(std::move(data))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (m_pos == m_data.size()) {
            setErrorString(u"Disk failure"_s);
            return -1;
        }
        const qint64 n = std::min<qint64>(max, m_data.size() - m_pos);
        std::memcpy(out, m_data.constData() + m_pos, std::size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
};

// What a view draws of the text: every byte that recognise() does not cover.
QByteArray drawn(const PrinterControlTable& table, const QByteArray& text)
{
    QByteArray out;
    for (qsizetype pos = 0; pos < text.size();) {
        const int n = table.recognise(text, pos);
        if (n == 0)
            out.append(text[pos++]);
        else
            pos += n;
    }
    return out;
}

QString describe(const PrinterControlTable& table)
{
    QStringList out;
    for (const PrinterControlGroup& g : table.groups())
        for (const PrinterControlEntry& e : g.entries) {
            QStringList codes;
            for (const QChar c : e.value)
                codes << QString::number(c.unicode());
            out << g.name + u'.' + e.name + u'=' + codes.join(u' ');
        }
    return out.join(u'|');
}

} // namespace

class TestPrinterControlTable : public QObject
{
    Q_OBJECT

private slots:
    void parseLine_data();
    void parseLine();
    void emptyLineThrows();
    void valueFromText_data();
    void valueFromText();
    void lineEnds_data();
    void lineEnds();
    void emptyFiles_data();
    void emptyFiles();
    void orderAndLongestValue();
    void ansiNames();
    void loadErrors_data();
    void loadErrors();
    void readErrorKeepsWholeLines();
    void lookup_data();
    void lookup();
    void recognise_data();
    void recognise();
    void everyPunctuationByte();
    void changedThroughGroupReference();

private:
    PrinterControlTable loadText(const QByteArray& bytes);
    QTemporaryDir m_dir;
};

PrinterControlTable TestPrinterControlTable::loadText(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(u"esc.ini"_s);
    if (!testsupport::writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    PrinterControlTable table;
    if (table.load(path, false) != 0)
        qFatal("cannot load %s", qPrintable(path));
    return table;
}

void TestPrinterControlTable::parseLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("blanks inside value") << u"Bold.On = <ESC> E"_s << u"Bold"_s << u"On"_s << kEsc + u"E"_s;
    QTest::newRow("tabs and blanks in names") << u"\tPage Len N .\tS et=15"_s << u"PageLenN"_s << u"Set"_s << u"\x0f"_s;
    QTest::newRow("separators either way") << u"A=B.<ESC>@"_s << u"A"_s << u"B"_s << kEsc + u"@"_s;
    QTest::newRow("third separator ends value") << u"A.B=C=D"_s << u"A"_s << u"B"_s << QString(QChar(0));
    QTest::newRow("third separator after escape") << u"A.B=<ESC>C=D"_s << u"A"_s << u"B"_s << kEsc + u"C"_s;
    QTest::newRow("third separator after number") << u"A.B=15.7"_s << u"A"_s << u"B"_s << u"\x0f"_s;
    QTest::newRow("one separator") << u"Grp=27"_s << u"Grp"_s << QString() << kEsc;
    QTest::newRow("no separator") << u"0x1b"_s << QString() << QString() << kEsc;
    QTest::newRow("blanks only") << u" \t "_s << QString() << QString() << QString(QChar(0));
    QTest::newRow("comment") << u"; printer codes"_s << QString() << QString() << QString(QChar(0));
    QTest::newRow("escape cut by separator") << u"A.B=<ESC>=E"_s << u"A"_s << u"B"_s << QString(QChar(0));
}

void TestPrinterControlTable::parseLine()
{
    QFETCH(QString, line);
    QString group = u"stale"_s, name = u"stale"_s, value = u"stale"_s;
    PrinterControlTable::parseLine(line, group, name, value);
    QTEST(group, "group");
    QTEST(name, "name");
    QTEST(value, "value");
}

void TestPrinterControlTable::emptyLineThrows()
{
    QString g, n, v;
    try {
        PrinterControlTable::parseLine(QStringView(), g, n, v);
        QFAIL("no exception");
    } catch (const IniParseException& e) {
        QCOMPARE(e.message(), u"String to parse is empty!"_s);
    }
}

void TestPrinterControlTable::valueFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");

    const auto one = [](int code) { return QString(QChar(char16_t(code))); };
    QTest::newRow("decimal") << u"15"_s << one(15);
    QTest::newRow("hex") << u"0x0F"_s << one(15);
    QTest::newRow("upper X is decimal 0") << u"0X0F"_s << one(0);
    QTest::newRow("hex without digits") << u"0x"_s << one(0);
    QTest::newRow("hex stops at junk") << u"0x1G2"_s << one(1);
    QTest::newRow("hex modulo") << u"0x10041"_s << one(0x41);
    QTest::newRow("signed hex is decimal") << u"-0x10"_s << one(0);
    QTest::newRow("leading blanks") << u" \t27"_s << one(27);
    QTest::newRow("leading white space") << u"\v\f27"_s << one(27);
    QTest::newRow("minus one") << u"-1"_s << one(65535);
    QTest::newRow("modulo") << u"65537"_s << one(1);
    QTest::newRow("digits then junk") << u"12abc"_s << one(12);
    QTest::newRow("no number") << u"abc"_s << one(0);
    QTest::newRow("empty") << QString() << one(0);
    QTest::newRow("beyond any integer") << u"100000000000000000000"_s << one(0); // 10^20 = 2^20 * 5^20
    QTest::newRow("escape") << u"<ESC>E"_s << kEsc + u"E"_s;
    QTest::newRow("escape long") << u"<ESC>(s3B"_s << kEsc + u"(s3B"_s;
    QTest::newRow("escape alone") << u"<ESC>"_s << one(0);
    QTest::newRow("escape lower case") << u"<esc>E"_s << one(0);
    QTest::newRow("cyrillic code") << u"1048"_s << u"И"_s;
}

void TestPrinterControlTable::valueFromText()
{
    QFETCH(QString, text);
    QTEST(PrinterControlTable::valueFromText(text), "value");
}

void TestPrinterControlTable::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("CR LF") << "Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\n\r\nCond.On=15\r\n"_ba;
    QTest::newRow("LF") << "Bold.On=<ESC>E\nBold.Off=<ESC>F\n\nCond.On=15\n"_ba;
    QTest::newRow("CR") << "Bold.On=<ESC>E\rBold.Off=<ESC>F\r\rCond.On=15\r"_ba;
    QTest::newRow("mixed, no last break") << "Bold.On=<ESC>E\rBold.Off=<ESC>F\n\r\nCond.On=15"_ba;
    QTest::newRow("CR CR LF") << "Bold.On=<ESC>E\r\r\nBold.Off=<ESC>F\r\r\nCond.On=15\r\r\n"_ba;
}

void TestPrinterControlTable::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(describe(loadText(bytes)), u"Bold.On=27 69|Bold.Off=27 70|Cond.On=15"_s);
}

void TestPrinterControlTable::emptyFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("line breaks only") << "\r\n\n\r\r\n"_ba;
}

void TestPrinterControlTable::emptyFiles()
{
    QFETCH(QByteArray, bytes);
    const PrinterControlTable table = loadText(bytes);
    QVERIFY(table.isEmpty());
    QCOMPARE(table.longestValue(), 0);
    QCOMPARE(drawn(table, "\x1b\x00\x0f"_ba), "\x1b\x00\x0f"_ba);
}

void TestPrinterControlTable::orderAndLongestValue()
{
    PrinterControlTable table = loadText("B.one=1\nA.two=<ESC>(s3B\nB.three=3\nb.four=4\nA.five=5\n"_ba);
    QStringList order;
    for (const PrinterControlGroup& g : table.groups()) {
        QStringList names;
        for (const PrinterControlEntry& e : g.entries)
            names << e.name;
        order << g.name + u':' + names.join(u',');
    }
    QCOMPARE(order, (QStringList{ u"B:one,three"_s, u"A:two,five"_s, u"b:four"_s }));
    QCOMPARE(table.longestValue(), 5);

    // A second load adds to what is there; an existing group takes the new entries.
    const QString more = m_dir.filePath(u"more.ini"_s);
    QVERIFY(testsupport::writeFile(more, "A.six=<ESC>&l10O\nC.seven=7\n"_ba));
    QCOMPARE(table.load(more, false), 0);
    QCOMPARE(table.groups().size(), std::size_t(4));
    QCOMPARE(table.groups()[1].entries.back().name, u"six"_s);
    QCOMPARE(table.longestValue(), 6);

    table.clear();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.longestValue(), 0);
    QCOMPARE(table.recognise("\x1b(s3B"_ba, 0), 0);
}

void TestPrinterControlTable::ansiNames()
{
    // "Принтер.Жирный=<ESC>Ж" in windows-1251.
    const PrinterControlTable table
        = loadText("\xcf\xf0\xe8\xed\xf2\xe5\xf0.\xc6\xe8\xf0\xed\xfb\xe9=<ESC>\xc6\r\n"_ba);
    QCOMPARE(table.groups().size(), std::size_t(1));
    QCOMPARE(table.groups()[0].name, u"Принтер"_s);
    QCOMPARE(table.groups()[0].entries[0].name, u"Жирный"_s);
    QCOMPARE(table.groups()[0].entries[0].value, kEsc + u"Ж"_s);
    QCOMPARE(drawn(table, "a\x1b\xc6z"_ba), "az"_ba);
}

void TestPrinterControlTable::loadErrors_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("showErrors");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("message");

    const QString missing = m_dir.filePath(u"missing/esc.ini"_s);
    QTest::newRow("empty path") << QString() << true << -1 << false;
    QTest::newRow("missing, quiet") << missing << false << -2 << false;
    QTest::newRow("missing, shown") << missing << true << -2 << true;
    QTest::newRow("folder, shown") << m_dir.path() << true << -2 << true;
}

void TestPrinterControlTable::loadErrors()
{
    QFETCH(QString, path);
    QFETCH(bool, showErrors);
    QFETCH(bool, message);
    testsupport::MessageRecorder recorder;
    PrinterControlTable table = loadText("Keep.me=15\n"_ba);
    QTEST(table.load(path, showErrors), "result");
    QCOMPARE(describe(table), u"Keep.me=15"_s);

    const QStringList texts = recorder->texts();
    if (!message) {
        QVERIFY(texts.isEmpty());
        return;
    }
    QCOMPARE(texts.size(), 1);
    QFile probe(path);
    QVERIFY(!probe.open(QIODevice::ReadOnly));
    QCOMPARE(texts[0], u"File error: "_s + probe.errorString());
}

void TestPrinterControlTable::readErrorKeepsWholeLines()
{
    testsupport::MessageRecorder recorder;
    FailingDevice device("One.a=15\r\nTwo.b=<ESC>E\r\nThree.c=<ES"_ba);
    PrinterControlTable table;
    QCOMPARE(table.loadFromDevice(device, true), -2);
    QCOMPARE(describe(table), u"One.a=15|Two.b=27 69"_s);
    QCOMPARE(recorder->texts(), QStringList{ u"File error: Disk failure"_s });
}

void TestPrinterControlTable::lookup_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<int>("hit");
    QTest::addColumn<QString>("name");

    QTest::newRow("first group first") << kEsc + u"E"_s << 1 << u"on"_s;
    QTest::newRow("later group") << kEsc + u"F"_s << 1 << u"off"_s;
    QTest::newRow("N group without parameter") << kEsc + u"C\x05"_s << 1 << u"set"_s;
    QTest::newRow("N group needs parameter") << kEsc + u"C"_s << 0 << QString();
    QTest::newRow("case-sensitive") << kEsc + u"e"_s << 0 << QString();
    QTest::newRow("prefix only") << kEsc << 0 << QString();
    QTest::newRow("longer") << kEsc + u"EE"_s << 0 << QString();
    QTest::newRow("empty") << QString() << 0 << QString();
    QTest::newRow("single byte") << u"\x0f"_s << 1 << u"cond"_s;
}

void TestPrinterControlTable::lookup()
{
    QFETCH(QString, candidate);
    // "Dup.on" lists ESC E again and loses to the earlier group.
    const PrinterControlTable table
        = loadText("Bold.on=<ESC>E\nPageLenN.set=<ESC>C\nDup.on2=<ESC>E\nBold.off=<ESC>F\nMisc.cond=15\n"_ba);
    QString name = u"untouched"_s;
    QTEST(table.lookup(candidate, &name), "hit");
    QFETCH(int, hit);
    if (hit)
        QTEST(name, "name");
    else
        QCOMPARE(name, u"untouched"_s);
}

void TestPrinterControlTable::recognise_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("drawn");

    QTest::newRow("ESC E") << "Bold.On = <ESC> E\n"_ba
                           << "a\033Eb"_ba
                           << "ab"_ba;
    QTest::newRow("N group hides parameter") << "PageLenN.Set=<ESC>C\n"_ba
                                             << "x\033C\x05y"_ba
                                             << "xy"_ba;
    QTest::newRow("N group, letter parameter") << "PageLenN.Set=<ESC>C\n"_ba
                                               << "\033CAB"_ba
                                               << "B"_ba;
    QTest::newRow("N group, no parameter left") << "PageLenN.Set=<ESC>C\n"_ba
                                                << "\033C"_ba
                                                << "\033C"_ba;
    QTest::newRow("without N") << "PageLen.Set=<ESC>C\n"_ba
                               << "x\033C\x05y"_ba
                               << "x\x05y"_ba;
    QTest::newRow("N group, ESC alone") << "EscN.Any=27\n"_ba
                                        << "\x1bQz"_ba
                                        << "z"_ba;
    QTest::newRow("decimal byte") << "Cond.On=15\n"_ba
                                  << "a\017b\x0f"_ba
                                  << "ab"_ba;
    QTest::newRow("hex byte") << "Cond.On=0x0F\n"_ba
                              << "a\017b\x0f"_ba
                              << "ab"_ba;
    QTest::newRow("upper X gives NUL") << "Cond.On=0X0F\n"_ba
                                       << "a\x0f\000b"_ba
                                       << "a\017b"_ba;
    QTest::newRow("unknown ESC drawn") << "Bold.On=<ESC>E\n"_ba
                                       << "\x1bZx\x1b"_ba
                                       << "\x1bZx\x1b"_ba;
    QTest::newRow("shortest wins") << "A.long=<ESC>@X\nA.short=<ESC>@\n"_ba
                                   << "\x1b@X"_ba
                                   << "X"_ba;
    QTest::newRow("shortest wins, N later") << "A.long=<ESC>@XY\nBN.p=<ESC>@\n"_ba
                                            << "\x1b@XY"_ba
                                            << "Y"_ba;
    QTest::newRow("ESC listed alone first") << "Ctl.Esc=27\nBold.On=<ESC>E\n"_ba
                                            << "\033E"_ba
                                            << "E"_ba;
    QTest::newRow("letters and digits not single") << "A.a=65\nA.b=0x31\nA.c=<ESC>A\n"_ba
                                                   << "A1\033A"_ba
                                                   << "A1"_ba;
    QTest::newRow("latin-1 code in windows-1251") << "Deg.x=176\n"_ba
                                                  << "1\xb0z"_ba
                                                  << "1z"_ba;
    QTest::newRow("cyrillic code hides its byte") << "Cyr.x=1048\n"_ba
                                                  << "\xc8z"_ba
                                                  << "z"_ba;
    // The number is a character code: 200 is not a windows-1251 character, so byte 200 stays.
    QTest::newRow("code 200 is not byte 200") << "Cyr.x=200\n"_ba
                                              << "\xc8z"_ba
                                              << "\xc8z"_ba;
    QTest::newRow("N group single byte never") << "XN.a=15\n"_ba
                                               << "\x0f\x05"_ba
                                               << "\x0f\x05"_ba;
    QTest::newRow("comment line hides NUL") << "; codes\nBold.On=<ESC>E\n"_ba
                                            << "a\000b"_ba
                                            << "ab"_ba;
    QTest::newRow("shared prefix") << "A.a=<ESC>(s3B\nA.b=<ESC>(s0B\n"_ba
                                   << "\x1b(s0Bx\x1b(s1B"_ba
                                   << "x\x1b(s1B"_ba;
}

void TestPrinterControlTable::recognise()
{
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, text);
    const PrinterControlTable table = loadText(ini);
    QTEST(drawn(table, text), "drawn");

    // After a change through a group reference the plain lookup answers; it must agree.
    PrinterControlTable changed = table;
    changed.findOrAddGroup(u"Bold"_s);
    QTEST(drawn(changed, text), "drawn");

    QCOMPARE(table.recognise(text, -1), 0);
    QCOMPARE(table.recognise(text, text.size()), 0);
}

void TestPrinterControlTable::everyPunctuationByte()
{
    // Every byte listed by the code of its windows-1251 character: all but letters and digits hide.
    QByteArray ini;
    QByteArray text;
    QByteArray alnum;
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString c = codepage::fromAnsi(QByteArrayView(&byte, 1));
        ini += "All.b" + QByteArray::number(b) + '=' + QByteArray::number(c.at(0).unicode()) + "\r\n";
        text += byte;
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
            alnum += byte;
    }
    QCOMPARE(drawn(loadText(ini), text), alnum);
}

void TestPrinterControlTable::changedThroughGroupReference()
{
    PrinterControlTable table = loadText("Bold.On=<ESC>E\n"_ba);
    table.findOrAddGroup(u"Bold"_s).entries.push_back({ u"Off"_s, kEsc + u"F"_s });
    // An empty value must not turn every byte into a parameter of nothing.
    table.findOrAddGroup(u"EmptyN"_s).entries.push_back({ u"none"_s, QString() });
    table.findOrAddGroup(u"Empty"_s).entries.push_back({ u"none"_s, QString() });
    QCOMPARE(table.groups().size(), std::size_t(3));
    QCOMPARE(drawn(table, "a\033Fb\033E.,"_ba), "ab.,"_ba);
    QCOMPARE(table.lookup(u"."_s), 0);

    // Entries added afterwards bring the index back; both views still agree.
    table.addEntry(u"Cond"_s, u"On"_s, u"\x0f"_s);
    QCOMPARE(drawn(table, "a\033Fb\033E\x0f.,"_ba), "ab.,"_ba);
}

QTEST_GUILESS_MAIN(TestPrinterControlTable)
#include "TestPrinterControlTable.moc"
