#include "CLorn2Doc.h"

#include <algorithm>

#include <cmath>

#include <QDir>
#include <QFileInfo>

#include "Commands.h"
#include "ProfileStore.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "archive/ArchiveExport.h"
#include "archive/ArchiveFile.h"
#include "archive/DayMonRecord.h"
#include "archive/ReportFile.h"
#include "base/Format.h"
#include "storage/ArchiveDatabase.h"
#include "storage/CANSIFile.h"
#include "storage/DeviceListExport.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString noDeviceSelected()
{
    return LoadResString(115, u"No device selected"_s);
}

QString noDeviceList()
{
    return LoadResString(114, u"System error: device list not found!"_s);
}

QString noReport()
{
    return LoadResString(159, u"Report is not created nor loaded.\n Create or load report."_s);
}

// A new report gets a block of this first size, as the builder's reports rarely outgrow it.
constexpr std::size_t kReportBlockSize = 524288;

} // namespace

CLorn2Doc::CLorn2Doc(ProfileStore& profile, const QString& workingFolder)
    : m_profile(profile)
    , m_workingFolder(workingFolder)
{
    m_tabSize = settings::readTabSize(profile);
    m_viewFont = settings::readFont(profile, settings::kSectionViewFont);
    m_printFont = settings::readFont(profile, settings::kSectionPrintFont);
    NewAccountConnection = settings::readNewAccountConnection(profile);
}

CLorn2Doc::~CLorn2Doc()
{
    settings::writeNewAccountConnection(m_profile, NewAccountConnection);
    m_profile.sync();
}

bool CLorn2Doc::OnNewDocument()
{
    m_accounts.clear();
    m_currentAccount = -1;
    m_modified = false;
    // Folders that hold no readable account are skipped; the result does not stop start-up.
    accounts::loadAll(m_workingFolder, m_accounts);
    m_lastPoll.clear();
    readPollLogs();
    return true;
}

CDevData* CLorn2Doc::account(int index)
{
    return isValidAccount(index) ? &m_accounts[std::size_t(index)] : nullptr;
}

bool CLorn2Doc::isValidAccount(int index) const
{
    return index >= 0 && std::size_t(index) < m_accounts.size();
}

std::vector<int> CLorn2Doc::findBySerial(int serial) const
{
    std::vector<int> found;
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        if (!m_accounts[i].m_deleted && m_accounts[i].m_serial == serial)
            found.push_back(int(i));
    }
    return found;
}

void CLorn2Doc::fillDeviceList()
{
    if (m_shell == nullptr)
        return;
    m_shell->setTitle(LoadResString(101, u"Device list"_s));
    int row = 0;
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        if (m_accounts[i].m_deleted)
            continue;
        m_shell->addDeviceRow(m_accounts[i], int(i), row == m_lastSelectedRow);
        ++row;
    }
}

bool CLorn2Doc::deviceListShowing() const
{
    return m_shell != nullptr && m_shell->activeView() == ViewKind::DeviceList;
}

bool CLorn2Doc::deviceRowSelected() const
{
    return deviceListShowing() && m_shell->selectedDeviceRow().has_value();
}

bool CLorn2Doc::currentAccountSet() const
{
    return isValidAccount(m_currentAccount);
}

bool CLorn2Doc::isCommandAvailable(int command)
{
    switch (command) {
    case cmd::AddAccount:
    case cmd::DeleteAccount:
    case cmd::EditAccountFields:
    case cmd::PrintDeviceList:
    case cmd::ExportDeviceList:
    case cmd::ShowArchive:
    case cmd::ImportArchive:
    case cmd::ExportArchive:
    case cmd::ExportDatabase:
    case cmd::EditConnection:
    case cmd::ReadArchive:
    case cmd::ReadConfig:
    case cmd::ReadReport:
    case cmd::SetClock:
    case cmd::ShowConfig:
    case cmd::SaveConfig:
    case cmd::PrintConfig:
    case cmd::PreviewConfig:
    case cmd::CreateReport:
    case cmd::LoadReport:
    case cmd::SaveReport:
    case cmd::PrintReport:
    case cmd::PreviewReport:
    case cmd::Parameters:
    case cmd::ViewFont:
    case cmd::PrintFont:
    case cmd::Diagnostic:
    case cmd::About:
    case cmd::Exit:
    case cmd::PrintSetup:
    case cmd::ViewToolbar:
    case cmd::ViewStatusBar:
    case cmd::PollAll:
    case cmd::PollSelected:
    case cmd::ReportsAll:
    case cmd::ShowChart:
    case cmd::QualityCheck:
        return true;
    default:
        // Commands whose work is not part of the program yet stay disabled.
        return false;
    }
}

