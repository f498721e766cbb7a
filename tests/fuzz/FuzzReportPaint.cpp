// A report text with its "esc.ini": the first byte picks the tab size, the rest is the table up to
// the first zero byte and the text after it (both the same bytes when there is none). Measuring,
// drawing a window of lines, the text conversion and the print pagination must agree and end.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QByteArrayView>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "archive/PrinterControlTable.h"
#include "ui/paint/ReportPainter.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The application, the devices and the fonts are made once per process. The pictures are small:
// every visible cell is one text call, the bulk of the time, and a few cells a line already
// reach the clipping at both edges. The sheet shows about two columns past the page's margin,
// since a page draws all its lines whatever the sheet's height.
struct Devices
{
    Devices()
        : image(24, 24, QImage::Format_RGB32)
        , sheet(32, 32, QImage::Format_RGB32)
        , writer(QStringLiteral("/dev/null"))
    {
        font.setPixelSize(8);
        cells = paint::cellsFor(font, &image);
        printFont.setPixelSize(12);
        writer.setResolution(72);
        // A small sheet: more page breaks for the same input, fewer lines drawn for a page.
        writer.setPageSize(QPageSize(QPageSize::A6));
    }

    QImage image;
    QImage sheet;
    QPdfWriter writer;
    QFont font;
    QFont printFont;
    paint::Cells cells;
};

Devices& devices()
{
    static int argc = 1;
    static char name[] = "fuzz_reportpaint";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    static Devices d;
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Devices& d = devices();
    if (size == 0)
        return 0;
    const int tabSize = int(data[0] % 20) - 1; // -1 and 0 included: the settings may hold them
    const QByteArrayView rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    const qsizetype zero = rest.indexOf('\0');
    const QByteArrayView escIni = zero < 0 ? rest : rest.first(zero);
    const QByteArrayView text = zero < 0 ? rest : rest.sliced(zero + 1);

    PrinterControlTable table;
    table.loadFromBytes(escIni);
    const paint::TextLayout layout = paint::measure(text, tabSize);
    check(text.isEmpty() == (layout.lineCount() == 0));
    check(layout.lineCount() == (text.isEmpty() ? 0 : layout.lineEnds + 1));
    for (int i = 0; i < layout.lineCount(); ++i) {
        const qsizetype start = layout.lineStarts[std::size_t(i)];
        const qsizetype end = layout.lineEnd(text, i);
        check(start <= end && end <= text.size());
        check(i + 1 == layout.lineCount() || end < layout.lineStarts[std::size_t(i) + 1]);
    }

    const paint::DrawOptions options{ &table, tabSize };
    const QByteArray utf8 = paint::toUtf8(text, layout, options);
    check(utf8.count('\n') == layout.lineEnds);

    d.image.fill(Qt::white);
    {
        QPainter painter(&d.image);
        const int middle = layout.lineCount() / 2;
        paint::paintLines(painter, text, layout, 0, 3, QPoint(0, 0), d.cells, options);
        paint::paintLines(painter, text, layout, middle, middle + 3, QPoint(-d.cells.width * 3, 0), d.cells, options);
    }

    paint::PrintOptions print;
    print.draw = options;
    const paint::PrintLayout pages = paint::layoutForPrint(text, layout, d.printFont, d.writer, print);
    check(!pages.pages.empty());
    int previous = 0;
    for (const paint::PrintLayout::Page& page : pages.pages) {
        check(page.firstLine >= previous && page.firstLine <= page.lastLine);
        check(page.lastLine - page.firstLine < pages.linesPerPage);
        previous = page.firstLine;
    }
    QPainter painter(&d.sheet);
    paint::paintPage(painter, text, layout, pages, int(pages.pages.size()) - 1, print);
    return 0;
}
