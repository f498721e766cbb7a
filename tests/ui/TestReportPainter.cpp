#include <algorithm>

#include <QBuffer>
#include <QFontDatabase>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTest>

#include "archive/PrinterControlTable.h"
#include "base/CodePage.h"
#include "ui/paint/ReportPainter.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QFont testFont(int pixels = 16)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    return font;
}

PrinterControlTable tableOf(const QByteArray& escIni)
{
    PrinterControlTable table;
    table.loadFromBytes(escIni);
    return table;
}

// The text drawn in black on white from the top-left corner, `columns` x `lines` cells.
QImage draw(const QByteArray& text, const PrinterControlTable* table, int columns, int lines, int tabSize = 8,
            int firstLine = 0, int originX = 0)
{
    const QImage probe(1, 1, QImage::Format_RGB32);
    const paint::Cells cells = paint::cellsFor(testFont(), &probe);
    QImage image(columns * cells.width, lines * cells.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    const paint::TextLayout layout = paint::measure(text, tabSize);
    paint::paintLines(painter, text, layout, firstLine, firstLine + lines - 1, QPoint(originX, 0), cells,
                      { table, tabSize });
    painter.end();
    return image;
}

bool dark(QRgb pixel)
{
    return qGray(pixel) < 128;
}

// Dark pixels within a rectangle of the image.
int ink(const QImage& image, const QRect& area)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += dark(image.pixel(x, y)) ? 1 : 0;
    return n;
}

int pdfPageCount(const QByteArray& pdf)
{
    static const QRegularExpression page(u"/Type\\s*/Page(?![s\\w])"_s);
    return int(QString::fromLatin1(pdf).count(page));
}

} // namespace

class TestReportPainter : public QObject
{
    Q_OBJECT

private slots:
    void measureLines_data();
    void measureLines();
    void textConversion_data();
    void textConversion();
    void boxBytesDrawLinesThroughTheCell_data();
    void boxBytesDrawLinesThroughTheCell();
    void hiddenAndTabbedTextDrawsAsItsEquivalent_data();
    void hiddenAndTabbedTextDrawsAsItsEquivalent();
    void paintingFromAMiddleLineOrScrolledLeft();
    void fontIsFittedToThePrintableWidth();
    void everyColumnOnAScaledDevice_data();
    void everyColumnOnAScaledDevice();
    void blanksUnderlinedOnlyWithAnUnderlinedFont();
    void widestCellIsTheWidestCodePageCharacter();
    void pagesOfAPrintout_data();
    void pagesOfAPrintout();
    void pageFooterIsCentredBelowTheLines();
};

void TestReportPainter::measureLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("tabSize");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("longest");

    QTest::newRow("empty") << QByteArray() << 8 << QStringList{} << 0;
    QTest::newRow("no line end") << "abc"_ba << 8 << QStringList{ u"abc"_s } << 3;
    QTest::newRow("CR LF is one end") << "ab\r\ncde"_ba << 8 << QStringList{ u"ab"_s, u"cde"_s } << 3;
    QTest::newRow("LF CR is one end") << "ab\n\rcde"_ba << 8 << QStringList{ u"ab"_s, u"cde"_s } << 3;
    QTest::newRow("CR CR two ends") << "a\r\rb"_ba << 8 << QStringList{ u"a"_s, QString(), u"b"_s } << 1;
    QTest::newRow("LF LF two ends") << "a\n\nb"_ba << 8 << QStringList{ u"a"_s, QString(), u"b"_s } << 1;
    QTest::newRow("CR then CR LF") << "x\r\r\ny"_ba << 8 << QStringList{ u"x"_s, QString(), u"y"_s } << 1;
    QTest::newRow("LF CR then LF") << "x\n\r\ny"_ba << 8 << QStringList{ u"x"_s, QString(), u"y"_s } << 1;
    QTest::newRow("trailing end gives an empty line") << "a\r\n"_ba << 8 << QStringList{ u"a"_s, QString() } << 1;
    QTest::newRow("tab counts the tab size") << "a\tb"_ba << 4 << QStringList{ u"a\tb"_s } << 6;
    QTest::newRow("tab size 0 taken as 1") << "\t\t"_ba << 0 << QStringList{ u"\t\t"_s } << 2;
    QTest::newRow("control bytes count") << "\x1b" "E12"_ba << 8 << QStringList{ u"\x1b" "E12"_s } << 4;
}

