#include "CliShell.h"

void CliShell::switchView(ViewKind kind, int accountIndex)
{
    m_view = kind;
    m_shownAccount = accountIndex;
}

int CliShell::deviceRowAccount(int row) const
{
    return row >= 0 && std::size_t(row) < m_rows.size() ? m_rows[std::size_t(row)] : -1;
}

void CliShell::addDeviceRow(const CDevData& account, int accountIndex, bool select)
{
    Q_UNUSED(account);
    m_rows.push_back(accountIndex);
    if (select)
        m_selectedRow = int(m_rows.size()) - 1;
}

void CliShell::updateDeviceRow(int row, const CDevData& account)
{
    Q_UNUSED(row);
    Q_UNUSED(account);
}

bool CliShell::removeDeviceRow(int row)
{
    if (row < 0 || std::size_t(row) >= m_rows.size())
        return false;
    m_rows.erase(m_rows.begin() + row);
    if (m_rows.empty())
        m_selectedRow.reset();
    else
        m_selectedRow = std::min(row, int(m_rows.size()) - 1);
    return true;
}

bool CliShell::selectAccount(int accountIndex)
{
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r] == accountIndex) {
            m_selectedRow = int(r);
            return true;
        }
    }
    return false;
}

bool CliShell::editParameters(int& tabSize, int& fontPoints)
{
    Q_UNUSED(tabSize);
    Q_UNUSED(fontPoints);
    return false;
}

bool CliShell::chooseFont(LogFont& font)
{
    Q_UNUSED(font);
    return false;
}

bool CliShell::editAccount(CDevData& record, bool newAccount, const QString& caption)
{
    Q_UNUSED(caption);
    return m_editor ? m_editor(record, newAccount) : false;
}

std::optional<int> CliShell::chooseAccountByType(const std::vector<int>& accountIndexes)
{
    return m_chooser ? m_chooser(accountIndexes) : std::nullopt;
}

QString CliShell::getOpenFileName(const FileDialogSpec& dialog)
{
    Q_UNUSED(dialog);
    return m_fileName;
}

QString CliShell::getSaveFileName(const FileDialogSpec& dialog)
{
    Q_UNUSED(dialog);
    return m_fileName;
}

bool CliShell::editReportSettings(ReportSettingsRequest& request)
{
    return m_reportSettings && m_reportSettings(request);
}

bool CliShell::setClock(CDevData* account, const ClockSetter& run)
{
    if (account == nullptr || !run)
        return false;
    return run(m_clockTime.value_or(QDateTime::currentDateTime()));
}

bool CliShell::runDeviceOperation(CDevData& account, const DeviceOperationRequest& request)
{
    return m_deviceRunner && m_deviceRunner(account, request);
}