bool CLorn2Doc::ruleAllows(int command) const
{
    const ViewKind view = m_shell != nullptr ? m_shell->activeView() : ViewKind::None;
    const bool e1 = view == ViewKind::DeviceList;
    const bool e2 = deviceRowSelected();
    const bool current = currentAccountSet();
    // An account being polled is neither edited, deleted nor read by anything else meanwhile.
    switch (command) {
    case cmd::DeleteAccount:
    case cmd::EditConnection:
    case cmd::EditAccountFields:
    case cmd::ReadConfig:
    case cmd::ReadArchive:
    case cmd::ReadReport:
    case cmd::SetClock:
    case cmd::ImportArchive:
    case cmd::ExportDatabase:
    case cmd::SaveConfig:
        if (isPolling(ruleTargetAccount()))
            return false;
        break;
    case cmd::PollAll:
        return !pollRunning() && std::any_of(m_accounts.begin(), m_accounts.end(), [](const CDevData& a) {
            return !a.m_deleted;
        });
    case cmd::PollSelected:
        return e1 && e2 && !pollRunning();
    case cmd::ReportsAll:
        return e1 && std::any_of(m_accounts.begin(), m_accounts.end(), [](const CDevData& a) { return !a.m_deleted; });
    default:
        break;
    }
    switch (command) {
    case cmd::AddAccount:
    case cmd::ExportDeviceList:
        return e1;
    case cmd::DeleteAccount:
    case cmd::EditConnection:
    case cmd::EditAccountFields:
    case cmd::ShowConfig:
    case cmd::ReadConfig:
    case cmd::ShowArchive:
    case cmd::SetClock:
        return e2;
    case cmd::SaveConfig: // E3
        return e2 || view == ViewKind::ConfigReport;
    case cmd::PrintConfig: // E4
    case cmd::PreviewConfig:
        return view == ViewKind::ConfigReport;
    case cmd::CreateReport: // E5
    case cmd::LoadReport:
        return e2 || (!e1 && (view == ViewKind::ArchiveList || view == ViewKind::Report) && current);
    case cmd::ImportArchive: // E6
        return e1 || view == ViewKind::ArchiveList;
    case cmd::ShowChart:
    case cmd::QualityCheck:
        return e1 ? e2 : current && (view == ViewKind::ArchiveList || view == ViewKind::Chart);
    case cmd::ReadArchive: // E7
    case cmd::ExportArchive:
    case cmd::ReadReport:
        return e1 ? e2 : current;
    case cmd::SaveReport: // E8
    case cmd::PrintReport:
    case cmd::PreviewReport:
        return view == ViewKind::Report;
    default:
        return true;
    }
}

bool CLorn2Doc::isCommandEnabled(int command) const
{
    return isCommandAvailable(command) && ruleAllows(command);
}