void TestReportPainter::measureLines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, tabSize);
    QFETCH(QStringList, lines);
    QFETCH(int, longest);

    const paint::TextLayout layout = paint::measure(text, tabSize);
    QCOMPARE(layout.lineCount(), lines.size());
    QCOMPARE(layout.lineEnds, std::max(0, int(lines.size()) - 1));
    QCOMPARE(layout.longestLine, longest);
    QStringList got;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const qsizetype start = layout.lineStarts[std::size_t(i)];
        got << QString::fromLatin1(text.mid(start, layout.lineEnd(text, i) - start));
    }
    QCOMPARE(got, lines);
}

void TestReportPainter::textConversion_data()
{
    QTest::addColumn<QByteArray>("escIni");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");

    const QByteArray esc = "Bold.On = <ESC> E\r\nBold.Off=<ESC>F\r\nPageLenN.Set=<ESC>C\r\nCond.On=15\r\n"_ba;
    QTest::newRow("sequences left out") << esc << "\x1b" "EHead\x1b" "F\r\nx"_ba << u"Head\nx"_s;
    QTest::newRow("N group takes its parameter") << esc << "\x1b" "CBab"_ba << u"ab"_s;
    QTest::newRow("parameter that is a line end") << esc << "a\x1b" "C\nb"_ba << u"a\nb"_s;
    QTest::newRow("single control byte") << esc << "a\x0f" "b"_ba << u"ab"_s;
    // Unlisted control bytes are drawn as a cell with the font's empty box; the text keeps the columns.
    QTest::newRow("unlisted ESC drawn as a cell") << esc << "\x1bZq"_ba << u"□Zq"_s;
    QTest::newRow("no table: controls are cells, form feed breaks the page")
        << QByteArray() << "\x1b" "E1\x0c"_ba << u"□E1"_s;
    QTest::newRow("control cell keeps the tab stops") << QByteArray() << "\x01\x7f\tX"_ba << u"□□      X"_s;
    QTest::newRow("tabs to the next stop") << QByteArray() << "ab\tc\td"_ba << u"ab      c       d"_s;
    QTest::newRow("IBM866 letters") << QByteArray() << "\x8f\xe0\xa8\xa2\xa5\xe2 \x9f"_ba << u"Привет Я"_s;
    QTest::newRow("box corners and crossings")
        << QByteArray() << "\xda\xc4\xc2\xbf\r\n\xc3\xcd\xc5\xb4\r\n\xc0\xc4\xc1\xd9"_ba
        << u"┌─┬┐\n├─┼┤\n└─┴┘"_s;
    QTest::newRow("double forms as single") << QByteArray() << "\xba\xd5\xb8\xd4\xbe\xce"_ba << u"│┌┐└┘┼"_s;
    QTest::newRow("other box bytes as IBM866") << QByteArray() << "\xc9\xbb\xb0"_ba << u"╔╗░"_s;
    QTest::newRow("closing form feed") << esc << "end\r\n\x0c"_ba << u"end\n"_s;
}

void TestReportPainter::textConversion()
{
    QFETCH(QByteArray, escIni);
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);

    const PrinterControlTable table = tableOf(escIni);
    const paint::TextLayout layout = paint::measure(text, 8);
    QCOMPARE(QString::fromUtf8(paint::toUtf8(text, layout, { &table, 8 })), expected);
}

void TestReportPainter::boxBytesDrawLinesThroughTheCell_data()
{
    QTest::addColumn<QByteArray>("byte");
    QTest::addColumn<unsigned>("arms");

    QTest::newRow("C4 horizontal") << "\xc4"_ba << unsigned(paint::ArmLeft | paint::ArmRight);
    QTest::newRow("B3 vertical") << "\xb3"_ba << unsigned(paint::ArmUp | paint::ArmDown);
    QTest::newRow("C5 cross") << "\xc5"_ba << unsigned(paint::ArmUp | paint::ArmDown | paint::ArmLeft | paint::ArmRight);
    QTest::newRow("C1 up") << "\xc1"_ba << unsigned(paint::ArmLeft | paint::ArmRight | paint::ArmUp);
    QTest::newRow("C2 down") << "\xc2"_ba << unsigned(paint::ArmLeft | paint::ArmRight | paint::ArmDown);
    QTest::newRow("DA corner") << "\xda"_ba << unsigned(paint::ArmDown | paint::ArmRight);
    QTest::newRow("D9 corner") << "\xd9"_ba << unsigned(paint::ArmUp | paint::ArmLeft);
    QTest::newRow("B4 tee") << "\xb4"_ba << unsigned(paint::ArmUp | paint::ArmDown | paint::ArmLeft);
}

