#include "ReportPainter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRectF>

#include "archive/PrinterControlTable.h"
#include "base/CodePage.h"
#include "base/Format.h"

namespace paint {

namespace {

// The advance of the widest character of the code page. Font files report a maximum width over
// glyphs far outside it (three times the advance in some monospace fonts), which would spread
// the text out.
int widestCodePageCharacter(const QFontMetrics& metrics)
{
    static const QString chars = [] {
        QByteArray bytes;
        for (int b = 0x20; b < 0x100; ++b)
            bytes += char(b);
        return codepage::fromOem(bytes);
    }();
    int widest = 1;
    for (const QChar c : chars)
        widest = std::max(widest, metrics.horizontalAdvance(c));
    return widest;
}

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kTab = '\t';
constexpr char kFormFeed = '\f';
constexpr int kMarginCells = 4; // left margin of a printed page, also the slack the font is fitted with
constexpr int kTopMarginLines = 2;
constexpr int kPageReserveLines = 6; // top margin, footer and the gap before it
constexpr int kFooterLine = 4; // the footer stands this many lines below the last line slot
constexpr double kSettingsDpi = 96.0;

bool isLineEnd(char c)
{
    return c == kCr || c == kLf;
}

int sanitizeTabSize(int tabSize)
{
    // A tab size of 0 or less from the settings would divide by zero when finding the next stop.
    return std::max(1, tabSize);
}

// A control byte that is no printer code has no glyph: the drawing shows the font's empty box
// for it, a terminal would act on the byte itself.
constexpr QChar kMissingGlyph(0x25A1);

const std::array<QString, 256>& oemChars()
{
    static const std::array<QString, 256> table = [] {
        std::array<QString, 256> t;
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            t[std::size_t(b)] = codepage::fromOem(QByteArrayView(&c, 1));
        }
        return t;
    }();
    return table;
}

char16_t boxChar(unsigned arms)
{
    switch (arms) {
    case ArmUp | ArmDown: return u'\u2502';
    case ArmLeft | ArmRight: return u'\u2500';
    case ArmUp | ArmDown | ArmLeft: return u'\u2524';
    case ArmUp | ArmDown | ArmRight: return u'\u251C';
    case ArmUp | ArmDown | ArmLeft | ArmRight: return u'\u253C';
    case ArmLeft | ArmRight | ArmUp: return u'\u2534';
    case ArmLeft | ArmRight | ArmDown: return u'\u252C';
    case ArmLeft | ArmDown: return u'\u2510';
    case ArmLeft | ArmUp: return u'\u2518';
    case ArmUp | ArmRight: return u'\u2514';
    case ArmDown | ArmRight: return u'\u250C';
    default: return u'?';
    }
}

// One step of the drawing walk over the bytes of a line: what the byte at `pos` is.
struct Step
{
    enum Kind
    {
        Tab,
        Hidden, // a recognised control code of `length` bytes
        Cell, // drawn in one cell
    } kind;
    int length = 1;
};

Step step(QByteArrayView text, qsizetype pos, const DrawOptions& options)
{
    if (text[pos] == kTab)
        return { Step::Tab, 1 };
    if (options.controls != nullptr) {
        const int n = options.controls->recognise(text, pos);
        if (n > 0)
            return { Step::Hidden, n };
    }
    return { Step::Cell, 1 };
}

int nextTabStop(int column, int tabSize)
{
    return (column / tabSize + 1) * tabSize;
}

void drawBox(QPainter& painter, unsigned arms, int x, int y, const Cells& cells, const QColor& colour)
{
    const int w = cells.width;
    const int h = cells.height;
    const int t = std::max(1, int(std::lround(h / 16.0)));
    const int cx = x + (w - t) / 2;
    const int cy = y + (h - t) / 2;
    // Each arm overlaps the centre square so that the arms join; full arms reach the cell edges
    // so that neighbouring cells join.
    if (arms & ArmUp)
        painter.fillRect(cx, y, t, cy + t - y, colour);
    if (arms & ArmDown)
        painter.fillRect(cx, cy, t, y + h - cy, colour);
    if (arms & ArmLeft)
        painter.fillRect(x, cy, cx + t - x, t, colour);
    if (arms & ArmRight)
        painter.fillRect(cx, cy, x + w - cx, t, colour);
}

// Draws the bytes [from, to) as one line starting at column 0 at `origin` (its top-left). The
// walk goes on past `to` only inside a control code that began before it; what lies beyond is
// the next line's. Cells outside [minX, maxX) are walked but not drawn.
void paintRange(QPainter& painter, QByteArrayView text, qsizetype from, qsizetype to, QPoint origin,
                const Cells& cells, const DrawOptions& options, double minX, double maxX)
{
    const int tabSize = sanitizeTabSize(options.tabSize);
    const std::array<QString, 256>& chars = oemChars();
    const QColor colour = painter.pen().color();
    const int baseline = origin.y() + cells.ascent;
    // A blank draws nothing unless the font underlines or strikes out: half of a report is
    // blanks, and each drawText costs a text layout.
    const QFont& font = painter.font();
    const bool blanksShow = font.underline() || font.strikeOut() || font.overline();
    int column = 0;
    for (qsizetype pos = from; pos < to;) {
        const Step s = step(text, pos, options);
        pos += s.length;
        if (s.kind == Step::Tab) {
            column = nextTabStop(column, tabSize);
            continue;
        }
        if (s.kind == Step::Hidden)
            continue;
        const int x = origin.x() + column * cells.width;
        ++column;
        if (x + cells.width <= minX)
            continue;
        if (x >= maxX)
            break;
        const uchar b = uchar(text[pos - 1]);
        if (const unsigned arms = boxArms(b))
            drawBox(painter, arms, x, origin.y(), cells, colour);
        else if (b != ' ' || blanksShow)
            painter.drawText(QPoint(x, baseline), chars[b]);
    }
}

std::pair<double, double> visibleXRange(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    if (device == nullptr)
        return { -1e18, 1e18 };
    // In device pixels: on a scaled screen (QT_SCALE_FACTOR=2) the widget's size is in logical
    // pixels while the painter's device transform carries the scale.
    const qreal ratio = device->devicePixelRatioF();
    QRectF area(0, 0, device->width() * ratio, device->height() * ratio);
    bool invertible = false;
    const QTransform toLogical = painter.deviceTransform().inverted(&invertible);
    if (!invertible)
        return { -1e18, 1e18 };
    area = toLogical.mapRect(area);
    if (painter.hasClipping())
        area = area.intersected(painter.clipBoundingRect());
    return { area.left(), area.right() + 1 };
}

int pixelSizeOn(const QFont& font, const QPaintDevice* device)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    const int dpi = device != nullptr ? device->logicalDpiY() : int(kSettingsDpi);
    return std::max(1, int(std::lround(font.pointSizeF() * dpi / 72.0)));
}

