#pragma once

#include <optional>

#include <QRectF>
#include <QSize>
#include <QString>

class QGraphicsScene;
class QIODevice;
class QPainter;

namespace chartui {

class ArchiveChart;

enum class ChartFormat { Png, Svg, Pdf };

// The format a file name asks for by its extension; none for any other.
std::optional<ChartFormat> chartFormatOf(const QString& path);

// Draws the chart as it stands (window and zoom included) into `target`.
void paintChart(ArchiveChart& chart, QPainter& painter, const QRectF& target);

// Writes the chart as a PNG (at twice its size, for print-sharp lines), an SVG or a one-page
// landscape PDF; false with the reason when the device refused.
bool writeChart(ArchiveChart& chart, QIODevice& out, ChartFormat format, const QString& title, QString* error);

// A chart with no window, laid out at a fixed size: what lorn2-cli draws.
class OffscreenChart
{
public:
    explicit OffscreenChart(QSize size);
    ~OffscreenChart();
    OffscreenChart(const OffscreenChart&) = delete;
    OffscreenChart& operator=(const OffscreenChart&) = delete;

    ArchiveChart& chart() { return *m_chart; }
    // Lays the chart out at its size; call after setting its series.
    void layout();

private:
    QGraphicsScene* m_scene;
    ArchiveChart* m_chart;
    QSize m_size;
};

} // namespace chartui
