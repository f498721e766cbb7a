#include "CMainFrame.h"

#include <QDir>
#include <QFileInfo>

#include "PollWindow.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDialog>
#include <QLabel>
#include <QMenu>
#include <QFileInfo>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "CAboutDlg.h"
#include "CCommDlg.h"
#include "CConParamsDlg.h"
#include "CDelTSFilesDlg.h"
#include "CDevAccountDlg.h"
#include "CDevTypeDlg.h"
#include "CLorn2ArchView.h"
#include "CLorn2View.h"
#include "CParamDlg.h"
#include "CReportSettingsDlg.h"
#include "CCfgReportView.h"
#include "CReportView.h"
#include "CTimesetDlg.h"
#include "FileDialog.h"
#include "LogFontConversion.h"
#include "ReportPrinting.h"
#include "ReportsAllDlg.h"
#include "QualityDlg.h"
#include "CChartView.h"
#include "archive/DataQuality.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "app/DeviceListColumns.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The lowest Windows version the old program was built for; the diagnostic command shows it.
constexpr int kWinVer = 0x0501;
constexpr int kIdleRefreshMs = 250;
// A poll of lorn2-cli writes an account's two files one after the other.
constexpr int kReloadDelayMs = 700;

} // namespace

CMainFrame::CMainFrame(CLorn2Doc& document, QWidget* parent)
    : QMainWindow(parent)
    , m_document(document)
{
    setWindowTitle(u"Lorn2"_s);
    createMenus();
    createPopupMenus();
    createToolBar();
    createStatusBar();

    // The first view fills itself through the document, which needs its shell by then.
    m_document.setShell(this);

    // The hidden diagnostic command has a key and no menu.
    QAction* diagnostic = makeAction(cmd::Diagnostic, u"Login admin"_s, this);
    diagnostic->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_A));
    addAction(diagnostic);

    switchView(ViewKind::DeviceList);
    resize(1000, 700);

    // Enabled states follow selection and document state as the framework's idle update did.
    connect(&m_idleTimer, &QTimer::timeout, this, &CMainFrame::refreshCommandStates);
    m_idleTimer.start(kIdleRefreshMs);
    refreshCommandStates();

    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(kReloadDelayMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, &CMainFrame::accountFilesChanged);
    connect(&m_fileWatcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
        m_changedFiles.insert(path);
        m_reloadTimer.start();
    });
    connect(&m_fileWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_reloadTimer.start(); });
    watchAccountFiles();
}

CMainFrame::~CMainFrame()
{
    m_idleTimer.stop();
    while (m_waitCursorDepth > 0)
        setWaitCursor(false);
    if (m_document.shell() == this)
        m_document.setShell(nullptr);
}

QAction* CMainFrame::makeAction(int command, const QString& caption, QObject* owner)
{
    auto* action = new QAction(caption, owner);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    m_commandActions.append(action);
    return action;
}

QAction* CMainFrame::addCommand(QMenu* menu, int command, const QString& caption)
{
    // A command in two menus is one action, so both always agree.
    QAction* action = m_actions.value(command);
    if (action == nullptr) {
        action = makeAction(command, caption, this);
        m_actions.insert(command, action);
    }
    menu->addAction(action);
    return action;
}