bool CLorn2Doc::onCommand(int command)
{
    if (!isCommandEnabled(command))
        return false;
    using Handler = void (*)(CLorn2Doc&);
    static const std::pair<int, Handler> kHandlers[] = {
        {cmd::AddAccount, [](CLorn2Doc& d) { d.OnAddAccount(); }},
        {cmd::DeleteAccount, [](CLorn2Doc& d) { d.OnDeleteAccount(); }},
        {cmd::EditAccountFields, [](CLorn2Doc& d) { d.OnEditAccountFields(); }},
        {cmd::ExportDeviceList, [](CLorn2Doc& d) { d.OnExportDeviceList(); }},
        {cmd::PrintDeviceList, [](CLorn2Doc& d) { d.OnPrintDeviceList(); }},
        {cmd::ShowArchive, [](CLorn2Doc& d) { d.OnShowArchive(); }},
        {cmd::ImportArchive, [](CLorn2Doc& d) { d.OnImportArchive(); }},
        {cmd::ExportArchive, [](CLorn2Doc& d) { d.OnExportArchive(); }},
        {cmd::ExportDatabase, [](CLorn2Doc& d) { d.OnExportDatabase(); }},
        {cmd::EditConnection, [](CLorn2Doc& d) { d.OnEditConnection(); }},
        {cmd::ReadArchive, [](CLorn2Doc& d) { d.OnReadArchive(); }},
        {cmd::ReadConfig, [](CLorn2Doc& d) { d.OnReadConfig(); }},
        {cmd::ReadReport, [](CLorn2Doc& d) { d.OnReadReport(); }},
        {cmd::SetClock, [](CLorn2Doc& d) { d.OnSetClock(); }},
        {cmd::PollAll, [](CLorn2Doc& d) { d.OnPollAll(); }},
        {cmd::PollSelected, [](CLorn2Doc& d) { d.OnPollSelected(); }},
        {cmd::ReportsAll, [](CLorn2Doc& d) { d.OnReportsAll(); }},
        {cmd::ShowChart, [](CLorn2Doc& d) { d.OnShowChart(); }},
        {cmd::QualityCheck, [](CLorn2Doc& d) { d.OnQualityCheck(); }},
        {cmd::ShowConfig, [](CLorn2Doc& d) { d.OnShowConfig(); }},
        {cmd::SaveConfig, [](CLorn2Doc& d) { d.OnSaveConfig(); }},
        {cmd::PrintConfig, [](CLorn2Doc& d) { d.OnPrintConfig(false); }},
        {cmd::PreviewConfig, [](CLorn2Doc& d) { d.OnPrintConfig(true); }},
        {cmd::CreateReport, [](CLorn2Doc& d) { d.OnCreateReport(); }},
        {cmd::LoadReport, [](CLorn2Doc& d) { d.OnLoadReport(); }},
        {cmd::SaveReport, [](CLorn2Doc& d) { d.OnSaveReport(); }},
        {cmd::PrintReport, [](CLorn2Doc& d) { d.OnPrintReport(false); }},
        {cmd::PreviewReport, [](CLorn2Doc& d) { d.OnPrintReport(true); }},
        {cmd::Parameters, [](CLorn2Doc& d) { d.OnParameters(); }},
        {cmd::ViewFont, [](CLorn2Doc& d) { d.OnFont(false); }},
        {cmd::PrintFont, [](CLorn2Doc& d) { d.OnFont(true); }},
    };
    for (const auto& [id, handler] : kHandlers) {
        if (id == command) {
            handler(*this);
            return true;
        }
    }
    return false;
}

std::optional<int> CLorn2Doc::targetAccount(bool deviceListOnly)
{
    int index = -1;
    if (deviceListShowing()) {
        const std::optional<int> row = m_shell->selectedDeviceRow();
        if (!row) {
            MessageBox::error(noDeviceSelected());
            return std::nullopt;
        }
        index = m_shell->deviceRowAccount(*row);
    } else if (deviceListOnly) {
        MessageBox::error(noDeviceList());
        return std::nullopt;
    } else {
        index = m_currentAccount;
    }
    if (!isValidAccount(index) || m_accounts[std::size_t(index)].m_deleted) {
        MessageBox::error(noDeviceSelected());
        return std::nullopt;
    }
    m_currentAccount = index;
    return index;
}

bool CLorn2Doc::OnAddAccount()
{
    if (m_shell == nullptr)
        return false;
    CDevData record;
    record.m_connection = NewAccountConnection;
    if (!m_shell->editAccount(record, true, QString()))
        return false;
    NewAccountConnection = record.m_connection;
    record.m_folder = record.accountFolder(m_workingFolder);
    const HRESULT hr = accounts::addAccount(m_accounts, record, m_workingFolder);
    if (FAILED(hr)) {
        MessageBox::error(LoadResString(207, u"Failed to add new account"_s));
        return false;
    }
    m_shell->addDeviceRow(m_accounts.back(), int(m_accounts.size()) - 1, true);
    return true;
}

bool CLorn2Doc::OnDeleteAccount()
{
    const QString caption = LoadResString(111, u"Delete Heatcounter Account"_s);
    if (!deviceListShowing()) {
        MessageBox::error(noDeviceList(), caption);
        return false;
    }
    const QString sure = LoadResString(110, u"Are you sure want to delete heatcounter account?"_s);
    if (MessageBox::show(sure, MbIcon::Question, MbButtons::YesNo, caption) != MbAnswer::Yes)
        return false;
    const DeleteFilesChoice choice = m_shell->askDeleteFiles();
    if (choice == DeleteFilesChoice::Cancel)
        return false;
    return deleteSelectedAccount(choice);
}

