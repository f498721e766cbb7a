#include "FrameView.h"

#include <QAbstractScrollArea>
#include <QWidget>

void FrameView::repaintView()
{
    QWidget* w = widget();
    // A scroll area paints its content in the viewport, which update() of the area misses.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
        area->viewport()->update();
    w->update();
}

std::optional<bool> FrameView::commandState(int command) const
{
    Q_UNUSED(command);
    return std::nullopt;
}

bool FrameView::onCommand(int command)
{
    Q_UNUSED(command);
    return false;
}