void CMainFrame::createMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(u"&Файл"_s);
    addCommand(file, cmd::PrintSetup, u"Настройки печати..."_s);
    file->addSeparator();
    addCommand(file, cmd::Exit, u"В&ыход"_s);

    QMenu* meters = bar->addMenu(u"&Теплосчётчики"_s);
    addCommand(meters, cmd::AddAccount, u"Добавить учётную запись..."_s)->setShortcut(QKeySequence(Qt::Key_Insert));
    addCommand(meters, cmd::DeleteAccount, u"Удалить учётную запись"_s);
    QMenu* edit = meters->addMenu(u"Изменить учётную запись"_s);
    addCommand(edit, cmd::EditConnection, u"Параметры связи..."_s);
    addCommand(edit, cmd::EditAccountFields, u"Поля записи..."_s);
    meters->addSeparator();
    addCommand(meters, cmd::PrintDeviceList, u"Печать списка учётных записей..."_s);
    addCommand(meters, cmd::ExportDeviceList, u"Экспортировать список приборов..."_s);

    QMenu* config = bar->addMenu(u"&Конфигурация ТС"_s);
    addCommand(config, cmd::ShowConfig, u"Показать"_s);
    addCommand(config, cmd::ReadConfig, u"Загрузить"_s);
    addCommand(config, cmd::SaveConfig, u"Сохранить..."_s);
    config->addSeparator();
    addCommand(config, cmd::PrintConfig, u"Печать..."_s);
    addCommand(config, cmd::PreviewConfig, u"Предварительный просмотр"_s);

    QMenu* archives = bar->addMenu(u"&Архивы"_s);
    addCommand(archives, cmd::ReadArchive, u"Считать из ТС..."_s);
    addCommand(archives, cmd::CreateReport, u"Создать отчёт из архива..."_s);
    addCommand(archives, cmd::ShowArchive, u"Показать"_s);
    addCommand(archives, cmd::ShowChart, u"График"_s);
    addCommand(archives, cmd::QualityCheck, u"Проверка данных..."_s);
    archives->addSeparator();
    addCommand(archives, cmd::PollAll, u"Опросить все ТС..."_s);
    addCommand(archives, cmd::PollSelected, u"Опросить выбранные ТС..."_s);
    archives->addSeparator();
    addCommand(archives, cmd::ImportArchive, u"Импорт из файла..."_s);
    addCommand(archives, cmd::ExportArchive, u"Экспорт в файл..."_s);

    QMenu* reports = bar->addMenu(u"&Отчёты"_s);
    addCommand(reports, cmd::ReadReport, u"Считать из ТС..."_s);
    addCommand(reports, cmd::CreateReport, u"Создать отчёт из архива..."_s);
    reports->addSeparator();
    addCommand(reports, cmd::LoadReport, u"Загрузить из файла..."_s);
    addCommand(reports, cmd::SaveReport, u"Сохранить в файл..."_s);
    reports->addSeparator();
    addCommand(reports, cmd::PrintReport, u"Печать..."_s);
    addCommand(reports, cmd::PreviewReport, u"Предварительный просмотр"_s);
    reports->addSeparator();
    addCommand(reports, cmd::ReportsAll, u"Отчёты по всем ТС..."_s);

    QMenu* service = bar->addMenu(u"&Сервис"_s);
    addCommand(service, cmd::SetClock, u"Установка времени ТС"_s);
    service->addSeparator();
    addCommand(service, cmd::Parameters, u"Параметры..."_s);

    QMenu* view = bar->addMenu(u"&Вид"_s);
    addCommand(view, cmd::ViewToolbar, u"&Панель инструментов"_s)->setCheckable(true);
    addCommand(view, cmd::ViewStatusBar, u"&Строка состояния"_s)->setCheckable(true);

    QMenu* help = bar->addMenu(u"Сп&равка"_s);
    addCommand(help, cmd::About, u"&О программе Lorn2..."_s);

    for (QMenu* menu : {file, meters, edit, config, archives, reports, service, view, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::refreshCommandStates);
}

void CMainFrame::createPopupMenus()
{
    m_rowMenu = new QMenu(this);
    m_rowMenu->addAction(makeAction(cmd::ReadArchive, u"Считать архив из ТС..."_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::CreateReport, u"Создать отчёт из архива..."_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::ReadReport, u"Считать отчёт из ТС..."_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::PollSelected, u"Опросить выбранные ТС..."_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::PollAll, u"Опросить все ТС..."_s, m_rowMenu));
    m_rowMenu->addSeparator();
    m_rowMenu->addAction(makeAction(cmd::ShowArchive, u"Показать архив"_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::ShowChart, u"График"_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::QualityCheck, u"Проверка данных..."_s, m_rowMenu));
    m_rowMenu->addAction(makeAction(cmd::ShowConfig, u"Показать конфигурацию ТС"_s, m_rowMenu));
    m_rowMenu->addSeparator();
    QMenu* edit = m_rowMenu->addMenu(u"Изменить учётную запись"_s);
    edit->addAction(makeAction(cmd::EditConnection, u"Параметры связи..."_s, edit));
    edit->addAction(makeAction(cmd::EditAccountFields, u"Поля записи..."_s, edit));
    m_rowMenu->addAction(makeAction(cmd::AddAccount, u"Добавить учётную запись..."_s, m_rowMenu));
    m_rowMenu->addSeparator();
    m_rowMenu->addAction(makeAction(cmd::ExportDatabase, u"Экспортровать сут. и мес. архивы"_s, m_rowMenu));

    m_listMenu = new QMenu(this);
    m_listMenu->addAction(makeAction(cmd::AddAccount, u"Добавить учётную запись..."_s, m_listMenu));
}

