#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QChart>

#include "archive/ChartSeries.h"

class QLineSeries;
class QScatterSeries;
class QDateTimeAxis;
class QValueAxis;

namespace chartui {

class SeriesLayer;

using archive::chart::Quantity;

// The archive chart: Qt Charts draws the frame, the axes and the legend; the lines and the
// marks are drawn from the downsampled series by a layer of our own, so a gap is a gap and a
// ten-year archive draws no slower than a month. Times are the series' stamp milliseconds.
class ArchiveChart : public QChart
{
    Q_OBJECT

public:
    explicit ArchiveChart(QGraphicsItem* parent = nullptr);
    ~ArchiveChart() override;

    void setSeries(archive::chart::Series series, const QString& energyUnit);
    const archive::chart::Series& archiveSeries() const { return m_series; }
    void setShown(const std::vector<Quantity>& shown);
    const std::vector<Quantity>& shown() const { return m_shown; }

    // The visible time window; the whole period after setSeries() and resetView().
    std::int64_t windowFrom() const { return m_from; }
    std::int64_t windowTo() const { return m_to; }
    void setWindow(std::int64_t from, std::int64_t to);
    void resetView();
    bool isZoomed() const;
    // Zooms the time axis by `factor` (below 1 zooms in) keeping the time under `plotX` in place.
    void zoomTime(double factor, double plotX);
    // Moves the window by a fraction of its width (positive: later).
    void panTime(double fraction);
    // Zooms to a rectangle of the plot in scene coordinates; both axes follow it.
    void zoomToRect(const QRectF& sceneRect);

    // What is drawn now, for the view's tooltips and for tests.
    const std::vector<archive::chart::DrawPoint>& drawn(Quantity q) const;
    const std::vector<archive::chart::Band>& drawnBands(archive::chart::Mark mark) const;
    // The slot under a scene position, if the position is on the plot.
    std::optional<std::size_t> slotAt(const QPointF& scenePos) const;
    QString slotText(std::size_t slot) const;

    // Recomputes what is drawn for the current window and plot size.
    void refresh();

    QString slotStampText(std::size_t slot) const;

private:
    friend class SeriesLayer;

    void rebuildLegend();
    void updateAxes();
    double xToScene(std::int64_t ms) const;
    std::int64_t sceneToMs(double x) const;
    bool onAmountAxis(Quantity q) const { return archive::chart::isAmount(q); }

    archive::chart::Series m_series;
    QString m_energyUnit;
    std::vector<Quantity> m_shown;
    std::int64_t m_from = 0;
    std::int64_t m_to = 0;
    // Set by a rectangle zoom: the value ranges it chose, until the view is reset.
    std::optional<std::pair<double, double>> m_readingRange, m_amountRange;

    QDateTimeAxis* m_timeAxis = nullptr;
    QValueAxis* m_readingAxis = nullptr;
    QValueAxis* m_amountAxis = nullptr;
    std::array<QLineSeries*, archive::chart::kQuantities> m_legend{};
    std::array<QScatterSeries*, 5> m_markLegend{};
    SeriesLayer* m_layer = nullptr;

    std::array<std::vector<archive::chart::DrawPoint>, archive::chart::kQuantities> m_drawn;
    std::array<std::vector<archive::chart::Band>, 5> m_bands;
};

// The colour of a quantity's line and of a mark.
QColor quantityColor(Quantity q);
QColor markColor(archive::chart::Mark mark);
QString markCaption(archive::chart::Mark mark);

} // namespace chartui
