#pragma once

#include <functional>
#include <vector>

#include "app/Shell.h"

class QCommandLineParser;

// The document's windows as seen from the command line: the device list is the view, the row
// of the account a command names is the selected one, and dialogs are answered by the options.
class CliShell : public Shell
{
public:
    using AccountEditor = std::function<bool(CDevData&, bool newAccount)>;

    ViewKind activeView() const override { return m_view; }
    void switchView(ViewKind kind, int accountIndex) override;
    void setTitle(const QString& title) override { m_title = title; }

    std::optional<int> selectedDeviceRow() const override { return m_selectedRow; }
    int deviceRowAccount(int row) const override;
    void addDeviceRow(const CDevData& account, int accountIndex, bool select) override;
    void updateDeviceRow(int row, const CDevData& account) override;
    bool removeDeviceRow(int row) override;
    void printDeviceList() override { }

    void setWaitCursor(bool on) override { Q_UNUSED(on); }
    std::optional<int> viewLogPixelsY() const override { return std::nullopt; }
    void repaintViews() override { }
    bool editParameters(int& tabSize, int& fontPoints) override;
    bool chooseFont(LogFont& font) override;
    bool editAccount(CDevData& record, bool newAccount, const QString& caption) override;
    DeleteFilesChoice askDeleteFiles() override { return m_deleteChoice; }
    std::optional<int> chooseAccountByType(const std::vector<int>& accountIndexes) override;
    QString getOpenFileName(const FileDialogSpec& dialog) override;
    QString getSaveFileName(const FileDialogSpec& dialog) override;
    bool editReportSettings(ReportSettingsRequest& request) override;
    // The clock dialog answered "Установить" at once, with the value of setClockTime.
    bool setClock(CDevData* account, const ClockSetter& run) override;
    bool runDeviceOperation(CDevData& account, const DeviceOperationRequest& request) override;

    // What the options answer.
    void setAccountEditor(AccountEditor editor) { m_editor = std::move(editor); }
    void setDeleteChoice(DeleteFilesChoice choice) { m_deleteChoice = choice; }
    void setFileName(const QString& path) { m_fileName = path; }
    // Fills the report settings dialog; false cancels it.
    void setReportSettings(std::function<bool(ReportSettingsRequest&)> answer) { m_reportSettings = std::move(answer); }
    void setChooser(std::function<std::optional<int>(const std::vector<int>&)> chooser)
    {
        m_chooser = std::move(chooser);
    }

    // Runs the device operations; without one every operation is cancelled.
    using DeviceRunner = std::function<bool(CDevData&, const DeviceOperationRequest&)>;
    void setDeviceRunner(DeviceRunner runner) { m_deviceRunner = std::move(runner); }
    // The time the clock dialog sets; none: the computer's clock at that moment.
    void setClockTime(std::optional<QDateTime> when) { m_clockTime = std::move(when); }

    // Selects the row that shows the account; false when none does.
    bool selectAccount(int accountIndex);
    const std::vector<int>& rows() const { return m_rows; }
    int shownAccount() const { return m_shownAccount; }

private:
    ViewKind m_view = ViewKind::DeviceList;
    QString m_title;
    std::vector<int> m_rows; // account index of each device-list row
    std::optional<int> m_selectedRow;
    int m_shownAccount = -1;
    AccountEditor m_editor;
    DeleteFilesChoice m_deleteChoice = DeleteFilesChoice::Cancel;
    QString m_fileName;
    std::function<std::optional<int>(const std::vector<int>&)> m_chooser;
    std::function<bool(ReportSettingsRequest&)> m_reportSettings;
    DeviceRunner m_deviceRunner;
    std::optional<QDateTime> m_clockTime;
};