void CMainFrame::createToolBar()
{
    m_toolBar = addToolBar(u"Панель инструментов"_s);
    m_toolBar->setObjectName(u"mainToolBar"_s);
    m_toolBar->setMovable(true);
    const struct
    {
        int command;
        const char16_t* theme;
        QStyle::StandardPixmap fallback;
    } buttons[] = {
        {cmd::AddAccount, u"list-add", QStyle::SP_FileDialogNewFolder},
        {cmd::ReadArchive, u"document-import", QStyle::SP_ArrowDown},
        {cmd::CreateReport, u"document-new", QStyle::SP_FileDialogDetailedView},
        {cmd::PrintReport, u"document-print", QStyle::SP_FileDialogContentsView},
        {cmd::Parameters, u"preferences-system", QStyle::SP_FileDialogInfoView},
    };
    for (const auto& button : buttons) {
        QAction* action = m_actions.value(button.command);
        action->setIcon(QIcon::fromTheme(QString::fromUtf16(button.theme), style()->standardIcon(button.fallback)));
        m_toolBar->addAction(action);
        if (button.command == cmd::AddAccount || button.command == cmd::PrintReport)
            m_toolBar->addSeparator();
    }
    // The report fonts have no menu item: the toolbar is where they are chosen.
    m_toolBar->addSeparator();
    const std::pair<int, const char16_t*> fonts[] = {
        {cmd::ViewFont, u"Шрифт просмотра отчётов..."},
        {cmd::PrintFont, u"Шрифт печати отчётов..."},
    };
    for (const auto& [command, caption] : fonts) {
        QAction* action = makeAction(command, QString::fromUtf16(caption), this);
        m_actions.insert(command, action);
        action->setIcon(QIcon::fromTheme(u"preferences-desktop-font"_s,
                                         style()->standardIcon(command == cmd::ViewFont ? QStyle::SP_DesktopIcon
                                                                                        : QStyle::SP_DriveFDIcon)));
        m_toolBar->addAction(action);
    }
}

void CMainFrame::createStatusBar()
{
    // The message pane, then three indicator panes. Keyboard lock states cannot be read
    // reliably here, so the first indicator names the view and the other two are kept free.
    auto* message = new QLabel(u"Готово"_s, this);
    message->setIndent(3);
    statusBar()->addWidget(message, 1);
    const int paneWidth = fontMetrics().horizontalAdvance(u"Список приборов"_s) + 16;
    for (int i = 0; i < kIndicatorPanes; ++i) {
        auto* pane = new QLabel(this);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(i == 0 ? paneWidth : fontMetrics().horizontalAdvance(u"SCRL"_s) + 16);
        statusBar()->addPermanentWidget(pane);
        m_indicators.append(pane);
    }
}

ViewKind CMainFrame::activeView() const
{
    return m_view != nullptr ? m_view->kind() : ViewKind::None;
}

