#include "DeviceListPrinter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>

#include "base/Format.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double kMmPerInch = 25.4;

int mmToPixels(double mm, int dpi)
{
    return int(std::lround(mm * dpi / kMmPerInch));
}

} // namespace

QFont DeviceListLayout::fontForScale(double scale)
{
    const int tenths = std::max(1, int(std::ceil(100.0 / scale)) - 1);
    QFont font(QString::fromUtf16(kFontFamily));
    font.setPointSizeF(tenths / 10.0);
    return font;
}

QList<int> DeviceListLayout::measureColumns(const DeviceListTable& table, const QFont& font,
                                            const QPaintDevice& device)
{
    const QFontMetrics metrics(font, &device);
    QList<int> widths;
    for (const QString& caption : table.captions)
        widths << metrics.horizontalAdvance(caption + u'W');
    for (const QStringList& row : table.rows) {
        for (qsizetype c = 0; c < widths.size() && c < row.size(); ++c)
            widths[c] = std::max(widths[c], metrics.horizontalAdvance(row.at(c) + u"WW"_s));
    }
    return widths;
}

DeviceListLayout::DeviceListLayout(const DeviceListTable& table, const QPaintDevice& device)
{
    const int marginX = mmToPixels(kMarginMm, device.logicalDpiX());
    const int marginY = mmToPixels(kMarginMm, device.logicalDpiY());
    pageArea = QRect(marginX, marginY, std::max(1, device.width() - marginX),
                     std::max(1, device.height() - 2 * marginY));

    // Two passes: the first measures at the nominal size, the second at the size that scales
    // that measure to the page width.
    font = fontForScale(1.0);
    columnWidths = measureColumns(table, font, device);
    const int firstWidth = std::accumulate(columnWidths.cbegin(), columnWidths.cend(), 0);
    scale = firstWidth > 0 ? double(firstWidth) / pageArea.width() : 1.0;
    font = fontForScale(scale);
    columnWidths = measureColumns(table, font, device);

    // The first pass measures at 9.9 points, not 10, and glyph widths do not scale exactly, so
    // the second can overshoot the page by about a percent: the columns give that back from the
    // padding that every column has beyond its text.
    const int total = tableWidth();
    if (total > pageArea.width()) {
        int left = pageArea.width();
        for (qsizetype c = 0; c < columnWidths.size(); ++c) {
            const int w = c + 1 == columnWidths.size() ? left : int(qint64(columnWidths[c]) * pageArea.width() / total);
            columnWidths[c] = w;
            left -= w;
        }
    }

    const QFontMetrics metrics(font, &device);
    cellIndent = metrics.horizontalAdvance(u'W') / 2;
    const int pad = std::max(1, metrics.height() / 8);
    rowHeight = metrics.height() + 2 * pad;
    headerHeight = metrics.height() + 4 * pad;
    rowsPerPage = std::max(1, (pageArea.height() - headerHeight) / rowHeight);
    const int rows = int(table.rows.size());
    // An empty list still prints its header, so the preview is never blank.
    pageCount = std::max(1, (rows + rowsPerPage - 1) / rowsPerPage);
    footerArea = QRect(pageArea.left(), pageArea.bottom() + 1 + pad, pageArea.width(), rowHeight);
}

std::optional<std::pair<int, int>> DeviceListLayout::pageRange(int from, int to, int pageCount)
{
    const int first = from > 0 ? from : 1;
    const int last = to > 0 ? std::min(to, pageCount) : pageCount;
    if (first > last)
        return std::nullopt;
    return std::make_pair(first, last);
}

std::pair<int, int> DeviceListLayout::rowsOfPage(int page) const
{
    const int first = (page - 1) * rowsPerPage;
    return {first, first + rowsPerPage};
}

int DeviceListLayout::tableWidth() const
{
    return std::accumulate(columnWidths.cbegin(), columnWidths.cend(), 0);
}

namespace ui {

void drawDeviceListPage(QPainter& painter, const DeviceListTable& table, const DeviceListLayout& layout, int page)
{
    painter.save();
    painter.setFont(layout.font);
    const QRect area = layout.pageArea;
    const auto [first, rowEnd] = layout.rowsOfPage(page);
    const int last = std::min<int>(rowEnd, int(table.rows.size()));
    const int shown = std::max(0, last - first);
    const int width = layout.tableWidth();
    const int bottom = area.top() + layout.headerHeight + shown * layout.rowHeight;
    constexpr int textFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

    painter.fillRect(QRect(area.left(), area.top(), width, layout.headerHeight), QColor(0xF0, 0xF0, 0xF0));
    int x = area.left();
    for (qsizetype c = 0; c < layout.columnWidths.size(); ++c) {
        const QRect cell(x + layout.cellIndent, area.top(), layout.columnWidths[c] - layout.cellIndent,
                         layout.headerHeight);
        painter.drawText(cell, textFlags, table.captions.value(c));
        x += layout.columnWidths[c];
    }
    for (int r = first; r < last; ++r) {
        const int y = area.top() + layout.headerHeight + (r - first) * layout.rowHeight;
        x = area.left();
        const QStringList& cells = table.rows.at(r);
        for (qsizetype c = 0; c < layout.columnWidths.size(); ++c) {
            const QRect cell(x + layout.cellIndent, y, layout.columnWidths[c] - layout.cellIndent, layout.rowHeight);
            painter.drawText(cell, textFlags, cells.value(c));
            x += layout.columnWidths[c];
        }
    }

    // Grid lines about a fifth of a millimetre wide, light as the list's.
    const int dpi = painter.device() != nullptr ? painter.device()->logicalDpiX() : 96;
    QPen grid(QColor(0xA0, 0xA0, 0xA0));
    grid.setWidth(std::max(1, dpi / 127));
    painter.setPen(grid);
    painter.drawLine(area.left(), area.top(), area.left() + width, area.top());
    for (int i = 0; i <= shown; ++i) {
        const int y = area.top() + layout.headerHeight + i * layout.rowHeight;
        painter.drawLine(area.left(), y, area.left() + width, y);
    }
    x = area.left();
    painter.drawLine(x, area.top(), x, bottom);
    for (const int w : layout.columnWidths) {
        x += w;
        painter.drawLine(x, area.top(), x, bottom);
    }

    painter.setPen(Qt::black);
    painter.drawText(layout.footerArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     fmt::text(LoadResString(192, u"Page %d"_s), page));
    painter.restore();
}

bool printDeviceList(QPrinter& printer, const DeviceListTable& table)
{
    const DeviceListLayout layout(table, printer);
    const bool ranged = printer.printRange() == QPrinter::PageRange;
    const auto range = DeviceListLayout::pageRange(ranged ? printer.fromPage() : 0, ranged ? printer.toPage() : 0,
                                                   layout.pageCount);
    if (!range)
        return true; // nothing of the chosen range exists
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    for (int page = range->first; page <= range->second; ++page) {
        if (page > range->first)
            printer.newPage();
        ui::drawDeviceListPage(painter, table, layout, page);
    }
    return painter.end();
}

} // namespace ui