bool CLorn2Doc::deleteSelectedAccount(DeleteFilesChoice choice)
{
    const QString caption = LoadResString(111, u"Delete Heatcounter Account"_s);
    const std::optional<int> row = m_shell->selectedDeviceRow();
    const int index = row ? m_shell->deviceRowAccount(*row) : -1;
    if (!row || !isValidAccount(index) || m_accounts[std::size_t(index)].m_deleted) {
        MessageBox::error(noDeviceSelected(), caption);
        return false;
    }
    CDevData& acc = m_accounts[std::size_t(index)];
    if (choice == DeleteFilesChoice::Delete) {
        if (!folders::deleteTree(acc.m_folder)) {
            MessageBox::error(LoadResString(116, u"Failed to delete device files"_s), caption);
            return false;
        }
    } else {
        const QString archives = LoadResString(109, QString());
        if (archives.isEmpty()) {
            MessageBox::error(LoadResString(112, u"Path to device files archive not loaded"_s), caption);
            return false;
        }
        const QString archiveFolder = m_workingFolder + u'/' + archives;
        if (!folders::createPath(archiveFolder)) {
            MessageBox::error(LoadResString(113, u"Failed to create path to device files archive loaded"_s), caption);
            return false;
        }
        QString error;
        if (!folders::moveFolder(acc.m_folder, archiveFolder + u'/' + acc.shortName(), &error)) {
            MessageBox::error(error, caption);
            return false;
        }
    }
    // The record keeps its place so that the other rows still point at their accounts.
    acc.m_deleted = true;
    if (!m_shell->removeDeviceRow(*row))
        MessageBox::error(LoadResString(117, u"System error: failed to delete device from list"_s), caption);
    return true;
}

bool CLorn2Doc::OnEditAccountFields()
{
    const QString caption = LoadResString(120, u"Edit Heatcounter Account"_s);
    if (!deviceListShowing()) {
        MessageBox::error(noDeviceList(), caption);
        return false;
    }
    const std::optional<int> row = m_shell->selectedDeviceRow();
    const int index = row ? m_shell->deviceRowAccount(*row) : -1;
    if (!row || !isValidAccount(index) || m_accounts[std::size_t(index)].m_deleted) {
        MessageBox::error(noDeviceSelected(), caption);
        return false;
    }
    CDevData& acc = m_accounts[std::size_t(index)];
    CDevData edited = acc;
    if (!m_shell->editAccount(edited, false, caption))
        return false;
    acc = std::move(edited);
    acc.m_modified = 1;
    const bool saved = SUCCEEDED(acc.Save());
    if (!saved)
        MessageBox::error(LoadResString(108, u"Failed to save device data"_s), caption);
    m_shell->updateDeviceRow(*row, acc);
    return saved;
}

bool CLorn2Doc::OnExportDeviceList()
{
    if (m_shell == nullptr)
        return false;
    FileDialogSpec dialog;
    dialog.filter = LoadResString(201, u"CSV Files (*.csv)|*.csv|All Files (*.*)|*.*||"_s);
    dialog.defaultExtension = u"csv"_s;
    dialog.defaultName = u"devices"_s;
    const QString path = m_shell->getSaveFileName(dialog);
    if (path.isEmpty())
        return false;
    if (!devicelist::exportToFile(path, m_accounts)) {
        MessageBox::show(u"Failed to save device list"_s);
        return false;
    }
    return true;
}

void CLorn2Doc::OnPrintDeviceList()
{
    if (m_shell != nullptr)
        m_shell->printDeviceList();
}

int CLorn2Doc::pointsFromHeight(int height, int logPixelsY)
{
    if (logPixelsY <= 0)
        return 0;
    return static_cast<int>(std::lround(-static_cast<double>(height) * 72.0 / logPixelsY));
}

int CLorn2Doc::heightFromPoints(int points, int logPixelsY)
{
    return -(static_cast<int>(static_cast<long long>(points) * logPixelsY / 72));
}

void CLorn2Doc::OnParameters()
{
    const std::optional<int> dpi = m_shell != nullptr ? m_shell->viewLogPixelsY() : std::nullopt;
    if (!dpi) {
        MessageBox::error(u"System error: failed to get screen"_s);
        return;
    }
    if (*dpi <= 0) {
        MessageBox::error(u"System error: failed go get screen DC"_s);
        return;
    }
    int tabSize = m_tabSize;
    int points = pointsFromHeight(m_viewFont.Height, *dpi);
    if (!m_shell->editParameters(tabSize, points))
        return;
    m_tabSize = tabSize;
    m_viewFont.Height = heightFromPoints(points, *dpi);
    m_shell->repaintViews();
    settings::writeTabSize(m_profile, m_tabSize);
    writeFontSettings();
}

void CLorn2Doc::OnFont(bool printFont)
{
    if (m_shell == nullptr)
        return;
    LogFont font = printFont ? m_printFont : m_viewFont;
    if (!m_shell->chooseFont(font))
        return;
    (printFont ? m_printFont : m_viewFont) = font;
    if (!printFont)
        m_shell->repaintViews();
    writeFontSettings();
}

