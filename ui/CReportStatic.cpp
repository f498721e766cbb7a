#include "CReportStatic.h"

#include <algorithm>

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

CReportStatic::CReportStatic(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_font(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAutoFillBackground(true);
    QPalette colours = viewport()->palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    viewport()->setPalette(colours);
    updateCells();
}

void CReportStatic::setText(const QByteArray& text, const PrinterControlTable* controls, int tabSize)
{
    m_text = text;
    m_options.controls = controls;
    m_options.tabSize = tabSize;
    m_layout = paint::measure(m_text, tabSize);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void CReportStatic::setTabSize(int tabSize)
{
    if (tabSize == m_options.tabSize)
        return;
    m_options.tabSize = tabSize;
    m_layout = paint::measure(m_text, tabSize);
    updateScrollBars();
    viewport()->update();
}

void CReportStatic::setTextFont(const QFont& font)
{
    m_font = font;
    updateCells();
    updateScrollBars();
    viewport()->update();
}

void CReportStatic::updateCells()
{
    m_cells = paint::cellsFor(m_font, viewport());
    m_cells.width = std::max(1, m_cells.width);
    m_cells.height = std::max(1, m_cells.height);
}

void CReportStatic::updateScrollBars()
{
    const int visibleLines = std::max(1, viewport()->height() / m_cells.height);
    const int visibleColumns = std::max(1, viewport()->width() / m_cells.width);
    verticalScrollBar()->setRange(0, std::max(0, m_layout.lineCount() - visibleLines));
    verticalScrollBar()->setPageStep(visibleLines);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, m_layout.longestLine - visibleColumns));
    horizontalScrollBar()->setPageStep(visibleColumns);
    horizontalScrollBar()->setSingleStep(1);
}

void CReportStatic::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CReportStatic::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Home and Ctrl+End jump to the ends of a long report.
    if (event->key() == Qt::Key_Home && event->modifiers().testFlag(Qt::ControlModifier)) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
        return;
    }
    if (event->key() == Qt::Key_End && event->modifiers().testFlag(Qt::ControlModifier)) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CReportStatic::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(viewport());
    painter.setPen(viewport()->palette().color(QPalette::WindowText));
    painter.setFont(m_cells.font);
    m_firstPainted = m_lastPainted = -1;
    if (m_layout.lineCount() == 0)
        return;
    const int first = verticalScrollBar()->value();
    const int last = std::min(m_layout.lineCount() - 1, first + viewport()->height() / m_cells.height);
    const QPoint origin(-horizontalScrollBar()->value() * m_cells.width, 0);
    paint::paintLines(painter, m_text, m_layout, first, last, origin, m_cells, m_options);
    m_firstPainted = first;
    m_lastPainted = last;
}
