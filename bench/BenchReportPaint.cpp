// Painting the visible window of a report must cost the same in the middle of a 2 MB report as
// in a 20 KB one: the view starts at the first visible line's offset, never walks from the top.
// Compare BM_PaintWindow/20000 with BM_PaintWindow/2000000.

#include <benchmark/benchmark.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "archive/PrinterControlTable.h"
#include "ui/paint/ReportPainter.h"

namespace {

constexpr int kVisibleLines = 60;

// A report-like text of about `bytes` bytes: ESC/P codes, table borders, tabs, numbers and
// IBM866 words, CR LF line ends.
QByteArray makeReport(qsizetype bytes)
{
    QByteArray text = "\x1b@\x1b" "C\x48\x1b" "EHour report\x1b" "F\r\n";
    const QByteArray border = "\t\xc3" + QByteArray(18, '\xc4') + "\xc5" + QByteArray(14, '\xc4') + "\xc5"
        + QByteArray(14, '\xc4') + "\xc5" + QByteArray(14, '\xc4') + "\xb4\r\n";
    for (int row = 0; text.size() < bytes; ++row) {
        if (row % 10 == 0)
            text += border;
        text += "\t\xb3 " + QByteArray::number(row % 24).rightJustified(2, '0') + ":00 \x8f\xe0\xa8\xa2\xa5\xe2  \xb3"
            + QByteArray::number(row * 1.25, 'f', 3).rightJustified(13, ' ') + " \xb3"
            + QByteArray::number(row * 7.5, 'f', 2).rightJustified(13, ' ') + " \xb3\x1b" "E"
            + QByteArray::number(row % 997).rightJustified(13, ' ') + "\x1b" "F \xb3\r\n";
    }
    return text + "\x0c";
}

// Fonts and paint devices need the application object; no window system is used.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "bench_reportpaint";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
}

PrinterControlTable makeTable()
{
    PrinterControlTable table;
    table.loadFromBytes("Init.Reset=<ESC>@\r\nBold.On=<ESC>E\r\nBold.Off=<ESC>F\r\nPageLenN.Set=<ESC>C\r\n"
                        "Cond.On=15\r\nCond.Off=18\r\n");
    return table;
}

void BM_PaintWindow(benchmark::State& state)
{
    ensureApplication();
    const QByteArray text = makeReport(state.range(0));
    const PrinterControlTable table = makeTable();
    const paint::TextLayout layout = paint::measure(text, 8);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(14);
    QImage image(1600, 1000, QImage::Format_RGB32);
    const paint::Cells cells = paint::cellsFor(font, &image);
    const int first = layout.lineCount() / 2;
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        paint::paintLines(painter, text, layout, first, first + kVisibleLines - 1, QPoint(0, 0), cells,
                          { &table, 8 });
    }
    state.counters["lines"] = layout.lineCount();
}

void BM_Measure(benchmark::State& state)
{
    const QByteArray text = makeReport(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(paint::measure(text, 8));
    state.SetBytesProcessed(state.iterations() * text.size());
}

} // namespace

BENCHMARK(BM_PaintWindow)->Arg(20000)->Arg(2000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Measure)->Arg(20000)->Arg(2000000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