void CLorn2Doc::writeFontSettings()
{
    settings::writeFont(m_profile, settings::kSectionViewFont, m_viewFont);
    settings::writeFont(m_profile, settings::kSectionPrintFont, m_printFont);
    m_profile.sync();
}

bool CLorn2Doc::OnShowArchive()
{
    const std::optional<int> index = targetAccount(true);
    if (!index)
        return false;
    m_shell->switchView(ViewKind::ArchiveList, *index);
    return true;
}

bool CLorn2Doc::OnShowChart()
{
    const std::optional<int> index = targetAccount(false);
    if (!index)
        return false;
    m_shell->switchView(ViewKind::Chart, *index);
    return true;
}

bool CLorn2Doc::OnQualityCheck()
{
    const std::optional<int> index = targetAccount(false);
    return index && m_shell->showQualityCheck(*index);
}

bool CLorn2Doc::readArchiveHeader(const QString& path, ArchiveHeader& header)
{
    CANSIFile file;
    if (!file.open(path, CANSIFile::Mode::Read)) {
        const QString error = file.errorString();
        MessageBox::error(error.isEmpty() ? u"File error"_s : error);
        return false;
    }
    QString line;
    while (file.readLine(line)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1);
        while (!value.isEmpty() && value.front().isSpace())
            value.remove(0, 1);
        auto is = [&](const char16_t* name) { return key.compare(QStringView(name), Qt::CaseInsensitive) == 0; };
        if (is(u"Serial Number"))
            header.serial = value.trimmed().toInt();
        else if (is(u"Custom"))
            header.consumer = value;
        else if (is(u"Telephone"))
            header.phone = value;
        else if (is(u"Abonent"))
            header.consumerId = value;
        else if (is(u"Address"))
            header.address = value;
        else if (is(u"Response Person"))
            header.contact = value;
    }
    if (file.failed()) {
        const QString error = file.errorString();
        MessageBox::error(error.isEmpty() ? u"File error"_s : error);
        return false;
    }
    return true;
}

bool CLorn2Doc::OnImportArchive()
{
    if (m_shell == nullptr)
        return false;
    FileDialogSpec dialog;
    dialog.filter = LoadResString(103, u"Lorn archives (*.tsa)|*.tsa|All files (*.*)|*.*||"_s);
    dialog.defaultExtension = u"tsa"_s;
    const QString path = m_shell->getOpenFileName(dialog);
    if (path.isEmpty())
        return false;
    const ImportResult result = importArchive(path);
    if (result == ImportResult::Cancelled)
        return false;
    if (result == ImportResult::Failed) {
        MessageBox::show(u"Не удалось импортировать архив"_s);
        return false;
    }
    m_shell->switchView(ViewKind::ArchiveList, m_currentAccount);
    return true;
}

CLorn2Doc::ImportResult CLorn2Doc::importArchive(const QString& path)
{
    ArchiveHeader header;
    {
        WaitCursor wait(m_shell);
        if (!readArchiveHeader(path, header))
            return ImportResult::Failed;
    }
    const std::vector<int> found = findBySerial(header.serial);
    if (found.empty()) {
        CDevData record;
        record.m_connection = NewAccountConnection;
        record.m_serial = header.serial;
        record.m_consumer = header.consumer;
        record.m_phone = header.phone;
        record.m_consumerId = header.consumerId;
        record.m_address = header.address;
        record.m_contact = header.contact;
        if (!m_shell->editAccount(record, true, QString()))
            return ImportResult::Cancelled;
        record.m_folder = record.accountFolder(m_workingFolder);
        if (FAILED(accounts::addAccount(m_accounts, record, m_workingFolder, path)))
            return ImportResult::Failed;
        m_currentAccount = int(m_accounts.size()) - 1;
        m_shell->addDeviceRow(m_accounts.back(), m_currentAccount, true);
        return ImportResult::Done;
    }
    int target = found.front();
    if (found.size() > 1) {
        const std::optional<int> chosen = m_shell->chooseAccountByType(found);
        if (!chosen)
            return ImportResult::Cancelled;
        target = *chosen;
    }
    CDevData& acc = m_accounts[std::size_t(target)];
    WaitCursor wait(m_shell);
    // The account's own file keeps its parameter block; the chosen file only adds records. An
    // own file that exists but cannot be read must not be replaced by the imported records alone.
    if (FAILED(acc.LoadArchive()) && QFileInfo::exists(acc.archiveFilePath()))
        return ImportResult::Failed;
    if (FAILED(archive::readArchiveFile(path, acc.m_arcParams, acc.m_records, true, 0)))
        return ImportResult::Failed;
    acc.m_records.sort();
    if (acc.WriteArchive())
        acc.LoadArchive();
    m_currentAccount = target;
    return ImportResult::Done;
}

