#pragma once

#include <deque>
#include <functional>

#include "app/Shell.h"
#include "storage/CDevData.h"

// A shell whose views and dialogs are played by the test: the device list is a vector of
// account indexes, and each dialog answers from a script.
class ScriptedShell : public Shell
{
public:
    ViewKind activeView() const override { return view; }
    void switchView(ViewKind kind, int accountIndex) override
    {
        view = kind;
        shownAccount = accountIndex;
    }
    void setTitle(const QString& t) override { title = t; }

    std::optional<int> selectedDeviceRow() const override
    {
        if (view != ViewKind::DeviceList)
            return std::nullopt;
        return selected;
    }
    int deviceRowAccount(int row) const override
    {
        return row >= 0 && std::size_t(row) < rows.size() ? rows[std::size_t(row)] : -1;
    }
    void addDeviceRow(const CDevData&, int accountIndex, bool select) override
    {
        rows.push_back(accountIndex);
        if (select)
            selected = int(rows.size()) - 1;
    }
    void updateDeviceRow(int row, const CDevData&) override { updatedRows.push_back(row); }
    bool removeDeviceRow(int row) override
    {
        if (row < 0 || std::size_t(row) >= rows.size())
            return false;
        rows.erase(rows.begin() + row);
        if (rows.empty())
            selected.reset();
        else
            selected = std::min(row, int(rows.size()) - 1);
        return true;
    }
    void printDeviceList() override { ++prints; }

    void setWaitCursor(bool on) override { waitDepth += on ? 1 : -1; }
    std::optional<int> viewLogPixelsY() const override { return dpi; }
    void repaintViews() override { ++repaints; }
    bool editParameters(int& tabSize, int& fontPoints) override
    {
        shownPoints = fontPoints;
        shownTab = tabSize;
        if (!acceptParameters)
            return false;
        tabSize = newTab;
        fontPoints = newPoints;
        return true;
    }
    bool chooseFont(LogFont&) override { return false; }
    bool editAccount(CDevData& record, bool newAccount, const QString& caption) override
    {
        lastEditWasNew = newAccount;
        lastCaption = caption;
        if (accountEdits.empty())
            return false;
        const auto edit = accountEdits.front();
        accountEdits.pop_front();
        return edit(record);
    }
    DeleteFilesChoice askDeleteFiles() override { return deleteChoice; }
    std::optional<int> chooseAccountByType(const std::vector<int>& indexes) override
    {
        offeredAccounts = indexes;
        return chosenAccount;
    }
    QString getOpenFileName(const FileDialogSpec& dialog) override
    {
        lastDialog = dialog;
        return fileName;
    }
    QString getSaveFileName(const FileDialogSpec& dialog) override
    {
        lastDialog = dialog;
        return fileName;
    }
    bool editReportSettings(ReportSettingsRequest& request) override
    {
        offeredReport = request;
        ++reportDialogs;
        return reportAnswer && reportAnswer(request);
    }
    void printReport(const CDevData& account, bool preview) override
    {
        printedReports.push_back({account.m_serial, preview});
    }

    ViewKind view = ViewKind::DeviceList;
    int shownAccount = -1;
    QString title;
    std::vector<int> rows;
    std::optional<int> selected;
    std::vector<int> updatedRows;
    int prints = 0;
    int waitDepth = 0;
    std::optional<int> dpi = 96;
    int repaints = 0;
    bool acceptParameters = true;
    int newTab = 4;
    int newPoints = 12;
    int shownPoints = -1;
    int shownTab = -1;
    std::deque<std::function<bool(CDevData&)>> accountEdits;
    bool lastEditWasNew = false;
    QString lastCaption;
    DeleteFilesChoice deleteChoice = DeleteFilesChoice::Cancel;
    std::vector<int> offeredAccounts;
    std::optional<int> chosenAccount;
    QString fileName;
    FileDialogSpec lastDialog;
    std::function<bool(ReportSettingsRequest&)> reportAnswer;
    ReportSettingsRequest offeredReport;
    int reportDialogs = 0;
    std::vector<std::pair<int, bool>> printedReports; // serial number, preview
};
