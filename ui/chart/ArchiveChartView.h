#pragma once

#include <QChartView>
#include <QPoint>

class QRubberBand;

namespace chartui {

class ArchiveChart;

// The chart on screen: the wheel zooms the time axis at the cursor, a rectangle dragged with
// the left button zooms to it, the right or middle button drags the chart along, a double click
// or Home shows the whole period again; hovering shows the slot's stamp and values.
class ArchiveChartView : public QChartView
{
    Q_OBJECT

public:
    explicit ArchiveChartView(QWidget* parent = nullptr);

    ArchiveChart* archiveChart() const { return m_chart; }

signals:
    // The window or the zoom changed (for the window's "whole period" button).
    void viewChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ArchiveChart* m_chart;
    QRubberBand* m_band = nullptr;
    QPoint m_origin;
    bool m_selecting = false;
    bool m_panning = false;
    int m_panX = 0;
};

} // namespace chartui
