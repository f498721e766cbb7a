// The document's commands that talk to a meter: each runs one device operation behind the
// progress dialog and then shows what was read.
#include "CLorn2Doc.h"

#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString saveFailed()
{
    return LoadResString(108, u"Failed to save device data"_s);
}

} // namespace

void CLorn2Doc::refreshDeviceRow(int accountIndex)
{
    if (!deviceListShowing())
        return;
    const std::optional<int> row = m_shell->selectedDeviceRow();
    if (row && m_shell->deviceRowAccount(*row) == accountIndex)
        m_shell->updateDeviceRow(*row, m_accounts[std::size_t(accountIndex)]);
}

bool CLorn2Doc::prepareDeviceOperation(CDevData& acc)
{
    if (m_shell == nullptr)
        return false;
    if (acc.m_connection.port >= 1)
        return true;
    if (!m_shell->editConnection(acc))
        return false;
    WaitCursor wait(m_shell);
    if (FAILED(acc.Save())) {
        MessageBox::error(saveFailed());
        return false;
    }
    return true;
}

bool CLorn2Doc::runDeviceOperation(CDevData& acc, DeviceOperation kind, const QDateTime& when)
{
    if (m_shell == nullptr)
        return false;
    DeviceOperationRequest request;
    request.kind = kind;
    request.when = when;
    request.database = m_database != nullptr && m_database->isOpen() ? m_database : nullptr;
    return m_shell->runDeviceOperation(acc, request);
}

bool CLorn2Doc::OnEditConnection()
{
    const std::optional<int> index = targetAccount(false);
    if (!index || m_shell == nullptr)
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (!m_shell->editConnection(acc))
        return false;
    WaitCursor wait(m_shell);
    acc.m_modified = 1;
    const bool saved = SUCCEEDED(acc.Save());
    if (!saved)
        MessageBox::error(saveFailed());
    NewAccountConnection = acc.m_connection;
    refreshDeviceRow(*index);
    return saved;
}

bool CLorn2Doc::OnReadArchive()
{
    const std::optional<int> index = targetAccount(false);
    if (!index)
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (!prepareDeviceOperation(acc) || !runDeviceOperation(acc, DeviceOperation::GetArchive))
        return false;
    {
        WaitCursor wait(m_shell);
        // The configuration read on the way is lost at exit unless the account file keeps it.
        if (acc.m_modified != 0 && FAILED(acc.Save()))
            MessageBox::error(saveFailed());
        refreshDeviceRow(*index);
        if (!acc.WriteArchive()) {
            const MbAnswer answer = MessageBox::question(
                LoadResString(147, u"Archive save failed.\nShow it anyway?"_s), MbButtons::YesNo);
            if (answer != MbAnswer::Yes)
                return false;
        }
    }
    m_currentAccount = *index;
    m_shell->switchView(ViewKind::ArchiveList, *index);
    return true;
}

bool CLorn2Doc::OnReadConfig()
{
    const std::optional<int> index = targetAccount(true);
    if (!index)
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (!prepareDeviceOperation(acc) || !runDeviceOperation(acc, DeviceOperation::GetConfig))
        return false;
    // Kept in the account file, so the configuration outlives the run.
    if (acc.m_modified != 0) {
        WaitCursor wait(m_shell);
        if (FAILED(acc.Save()))
            MessageBox::error(saveFailed());
    }
    refreshDeviceRow(*index);
    const MbAnswer answer
        = MessageBox::question(LoadResString(195, u"Config is loaded. Show it?"_s), MbButtons::YesNo);
    if (answer == MbAnswer::Yes) {
        buildConfigReport(*index);
        m_shell->switchView(ViewKind::ConfigReport, *index);
    }
    return true;
}

bool CLorn2Doc::OnReadReport()
{
    const std::optional<int> index = targetAccount(false);
    if (!index || !SaveModified())
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (!prepareDeviceOperation(acc))
        return false;

    ReportSettingsRequest request;
    request.serial = acc.m_serial;
    request.typeName = acc.typeName();
    request.netAddress = acc.m_netAddress;
    // Before the first archive read the contours are not known; the meter has at most three.
    request.numSys = acc.m_arcParams.NumSys > 0 ? acc.m_arcParams.NumSys : 3;
    // The meter prints from its own archive; without records here the day to offer is today.
    if (acc.m_records.isEmpty()) {
        request.first = request.last = QDate::currentDate();
    } else {
        const archive::ReportDialogDefaults defaults
            = archive::reportDialogDefaults(acc.m_records, QDate::currentDate());
        request.first = defaults.start;
        request.last = defaults.end;
    }
    request.kind = acc.m_report.kind;
    request.contour = acc.m_report.contour;
    if (!m_shell->editReportSettings(request))
        return false;
    const archive::ReportRequest range = chosenPeriod(request);

    archive::ReportState settings;
    settings.kind = range.kind;
    settings.contour = range.contour;
    settings.start = range.start;
    settings.end = range.end;
    const archive::ReportState previous = acc.m_report;
    acc.m_report = settings;
    if (!runDeviceOperation(acc, DeviceOperation::GetReport)) {
        acc.m_report = previous;
        return false;
    }
    // A received report was not built here: it has no rows and no period of its own.
    archive::ReportState received;
    received.kind = settings.kind;
    received.contour = settings.contour;
    acc.m_report = std::move(received);
    showNewReport(*index);
    return true;
}

bool CLorn2Doc::OnSetClock()
{
    const std::optional<int> index = targetAccount(true);
    if (!index || m_shell == nullptr)
        return false;
    CDevData* acc = &m_accounts[std::size_t(*index)];
    return m_shell->setClock(acc, [this, acc](const QDateTime& when) {
        return runDeviceOperation(*acc, DeviceOperation::SetDateTime, when);
    });
}