FrameView* CMainFrame::createView(ViewKind kind, int accountIndex)
{
    if (accountIndex < 0)
        accountIndex = m_document.m_currentAccount;
    // An archive needs an account; without one the device list is the safe place to be.
    const CDevData* account = m_document.account(accountIndex);
    if (kind == ViewKind::ArchiveList && account != nullptr && !account->m_deleted) {
        auto* archive = new CLorn2ArchView(m_document, accountIndex, this);
        connect(archive, &CLorn2ArchView::commandRequested, this, &CMainFrame::runCommand);
        connect(archive, &CLorn2ArchView::backToDeviceList, this, [this] { switchView(ViewKind::DeviceList); });
        return archive;
    }
    if (kind == ViewKind::Chart && account != nullptr && !account->m_deleted) {
        auto* chart = new CChartView(m_document, accountIndex, printer(), this);
        // The chart opens on the period the archive list shows.
        if (m_view != nullptr && m_view->kind() == ViewKind::ArchiveList) {
            const auto* list = static_cast<const CLorn2ArchView*>(m_view);
            if (list->accountIndex() == accountIndex)
                chart->setInitialPeriod(list->periodFrom(), list->periodTo());
        }
        connect(chart, &CChartView::commandRequested, this, &CMainFrame::runCommand);
        connect(chart, &CChartView::backToArchive, this,
                [this, accountIndex] { switchView(ViewKind::ArchiveList, accountIndex); });
        connect(chart, &CChartView::backToDeviceList, this, [this] { switchView(ViewKind::DeviceList); });
        return chart;
    }
    if (kind == ViewKind::Report && account != nullptr && !account->m_deleted) {
        auto* report = new CReportView(m_document, accountIndex, this);
        connect(report, &CReportView::commandRequested, this, &CMainFrame::runCommand);
        connect(report, &CReportView::pdfRequested, this, [this, accountIndex] { saveReportPdf(accountIndex); });
        connect(report, &CReportView::backToDeviceList, this, [this] {
            if (m_document.SaveModified())
                switchView(ViewKind::DeviceList);
        });
        return report;
    }
    if (kind == ViewKind::ConfigReport && account != nullptr && !account->m_deleted) {
        auto* config = new CCfgReportView(m_document, accountIndex, printer(), this);
        connect(config, &CCfgReportView::commandRequested, this, &CMainFrame::runCommand);
        connect(config, &CCfgReportView::backToDeviceList, this, [this] { switchView(ViewKind::DeviceList); });
        return config;
    }
    auto* list = new CLorn2View(m_document, this);
    connect(list, &CLorn2View::itemSelectionChanged, this, &CMainFrame::refreshCommandStates);
    connect(list, &CLorn2View::contextMenuWanted, this, &CMainFrame::showContextMenu);
    connect(list, &CLorn2View::rowActivated, this, [this] { runCommand(cmd::EditAccountFields); });
    connect(list, &CLorn2View::deleteRequested, this, [this] { runCommand(cmd::DeleteAccount); });
    return list;
}

void CMainFrame::switchView(ViewKind kind, int accountIndex)
{
    FrameView* next = createView(kind, accountIndex);
    QWidget* old = takeCentralWidget();
    setCentralWidget(next->widget());
    next->widget()->show();
    m_view = next;
    next->initialUpdate();
    next->widget()->setFocus(Qt::OtherFocusReason);
    if (old != nullptr) {
        // The old view may be the one whose event led here, so it goes once that event is over.
        old->hide();
        old->deleteLater();
    }
    updateViewPane();
    refreshCommandStates();
}

CLorn2View* CMainFrame::deviceList() const
{
    return m_view != nullptr && m_view->kind() == ViewKind::DeviceList ? static_cast<CLorn2View*>(m_view) : nullptr;
}

void CMainFrame::setTitle(const QString& title)
{
    m_documentTitle = title;
    setWindowTitle(title.isEmpty() ? u"Lorn2"_s : title + u" - Lorn2"_s);
}

std::optional<int> CMainFrame::selectedDeviceRow() const
{
    const CLorn2View* list = deviceList();
    return list != nullptr ? list->selectedRow() : std::nullopt;
}

int CMainFrame::deviceRowAccount(int row) const
{
    const CLorn2View* list = deviceList();
    return list != nullptr ? list->rowAccount(row) : -1;
}

void CMainFrame::addDeviceRow(const CDevData& account, int accountIndex, bool select)
{
    if (CLorn2View* list = deviceList())
        list->addRow(deviceListCells(account), accountIndex, select);
}

void CMainFrame::updateDeviceRow(int row, const CDevData& account)
{
    if (CLorn2View* list = deviceList())
        list->updateRow(row, deviceListCells(account));
}

bool CMainFrame::removeDeviceRow(int row)
{
    CLorn2View* list = deviceList();
    return list != nullptr && list->removeRow(row);
}

DeviceListTable CMainFrame::deviceListTable() const
{
    DeviceListTable table;
    for (int c = 0; c < CLorn2View::kColumnCount; ++c)
        table.captions << deviceListCaption(c);
    for (const CDevData& account : m_document.accounts()) {
        if (account.m_deleted)
            continue;
        QStringList cells = deviceListCells(account);
        cells.prepend(deviceListRowNumber(int(table.rows.size())));
        table.rows << cells;
    }
    return table;
}

void CMainFrame::printDeviceList()
{
    const DeviceListTable table = deviceListTable();
    QPrintPreviewDialog preview(&printer(), this);
    preview.setWindowTitle(u"Предварительный просмотр"_s);
    if (auto* pages = preview.findChild<QPrintPreviewWidget*>())
        pages->setViewMode(QPrintPreviewWidget::SinglePageView);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&table](QPrinter* target) {
        if (!ui::printDeviceList(*target, table))
            MessageBox::error(u"Не удалось начать печать."_s);
    });
    preview.exec();
}

