#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QString>

#include "archive/ReportColumns.h"

struct LogFont;
class ArchiveDatabase;
class CDevData;

// The four views the main frame shows, one at a time.
enum class ViewKind { None, DeviceList, ArchiveList, Report, ConfigReport, Chart };

// The choice of the dialog that asks what to do with a deleted account's files.
enum class DeleteFilesChoice { Delete, Move, Cancel };

// An open or save file dialog. The filter is written "Description|pattern|...||".
struct FileDialogSpec
{
    QString title;
    QString filter;
    QString defaultExtension; // without the dot
    QString defaultName;
    QString folder;
};

// What the report settings dialog shows (the account, its contours and archive span) and what it
// returns (kind, contour, the chosen dates, and the start and end the builder wants).
struct ReportSettingsRequest
{
    int serial = 0;
    QString typeName;
    int netAddress = 0;
    int numSys = 1;
    QDateTime earliest; // the archive's span; the pickers are limited to it when both are valid
    QDateTime latest;

    archive::ReportKind kind = archive::ReportKind::Hourly;
    int contour = 0; // 0-based
    QDate first;
    QDate last;
    QDateTime start; // set on OK
    QDateTime end;
};

// The device operations the progress dialog runs, by their old kind numbers.
enum class DeviceOperation { GetArchive = 1, GetReport = 2, GetConfig = 3, SetDateTime = 4 };

struct DeviceOperationRequest
{
    DeviceOperation kind = DeviceOperation::GetArchive;
    QDateTime when;             // Set Date and Time: the value the clock is set to
    unsigned char overwrite = 0; // handed to the add-record step when the records are taken
    ArchiveDatabase* database = nullptr;
};

// What the document needs of the windows. The desktop program implements it with the main
// frame and its dialogs; the command-line program from its options; tests with scripts.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual ViewKind activeView() const = 0;
    // Shows a view; the archive list shows the account with that index.
    virtual void switchView(ViewKind kind, int accountIndex = -1) = 0;
    virtual void setTitle(const QString& title) = 0;

    // The device list, when it is showing: its first selected row and the rows' account indexes.
    virtual std::optional<int> selectedDeviceRow() const = 0;
    virtual int deviceRowAccount(int row) const = 0;
    virtual void addDeviceRow(const CDevData& account, int accountIndex, bool select) = 0;
    virtual void updateDeviceRow(int row, const CDevData& account) = 0;
    virtual bool removeDeviceRow(int row) = 0;
    virtual void printDeviceList() = 0;

    virtual void setWaitCursor(bool on) = 0;
    // Vertical pixels per inch of the first view's screen; none when no view exists.
    virtual std::optional<int> viewLogPixelsY() const = 0;
    virtual void repaintViews() = 0;

    // The parameters dialog: tab size and view font size in points. False on cancel.
    virtual bool editParameters(int& tabSize, int& fontPoints) = 0;
    // A font dialog initialised from `font`; false on cancel.
    virtual bool chooseFont(LogFont& font) = 0;
    // The account dialog on a record; a new account has its serial number and type editable.
    // Message boxes of the dialog carry `caption` when it is not empty. False on cancel.
    virtual bool editAccount(CDevData& record, bool newAccount, const QString& caption) = 0;
    virtual DeleteFilesChoice askDeleteFiles() = 0;
    // Which of several accounts with one serial number (indexes into the list); none on cancel.
    virtual std::optional<int> chooseAccountByType(const std::vector<int>& accountIndexes) = 0;
    // The chosen path, empty on cancel.
    virtual QString getOpenFileName(const FileDialogSpec& dialog) = 0;
    virtual QString getSaveFileName(const FileDialogSpec& dialog) = 0;
    // Prints the configuration report view, or shows its print preview; false without one.
    virtual bool printConfigReport(bool preview)
    {
        Q_UNUSED(preview);
        return false;
    }

    // Opens the poll window on these accounts (indexes into the list); it runs beside the
    // main window. False when no poll started.
    virtual bool startPoll(const std::vector<int>& accounts)
    {
        Q_UNUSED(accounts);
        return false;
    }
    // The dialog of reports for many accounts at once (indexes into the list): it asks for the
    // kind, period, contour and folder, writes one report per account there and says what it
    // wrote and skipped. False when cancelled.
    virtual bool reportsForAccounts(const std::vector<int>& accounts)
    {
        Q_UNUSED(accounts);
        return false;
    }
    // The data-quality findings of the account over the period the current view shows (the
    // whole archive from the device list). False when nothing was shown.
    virtual bool showQualityCheck(int account)
    {
        Q_UNUSED(account);
        return false;
    }
    // The report settings dialog; false on cancel.
    virtual bool editReportSettings(ReportSettingsRequest& request)
    {
        Q_UNUSED(request);
        return false;
    }
    // Prints the account's report, or shows its print preview.
    virtual void printReport(const CDevData& account, bool preview)
    {
        Q_UNUSED(account);
        Q_UNUSED(preview);
    }

    // The connection dialog ("Параметры связи") on an account; on OK the edited port, line
    // settings, timeout, retries, modem and per-contour values are in `account`, which the
    // caller saves. False on cancel.
    virtual bool editConnection(CDevData& account)
    {
        Q_UNUSED(account);
        return false;
    }

    // Runs Set Date and Time on the clock dialog's account with this local date-time behind the
    // progress dialog; true when the operation ended with result 0.
    using ClockSetter = std::function<bool(const QDateTime& when)>;
    // The clock dialog on the document's account (null: none, and it cannot set anything). Its
    // "Установить" opens the connection dialog and saves the account first when the account
    // has no port yet, then calls `run`. True when the dialog closed with OK.
    virtual bool setClock(CDevData* account, const ClockSetter& run)
    {
        Q_UNUSED(account);
        Q_UNUSED(run);
        return false;
    }

    // Runs a device operation on the account behind the progress dialog. True when the dialog
    // ended with OK (by itself, or "Сохранить" after a stop): what was read is then in the
    // account, hourly records merged. The operation shows its own messages.
    virtual bool runDeviceOperation(CDevData& account, const DeviceOperationRequest& request)
    {
        Q_UNUSED(account);
        Q_UNUSED(request);
        return false;
    }
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor
{
public:
    explicit WaitCursor(Shell* shell)
        : m_shell(shell)
    {
        if (m_shell != nullptr)
            m_shell->setWaitCursor(true);
    }
    ~WaitCursor()
    {
        if (m_shell != nullptr)
            m_shell->setWaitCursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Shell* m_shell;
};