// Where the first form feed that the printer would act on lies in [from, to); `to` when none.
// A form feed inside a recognised control code (a parameter byte) is not one.
qsizetype findFormFeed(QByteArrayView text, qsizetype from, qsizetype to, const DrawOptions& options)
{
    for (qsizetype pos = from; pos < to;) {
        if (text[pos] == kFormFeed)
            return pos;
        pos += step(text, pos, options).length;
    }
    return to;
}

// Whether [from, to) holds anything that would put ink on a page.
bool hasInk(QByteArrayView text, qsizetype from, qsizetype to, const DrawOptions& options)
{
    for (qsizetype pos = from; pos < to;) {
        const Step s = step(text, pos, options);
        const uchar b = uchar(text[pos]);
        if (s.kind == Step::Cell && b > 0x20 && b != 0x7F)
            return true;
        pos += s.length;
    }
    return false;
}

} // namespace

qsizetype TextLayout::lineEnd(QByteArrayView text, int line) const
{
    if (line < 0 || line >= lineCount())
        return text.size();
    if (line + 1 == lineCount())
        return text.size();
    const qsizetype start = lineStarts[std::size_t(line)];
    qsizetype end = lineStarts[std::size_t(line) + 1] - 1;
    if (end - 1 >= start && isLineEnd(text[end - 1]) && text[end - 1] != text[end])
        --end;
    return end;
}

TextLayout measure(QByteArrayView text, int tabSize)
{
    tabSize = sanitizeTabSize(tabSize);
    TextLayout layout;
    if (text.isEmpty())
        return layout;
    layout.lineStarts.push_back(0);
    int column = 0;
    const qsizetype size = text.size();
    for (qsizetype pos = 0; pos < size;) {
        const char c = text[pos];
        if (isLineEnd(c)) {
            const bool pair = pos + 1 < size && isLineEnd(text[pos + 1]) && text[pos + 1] != c;
            pos += pair ? 2 : 1;
            ++layout.lineEnds;
            layout.lineStarts.push_back(pos);
            column = 0;
            continue;
        }
        column += c == kTab ? tabSize : 1;
        layout.longestLine = std::max(layout.longestLine, column);
        ++pos;
    }
    return layout;
}