void TestReportPainter::boxBytesDrawLinesThroughTheCell()
{
    QFETCH(QByteArray, byte);
    QFETCH(unsigned, arms);

    QCOMPARE(paint::boxArms(uchar(byte[0])), arms);
    // The byte between two blanks, so that every arm must reach its own cell's edge.
    const QImage image = draw(" " + byte + " ", nullptr, 3, 1);
    const int w = image.width() / 3;
    const int h = image.height();
    const int cx = w + w / 2;
    const int cy = h / 2;
    // Probe a thin band around each centre line near each edge of the middle cell.
    QCOMPARE(ink(image, QRect(w, cy - 2, 2, 5)) > 0, bool(arms & paint::ArmLeft));
    QCOMPARE(ink(image, QRect(2 * w - 2, cy - 2, 2, 5)) > 0, bool(arms & paint::ArmRight));
    QCOMPARE(ink(image, QRect(cx - 2, 0, 5, 2)) > 0, bool(arms & paint::ArmUp));
    QCOMPARE(ink(image, QRect(cx - 2, h - 2, 5, 2)) > 0, bool(arms & paint::ArmDown));
    // Nothing of it spills into the blank cells.
    QCOMPARE(ink(image, QRect(0, 0, w, h)), 0);
    QCOMPARE(ink(image, QRect(2 * w, 0, w, h)), 0);
    if (arms & paint::ArmLeft && arms & paint::ArmRight) {
        for (int x = w; x < 2 * w; ++x)
            QVERIFY2(ink(image, QRect(x, cy - 2, 1, 5)) > 0, "a horizontal line runs through the whole cell");
    }
}

void TestReportPainter::hiddenAndTabbedTextDrawsAsItsEquivalent_data()
{
    QTest::addColumn<QByteArray>("escIni");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("equivalent");
    QTest::addColumn<int>("tabSize");

    const QByteArray esc = "Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\nLenN.Set=<ESC>C\r\nCond.On=15\r\n"_ba;
    QTest::newRow("ESC sequences") << esc << "\x1b" "EAB\x1b" "FC\r\nD"_ba << "ABC\r\nD"_ba << 8;
    QTest::newRow("N group with its parameter") << esc << "\x1b" "CXA"_ba << "A"_ba << 8;
    QTest::newRow("single byte") << esc << "A\x0f" "B"_ba << "AB"_ba << 8;
    QTest::newRow("tab to tab size") << QByteArray() << "\tX"_ba << "        X"_ba << 8;
    QTest::newRow("tab to next stop") << QByteArray() << "ab\tX"_ba << "ab      X"_ba << 8;
    QTest::newRow("tab size 3") << QByteArray() << "a\tX\tY"_ba << "a  X  Y"_ba << 3;
    QTest::newRow("hidden code takes no cell before a tab") << esc << "\x1b" "Ea\tX"_ba << "a   X"_ba << 4;
}

void TestReportPainter::hiddenAndTabbedTextDrawsAsItsEquivalent()
{
    QFETCH(QByteArray, escIni);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, equivalent);
    QFETCH(int, tabSize);

    const PrinterControlTable table = tableOf(escIni);
    const QImage drawn = draw(text, &table, 12, 2, tabSize);
    QVERIFY(ink(drawn, drawn.rect()) > 0);
    QCOMPARE(drawn, draw(equivalent, &table, 12, 2, tabSize));
    if (!escIni.isEmpty()) {
        // Without the table the codes are drawn: the test would notice them.
        QVERIFY(draw(text, nullptr, 12, 2, tabSize) != drawn);
    }
}

void TestReportPainter::paintingFromAMiddleLineOrScrolledLeft()
{
    QByteArray text;
    for (int i = 0; i < 500; ++i)
        text += "line " + QByteArray::number(i) + "\r\n";
    QCOMPARE(draw(text, nullptr, 10, 2, 8, 250), draw("line 250\r\nline 251"_ba, nullptr, 10, 2));

    // Scrolled three cells left: the drawing is the same as that of the text without them.
    const QImage probe(1, 1, QImage::Format_RGB32);
    const paint::Cells cells = paint::cellsFor(testFont(), &probe);
    QCOMPARE(draw("abcdef\xc4\xc4"_ba, nullptr, 5, 1, 8, 0, -3 * cells.width), draw("def\xc4\xc4"_ba, nullptr, 5, 1));
}

