#pragma once

#include <optional>
#include <utility>

#include <QFont>
#include <QList>
#include <QRect>
#include <QStringList>

class QPaintDevice;
class QPainter;
class QPrinter;

// The device list as it goes to paper: the captions and every row's cells, column 0 included.
struct DeviceListTable
{
    QStringList captions;
    QList<QStringList> rows;
};

// Where the device list lands on a page: the page area, the font fitted to its width, the
// columns and the pagination.
class DeviceListLayout
{
public:
    static constexpr double kMarginMm = 10.0;
    static constexpr char16_t kFontFamily[] = u"Arial";

    DeviceListLayout(const DeviceListTable& table, const QPaintDevice& device);

    // Arial at 100/s points in tenths, rounded up less one tenth.
    static QFont fontForScale(double scale);
    // Each column: its caption + "W" or its widest cell + "WW", whichever is wider.
    static QList<int> measureColumns(const DeviceListTable& table, const QFont& font, const QPaintDevice& device);
    // The pages to print, 1-based and inclusive, of a requested range (0 = open end), cut to the
    // page count; none when nothing of the range exists.
    static std::optional<std::pair<int, int>> pageRange(int from, int to, int pageCount);

    // The rows [first, last) that a page (1-based) shows.
    std::pair<int, int> rowsOfPage(int page) const;
    int tableWidth() const;

    QRect pageArea;
    QFont font;
    double scale = 1.0; // the width of the first pass over the page width
    QList<int> columnWidths;
    int cellIndent = 0;
    int rowHeight = 0;
    int headerHeight = 0;
    int rowsPerPage = 1;
    int pageCount = 1;
    QRect footerArea;
};

namespace ui {

// Draws one page (1-based) of the table.
void drawDeviceListPage(QPainter& painter, const DeviceListTable& table, const DeviceListLayout& layout, int page);
// Prints the pages of the printer's page range; false when the printer cannot be painted on.
bool printDeviceList(QPrinter& printer, const DeviceListTable& table);

} // namespace ui