Cells cellsFor(const QFont& font, const QPaintDevice* device, CellWidth which)
{
    Cells cells;
    cells.font = device != nullptr ? QFont(font, device) : font;
    const QFontMetrics metrics = device != nullptr ? QFontMetrics(font, device) : QFontMetrics(font);
    cells.width = std::max(1, which == CellWidth::Average ? metrics.averageCharWidth() : widestCodePageCharacter(metrics));
    cells.height = std::max(1, metrics.height() + std::max(0, metrics.leading()));
    cells.ascent = metrics.ascent();
    return cells;
}

unsigned boxArms(unsigned char byte)
{
    constexpr unsigned vertical = ArmUp | ArmDown;
    constexpr unsigned horizontal = ArmLeft | ArmRight;
    switch (byte) {
    case 0xB3:
    case 0xBA: return vertical;
    case 0xC4:
    case 0xCD: return horizontal;
    case 0xB4:
    case 0xB5: return vertical | ArmLeft;
    case 0xC3:
    case 0xC6:
    case 0xCC: return vertical | ArmRight;
    case 0xC5:
    case 0xCE:
    case 0xD8: return vertical | horizontal;
    case 0xC1:
    case 0xCF:
    case 0xD0: return horizontal | ArmUp;
    case 0xC2:
    case 0xCB:
    case 0xD1:
    case 0xD2: return horizontal | ArmDown;
    case 0xBF:
    case 0xB8: return ArmLeft | ArmDown;
    case 0xD9:
    case 0xBE: return ArmLeft | ArmUp;
    case 0xC0:
    case 0xD4: return ArmUp | ArmRight;
    case 0xDA:
    case 0xD5: return ArmDown | ArmRight;
    default: return 0;
    }
}

void paintLines(QPainter& painter, QByteArrayView text, const TextLayout& layout, int firstLine, int lastLine,
                QPoint origin, const Cells& cells, const DrawOptions& options)
{
    firstLine = std::max(firstLine, 0);
    lastLine = std::min(lastLine, layout.lineCount() - 1);
    if (firstLine > lastLine)
        return;
    const auto [minX, maxX] = visibleXRange(painter);
    painter.save();
    painter.setFont(cells.font);
    for (int line = firstLine; line <= lastLine; ++line) {
        const QPoint at(origin.x(), origin.y() + (line - firstLine) * cells.height);
        paintRange(painter, text, layout.lineStarts[std::size_t(line)], layout.lineEnd(text, line), at, cells,
                   options, minX, maxX);
    }
    painter.restore();
}

QByteArray toUtf8(QByteArrayView text, const TextLayout& layout, const DrawOptions& options)
{
    const int tabSize = sanitizeTabSize(options.tabSize);
    const std::array<QString, 256>& chars = oemChars();
    QString out;
    out.reserve(text.size());
    for (int line = 0; line < layout.lineCount(); ++line) {
        if (line > 0)
            out += u'\n';
        const qsizetype end = layout.lineEnd(text, line);
        int column = 0;
        for (qsizetype pos = layout.lineStarts[std::size_t(line)]; pos < end;) {
            const Step s = step(text, pos, options);
            const uchar b = uchar(text[pos]);
            pos += s.length;
            if (s.kind == Step::Tab) {
                const int stop = nextTabStop(column, tabSize);
                out += QString(stop - column, u' ');
                column = stop;
            } else if (s.kind == Step::Cell) {
                ++column;
                if (const unsigned arms = boxArms(b))
                    out += QChar(boxChar(arms));
                else if (b >= 0x20 && b != 0x7F)
                    out += chars[b];
                else if (b == kFormFeed)
                    --column; // a page break when printed, nothing on the page
                else
                    out += kMissingGlyph; // as drawn, so the columns stay those of the drawing
            }
        }
    }
    return out.toUtf8();
}

QFont fitFontToWidth(const QFont& font, int longestLine, int printableWidth, const QPaintDevice* device,
                     CellWidth which)
{
    const Cells cells = cellsFor(font, device, which);
    const double needed = double(longestLine + kMarginCells) * cells.width;
    if (needed <= printableWidth || printableWidth <= 0)
        return font;
    const int size = pixelSizeOn(font, device);
    int scaled = int(size * (printableWidth / needed)) - 1;
    QFont fitted = font;
    fitted.setPixelSize(std::max(1, scaled));
    // The average width does not shrink exactly with the height; go on until the lines fit.
    while (scaled > 1 && double(longestLine + kMarginCells) * cellsFor(fitted, device, which).width > printableWidth) {
        --scaled;
        fitted.setPixelSize(scaled);
    }
    return fitted;
}

