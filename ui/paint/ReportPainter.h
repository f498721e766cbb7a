#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QFont>
#include <QPoint>
#include <QString>

class PrinterControlTable;
class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

// Drawing of the 8-bit (IBM866) report texts in fixed character cells, shared by the report view,
// the configuration report view and `lorn2-cli render`: line ends, tabs, printer control codes left
// undrawn, box-drawing bytes as lines through the cell, pagination for printing.
namespace paint {

constexpr int kDefaultTabSize = 8;

// Where each line of a text starts, and how wide the text is. Line ends are CR LF, LF CR, a lone
// CR or a lone LF.
struct TextLayout
{
    // Byte offset of every line's first byte; line i runs up to its line end (or the text's end).
    std::vector<qsizetype> lineStarts;
    int lineEnds = 0;
    // The widest line in cells; a TAB counts tabSize cells, every other byte one.
    int longestLine = 0;

    // Line ends + 1; 0 for an empty text.
    int lineCount() const { return int(lineStarts.size()); }
    // The offset just past line i's last byte, before its line end.
    qsizetype lineEnd(QByteArrayView text, int line) const;
};

TextLayout measure(QByteArrayView text, int tabSize);

// What a cell of a font is on a device: the report view takes the average character width,
// the configuration report view the width of the widest character of the code page; both lines
// are height plus external leading.
enum class CellWidth
{
    Average,
    Maximum,
};

struct Cells
{
    QFont font; // as resolved for the device
    int width = 1;
    int height = 1;
    int ascent = 0;
};

Cells cellsFor(const QFont& font, const QPaintDevice* device, CellWidth which = CellWidth::Average);

struct DrawOptions
{
    const PrinterControlTable* controls = nullptr; // none: every byte is drawn
    int tabSize = kDefaultTabSize;
};

// Draws lines [firstLine, lastLine] (clamped to the text) with the top-left of line firstLine,
// column 0, at `origin`. Uses the painter's pen colour for text and box lines. Columns outside the
// device or the painter's clip are skipped without drawing, so a scrolled view costs only what it
// shows. A control code that runs past a line end ends that line's drawing.
void paintLines(QPainter& painter, QByteArrayView text, const TextLayout& layout, int firstLine, int lastLine,
                QPoint origin, const Cells& cells, const DrawOptions& options);

// The box-drawing shapes that are drawn as lines: which arms of the cross through the cell's
// centre the byte has. 0 for a byte drawn as a character.
enum BoxArm : unsigned
{
    ArmUp = 1,
    ArmDown = 2,
    ArmLeft = 4,
    ArmRight = 8,
};
unsigned boxArms(unsigned char byte);

// The text as it is shown, in UTF-8 for a terminal or file: each line end becomes "\n", a TAB
// becomes spaces up to the next multiple of tabSize, recognised control codes and any other
// control byte (below 32, and 127) are left out, box bytes become single-line Unicode box characters,
// every other byte its IBM866 character.
QByteArray toUtf8(QByteArrayView text, const TextLayout& layout, const DrawOptions& options);

// Print font scaling: when the longest line plus 4 cells is wider than the printable width, the
// pixel size is scaled by width / ((longest + 4) * cell width) and then reduced by one.
QFont fitFontToWidth(const QFont& font, int longestLine, int printableWidth, const QPaintDevice* device,
                     CellWidth which = CellWidth::Average);

struct PrintOptions
{
    DrawOptions draw;
    CellWidth cellWidth = CellWidth::Average;
    // The configuration report numbers its pages with this format ("Page %d", one %d), centred
    // at line linesPerPage + 4; empty for the report, which prints no page numbers.
    QString pageFooter;
    // 1-based inclusive page range; 0 = from the first / to the last.
    int fromPage = 0;
    int toPage = 0;
};

// The pages of a text: each page holds linesPerPage lines from a left margin of 4 cells and a top
// margin of 2 lines; a form feed byte also starts a new page (the printer would eject there). A
// form feed right after a full page, and a closing form feed with nothing after it, add no blank
// sheet. A form feed that is the parameter byte of a recognised control code is no page break.
struct PrintLayout
{
    Cells cells;
    int linesPerPage = 1;
    int leftMargin = 0;
    int topMargin = 0;
    // One entry per page: the first line it shows and the byte where drawing starts within that
    // line (after a form feed), and the last line it shows.
    struct Page
    {
        int firstLine = 0;
        qsizetype firstByte = 0;
        int lastLine = 0;
        qsizetype endByte = 0; // drawing of the last line stops here (a form feed), else its end
    };
    std::vector<Page> pages;
};

// A pixel-sized `printFont` (as the settings keep it) is taken at 96 pixels per inch and scaled to
// the device's resolution, so the page looks as the screen; then it is fitted to the width.
PrintLayout layoutForPrint(QByteArrayView text, const TextLayout& layout, const QFont& printFont,
                           const QPagedPaintDevice& device, const PrintOptions& options);

// Draws page `pageIndex` (0-based) on a painter open on the page.
void paintPage(QPainter& painter, QByteArrayView text, const TextLayout& layout, const PrintLayout& print,
               int pageIndex, const PrintOptions& options);

// Prints the text page by page on the device (QPrinter, QPdfWriter); the number of pages printed,
// -1 when a painter cannot be opened on the device.
int printText(QPagedPaintDevice& device, QByteArrayView text, const TextLayout& layout, const QFont& printFont,
              const PrintOptions& options);

} // namespace paint
