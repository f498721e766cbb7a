// The report view repaints only what its viewport shows: a repaint in the middle of a 2 MB report
// must cost the same as one in a 20 KB report. Compare BM_ViewRepaint/20000 with /2000000;
// BM_ViewOpen is the one-time cost of showing a report (copy and measuring).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include "archive/PrinterControlTable.h"
#include "ui/CReportStatic.h"

namespace {

QByteArray makeReport(qsizetype bytes)
{
    QByteArray text = "\x1b"
                      "C\x64\x1b"
                      "E\t\t\x8f\x8e\x97\x80\x91\x8e\x82\x8e\x89\x1b"
                      "F\r\n";
    for (int row = 0; text.size() < bytes; ++row) {
        text += "\t\xb3" + QByteArray::number(row % 24).rightJustified(2, '0') + ":00\xb3"
            + QByteArray::number(row * 1.25, 'f', 3).rightJustified(11, ' ') + "\xb3"
            + QByteArray::number(row * 7.5, 'f', 2).rightJustified(9, ' ') + "\xb3\r\n";
        if (row % 24 == 23)
            text += "\t\xc3" + QByteArray(5, '\xc4') + "\xc5" + QByteArray(11, '\xc4') + "\xc5" + QByteArray(9, '\xc4')
                + "\xb4\r\n";
    }
    return text + "\x0c";
}

QApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_reportview";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

PrinterControlTable makeTable()
{
    PrinterControlTable table;
    table.loadFromBytes("Bold.On=<ESC>E\r\nBold.Off=<ESC>F\r\nPageLengthN.Lines=<ESC>C\r\n");
    return table;
}

void BM_ViewRepaint(benchmark::State& state)
{
    application();
    const QByteArray text = makeReport(state.range(0));
    const PrinterControlTable table = makeTable();
    CReportStatic view;
    view.resize(1200, 900);
    view.setText(text, &table, 8);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    QImage image(view.viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state)
        view.viewport()->render(&image);
    state.counters["lines"] = view.layout().lineCount();
}

void BM_ViewOpen(benchmark::State& state)
{
    application();
    const QByteArray text = makeReport(state.range(0));
    const PrinterControlTable table = makeTable();
    CReportStatic view;
    view.resize(1200, 900);
    for (auto _ : state)
        view.setText(text, &table, 8);
    state.SetBytesProcessed(state.iterations() * text.size());
}

} // namespace

BENCHMARK(BM_ViewRepaint)->Arg(20000)->Arg(2000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ViewOpen)->Arg(20000)->Arg(2000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
