#include <QFontMetrics>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/DeviceListColumns.h"
#include "base/Format.h"
#include "ui/DeviceListPrinter.h"

using namespace Qt::Literals::StringLiterals;

using uitest::onNextModal;

namespace {

// Rows of `uniform` tables are all alike, so that their font does not depend on the row count.
DeviceListTable makeTable(int rows, const QString& longAddress = QString(), bool uniform = false)
{
    DeviceListTable table;
    for (std::size_t c = 0; c < kDeviceListColumns.size(); ++c)
        table.captions << deviceListCaption(int(c));
    for (int i = 0; i < rows; ++i) {
        const int r = uniform ? 0 : i;
        table.rows << QStringList{QString::number(r + 1),
                                  fmt::text(u"%05u", unsigned(1000 + r)),
                                  u"Карна-1"_s,
                                  u"05.03.2024"_s,
                                  u"Потребитель номер "_s + QString::number(r),
                                  u"+7 495 123-45-67"_s,
                                  u"ID-"_s + QString::number(r),
                                  r == 3 && !longAddress.isEmpty() ? longAddress : u"ул. Ленина, 1"_s,
                                  u"Иванов И. И."_s,
                                  u"0A"_s};
    }
    return table;
}

// A printer that needs no printing system: PDF into a file of the test.
std::unique_ptr<QPrinter> pdfPrinter(const QString& path, QPageLayout::Orientation orientation)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(orientation);
    return printer;
}

// Page objects of a PDF; the page tree itself is "/Type /Pages".
int pdfPageCount(const QByteArray& pdf)
{
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1)) {
        if (pdf.mid(at + 11, 1) != "s")
            ++pages;
    }
    return pages;
}

} // namespace

class TestDeviceListPrint : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void fontForScale_data();
    void fontForScale();
    void layoutFitsPage_data();
    void layoutFitsPage();
    void pagination_data();
    void pagination();
    void pageRange_data();
    void pageRange();
    void printsPdf_data();
    void printsPdf();
    void previewThroughFrame();
};

void TestDeviceListPrint::fontForScale_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("points");
    QTest::newRow("first pass") << 1.0 << 9.9;
    QTest::newRow("twice as wide") << 2.0 << 4.9;
    QTest::newRow("a third") << 3.0 << 3.3;
    QTest::newRow("half as wide") << 0.5 << 19.9;
    QTest::newRow("huge list") << 5000.0 << 0.1;
}

void TestDeviceListPrint::fontForScale()
{
    QFETCH(double, scale);
    QFETCH(double, points);
    const QFont font = DeviceListLayout::fontForScale(scale);
    QCOMPARE(font.family(), u"Arial"_s);
    QCOMPARE(font.pointSizeF(), points);
}

void TestDeviceListPrint::layoutFitsPage_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("longAddress");
    QTest::newRow("portrait") << 40 << false << QString();
    QTest::newRow("landscape") << 40 << true << QString();
    QTest::newRow("no rows") << 0 << false << QString();
    QTest::newRow("one very long address") << 10 << false << QString(120, u'Ж');
}

void TestDeviceListPrint::layoutFitsPage()
{
    QFETCH(int, rows);
    QFETCH(bool, landscape);
    QFETCH(QString, longAddress);
    QTemporaryDir dir;
    const auto printer =
        pdfPrinter(dir.filePath(u"x.pdf"_s), landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    const DeviceListTable table = makeTable(rows, longAddress);
    const DeviceListLayout layout(table, *printer);

    // The page less 10 mm at the top, bottom and left.
    const double pxPerMm = printer->logicalDpiX() / 25.4;
    QVERIFY(std::abs(layout.pageArea.left() - 10 * pxPerMm) <= 1);
    QVERIFY(std::abs(layout.pageArea.top() - 10 * pxPerMm) <= 1);
    QCOMPARE(layout.pageArea.right(), printer->width() - 1);
    QVERIFY(std::abs(printer->height() - layout.pageArea.bottom() - 10 * pxPerMm) <= 2);

    // The columns fill the page width, and each text fits inside its column.
    QCOMPARE(layout.columnWidths.size(), table.captions.size());
    QVERIFY2(layout.tableWidth() <= layout.pageArea.width(), qPrintable(QString::number(layout.tableWidth())));
    QVERIFY(layout.tableWidth() >= layout.pageArea.width() * 97 / 100);
    QCOMPARE(layout.font.pointSizeF(), DeviceListLayout::fontForScale(layout.scale).pointSizeF());
    const QFontMetrics metrics(layout.font, printer.get());
    for (qsizetype c = 0; c < table.captions.size(); ++c) {
        QVERIFY(layout.cellIndent + metrics.horizontalAdvance(table.captions[c]) <= layout.columnWidths[c]);
        for (const QStringList& row : table.rows)
            QVERIFY(layout.cellIndent + metrics.horizontalAdvance(row[c]) <= layout.columnWidths[c]);
    }
    // The page footer sits in the bottom margin.
    QVERIFY(layout.footerArea.top() > layout.pageArea.bottom());
    QVERIFY(layout.footerArea.bottom() < printer->height());
}

void TestDeviceListPrint::pagination_data()
{
    QTest::addColumn<int>("rowsOverPage"); // rows per page multiples: -1 = none, 0 = one row
    QTest::addColumn<int>("extra");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty list") << -1 << 0 << 1;
    QTest::newRow("one row") << 0 << 1 << 1;
    QTest::newRow("exactly one page") << 1 << 0 << 1;
    QTest::newRow("one row more") << 1 << 1 << 2;
    QTest::newRow("three pages and a bit") << 3 << 5 << 4;
}

void TestDeviceListPrint::pagination()
{
    QFETCH(int, rowsOverPage);
    QFETCH(int, extra);
    QFETCH(int, pages);
    QTemporaryDir dir;
    const auto printer = pdfPrinter(dir.filePath(u"x.pdf"_s), QPageLayout::Portrait);
    const int perPage = DeviceListLayout(makeTable(1, QString(), true), *printer).rowsPerPage;
    const int rows = std::max(0, rowsOverPage) * perPage + extra;
    const DeviceListLayout layout(makeTable(rows, QString(), true), *printer);

    // Without rows only the captions set the font, and with it the row height.
    if (rows > 0)
        QCOMPARE(layout.rowsPerPage, perPage);
    // As many rows as the area holds under the header, and not one more.
    QVERIFY(layout.headerHeight + layout.rowsPerPage * layout.rowHeight <= layout.pageArea.height());
    QVERIFY(layout.headerHeight + (layout.rowsPerPage + 1) * layout.rowHeight > layout.pageArea.height());
    QCOMPARE(layout.pageCount, pages);
    // The pages' slices cover every row once.
    int covered = 0;
    for (int page = 1; page <= layout.pageCount; ++page) {
        const auto [first, last] = layout.rowsOfPage(page);
        QCOMPARE(first, covered);
        covered = std::min(last, rows);
    }
    QCOMPARE(covered, rows);
}

void TestDeviceListPrint::pageRange_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("first"); // 0: nothing printed
    QTest::addColumn<int>("last");
    QTest::newRow("all") << 0 << 0 << 1 << 3;
    QTest::newRow("inside") << 2 << 2 << 2 << 2;
    QTest::newRow("cut at the end") << 2 << 9 << 2 << 3;
    QTest::newRow("open end") << 3 << 0 << 3 << 3;
    QTest::newRow("beyond the end") << 5 << 9 << 0 << 0;
}

