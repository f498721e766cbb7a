#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include <QString>

#include "Poller.h"
#include "ProgramSettings.h"
#include "Shell.h"
#include "base/ConnectionBlock.h"
#include "storage/CDevData.h"

class ArchiveDatabase;
struct CfgArcRecord;
class ProfileStore;

// The program's single document: the account list, the current account, the settings it holds
// for the whole run, and every menu command.
class CLorn2Doc
{
public:
    // Reads the program settings.
    CLorn2Doc(ProfileStore& profile, const QString& workingFolder);
    // Writes the default connection of new accounts.
    ~CLorn2Doc();
    CLorn2Doc(const CLorn2Doc&) = delete;
    CLorn2Doc& operator=(const CLorn2Doc&) = delete;

    void setShell(Shell* shell) { m_shell = shell; }
    // The application's database connection, which may be closed.
    void setDatabase(ArchiveDatabase* database) { m_database = database; }
    Shell* shell() const { return m_shell; }
    ProfileStore& profile() const { return m_profile; }
    const QString& workingFolder() const { return m_workingFolder; }

    // The new-document step: loads every account.
    bool OnNewDocument();

    // The accounts in load order; deleted ones keep their place so row item data stay valid.
    std::vector<CDevData>& accounts() { return m_accounts; }
    const std::vector<CDevData>& accounts() const { return m_accounts; }
    CDevData* account(int index);
    bool isValidAccount(int index) const;
    // Accounts with a serial number, deleted ones left out.
    std::vector<int> findBySerial(int serial) const;

    // Fills an empty device list with one row per account; the last selected row is selected.
    void fillDeviceList();
    void setLastSelectedRow(int row) { m_lastSelectedRow = row; }
    int lastSelectedRow() const { return m_lastSelectedRow; }

    // Commands. Those that return bool say whether they did their work.
    bool isCommandEnabled(int command) const;
    // The enable rule of a command in the current state of the views.
    bool ruleAllows(int command) const;
    // True for the commands this program carries out.
    static bool isCommandAvailable(int command);
    // Carries out a command; false when the document does not handle it.
    bool onCommand(int command);

    bool OnAddAccount();
    bool OnDeleteAccount();
    bool OnEditAccountFields();
    bool OnExportDeviceList();
    bool OnShowArchive();
    bool OnShowChart();
    bool OnQualityCheck();
    bool OnImportArchive();
    bool OnExportArchive();
    bool OnExportDatabase();
    void OnPrintDeviceList();
    void OnParameters();
    void OnFont(bool printFont);

    // Configuration commands. Show and Save work on the target account; Save always writes the
    // current configuration, whatever the view shows.
    bool OnShowConfig();
    bool OnSaveConfig();
    bool OnPrintConfig(bool preview);
    // Makes the account's configuration report from its current configuration, or from a
    // snapshot of its configuration archive; the messages are shown here.
    bool buildConfigReport(int accountIndex, const QByteArray* snapshot = nullptr);
    ArchiveDatabase* database() const { return m_database; }
    // The account's configuration archive snapshots, oldest first; rows the database could not
    // give as snapshots are named in one warning. False when the read failed part-way (the
    // snapshots before the fault are kept) or there is no database.
    bool readConfigSnapshots(int accountIndex, std::vector<CfgArcRecord>& snapshots);

    // Report commands. Each works on the target account and shows the report view.
    bool OnCreateReport();
    bool OnLoadReport();
    bool OnSaveReport();
    bool OnPrintReport(bool preview);
    // Builds the account's report; the builder shows its own messages. The document is then
    // modified and named after the account in the reports folder.
    bool buildReport(int accountIndex, const archive::ReportRequest& request);
    // The account's report as buildReport makes it (with the database's daily rows), kept
    // nowhere: the document and its views stay as they are. The builder shows its own messages.
    archive::ReportResult makeReport(int accountIndex, const archive::ReportRequest& request);
    // "Отчёты по всем ТС...": the dialog writes one report per account into a folder.
    bool OnReportsAll();
    // A report just built or received into the account: the document is modified, named after
    // the account in the reports folder, and the report view shows it.
    void showNewReport(int accountIndex);
    // Reads a report file into the account's report; the document takes the file's name.
    bool loadReport(int accountIndex, const QString& path);
    // Writes the account's report to `path` with the command's messages; the document takes the
    // file's name and is no longer modified.
    bool saveReport(int accountIndex, const QString& path);
    // The save dialog for the account's report, then saveReport.
    bool saveReportAs(int accountIndex);
    // The open step for a report file named at start: the selected account gets it.
    bool OnOpenDocument(const QString& path);
    // Selects, for a report file named at start, the account it was made for (its short name is
    // the file's base name), else the first account.
    void selectAccountForReportFile(const QString& path);
    // Before a report is left: asks whether to save an unsaved one. False means stay.
    bool SaveModified();
    // The document's file: the report last built, loaded or saved.
    const QString& pathName() const { return m_pathName; }
    int reportAccount() const { return m_reportAccount; }
    // "Файлы отчётов Лорн (*.tsr)|*.tsr|..." from the document strings.
    static QString reportFileFilter();
    QString reportsFolder() const;