// On a scaled screen (QT_SCALE_FACTOR=2) every column is drawn, also after scrolling: the
// visible range is found in device pixels, not in half of them.
void TestReportPainter::everyColumnOnAScaledDevice_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("1") << qreal(1);
    QTest::newRow("2") << qreal(2);
    QTest::newRow("1.5") << qreal(1.5);
}

void TestReportPainter::everyColumnOnAScaledDevice()
{
    QFETCH(qreal, ratio);
    const QImage probe(1, 1, QImage::Format_RGB32);
    const paint::Cells cells = paint::cellsFor(testFont(), &probe);
    constexpr int kColumns = 40;
    const QByteArray text = QByteArray(kColumns * 2, '\xdb') + "\r\n"; // full blocks, two screens wide
    const paint::TextLayout layout = paint::measure(text, 8);
    for (const int scrolled : {0, kColumns}) {
        QImage image(qRound(kColumns * cells.width * ratio), qRound(cells.height * ratio), QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        paint::paintLines(painter, text, layout, 0, 0, QPoint(-scrolled * cells.width, 0), cells, { nullptr, 8 });
        painter.end();
        // The last cell of the view has ink: the drawing reaches the right edge.
        const int cellLeft = qRound((kColumns - 1) * cells.width * ratio);
        QVERIFY2(ink(image, QRect(cellLeft, 0, image.width() - cellLeft, image.height())) > 0,
                 qPrintable(QString::number(scrolled)));
    }
}

// Blanks are skipped when they draw nothing; an underlined font still underlines them.
void TestReportPainter::blanksUnderlinedOnlyWithAnUnderlinedFont()
{
    for (const bool underline : {false, true}) {
        QFont font = testFont();
        font.setUnderline(underline);
        const QImage probe(1, 1, QImage::Format_RGB32);
        paint::Cells cells = paint::cellsFor(font, &probe);
        cells.font = font;
        QImage image(4 * cells.width, cells.height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        const QByteArray text = "a  b";
        paint::paintLines(painter, text, paint::measure(text, 8), 0, 0, QPoint(0, 0), cells, {nullptr, 8});
        painter.end();
        const int blanks = ink(image, QRect(cells.width, 0, 2 * cells.width, cells.height));
        QVERIFY2(underline ? blanks > 0 : blanks == 0, qPrintable(QString::number(blanks)));
    }
}

void TestReportPainter::widestCellIsTheWidestCodePageCharacter()
{
    const QImage probe(1, 1, QImage::Format_RGB32);
    const QFont font = testFont(20);
    const QFontMetrics metrics(font, &probe);
    int widest = 0;
    for (int b = 0x20; b < 0x100; ++b)
        widest = std::max(widest, metrics.horizontalAdvance(codepage::fromOem(QByteArray(1, char(b)))));
    // The font's own maximum counts glyphs outside the code page and would spread the text out.
    QCOMPARE(paint::cellsFor(font, &probe, paint::CellWidth::Maximum).width, widest);
}

void TestReportPainter::fontIsFittedToThePrintableWidth()
{
    QImage page(2000, 3000, QImage::Format_RGB32);
    const QFont font = testFont(40);
    const int width = paint::cellsFor(font, &page).width;

    // Fits already: unchanged.
    QCOMPARE(paint::fitFontToWidth(font, 2000 / width - 4, 2000, &page).pixelSize(), 40);

    for (int longest : { 90, 150, 400 }) {
        const QFont fitted = paint::fitFontToWidth(font, longest, 2000, &page);
        const double needed = double(longest + 4) * width;
        const int expected = int(40 * (2000 / needed)) - 1;
        QVERIFY2(fitted.pixelSize() <= expected && fitted.pixelSize() >= expected - 2,
                 qPrintable(u"%1 for %2, expected %3"_s.arg(fitted.pixelSize()).arg(longest).arg(expected)));
        QVERIFY((longest + 4) * paint::cellsFor(fitted, &page).width <= 2000);
    }

    // The same on a PDF page, after the font is taken to the writer's resolution.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QPdfWriter writer(&buffer);
    writer.setResolution(600);
    const QByteArray wide = QByteArray(300, '\xc4');
    const paint::PrintLayout print = paint::layoutForPrint(wide, paint::measure(wide, 8), testFont(16), writer, {});
    QVERIFY(print.cells.font.pixelSize() < 16 * 600 / 96);
    QVERIFY(304 * print.cells.width <= writer.width());
    QVERIFY(304 * (print.cells.width + 1) > writer.width() * 0.9);
}

void TestReportPainter::pagesOfAPrintout_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("fromPage");
    QTest::addColumn<int>("toPage");
    QTest::addColumn<int>("printed");

    // In units of a page's lines; the tail follows the last of them.
    QTest::newRow("one line") << 0 << "x"_ba << 1 << 0 << 0 << 1;
    QTest::newRow("a page exactly") << 1 << QByteArray() << 1 << 0 << 0 << 1;
    QTest::newRow("a page and a line") << 1 << "\r\nx"_ba << 2 << 0 << 0 << 2;
    QTest::newRow("closing form feed ejects no blank sheet") << 1 << "\r\n\x0c"_ba << 1 << 0 << 0 << 1;
    QTest::newRow("form feed mid text") << 0 << "a\x0c" "b"_ba << 2 << 0 << 0 << 2;
    QTest::newRow("two form feeds") << 0 << "a\r\n\x0c" "b\r\n\x0c" "c\r\n\x0c"_ba << 3 << 0 << 0 << 3;
    QTest::newRow("empty text prints one page") << 0 << QByteArray() << 1 << 0 << 0 << 1;
    QTest::newRow("page range") << 2 << "\r\nx"_ba << 3 << 2 << 3 << 2;
    QTest::newRow("range past the end") << 2 << QByteArray() << 2 << 2 << 9 << 1;
}

void TestReportPainter::pagesOfAPrintout()
{
    QFETCH(int, lines);
    QFETCH(QByteArray, tail);
    QFETCH(int, pages);
    QFETCH(int, fromPage);
    QFETCH(int, toPage);
    QFETCH(int, printed);

    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QPdfWriter writer(&buffer);
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                     QPageLayout::Millimeter));
    QFont font = testFont(12);
    paint::PrintOptions options;
    const paint::PrintLayout probe = paint::layoutForPrint("x"_ba, paint::measure("x"_ba, 8), font, writer, options);
    // 12 pixels at 96 per inch are 37.5 at 300.
    QCOMPARE(probe.cells.font.pixelSize(), 38);
    QCOMPARE(probe.linesPerPage, writer.height() / probe.cells.height - 6);

    QByteArray text;
    for (int i = 0; i < lines * probe.linesPerPage; ++i)
        text += (i > 0 ? "\r\n" : "") + QByteArray::number(i);
    text += tail;
    const paint::TextLayout layout = paint::measure(text, 8);
    QCOMPARE(int(paint::layoutForPrint(text, layout, font, writer, options).pages.size()), pages);
    options.fromPage = fromPage;
    options.toPage = toPage;
    QCOMPARE(paint::printText(writer, text, layout, font, options), printed);
    buffer.close();
    QCOMPARE(pdfPageCount(pdf), printed);
}

