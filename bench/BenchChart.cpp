// The archive chart and the data-quality check over ten years of hours against one year. The
// drawing is bounded by the pixels, so ten times the records should cost little more; the
// check is linear.
#include <benchmark/benchmark.h>

#include <map>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "archive/ChartSeries.h"
#include "archive/DataQuality.h"
#include "ui/chart/ArchiveChart.h"
#include "ui/chart/ChartFile.h"

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_chart";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// `count` hourly records from 2016-01-01 01:00: twelve hours missing and eight with error
// codes, spread over the whole span whatever its length, as a meter's faults do not grow with
// the archive kept of it.
const std::vector<sctArcZap>& hours(std::size_t count)
{
    static std::map<std::size_t, std::vector<sctArcZap>> cache;
    std::vector<sctArcZap>& out = cache[count];
    if (!out.empty())
        return out;
    const QDateTime start(QDate(2016, 1, 1), QTime(0, 0));
    for (std::size_t h = 1; h <= count; ++h) {
        if (h % (count / 12) == 5)
            continue;
        const QDateTime t = start.addSecs(qint64(h) * 3600);
        sctArcZap r;
        r.year = std::uint8_t(t.date().year() - 2000);
        r.month = std::uint8_t(t.date().month());
        r.day = std::uint8_t(t.date().day());
        r.hour = std::uint8_t(t.time().hour());
        r.Event = archive::kEventHourly;
        r.Q[0] = float(double(h) * 0.1);
        r.M[0] = float(double(h) * 2.0);
        r.M[1] = float(double(h) * 1.98);
        r.t[0] = float(70 + (h % 24) / 3.0);
        r.t[1] = float(45 + (h % 24) / 8.0);
        r.T[0] = std::uint32_t(h * 60);
        if (h % (count / 8) == 7)
            r.Err[0] = 0x010;
        out.push_back(r);
    }
    return out;
}

QDate lastDay(std::size_t count)
{
    return QDate(2016, 1, 1).addDays(qint64(count / 24));
}

// The whole period of `count` hours on a 1200x700 picture, laid out and ready to paint.
struct Picture
{
    explicit Picture(std::size_t count)
        : app(application())
        , image(1200, 700, QImage::Format_ARGB32_Premultiplied)
        , offscreen(image.size())
    {
        chartui::ArchiveChart& chart = offscreen.chart();
        chart.setShown({ archive::chart::Quantity::Q, archive::chart::Quantity::t1, archive::chart::Quantity::t2 });
        chart.setSeries(archive::chart::build(hours(count), { 0, archive::chart::Step::Hourly, QDate(2016, 1, 1),
                                                              lastDay(count), {} }),
                        QStringLiteral("Гкал"));
        offscreen.layout();
    }
    void paint()
    {
        image.fill(Qt::white);
        QPainter painter(&image);
        chartui::paintChart(offscreen.chart(), painter, QRectF(image.rect()));
    }

    QApplication& app; // before the chart, which is a graphics scene
    QImage image;
    chartui::OffscreenChart offscreen;
};

// Drawing once the series is there: the downsampling for the plot's width, the layout and the
// painting. Building the series is apart below: it runs once per period, not once per drawing.
void BM_ChartDraw(benchmark::State& state)
{
    Picture picture(std::size_t(state.range(0)));
    picture.paint(); // the font database loads on the first drawing of the process
    for (auto _ : state) {
        picture.offscreen.chart().resetView();
        picture.paint();
    }
}
BENCHMARK(BM_ChartDraw)->Arg(8760)->Arg(87600)->Unit(benchmark::kMillisecond);

// A repaint (an exposed window, a print): what is drawn is already reduced to the pixels.
void BM_ChartRepaint(benchmark::State& state)
{
    Picture picture(std::size_t(state.range(0)));
    picture.paint();
    for (auto _ : state)
        picture.paint();
}
BENCHMARK(BM_ChartRepaint)->Arg(8760)->Arg(87600)->Unit(benchmark::kMillisecond);

void BM_SeriesBuild(benchmark::State& state)
{
    const std::size_t count = std::size_t(state.range(0));
    const std::vector<sctArcZap>& records = hours(count);
    for (auto _ : state)
        benchmark::DoNotOptimize(archive::chart::build(
            records, { 0, archive::chart::Step::Hourly, QDate(2016, 1, 1), lastDay(count), {} }));
}
BENCHMARK(BM_SeriesBuild)->Arg(8760)->Arg(87600)->Unit(benchmark::kMillisecond);

// What a zoom or a pan costs: the downsampling of three series for a new window.
void BM_ChartRedraw(benchmark::State& state)
{
    const std::size_t count = std::size_t(state.range(0));
    const archive::chart::Series s = archive::chart::build(
        hours(count), { 0, archive::chart::Step::Hourly, QDate(2016, 1, 1), lastDay(count), {} });
    for (auto _ : state) {
        for (auto q : { archive::chart::Quantity::Q, archive::chart::Quantity::t1, archive::chart::Quantity::t2 })
            benchmark::DoNotOptimize(archive::chart::downsample(s, q, s.x.front(), s.x.back(), 1100));
    }
}
BENCHMARK(BM_ChartRedraw)->Arg(8760)->Arg(87600)->Unit(benchmark::kMicrosecond);

void BM_QualityCheck(benchmark::State& state)
{
    const std::vector<sctArcZap>& records = hours(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(archive::quality::check(records, {}, 1));
    state.counters["records"] = double(records.size());
}
BENCHMARK(BM_QualityCheck)->Arg(8760)->Arg(87600)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
