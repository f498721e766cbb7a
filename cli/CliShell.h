#pragma once

#include "app/Shell.h"

// The document's windows as seen from the command line: the device list is the view, the row
// a command names is the selected one, and no dialog is ever shown.
class CliShell : public Shell
{
public:
    ViewKind activeView() const override { return m_view; }
    void switchView(ViewKind kind, int accountIndex) override;
    std::optional<int> selectedDeviceRow() const override { return m_selectedRow; }
    int deviceRowAccount(int row) const override { return row; }
    void setWaitCursor(bool on) override { Q_UNUSED(on); }
    std::optional<int> viewLogPixelsY() const override { return std::nullopt; }
    void repaintViews() override { }
    bool editParameters(int& tabSize, int& fontPoints) override;
    bool chooseFont(LogFont& font) override;

    void selectRow(std::optional<int> row) { m_selectedRow = row; }
    int shownAccount() const { return m_shownAccount; }

private:
    ViewKind m_view = ViewKind::DeviceList;
    std::optional<int> m_selectedRow;
    int m_shownAccount = -1;
};