bool CMainFrame::editAccount(CDevData& record, bool newAccount, const QString& caption)
{
    CDevAccountDlg dialog(record, newAccount, caption, m_document.workingFolder(), this);
    dialog.setConnectionEditor([this](CDevData& edited) { return editConnection(edited); });
    dialog.setDeviceReader(
        [this](CDevData& edited) { return m_document.runDeviceOperation(edited, DeviceOperation::GetArchive); });
    if (dialog.exec() != QDialog::Accepted)
        return false;
    record = dialog.record();
    return true;
}

bool CMainFrame::editConnection(CDevData& account)
{
    CConParamsDlg dialog(&account, CConParamsDlg::machinePorts(), this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainFrame::setClock(CDevData* account, const ClockSetter& run)
{
    CTimesetDlg dialog(account, run, [this](CDevData& edited) { return editConnection(edited); }, this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainFrame::runDeviceOperation(CDevData& account, const DeviceOperationRequest& request)
{
    CCommDlg dialog(account, request, this);
    return dialog.exec() == QDialog::Accepted;
}

DeleteFilesChoice CMainFrame::askDeleteFiles()
{
    CDelTSFilesDlg dialog(this);
    dialog.exec();
    return dialog.choice();
}

std::optional<int> CMainFrame::chooseAccountByType(const std::vector<int>& accountIndexes)
{
    std::vector<CDevTypeDlg::Entry> entries;
    for (const int index : accountIndexes) {
        if (const CDevData* account = m_document.account(index))
            entries.push_back({index, account->m_type});
    }
    CDevTypeDlg dialog(entries, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen().account;
}

QString CMainFrame::getOpenFileName(const FileDialogSpec& request)
{
    return FileDialog::getOpenFileName(this, request);
}

QString CMainFrame::getSaveFileName(const FileDialogSpec& request)
{
    return FileDialog::getSaveFileName(this, request);
}

void CMainFrame::setWaitCursor(bool on)
{
    // Counted, so that nested wait-cursor sections restore the cursor only at the outermost end.
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_waitCursorDepth;
    } else if (m_waitCursorDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_waitCursorDepth;
    }
}

std::optional<int> CMainFrame::viewLogPixelsY() const
{
    if (m_view == nullptr)
        return std::nullopt;
    return m_view->widget()->logicalDpiY();
}

void CMainFrame::repaintViews()
{
    if (m_view != nullptr)
        m_view->repaintView();
}

bool CMainFrame::editParameters(int& tabSize, int& fontPoints)
{
    CParamDlg dialog(tabSize, fontPoints, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    tabSize = dialog.tabSize();
    fontPoints = dialog.fontPoints();
    return true;
}

bool CMainFrame::chooseFont(LogFont& font)
{
    QFontDialog dialog(ui::fontFromLogFont(font), this);
    dialog.setWindowTitle(u"Шрифт"_s);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ui::applyFontToLogFont(dialog.selectedFont(), viewLogPixelsY().value_or(logicalDpiY()), font);
    return true;
}

bool CMainFrame::editReportSettings(ReportSettingsRequest& request)
{
    CReportSettingsDlg dialog(request, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    request = dialog.request();
    return true;
}

bool CMainFrame::printConfigReport(bool preview)
{
    if (m_view == nullptr || m_view->kind() != ViewKind::ConfigReport)
        return false;
    static_cast<CCfgReportView*>(m_view)->print(preview);
    return true;
}

void CMainFrame::printReport(const CDevData& account, bool preview)
{
    ui::ReportPrintJob job;
    job.text = account.m_reportText.toByteArray();
    job.controls = &account.m_escTable;
    job.tabSize = m_document.m_tabSize;
    job.printFont = ui::fontFromLogFont(m_document.m_printFont);
    if (preview)
        ui::previewReport(this, printer(), job);
    else
        ui::printReport(this, printer(), job);
}

void CMainFrame::saveReportPdf(int accountIndex)
{
    const CDevData* account = m_document.account(accountIndex);
    if (account == nullptr)
        return;
    ui::ReportPrintJob job;
    job.text = account->m_reportText.toByteArray();
    job.controls = &account->m_escTable;
    job.tabSize = m_document.m_tabSize;
    job.printFont = ui::fontFromLogFont(m_document.m_printFont);
    QString name = m_document.pathName();
    if (name.isEmpty())
        name = folders::reportFilePath(m_document.workingFolder(), account->shortName());
    ui::savePdf(this, printer(), QFileInfo(name).path() + u'/' + QFileInfo(name).completeBaseName() + u".pdf"_s,
                [&job](QPagedPaintDevice& device) { return ui::printReportTo(device, job); });
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_pollWindow != nullptr && m_pollWindow->running()) {
        const MbAnswer answer = MessageBox::question(u"Идёт опрос ТС. Остановить его и выйти?"_s, MbButtons::YesNo);
        if (answer != MbAnswer::Yes) {
            event->ignore();
            return;
        }
        m_pollWindow->stopAndWait();
    }
    // An unsaved report is offered for saving on the way out, as on every other way out of it.
    if (!m_document.SaveModified()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool CMainFrame::isFrameCommand(int command) const
{
    switch (command) {
    case cmd::About:
    case cmd::Exit:
    case cmd::PrintSetup:
    case cmd::ViewToolbar:
    case cmd::ViewStatusBar:
    case cmd::Diagnostic:
        return true;
    default:
        return false;
    }
}

bool CMainFrame::isCommandEnabled(int command) const
{
    if (m_view != nullptr) {
        if (const std::optional<bool> state = m_view->commandState(command))
            return *state;
    }
    if (isFrameCommand(command))
        return true;
    return m_document.isCommandEnabled(command);
}

void CMainFrame::runCommand(int command)
{
    if (!isCommandEnabled(command))
        return;
    if (m_view != nullptr && m_view->commandState(command).has_value())
        m_view->onCommand(command);
    else if (isFrameCommand(command))
        runFrameCommand(command);
    else
        m_document.onCommand(command);
    refreshCommandStates();
}

void CMainFrame::runFrameCommand(int command)
{
    switch (command) {
    case cmd::About: {
        CAboutDlg dialog(this);
        dialog.exec();
        break;
    }
    case cmd::Exit:
        close();
        break;
    case cmd::PrintSetup: {
        QPageSetupDialog dialog(&printer(), this);
        dialog.exec();
        break;
    }
    case cmd::ViewToolbar:
        m_toolBar->setVisible(m_toolBar->isHidden());
        break;
    case cmd::ViewStatusBar:
        statusBar()->setVisible(statusBar()->isHidden());
        break;
    case cmd::Diagnostic:
        MessageBox::show(diagnosticText(), MbIcon::None, MbButtons::Ok, u"Login admin"_s);
        break;
    default:
        break;
    }
}

void CMainFrame::refreshCommandStates()
{
    for (QAction* action : std::as_const(m_commandActions))
        action->setEnabled(isCommandEnabled(action->data().toInt()));
    if (QAction* toolbar = m_actions.value(cmd::ViewToolbar))
        toolbar->setChecked(!m_toolBar->isHidden());
    if (QAction* status = m_actions.value(cmd::ViewStatusBar))
        status->setChecked(!statusBar()->isHidden());
    if (m_view != nullptr && m_view->kind() == ViewKind::ArchiveList)
        static_cast<CLorn2ArchView*>(m_view)->updateCommandButtons([this](int c) { return isCommandEnabled(c); });
    if (m_view != nullptr && m_view->kind() == ViewKind::Report)
        static_cast<CReportView*>(m_view)->updateCommandButtons([this](int c) { return isCommandEnabled(c); });
}

void CMainFrame::showContextMenu(const QPoint& globalPos, bool onRow)
{
    refreshCommandStates();
    (onRow ? m_rowMenu : m_listMenu)->popup(globalPos);
}

void CMainFrame::updateViewPane()
{
    QString title;
    if (activeView() == ViewKind::DeviceList)
        title = LoadResString(101, u"Device list"_s);
    m_indicators.value(0)->setText(title);
}

QPrinter& CMainFrame::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

QString CMainFrame::diagnosticText()
{
    return fmt::text(u"WINVER: 0x%04X", kWinVer);
}

PollWindow* CMainFrame::pollWindow() const
{
    return m_pollWindow.data();
}

bool CMainFrame::startPoll(const std::vector<int>& accounts)
{
    if (m_pollWindow != nullptr && m_pollWindow->running())
        return false;
    delete m_pollWindow;
    auto* window = new PollWindow(m_document, accounts, PollPolicy{}, this);
    if (!window->start()) {
        delete window;
        return false;
    }
    m_pollWindow = window;
    connect(window, &PollWindow::pollEnded, this, [this] {
        refreshCommandStates();
        watchAccountFiles();
    });
    window->show();
    refreshCommandStates();
    return true;
}

bool CMainFrame::reportsForAccounts(const std::vector<int>& accounts)
{
    ReportsAllDlg dialog(m_document, accounts, printer().pageLayout(), this);
    return dialog.exec() == QDialog::Accepted;
}

void CMainFrame::watchAccountFiles()
{
    const QStringList watched = m_fileWatcher.files();
    if (!watched.isEmpty())
        m_fileWatcher.removePaths(watched);
    QStringList paths;
    for (const CDevData& acc : m_document.accounts()) {
        if (acc.m_deleted || acc.m_folder.isEmpty())
            continue;
        for (const QString& name : {acc.accountFileName(), acc.archiveFileName()}) {
            const QString path = acc.m_folder + u'/' + name;
            if (QFileInfo::exists(path))
                paths << path;
        }
    }
    // The poll log is written once a poll has ended: its results reach the device list then.
    const QDir logs(QDir(m_document.workingFolder()).filePath(u"Logs"_s));
    const QString log = logs.filePath(u"poll-%1.csv"_s.arg(QDate::currentDate().toString(u"yyyy-MM"_s)));
    if (QFileInfo::exists(log))
        paths << log;
    else if (logs.exists())
        paths << logs.path();
    if (!paths.isEmpty())
        m_fileWatcher.addPaths(paths);
}

void CMainFrame::accountFilesChanged()
{
    // This program's own saves come here too; reading an unchanged account again costs little.
    // Accounts in this program's own poll are left to it.
    const QSet<QString> changed = std::exchange(m_changedFiles, {});
    std::vector<CDevData>& accounts = m_document.accounts();
    m_document.readPollLogs();
    for (std::size_t i = 0; i < accounts.size(); ++i)
        m_document.refreshAccountRow(int(i));
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const CDevData& acc = accounts[i];
        if (acc.m_deleted || m_document.isPolling(int(i)))
            continue;
        if (changed.contains(acc.m_folder + u'/' + acc.accountFileName())
            || changed.contains(acc.m_folder + u'/' + acc.archiveFileName())) {
            if (m_document.reloadAccount(int(i)) && activeView() == ViewKind::ArchiveList
                && m_document.m_currentAccount == int(i))
                switchView(ViewKind::ArchiveList, int(i));
        }
    }
    // An atomic save replaces the file, which ends its watch.
    watchAccountFiles();
}

bool CMainFrame::showQualityCheck(int accountIndex)
{
    CDevData* acc = m_document.account(accountIndex);
    if (acc == nullptr)
        return false;
    if (acc->m_records.isEmpty()) {
        WaitCursor wait(this);
        if (FAILED(acc->LoadArchive())) {
            MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
            return false;
        }
    }
    acc->m_records.sort();
    // The period the view shows; the device list checks the whole archive.
    archive::quality::Period period;
    period.now = QDateTime::currentDateTime();
    if (m_view != nullptr && m_view->kind() == ViewKind::ArchiveList) {
        const auto* list = static_cast<const CLorn2ArchView*>(m_view);
        period.from = list->periodFrom();
        period.to = list->periodTo();
    } else if (m_view != nullptr && m_view->kind() == ViewKind::Chart) {
        const auto* chart = static_cast<const CChartView*>(m_view);
        period.from = chart->periodFrom();
        period.to = chart->periodTo();
    }
    archive::quality::Report report;
    {
        WaitCursor wait(this);
        report = archive::quality::check(acc->m_records.records(), period, std::clamp<int>(acc->m_arcParams.NumSys, 1, 3));
    }
    const QString name = fmt::text(u"%05u", unsigned(acc->m_serial)) + u" "_s + acc->typeName();
    auto* dialog = new QualityDlg(name, report, acc->m_records.records(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QualityDlg::showRecord, this, [this, accountIndex](const sctArcZap& identity) {
        if (m_view == nullptr || m_view->kind() != ViewKind::ArchiveList
            || static_cast<CLorn2ArchView*>(m_view)->accountIndex() != accountIndex)
            switchView(ViewKind::ArchiveList, accountIndex);
        if (m_view != nullptr && m_view->kind() == ViewKind::ArchiveList)
            static_cast<CLorn2ArchView*>(m_view)->selectRecord(identity);
    });
    dialog->show();
    return true;
}
