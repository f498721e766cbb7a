#pragma once

#include <memory>

#include <QHash>
#include <QList>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include "DeviceListPrinter.h"
#include "app/Shell.h"

class CLorn2Doc;
class CLorn2View;
class FrameView;
class PollWindow;
class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QToolBar;

// The main window: the menus, toolbar and status bar, and one view at a time. It is the
// document's Shell: commands reach the view first, then the frame's own, then the document.
class CMainFrame : public QMainWindow, public Shell
{
    Q_OBJECT

public:
    static constexpr int kIndicatorPanes = 3;

    explicit CMainFrame(CLorn2Doc& document, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CLorn2Doc& document() const { return m_document; }

    // Shell
    ViewKind activeView() const override;
    void switchView(ViewKind kind, int accountIndex = -1) override;
    // Shown in the caption as "<title> - Lorn2".
    void setTitle(const QString& title) override;
    std::optional<int> selectedDeviceRow() const override;
    int deviceRowAccount(int row) const override;
    void addDeviceRow(const CDevData& account, int accountIndex, bool select) override;
    void updateDeviceRow(int row, const CDevData& account) override;
    bool removeDeviceRow(int row) override;
    // The print preview of the device list on the frame's printer.
    void printDeviceList() override;
    void setWaitCursor(bool on) override;
    std::optional<int> viewLogPixelsY() const override;
    void repaintViews() override;
    bool editParameters(int& tabSize, int& fontPoints) override;
    bool chooseFont(LogFont& font) override;
    bool editAccount(CDevData& record, bool newAccount, const QString& caption) override;
    bool editConnection(CDevData& account) override;
    bool setClock(CDevData* account, const ClockSetter& run) override;
    bool runDeviceOperation(CDevData& account, const DeviceOperationRequest& request) override;
    DeleteFilesChoice askDeleteFiles() override;
    std::optional<int> chooseAccountByType(const std::vector<int>& accountIndexes) override;
    QString getOpenFileName(const FileDialogSpec& request) override;
    QString getSaveFileName(const FileDialogSpec& request) override;
    bool editReportSettings(ReportSettingsRequest& request) override;
    void printReport(const CDevData& account, bool preview) override;
    // "Сохранить в PDF..." of the report view: the print code onto a PDF file.
    void saveReportPdf(int accountIndex);
    bool printConfigReport(bool preview) override;
    bool startPoll(const std::vector<int>& accounts) override;
    bool reportsForAccounts(const std::vector<int>& accounts) override;
    bool showQualityCheck(int accountIndex) override;
    PollWindow* pollWindow() const;
    // Watches the account and archive files, so that a poll of lorn2-cli shows here.
    void watchAccountFiles();

    const QString& documentTitle() const { return m_documentTitle; }
    // What the device list prints: the document's accounts as the list shows them.
    DeviceListTable deviceListTable() const;

    FrameView* view() const { return m_view; }
    // The device list when it is showing.
    CLorn2View* deviceList() const;

    // The menu and toolbar action of a command; null for commands without one.
    QAction* commandAction(int command) const { return m_actions.value(command); }
    QMenu* deviceRowMenu() const { return m_rowMenu; }
    QMenu* deviceListMenu() const { return m_listMenu; }
    QToolBar* toolBar() const { return m_toolBar; }
    QLabel* indicatorPane(int pane) const { return m_indicators.value(pane); }

    bool isCommandEnabled(int command) const;
    // Carries out an enabled command and refreshes the enabled states.
    void runCommand(int command);
    void refreshCommandStates();

    // The printer the print set-up edits and every print command uses.
    QPrinter& printer();

    static QString diagnosticText();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addCommand(QMenu* menu, int command, const QString& caption);
    QAction* makeAction(int command, const QString& caption, QObject* owner);
    void createMenus();
    void createPopupMenus();
    void createToolBar();
    void createStatusBar();
    bool isFrameCommand(int command) const;
    void runFrameCommand(int command);
    void showContextMenu(const QPoint& globalPos, bool onRow);
    FrameView* createView(ViewKind kind, int accountIndex);
    void updateViewPane();
    void accountFilesChanged();

    CLorn2Doc& m_document;
    FrameView* m_view = nullptr;
    QHash<int, QAction*> m_actions;
    // Every action that carries a command, pop-up menus included.
    QList<QAction*> m_commandActions;
    QMenu* m_rowMenu = nullptr;
    QMenu* m_listMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    QList<QLabel*> m_indicators;
    QTimer m_idleTimer;
    std::unique_ptr<QPrinter> m_printer;
    int m_waitCursorDepth = 0;
    QString m_documentTitle;
    QPointer<PollWindow> m_pollWindow;
    QFileSystemWatcher m_fileWatcher;
    QTimer m_reloadTimer; // changes settle before the accounts are read again
    QSet<QString> m_changedFiles;
};
