#include <clocale>
#include <thread>

#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/ConnectionBlock.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/ResultCodes.h"
#include "base/StringTable.h"
#include "base/TextBlock.h"

using namespace Qt::Literals::StringLiterals;

class TestBase : public QObject
{
    Q_OBJECT

private slots:
    void stringTable_data();
    void stringTable();
    void resultCodes();

    void textBlockGrowth();
    void textBlockReplaceShrinksContent();
    void textBlockFixedSize();
    void textBlockRefusals_data();
    void textBlockRefusals();
    void textBlockCopyAndMove();

    void printfDigits_data();
    void printfDigits();
    void printfText_data();
    void printfText();
    void printfIgnoresTheLocale();
    void printfHostileFormats_data();
    void printfHostileFormats();

    void missingCharacters_data();
    void missingCharacters();
    void codePages_data();
    void codePages();
    void codePageConversion();

    void dcbFlagsPackInTableOrder();
    void dcbFlagsMaskToWidth_data();
    void dcbFlagsMaskToWidth();

    void storedDates_data();
    void storedDates();

    void atomicWriteReplacesWhole();
    void atomicWriteFailureKeepsOldFile();

    void messageBoxRecorderScriptsAnswers();
    void messageBoxFromWorkerThread();
    void stdErrBlocks_data();
    void stdErrBlocks();
};

void TestBase::stringTable_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("expected");
    QTest::newRow("russian entry wins") << 115 << u"No device selected"_s << u"ТС не выбран"_s;
    QTest::newRow("format kept") << 160 << u"Version: %s"_s << u"Версия: %s"_s;
    QTest::newRow("line breaks kept") << 212 << u"x"_s
                                      << u"Lor2 уже запущен.\nПопытаться завершить другие экземпляры Lorn2?"_s;
    QTest::newRow("energy unit") << 208 << u"Gcal"_s << u"Гкал"_s;
    QTest::newRow("no entry gives the fallback") << 99999 << u"Fallback text"_s << u"Fallback text"_s;
    QTest::newRow("english-only number gives the fallback") << 179 << u"Given here"_s << u"Given here"_s;
}

void TestBase::stringTable()
{
    QFETCH(int, id);
    QFETCH(QString, fallback);
    QFETCH(QString, expected);
    QCOMPARE(LoadResString(id, fallback), expected);
}