bool CLorn2Doc::OnExportArchive()
{
    const std::optional<int> index = targetAccount(false);
    if (!index)
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (FAILED(acc.LoadArchive())) {
        MessageBox::error(LoadResString(196, u"No archive data to export"_s));
        return false;
    }
    FileDialogSpec dialog;
    dialog.filter = LoadResString(
        199, u"Lorn archives (*.tsa)|*.tsa|CSV Files (*.csv)|*.csv|QzArcRd Files (*.iar)|*.iar||"_s);
    dialog.defaultExtension = u"tsa"_s;
    dialog.defaultName = fmt::text(u"%05u", unsigned(acc.m_serial));
    const QString target = m_shell->getSaveFileName(dialog);
    if (target.isEmpty())
        return false;
    const archive::ExportResult result
        = archive::exportArchive(acc.archiveFilePath(), acc.m_arcParams, acc.m_records, target);
    MessageBox::show(result.message, result.icon);
    return result.status == archive::ExportResult::Status::Exported;
}

bool CLorn2Doc::OnExportDatabase()
{
    const QString question = fmt::text(u"sizeof(struct u_data_daymon_full) = %d. sizeof(sctArcZap) = %d",
                                       int(sizeof(u_data_daymon_full)), int(sizeof(sctArcZap)));
    if (MessageBox::show(question, MbIcon::Question, MbButtons::YesNo) != MbAnswer::Yes)
        return false;
    WaitCursor wait(m_shell);
    const int index = m_shell != nullptr ? m_shell->deviceRowAccount(m_lastSelectedRow) : -1;
    if (!isValidAccount(index) || m_accounts[std::size_t(index)].m_deleted) {
        MessageBox::error(u"No device data!"_s);
        return false;
    }
    CDevData& acc = m_accounts[std::size_t(index)];
    if (FAILED(acc.LoadArchive())) {
        MessageBox::error(u"Failed to load archive!"_s);
        return false;
    }
    ArchiveDatabase closed;
    ArchiveDatabase& db = m_database != nullptr ? *m_database : closed;
    const archivedb::ExportResult r
        = archivedb::exportDayMonArchives(db, acc.m_type, acc.m_serial, acc.typeCodeName(), acc.m_records.records());
    if (r.hr == E_POINTER) {
        MessageBox::error(u"No DB connection!"_s);
        return false;
    }
    if (FAILED(r.hr)) {
        MessageBox::error(u"Failed to add new device type!"_s);
        return false;
    }
    if (r.errors > 0) {
        MessageBox::error(fmt::text(u"Errors: %d. Added %d records", r.errors, r.added));
        return false;
    }
    MessageBox::info(fmt::text(u"Added %d records", r.added));
    return true;
}

QString CLorn2Doc::reportFileFilter()
{
    // The document strings: title, name, new-file name, filter name, extension, type names.
    const QStringList strings = LoadResString(128).split(u'\n');
    const QString name = strings.value(3, u"Lorn reports (*.tsr)"_s);
    const QString extension = strings.value(4, u".tsr"_s);
    return name + u"|*"_s + extension + u"|Все файлы (*.*)|*.*||"_s;
}

QString CLorn2Doc::reportsFolder() const
{
    return m_workingFolder + u'/' + LoadResString(178, u"Reports"_s);
}

bool CLorn2Doc::OnCreateReport()
{
    const std::optional<int> index = targetAccount(false);
    if (!index || m_shell == nullptr || !SaveModified())
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    {
        // Read with its parameter block, so the report has the meter's Formula, units and
        // versions; records already held (a read whose file could not be written) still count.
        WaitCursor wait(m_shell);
        if (FAILED(acc.LoadArchive()) && acc.m_records.isEmpty()) {
            // A missing file simply means nothing was read yet; anything else is a broken file.
            if (QFileInfo::exists(acc.archiveFilePath()))
                MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
            else
                MessageBox::error(LoadResString(158, u"No archive data"_s));
            return false;
        }
    }

    ReportSettingsRequest request;
    request.serial = acc.m_serial;
    request.typeName = acc.typeName();
    request.netAddress = acc.m_netAddress;
    request.numSys = acc.m_arcParams.NumSys;
    const RecordTimeSpan& span = acc.m_records.timeSpan();
    if (span.isComplete()) {
        request.earliest = span.earliest();
        request.latest = span.latest();
    }
    const archive::ReportDialogDefaults defaults
        = archive::reportDialogDefaults(acc.m_records, QDate::currentDate());
    request.first = defaults.start;
    request.last = defaults.end;
    request.kind = acc.m_report.kind;
    request.contour = acc.m_report.contour;
    if (!m_shell->editReportSettings(request))
        return false;
    return buildReport(*index, chosenPeriod(request));
}

