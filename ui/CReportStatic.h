#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QFont>

#include "ui/paint/ReportPainter.h"

class PrinterControlTable;

// The report drawing area: the text in fixed character cells with both scroll bars, one step a
// line or a column. Only the lines inside the viewport are painted, so a report of megabytes
// scrolls as fast as one page.
class CReportStatic : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit CReportStatic(QWidget* parent = nullptr);

    // Takes a copy of the text; the table must outlive the control or be replaced first.
    void setText(const QByteArray& text, const PrinterControlTable* controls, int tabSize);
    // Tab size and font changes re-measure the text and keep the scroll position where possible.
    void setTabSize(int tabSize);
    void setTextFont(const QFont& font);

    const QByteArray& text() const { return m_text; }
    const paint::TextLayout& layout() const { return m_layout; }
    const paint::Cells& cells() const { return m_cells; }
    int tabSize() const { return m_options.tabSize; }
    // The first and last line the last paint drew; -1 before the first paint.
    int firstPaintedLine() const { return m_firstPainted; }
    int lastPaintedLine() const { return m_lastPainted; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateCells();
    void updateScrollBars();

    QByteArray m_text;
    paint::TextLayout m_layout;
    paint::DrawOptions m_options;
    QFont m_font;
    paint::Cells m_cells;
    int m_firstPainted = -1;
    int m_lastPainted = -1;
};