void TestDeviceListPrint::pageRange()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, first);
    QFETCH(int, last);
    const auto range = DeviceListLayout::pageRange(from, to, 3);
    QCOMPARE(range.has_value(), first > 0);
    if (range) {
        QCOMPARE(range->first, first);
        QCOMPARE(range->second, last);
    }
}

void TestDeviceListPrint::printsPdf_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("pagesCut"); // printed pages less than the layout's count
    QTest::newRow("all pages") << 0 << 0 << 0;
    QTest::newRow("from page 2, cut") << 2 << 99 << 1;
}

void TestDeviceListPrint::printsPdf()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, pagesCut);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"devices.pdf"_s);
    const auto printer = pdfPrinter(path, QPageLayout::Portrait);
    if (from > 0) {
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(from, to);
    }
    const DeviceListTable table = makeTable(130);
    const DeviceListLayout layout(table, *printer);
    QVERIFY(layout.pageCount >= 2);

    QVERIFY(ui::printDeviceList(*printer, table));
    const QByteArray pdf = testsupport::readFile(path);
    QVERIFY(pdf.startsWith("%PDF"));
    uitest::keepOutputFile(pdf, QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".pdf"_s);
    QCOMPARE(pdfPageCount(pdf), layout.pageCount - pagesCut);
    // The range was kept on the printer for the next print.
    QCOMPARE(printer->fromPage(), from);
}

void TestDeviceListPrint::previewThroughFrame()
{
    uitest::FrameFixture f({{1234, 1, u"Тепловая сеть"_s}, {555, 2, u"Школа № 5"_s}, {77, 3, QString()}});
    const DeviceListTable table = f.frame->deviceListTable();
    QCOMPARE(table.rows.size(), 3);
    QCOMPARE(table.rows[0], QStringList{u"1"_s} + deviceListCells(f.document.accounts()[0]));
    QCOMPARE(table.rows[2][0], u"3"_s);

    int previewPages = -1;
    bool singlePage = false;
    QImage page;
    onNextModal<QPrintPreviewDialog>(this, [&](QPrintPreviewDialog& dialog) {
        dialog.resize(900, 1100);
        if (auto* pages = dialog.findChild<QPrintPreviewWidget*>()) {
            pages->updatePreview();
            previewPages = pages->pageCount();
            singlePage = pages->viewMode() == QPrintPreviewWidget::SinglePageView;
            pages->fitInView();
        }
        QTest::qWait(50);
        page = dialog.grab().toImage();
        dialog.reject();
    });
    f.frame->printDeviceList();

    QCOMPARE(previewPages, 1);
    QVERIFY(singlePage);
    QVERIFY(!page.isNull());
    uitest::keepScreenshot(page, u"device-list-preview.png"_s);

    // The same page drawn onto an image, for a close look at the drawing itself.
    QImage sheet(1240, 1754, QImage::Format_RGB32); // A4 at 150 dpi
    sheet.setDotsPerMeterX(5906);
    sheet.setDotsPerMeterY(5906);
    sheet.fill(Qt::white);
    const DeviceListLayout layout(table, sheet);
    QPainter painter(&sheet);
    ui::drawDeviceListPage(painter, table, layout, 1);
    painter.end();
    // The header row is shaded.
    const int headerY = layout.pageArea.top() + layout.headerHeight / 2;
    QVERIFY(sheet.pixel(layout.pageArea.left() + 2, headerY) != qRgb(255, 255, 255));
    uitest::keepScreenshot(sheet, u"device-list-page.png"_s);
}

int runDeviceListPrintTests(int argc, char** argv)
{
    TestDeviceListPrint tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestDeviceListPrint.moc"