void TestBase::resultCodes()
{
    QCOMPARE(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    QCOMPARE(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
    QCOMPARE(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    QCOMPARE(static_cast<std::uint32_t>(E_ABORT), 0x80004004u);
    QCOMPARE(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
    QVERIFY(FAILED(E_FAIL) && SUCCEEDED(S_OK) && SUCCEEDED(S_FALSE));
}

void TestBase::textBlockGrowth()
{
    TextBlock block(16);
    QCOMPARE(block.capacity(), std::size_t(0));
    QCOMPARE(block.setData("0123456789", 10), 0);
    // Replacing grows to the new length exactly.
    QCOMPARE(block.capacity(), std::size_t(10));
    QCOMPARE(block.append("abcde", 5), 0);
    // Appending grows to used + new + step.
    QCOMPARE(block.capacity(), std::size_t(10 + 5 + 16));
    QCOMPARE(block.size(), std::size_t(15));
    QCOMPARE(block.toByteArray(), QByteArray("0123456789abcde"));
    // Room left: no growth.
    QCOMPARE(block.append("xyz", 3), 0);
    QCOMPARE(block.capacity(), std::size_t(31));
    // The unused rest is zero, so the text stays terminated.
    QCOMPARE(block.data()[block.size()], '\0');
    QCOMPARE(block.data()[block.capacity() - 1], '\0');
}

void TestBase::textBlockReplaceShrinksContent()
{
    TextBlock block(8);
    QCOMPARE(block.setData("long content here", 17), 0);
    QCOMPARE(block.setData("ab", 2), 0);
    QCOMPARE(block.size(), std::size_t(2));
    QCOMPARE(block.capacity(), std::size_t(17));
    // No stale bytes of the old text behind the new one.
    QCOMPARE(QByteArray(block.data(), 17), QByteArray("ab", 2) + QByteArray(15, '\0'));
}

void TestBase::textBlockFixedSize()
{
    TextBlock block(8, true);
    QCOMPARE(block.setData("12345678", 8), 0);
    QCOMPARE(block.capacity(), std::size_t(8));
    QCOMPARE(block.append("9", 1), int(ArcException::MayNotGrow));
    QCOMPARE(block.toByteArray(), QByteArray("12345678"));
    QCOMPARE(block.setData("123456789", 9), int(ArcException::MayNotGrow));
    QCOMPARE(block.toByteArray(), QByteArray("12345678"));
    QVERIFY(!block.lastError().isEmpty());
    QCOMPARE(block.setData("1234", 4), 0);
    QCOMPARE(block.append("5678", 4), 0);
}

void TestBase::textBlockRefusals_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("nullData");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<int>("code");
    QTest::newRow("replace with nothing") << false << true << 4ull << 3;
    QTest::newRow("replace with zero length") << false << false << 0ull << 3;
    QTest::newRow("append nothing") << true << true << 4ull << 3;
    QTest::newRow("append zero length") << true << false << 0ull << 3;
    QTest::newRow("append past the address space") << true << false << qulonglong(SIZE_MAX - 2) << 4;
    QTest::newRow("replace beyond memory") << false << false << (1ull << 50) << 4;
}

void TestBase::textBlockRefusals()
{
    QFETCH(bool, append);
    QFETCH(bool, nullData);
    QFETCH(qulonglong, length);
    QFETCH(int, code);
    TextBlock block(16);
    QCOMPARE(block.setData("keep", 4), 0);
    const char* data = nullData ? nullptr : "some";
    const int rc = append ? block.append(data, length) : block.setData(data, length);
    QCOMPARE(rc, code);
    QCOMPARE(block.toByteArray(), QByteArray("keep"));
}

void TestBase::textBlockCopyAndMove()
{
    TextBlock a(8);
    QCOMPARE(a.setData("report", 6), 0);
    TextBlock b = a;
    QCOMPARE(b.toByteArray(), QByteArray("report"));
    QCOMPARE(a.append("!", 1), 0);
    QCOMPARE(b.toByteArray(), QByteArray("report"));
    TextBlock c = std::move(a);
    QCOMPARE(c.toByteArray(), QByteArray("report!"));
    QCOMPARE(a.size(), std::size_t(0));
    b = c;
    QCOMPARE(b.toByteArray(), QByteArray("report!"));
}

void TestBase::printfDigits_data()
{
    QTest::addColumn<QByteArray>("got");
    QTest::addColumn<QByteArray>("expected");
    auto c = [](const char* f, auto v) {
        char buf[256];
        std::snprintf(buf, sizeof buf, f, v);
        return QByteArray(buf);
    };
    QTest::newRow("%05u") << fmt::bytes("%05u", 1234u) << QByteArray("01234");
    QTest::newRow("%05u of 65534") << fmt::bytes("%05u", std::uint16_t(65534)) << QByteArray("65534");
    QTest::newRow("%02X") << fmt::bytes("%02X", 10) << QByteArray("0A");
    QTest::newRow("%08X") << fmt::bytes("%08X", 0xDEADBEEFu) << QByteArray("DEADBEEF");
    QTest::newRow("%11.3f") << fmt::bytes("%11.3f", 1234.5678f) << c("%11.3f", double(1234.5678f));
    QTest::newRow("%g") << fmt::bytes("%g", 0.0001234) << c("%g", 0.0001234);
    QTest::newRow("%f of float") << fmt::bytes("%f", 3.1f) << c("%f", double(3.1f));
    QTest::newRow("%d negative") << fmt::bytes("%d", -42) << QByteArray("-42");
    QTest::newRow("%u of -1 as int") << fmt::bytes("%u", -1) << QByteArray("4294967295");
    QTest::newRow("%d truncates like int") << fmt::bytes("%d", 4294967295u) << QByteArray("-1");
    QTest::newRow("%lld keeps 64 bits") << fmt::bytes("%lld", 1ll << 40) << QByteArray("1099511627776");
    QTest::newRow("%hhu") << fmt::bytes("%hhu", 300) << QByteArray("44");
    QTest::newRow("%-6d|") << fmt::bytes("%-6d|", 12) << QByteArray("12    |");
    QTest::newRow("%*d") << fmt::bytes("%*d", 5, 7) << QByteArray("    7");
    QTest::newRow("%.2s") << fmt::bytes("%.2s", "abc") << QByteArray("ab");
    QTest::newRow("%5s") << fmt::bytes("%5s", "ab") << QByteArray("   ab");
    QTest::newRow("%c") << fmt::bytes("[%c]", 'x') << QByteArray("[x]");
    QTest::newRow("%%") << fmt::bytes("100%%") << QByteArray("100%");
    QTest::newRow("date part") << fmt::bytes("\"%04u-%02u-%02u %02u:%02u\"", 2015u, 1u, 18u, 0u, 0u)
                               << QByteArray("\"2015-01-18 00:00\"");
    QTest::newRow("QString as windows-1251") << fmt::bytes("%s", u"Гкал"_s) << QByteArray("\xC3\xEA\xE0\xEB");
}

void TestBase::printfDigits()
{
    QFETCH(QByteArray, got);
    QFETCH(QByteArray, expected);
    QCOMPARE(got, expected);
}

void TestBase::printfText_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    QTest::newRow("russian format") << fmt::text(u"Версия: %s", u"1.0.0.0"_s) << u"Версия: 1.0.0.0"_s;
    QTest::newRow("width counts characters") << fmt::text(u"[%6s]", u"ТС"_s) << u"[    ТС]"_s;
    QTest::newRow("left aligned") << fmt::text(u"[%-4s]", u"Гк"_s) << u"[Гк  ]"_s;
    QTest::newRow("precision counts characters") << fmt::text(u"%.3s", u"Гкалория"_s) << u"Гка"_s;
    QTest::newRow("WINVER") << fmt::text(u"WINVER: 0x%04X", 0x0501) << u"WINVER: 0x0501"_s;
    QTest::newRow("utf-8 bytes argument") << fmt::text(u"%s!", "ТС") << u"ТС!"_s;
}

void TestBase::printfText()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void TestBase::printfIgnoresTheLocale()
{
    // A Russian locale writes a decimal comma; files must not.
    const char* ru = std::setlocale(LC_ALL, "ru_RU.UTF-8");
    if (ru == nullptr)
        ru = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (ru == nullptr)
        QSKIP("no locale with a decimal comma is installed");
    const QByteArray got = fmt::bytes("%f %g", 1.5, 2.25);
    std::setlocale(LC_ALL, "C");
    QCOMPARE(got, QByteArray("1.500000 2.25"));
}

void TestBase::printfHostileFormats_data()
{
    QTest::addColumn<QByteArray>("got");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("missing argument prints nothing") << fmt::bytes("a%db%sc") << QByteArray("abc");
    QTest::newRow("string where a number is asked") << fmt::bytes("%d", "x") << QByteArray("0");
    QTest::newRow("number where a string is asked") << fmt::bytes("[%s]", 5) << QByteArray("[]");
    QTest::newRow("%n never writes") << fmt::bytes("ab%ncd", 1) << QByteArray("abcd");
    QTest::newRow("format ends inside a conversion") << fmt::bytes("abc%-0") << QByteArray("abc%-0");
    QTest::newRow("unknown conversion is kept") << fmt::bytes("%y", 1) << QByteArray("%y");
    QTest::newRow("huge width is bounded") << QByteArray::number(fmt::bytes("%999999999d", 1).size())
                                           << QByteArray("100000");
}

void TestBase::printfHostileFormats()
{
    QFETCH(QByteArray, got);
    QFETCH(QByteArray, expected);
    QCOMPARE(got, expected);
}

void TestBase::codePages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi");
    QTest::addColumn<QByteArray>("oem");
    QTest::newRow("letters") << u"АЯая"_s << QByteArray("\xC0\xDF\xE0\xFF") << QByteArray("\x80\x9F\xA0\xEF");
    QTest::newRow("yo") << u"Ёё"_s << QByteArray("\xA8\xB8") << QByteArray("\xF0\xF1");
    QTest::newRow("ascii") << u"Q1(kW*h)"_s << QByteArray("Q1(kW*h)") << QByteArray("Q1(kW*h)");
    QTest::newRow("number sign") << u"№"_s << QByteArray("\xB9") << QByteArray("\xFC");
}

void TestBase::codePages()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    QFETCH(QByteArray, oem);
    QCOMPARE(codepage::toAnsi(text), ansi);
    QCOMPARE(codepage::fromAnsi(ansi), text);
    QCOMPARE(codepage::toOem(text), oem);
    QCOMPARE(codepage::fromOem(oem), text);
    QCOMPARE(codepage::ansiToOem(ansi), oem);
    QCOMPARE(codepage::oemToAnsi(oem), ansi);
}