void TestReportPainter::pageFooterIsCentredBelowTheLines()
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QPdfWriter writer(&buffer);
    writer.setResolution(96);
    paint::PrintOptions options;
    options.cellWidth = paint::CellWidth::Maximum;
    options.pageFooter = u"Page %d"_s;
    const QByteArray text = "a\r\nb\r\nc"_ba;
    const paint::TextLayout layout = paint::measure(text, 8);
    const paint::PrintLayout print = paint::layoutForPrint(text, layout, testFont(12), writer, options);
    QCOMPARE(print.pages.size(), std::size_t(1));

    QImage image(writer.width(), writer.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    paint::paintPage(painter, text, layout, print, 0, options);
    painter.end();
    const int h = print.cells.height;
    const QRect footerBand(0, (print.linesPerPage + 4) * h, image.width(), h);
    QVERIFY(ink(image, footerBand) > 0);
    // Centred: as much ink left of the middle as right of it, within a glyph.
    const int left = ink(image, QRect(0, footerBand.top(), image.width() / 2, h));
    const int right = ink(image, QRect(image.width() / 2, footerBand.top(), image.width() / 2, h));
    QVERIFY2(std::abs(left - right) < (left + right) / 3, qPrintable(u"%1 %2"_s.arg(left).arg(right)));
    // The lines start 4 cells in and 2 lines down; nothing between them and the footer.
    QVERIFY(ink(image, QRect(0, 0, image.width(), 2 * h)) == 0);
    QVERIFY(ink(image, QRect(0, 0, 4 * print.cells.width, footerBand.top())) == 0);
    QVERIFY(ink(image, QRect(0, 2 * h, image.width(), 3 * h)) > 0);
    QVERIFY(ink(image, QRect(0, 5 * h, image.width(), footerBand.top() - 5 * h)) == 0);
}

QTEST_MAIN(TestReportPainter)
#include "TestReportPainter.moc"
