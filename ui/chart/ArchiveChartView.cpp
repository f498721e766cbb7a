#include "ui/chart/ArchiveChartView.h"

#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QToolTip>
#include <QWheelEvent>

#include "ui/chart/ArchiveChart.h"

namespace chartui {

namespace {

constexpr double kWheelStep = 0.8; // one notch shows 80 % of the time it showed

} // namespace

ArchiveChartView::ArchiveChartView(QWidget* parent)
    : QChartView(parent)
    , m_chart(new ArchiveChart)
{
    setChart(m_chart);
    setRenderHint(QPainter::Antialiasing, true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setMinimumSize(320, 220);
}

void ArchiveChartView::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) {
        event->ignore();
        return;
    }
    const QPointF scene = mapToScene(event->position().toPoint());
    m_chart->zoomTime(std::pow(kWheelStep, notches), scene.x());
    emit viewChanged();
    event->accept();
}

void ArchiveChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_origin = event->position().toPoint();
        m_selecting = true;
        if (m_band == nullptr)
            m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_band->setGeometry(QRect(m_origin, QSize()));
        m_band->show();
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_panX = event->position().toPoint().x();
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void ArchiveChartView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_selecting && m_band != nullptr) {
        m_band->setGeometry(QRect(m_origin, pos).normalized());
    } else if (m_panning) {
        const double width = m_chart->plotArea().width();
        if (width > 0) {
            m_chart->panTime(double(m_panX - pos.x()) / width);
            m_panX = pos.x();
            emit viewChanged();
        }
    } else if (const auto slot = m_chart->slotAt(mapToScene(pos))) {
        QToolTip::showText(event->globalPosition().toPoint(), m_chart->slotText(*slot), this);
    } else {
        QToolTip::hideText();
    }
    event->accept();
}

void ArchiveChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_selecting && event->button() == Qt::LeftButton) {
        m_selecting = false;
        m_band->hide();
        const QRect r = QRect(m_origin, event->position().toPoint()).normalized();
        if (r.width() > 4) {
            m_chart->zoomToRect(QRectF(mapToScene(r.topLeft()), mapToScene(r.bottomRight())));
            emit viewChanged();
        }
    } else if (m_panning) {
        m_panning = false;
        viewport()->unsetCursor();
    }
    event->accept();
}

void ArchiveChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_chart->resetView();
    emit viewChanged();
    event->accept();
}

void ArchiveChartView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_chart->zoomTime(kWheelStep, m_chart->plotArea().center().x());
        break;
    case Qt::Key_Minus:
        m_chart->zoomTime(1.0 / kWheelStep, m_chart->plotArea().center().x());
        break;
    case Qt::Key_Left:
        m_chart->panTime(-0.1);
        break;
    case Qt::Key_Right:
        m_chart->panTime(0.1);
        break;
    case Qt::Key_Home:
        m_chart->resetView();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    emit viewChanged();
    event->accept();
}

} // namespace chartui
