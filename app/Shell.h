#pragma once

#include <optional>

#include <QString>

struct LogFont;

// The four views the main frame shows, one at a time.
enum class ViewKind { None, DeviceList, ArchiveList, Report, ConfigReport };

// What the document needs of the windows. The desktop program implements it with the main
// frame and its dialogs; the command-line program from its options; tests with scripts.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual ViewKind activeView() const = 0;
    // Shows a view; the archive list shows the account with that index.
    virtual void switchView(ViewKind kind, int accountIndex = -1) = 0;

    // The first selected row of the device list, when one is showing and a row is selected.
    virtual std::optional<int> selectedDeviceRow() const = 0;
    // The account index a device-list row carries.
    virtual int deviceRowAccount(int row) const = 0;

    virtual void setWaitCursor(bool on) = 0;
    // Vertical pixels per inch of the first view's screen; none when no view exists.
    virtual std::optional<int> viewLogPixelsY() const = 0;
    virtual void repaintViews() = 0;

    // The parameters dialog: tab size and view font size in points. False on cancel.
    virtual bool editParameters(int& tabSize, int& fontPoints) = 0;
    // A font dialog initialised from `font`; false on cancel.
    virtual bool chooseFont(LogFont& font) = 0;
};