void TestBase::missingCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi");
    QTest::addColumn<QByteArray>("oem");
    QTest::addColumn<QByteArray>("ansiToOem");
    // windows-1251 has the quotes, dash and ellipsis; IBM866 has none of them.
    QTest::newRow("quotes, dash, ellipsis") << u"«a» — …"_s << QByteArray("\xAB" "a\xBB \x97 \x85")
                                            << QByteArray("?a? ? ?") << QByteArray("?a? ? ?");
    // Neither has these; a character beyond 16 bits is one character, not two.
    QTest::newRow("euro in OEM, CJK, emoji") << u"€中😀x"_s << QByteArray("\x88??x") << QByteArray("???x")
                                              << QByteArray("???x");
    QTest::newRow("control bytes kept") << u"\x01\x1b"_s << QByteArray("\x01\x1b") << QByteArray("\x01\x1b")
                                        << QByteArray("\x01\x1b");
}

// A character a code page lacks is written as "?", never as the converter's own substitute
// 0x7F, which a printer drops without a trace.
void TestBase::missingCharacters()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    QFETCH(QByteArray, oem);
    QFETCH(QByteArray, ansiToOem);
    QCOMPARE(codepage::toAnsi(text), ansi);
    QCOMPARE(codepage::toOem(text), oem);
    QCOMPARE(codepage::ansiToOem(ansi), ansiToOem);
}