PrintLayout layoutForPrint(QByteArrayView text, const TextLayout& layout, const QFont& printFont,
                           const QPagedPaintDevice& device, const PrintOptions& options)
{
    QFont font = printFont;
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * device.logicalDpiY() / kSettingsDpi))));
    font = fitFontToWidth(font, layout.longestLine, device.width(), &device, options.cellWidth);

    PrintLayout print;
    print.cells = cellsFor(font, &device, options.cellWidth);
    print.linesPerPage = std::max(1, device.height() / print.cells.height - kPageReserveLines);
    print.leftMargin = kMarginCells * print.cells.width;
    print.topMargin = kTopMarginLines * print.cells.height;

    PrintLayout::Page page;
    int usedSlots = 0;
    bool overflowed = false; // the page began because the previous one was full
    for (int line = 0; line < layout.lineCount(); ++line) {
        const qsizetype end = layout.lineEnd(text, line);
        qsizetype from = usedSlots == 0 && page.firstLine == line ? page.firstByte : layout.lineStarts[std::size_t(line)];
        for (;;) {
            if (usedSlots == print.linesPerPage) {
                page.lastLine = line - 1;
                page.endByte = layout.lineEnd(text, line - 1);
                print.pages.push_back(page);
                page = { line, from, line, end };
                usedSlots = 0;
                overflowed = true;
            }
            ++usedSlots;
            const qsizetype formFeed = findFormFeed(text, from, end, options.draw);
            if (formFeed == end)
                break;
            page.lastLine = line;
            page.endByte = formFeed;
            // A form feed right after a full page ejects the page just printed, not a blank one.
            if (!overflowed || hasInk(text, page.firstByte, formFeed, options.draw))
                print.pages.push_back(page);
            from = formFeed + 1;
            page = { line, from, line, end };
            usedSlots = 0;
            overflowed = false;
        }
        page.lastLine = line;
        page.endByte = end;
    }
    // What follows the last form feed is printed only when it puts something on paper; a report
    // ends with a form feed and would otherwise eject a blank sheet.
    if (print.pages.empty())
        print.pages.push_back(layout.lineCount() == 0 ? PrintLayout::Page{} : page);
    else if (hasInk(text, page.firstByte, text.size(), options.draw))
        print.pages.push_back(page);
    return print;
}

void paintPage(QPainter& painter, QByteArrayView text, const TextLayout& layout, const PrintLayout& print,
               int pageIndex, const PrintOptions& options)
{
    if (pageIndex < 0 || pageIndex >= int(print.pages.size()))
        return;
    const PrintLayout::Page& page = print.pages[std::size_t(pageIndex)];
    painter.save();
    painter.setFont(print.cells.font);
    const auto [minX, maxX] = visibleXRange(painter);
    for (int line = page.firstLine; line <= page.lastLine && line < layout.lineCount(); ++line) {
        const qsizetype from = line == page.firstLine ? page.firstByte : layout.lineStarts[std::size_t(line)];
        const qsizetype to = line == page.lastLine ? page.endByte : layout.lineEnd(text, line);
        const QPoint at(print.leftMargin, print.topMargin + (line - page.firstLine) * print.cells.height);
        paintRange(painter, text, from, to, at, print.cells, options.draw, minX, maxX);
    }
    if (!options.pageFooter.isEmpty()) {
        const QString footer = fmt::text(options.pageFooter, pageIndex + 1);
        const QFontMetrics metrics(print.cells.font, painter.device());
        const int x = (painter.device()->width() - metrics.horizontalAdvance(footer)) / 2;
        const int y = (print.linesPerPage + kFooterLine) * print.cells.height + print.cells.ascent;
        painter.drawText(QPoint(x, y), footer);
    }
    painter.restore();
}

int printText(QPagedPaintDevice& device, QByteArrayView text, const TextLayout& layout, const QFont& printFont,
              const PrintOptions& options)
{
    const PrintLayout print = layoutForPrint(text, layout, printFont, device, options);
    const int count = int(print.pages.size());
    const int first = options.fromPage > 0 ? options.fromPage : 1;
    const int last = options.toPage > 0 ? std::min(options.toPage, count) : count;
    QPainter painter;
    if (!painter.begin(&device))
        return -1;
    int printed = 0;
    for (int page = first; page <= last; ++page) {
        if (printed > 0 && !device.newPage())
            break;
        paintPage(painter, text, layout, print, page - 1, options);
        ++printed;
    }
    painter.end();
    return printed;
}

} // namespace paint