archive::ReportRequest CLorn2Doc::chosenPeriod(const ReportSettingsRequest& request)
{
    archive::ReportRequest period;
    period.kind = request.kind;
    period.contour = request.contour;
    period.start = request.start;
    period.end = request.end;
    if (!period.start.isValid() || !period.end.isValid())
        period = archive::makeReportRequest(request.kind, request.contour, request.first, request.last);
    return period;
}

bool CLorn2Doc::buildReport(int accountIndex, const archive::ReportRequest& request)
{
    if (!isValidAccount(accountIndex))
        return false;
    archive::ReportResult result = makeReport(accountIndex, request);
    if (result.outcome == archive::ReportOutcome::NoData || result.outcome == archive::ReportOutcome::UnknownFormula)
        return false;

    TextBlock block(kReportBlockSize);
    if (block.allocate() != 0 || block.setData(result.state.text) != 0) {
        MessageBox::error(LoadResString(102, u"Memory allocation error"_s));
        return false;
    }
    CDevData& acc = m_accounts[std::size_t(accountIndex)];
    acc.m_reportText = std::move(block);
    result.state.text.clear(); // the text block is the report
    acc.m_report = std::move(result.state);
    showNewReport(accountIndex);
    return true;
}

archive::ReportResult CLorn2Doc::makeReport(int accountIndex, const archive::ReportRequest& request)
{
    if (!isValidAccount(accountIndex))
        return {};
    const CDevData& acc = m_accounts[std::size_t(accountIndex)];
    archive::ReportInput input;
    input.records = &acc.m_records;
    input.account.deviceType = acc.m_type;
    input.account.params = acc.m_arcParams;
    input.account.printVolumes = acc.m_printVolumes;
    input.account.useAccountForHeader = acc.m_useAccountForHeader;
    input.account.header = {acc.m_consumer, acc.m_phone, acc.m_consumerId, acc.m_address, acc.m_contact};
    input.request = request;

    archive::ReportResult result;
    {
        WaitCursor wait(m_shell);
        if (request.kind == archive::ReportKind::Daily && m_database != nullptr) {
            // A failed query leaves the rows to the account's own records.
            std::vector<archive::DayMonRow> rows;
            if (SUCCEEDED(m_database->readDailyRows(acc.m_type, acc.m_serial, request.start, request.end, rows)))
                input.dailyRows = std::move(rows);
            int count = 0;
            if (SUCCEEDED(m_database->countDailyRows(acc.m_type, acc.m_serial, count)))
                input.dailyRowCount = count;
        }
        result = archive::buildReport(input);
    }
    return result;
}

void CLorn2Doc::showNewReport(int accountIndex)
{
    if (!isValidAccount(accountIndex))
        return;
    m_modified = true;
    m_reportAccount = accountIndex;
    m_currentAccount = accountIndex;
    m_pathName = reportsFolder() + u'/' + m_accounts[std::size_t(accountIndex)].shortName() + u".tsr"_s;
    if (m_shell != nullptr)
        m_shell->switchView(ViewKind::Report, accountIndex);
}

bool CLorn2Doc::OnLoadReport()
{
    const std::optional<int> index = targetAccount(false);
    if (!index || m_shell == nullptr || !SaveModified())
        return false;
    FileDialogSpec dialog;
    dialog.filter = reportFileFilter();
    dialog.defaultExtension = u"tsr"_s;
    dialog.folder = reportsFolder();
    const QString path = m_shell->getOpenFileName(dialog);
    if (path.isEmpty())
        return false;
    return loadReport(*index, path);
}

bool CLorn2Doc::loadReport(int accountIndex, const QString& path)
{
    if (!isValidAccount(accountIndex))
        return false;
    QByteArray bytes;
    QString error;
    {
        WaitCursor wait(m_shell);
        if (!reportfile::load(path, bytes, &error)) {
            MessageBox::error(error.isEmpty() ? u"File error"_s : error);
            return false;
        }
    }
    CDevData& acc = m_accounts[std::size_t(accountIndex)];
    TextBlock block;
    if (!bytes.isEmpty() && block.setData(bytes) != 0) {
        MessageBox::error(LoadResString(102, u"Memory allocation error"_s));
        return false;
    }
    acc.m_reportText = std::move(block);
    // Nothing is known of how a loaded report was made; keep only the last dialog choices.
    archive::ReportState state;
    state.kind = acc.m_report.kind;
    state.contour = acc.m_report.contour;
    acc.m_report = std::move(state);
    m_modified = false;
    m_reportAccount = accountIndex;
    m_currentAccount = accountIndex;
    m_pathName = QFileInfo(path).absoluteFilePath();
    if (m_shell != nullptr)
        m_shell->switchView(ViewKind::Report, accountIndex);
    return true;
}