void TestBase::codePageConversion()
{
    // Every Cyrillic letter survives both code pages.
    QString all;
    for (char16_t c = u'А'; c <= u'я'; ++c)
        all += QChar(c);
    QCOMPARE(codepage::fromAnsi(codepage::toAnsi(all)), all);
    QCOMPARE(codepage::fromOem(codepage::toOem(all)), all);
    // The box-drawing bytes of reports are single characters in IBM866.
    QCOMPARE(codepage::fromOem(QByteArray("\xC4\xC2\xC5\xC1\xB3")), u"─┬┼┴│"_s);
}

void TestBase::dcbFlagsPackInTableOrder()
{
    DeviceControlBlock dcb;
    setDcbFlag(dcb, DcbFlag::fBinary, 1);
    QCOMPARE(dcb.flags, 0x1u);
    setDcbFlag(dcb, DcbFlag::fDtrControl, 3);
    QCOMPARE(dcb.flags, 0x31u);
    setDcbFlag(dcb, DcbFlag::fRtsControl, 2);
    QCOMPARE(dcb.flags, 0x2031u);
    setDcbFlag(dcb, DcbFlag::fAbortOnError, 1);
    QCOMPARE(dcb.flags, 0x6031u);
    setDcbFlag(dcb, DcbFlag::fDummy2, 0x1FFFF);
    QCOMPARE(dcb.flags, 0xFFFFE031u);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fDtrControl), 3u);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fOutX), 0u);
    // Every bit of the word belongs to exactly one field.
    std::uint32_t covered = 0;
    for (const DcbFlagLayout& f : dcbFlagLayout()) {
        const std::uint32_t bits = (f.width == 32 ? 0xFFFFFFFFu : ((1u << f.width) - 1u)) << f.shift;
        QCOMPARE(covered & bits, 0u);
        covered |= bits;
    }
    QCOMPARE(covered, 0xFFFFFFFFu);
}

void TestBase::dcbFlagsMaskToWidth_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<uint>("value");
    QTest::addColumn<uint>("stored");
    QTest::newRow("one bit") << int(DcbFlag::fOutX) << 3u << 1u;
    QTest::newRow("two bits") << int(DcbFlag::fRtsControl) << 7u << 3u;
    QTest::newRow("seventeen bits") << int(DcbFlag::fDummy2) << 0xFFFFFu << 0x1FFFFu;
}