    // Device commands: each runs its operation behind the progress dialog, then shows the result.
    bool OnEditConnection();
    bool OnReadArchive();
    bool OnReadConfig();
    bool OnReadReport();
    bool OnSetClock();
    // Before a device operation: an account without a port gets the connection dialog, and is
    // saved when it was edited there. False ends the command.
    bool prepareDeviceOperation(CDevData& acc);
    // The operation on the account with the document's database; true when it ended with OK.
    bool runDeviceOperation(CDevData& acc, DeviceOperation kind, const QDateTime& when = QDateTime());

    // Polling. Accounts being polled cannot be edited, deleted or read by another command.
    bool OnPollAll();
    bool OnPollSelected();
    bool isPolling(int accountIndex) const { return m_polling.count(accountIndex) != 0; }
    bool pollRunning() const { return !m_polling.empty(); }
    void setPolling(const std::vector<int>& accountIndexes, bool polling);
    // An account's poll ended: the poll's copy of the account replaces the list's, and its row
    // shows the result.
    void pollFinished(int accountIndex, const PollResult& result, const CDevData& data);
    // The last poll's result of an account, of this run or from the poll logs, if any.
    const PollResult* lastPoll(int accountIndex) const;
    // Takes each account's last result from the poll logs, as a poll from cron left them.
    void readPollLogs();
    // Reads an account again from its folder (after another program changed its files); false
    // when it cannot be read, and then the account stays as it was.
    bool reloadAccount(int accountIndex);
    // Redraws the account's device-list row wherever it is.
    void refreshAccountRow(int accountIndex);

    // The target-account rule: the selected device-list row, else the current account. Shows
    // the rule's message and returns none when there is no target; makes the target current.
    std::optional<int> targetAccount(bool deviceListOnly);

    // Converts between the font height in logical units and the size in points.
    static int pointsFromHeight(int height, int logPixelsY);
    static int heightFromPoints(int points, int logPixelsY);

    void writeFontSettings();

    LogFont m_viewFont;
    LogFont m_printFont;
    int m_tabSize = settings::kDefaultTabSize;
    ConnectionBlock NewAccountConnection;
    int m_currentAccount = -1;
    bool m_modified = false;
    QString m_errorLog;
    QString m_pathName;

private:
    // The period the report settings dialog chose: its own start and end, else the rule's.
    static archive::ReportRequest chosenPeriod(const ReportSettingsRequest& request);
    bool deviceListShowing() const;
    // The account the device commands would work on now, without messages; -1 when none.
    int ruleTargetAccount() const;
    bool deviceRowSelected() const;
    bool currentAccountSet() const;
    bool deleteSelectedAccount(DeleteFilesChoice choice);
    // Redraws the account's device-list row when it is the selected one.
    void refreshDeviceRow(int accountIndex);

    // The header values of an archive file that an import uses.
    struct ArchiveHeader
    {
        int serial = 0;
        QString consumer, phone, consumerId, address, contact;
    };
    bool readArchiveHeader(const QString& path, ArchiveHeader& header);
    enum class ImportResult { Done, Cancelled, Failed };
    ImportResult importArchive(const QString& path);

    ProfileStore& m_profile;
    QString m_workingFolder;
    Shell* m_shell = nullptr;
    ArchiveDatabase* m_database = nullptr;
    std::vector<CDevData> m_accounts;
    std::set<int> m_polling;
    std::map<int, PollResult> m_lastPoll;
    int m_lastSelectedRow = -1;
    // The account whose report the modified flag and the path name belong to.
    int m_reportAccount = -1;
};