bool CLorn2Doc::OnSaveReport()
{
    const std::optional<int> index = targetAccount(false);
    return index && saveReportAs(*index);
}

bool CLorn2Doc::saveReportAs(int accountIndex)
{
    if (m_shell == nullptr || !isValidAccount(accountIndex))
        return false;
    const CDevData& acc = m_accounts[std::size_t(accountIndex)];
    if (acc.m_reportText.isEmpty()) {
        MessageBox::error(noReport());
        return false;
    }
    FileDialogSpec dialog;
    dialog.filter = reportFileFilter();
    dialog.defaultExtension = u"tsr"_s;
    const bool ownPath = accountIndex == m_reportAccount && !m_pathName.isEmpty();
    const QFileInfo proposed(ownPath ? m_pathName : reportsFolder() + u'/' + acc.shortName() + u".tsr"_s);
    dialog.defaultName = proposed.fileName();
    dialog.folder = proposed.absolutePath();
    // The proposed folder is the reports folder, which nothing else creates.
    if (proposed.absolutePath() == QFileInfo(reportsFolder()).absoluteFilePath())
        QDir().mkpath(reportsFolder());
    const QString path = m_shell->getSaveFileName(dialog);
    if (path.isEmpty())
        return false;
    return saveReport(accountIndex, path);
}

bool CLorn2Doc::saveReport(int accountIndex, const QString& path)
{
    if (!isValidAccount(accountIndex)) {
        MessageBox::error(noDeviceSelected());
        return false;
    }
    const TextBlock& text = m_accounts[std::size_t(accountIndex)].m_reportText;
    if (text.isEmpty()) {
        MessageBox::error(noReport());
        return false;
    }
    if (text.data() == nullptr) {
        MessageBox::error(LoadResString(102, u"Memory allocation error"_s));
        return false;
    }
    bool saved = false;
    {
        WaitCursor wait(m_shell);
        saved = reportfile::save(path, QByteArrayView(text.data(), qsizetype(text.size())));
    }
    if (!saved) {
        MessageBox::error(LoadResString(177, u"Failed to save report into\n"_s) + path);
        return false;
    }
    if (accountIndex == m_reportAccount || m_reportAccount < 0) {
        m_reportAccount = accountIndex;
        m_modified = false;
        m_pathName = QFileInfo(path).absoluteFilePath();
    }
    return true;
}

bool CLorn2Doc::OnPrintReport(bool preview)
{
    const CDevData* acc = account(m_currentAccount);
    if (m_shell == nullptr || acc == nullptr || acc->m_reportText.isEmpty()) {
        MessageBox::error(noReport());
        return false;
    }
    m_shell->printReport(*acc, preview);
    return true;
}

bool CLorn2Doc::SaveModified()
{
    if (!m_modified || !isValidAccount(m_reportAccount))
        return true;
    const MbAnswer answer = MessageBox::show(LoadResString(176, u"Report is not saved. Save it?"_s), MbIcon::Question,
                                             MbButtons::YesNoCancel);
    if (answer == MbAnswer::No) {
        m_modified = false;
        return true;
    }
    if (answer != MbAnswer::Yes)
        return false;
    // The unsaved report may belong to another account than the one the next command names.
    return saveReportAs(m_reportAccount);
}

void CLorn2Doc::selectAccountForReportFile(const QString& path)
{
    const QString base = QFileInfo(path).completeBaseName();
    int row = 0;
    int firstRow = -1;
    for (const CDevData& acc : m_accounts) {
        if (acc.m_deleted)
            continue;
        if (acc.shortName().compare(base, Qt::CaseInsensitive) == 0) {
            m_lastSelectedRow = row;
            return;
        }
        if (firstRow < 0)
            firstRow = row;
        ++row;
    }
    if (m_lastSelectedRow < 0)
        m_lastSelectedRow = firstRow;
}

bool CLorn2Doc::OnOpenDocument(const QString& path)
{
    const std::optional<int> index = targetAccount(false);
    return index && loadReport(*index, path);
}