void TestBase::dcbFlagsMaskToWidth()
{
    QFETCH(int, flag);
    QFETCH(uint, value);
    QFETCH(uint, stored);
    DeviceControlBlock dcb;
    setDcbFlag(dcb, static_cast<DcbFlag>(flag), value);
    QCOMPARE(dcbFlag(dcb, static_cast<DcbFlag>(flag)), stored);
    // Neighbouring fields stay untouched.
    for (const DcbFlagLayout& f : dcbFlagLayout()) {
        if (int(f.flag) != flag)
            QCOMPARE(dcbFlag(dcb, f.flag), 0u);
    }
}

void TestBase::storedDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime t(QDate(2015, 1, 18), QTime(7, 5, 9));
    QTest::newRow("iso") << u"2015-01-18T07:05:09"_s << t;
    QTest::newRow("russian locale form") << u"18.01.2015 7:05:09"_s << t;
    QTest::newRow("russian with two-digit hour") << u"18.01.2015 07:05:09"_s << t;
    QTest::newRow("garbage") << u"yesterday"_s << QDateTime();
    QTest::newRow("impossible date") << u"2015-02-30T00:00:00"_s << QDateTime();
}

void TestBase::storedDates()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime got = dateutil::fromStoredText(text);
    QCOMPARE(got.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(got, expected);
        QCOMPARE(dateutil::toStoredText(got), u"2015-01-18T07:05:09"_s);
    }
}

void TestBase::atomicWriteReplacesWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.txt"_s);
    QVERIFY(writeFileAtomically(path, "first"));
    QVERIFY(writeFileAtomically(path, "second"));
    QCOMPARE(testsupport::readFile(path), QByteArray("second"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"a.txt"_s});
}

void TestBase::atomicWriteFailureKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.txt"_s);
    QVERIFY(writeFileAtomically(path, "precious"));
    {
        AtomicFile file(path);
        QVERIFY(file.open());
        QVERIFY(file.write("half of a new"));
        // Destroyed without commit, as when the writer fails part-way.
    }
    QCOMPARE(testsupport::readFile(path), QByteArray("precious"));
    QString error;
    QVERIFY(!writeFileAtomically(dir.filePath(u"missing/b.txt"_s), "x", &error));
    QVERIFY(!error.isEmpty());
}

void TestBase::messageBoxRecorderScriptsAnswers()
{
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(MbAnswer::No);
    QCOMPARE(MessageBox::question(u"first?"_s), MbAnswer::No);
    // An unscripted question gets the default button.
    QCOMPARE(MessageBox::question(u"second?"_s), MbAnswer::Yes);
    QCOMPARE(MessageBox::error(u"bad"_s), MbAnswer::Ok);
    QCOMPARE(rec->texts(), (QStringList{u"first?"_s, u"second?"_s, u"bad"_s}));
    QCOMPARE(rec->shown().back().icon, MbIcon::Error);
}

void TestBase::messageBoxFromWorkerThread()
{
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(MbAnswer::No);
    MbAnswer answer = MbAnswer::Ok;
    std::thread worker([&] { answer = MessageBox::question(u"from the worker"_s); });
    worker.join();
    QCOMPARE(answer, MbAnswer::No);
    QCOMPARE(rec->texts(), QStringList{u"from the worker"_s});
}

void TestBase::stdErrBlocks_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("block");
    QTest::newRow("error") << int(MbIcon::Error) << int(MbButtons::Ok) << int(MbAnswer::Ok)
                           << u"error: Не удалось\nвторая строка"_s;
    QTest::newRow("info") << int(MbIcon::Information) << int(MbButtons::Ok) << int(MbAnswer::Ok)
                          << u"info: Не удалось\nвторая строка"_s;
    QTest::newRow("question yes") << int(MbIcon::Question) << int(MbButtons::YesNo) << int(MbAnswer::Yes)
                                  << u"question: Не удалось\nвторая строка\n-> yes"_s;
    QTest::newRow("question without icon") << int(MbIcon::None) << int(MbButtons::YesNo) << int(MbAnswer::No)
                                           << u"question: Не удалось\nвторая строка\n-> no"_s;
}

void TestBase::stdErrBlocks()
{
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, answer);
    QFETCH(QString, block);
    MessageRequest r{u"Не удалось\nвторая строка"_s, QString(), MbIcon(icon), MbButtons(buttons)};
    QCOMPARE(StdErrMessageBox::formatBlock(r, MbButtons(buttons) != MbButtons::Ok, MbAnswer(answer)), block);
}

QTEST_GUILESS_MAIN(TestBase)
#include "TestBase.moc"
