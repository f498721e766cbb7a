#pragma once

#include <optional>

#include "app/Shell.h"

class QWidget;

// A view the main frame shows as its central widget. Commands reach the view first, as the
// framework's command routing did, so a view can own commands such as saving its report.
class FrameView
{
public:
    virtual ~FrameView() = default;

    virtual ViewKind kind() const = 0;
    virtual QWidget* widget() = 0;
    // Fills the view once it is in the frame.
    virtual void initialUpdate() = 0;
    virtual void repaintView();

    // The enabled state of a command the view handles itself; none for every other command.
    virtual std::optional<bool> commandState(int command) const;
    // False when the view does not handle the command.
    virtual bool onCommand(int command);
};
