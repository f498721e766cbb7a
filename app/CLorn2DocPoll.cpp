#include "CLorn2Doc.h"

#include "base/MessageBox.h"
#include "base/StringTable.h"

int CLorn2Doc::ruleTargetAccount() const
{
    if (deviceListShowing()) {
        const std::optional<int> row = m_shell->selectedDeviceRow();
        return row ? m_shell->deviceRowAccount(*row) : -1;
    }
    return m_currentAccount;
}

bool CLorn2Doc::OnPollAll()
{
    if (m_shell == nullptr || pollRunning())
        return false;
    std::vector<int> chosen;
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        if (!m_accounts[i].m_deleted)
            chosen.push_back(int(i));
    }
    return !chosen.empty() && m_shell->startPoll(chosen);
}

bool CLorn2Doc::OnPollSelected()
{
    if (m_shell == nullptr || pollRunning())
        return false;
    const std::optional<int> index = targetAccount(true);
    return index && m_shell->startPoll({*index});
}

void CLorn2Doc::setPolling(const std::vector<int>& accountIndexes, bool polling)
{
    for (const int index : accountIndexes) {
        if (polling)
            m_polling.insert(index);
        else
            m_polling.erase(index);
    }
}

void CLorn2Doc::pollFinished(int accountIndex, const PollResult& result, const CDevData& data)
{
    if (!isValidAccount(accountIndex))
        return;
    m_lastPoll[accountIndex] = result;
    CDevData& acc = m_accounts[std::size_t(accountIndex)];
    if (!acc.m_deleted)
        acc = data;
    refreshAccountRow(accountIndex);
    // The archive list on screen shows the new records at once.
    if (m_shell != nullptr && m_shell->activeView() == ViewKind::ArchiveList && m_currentAccount == accountIndex)
        m_shell->switchView(ViewKind::ArchiveList, accountIndex);
}

const PollResult* CLorn2Doc::lastPoll(int accountIndex) const
{
    const auto it = m_lastPoll.find(accountIndex);
    return it != m_lastPoll.end() ? &it->second : nullptr;
}

void CLorn2Doc::readPollLogs()
{
    const std::map<std::pair<QString, int>, PollResult> logged = polllog::latest(m_workingFolder, QDate::currentDate());
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        const CDevData& acc = m_accounts[i];
        const auto it = logged.find({acc.typeCodeName(), acc.m_serial});
        if (!acc.m_deleted && it != logged.end() && !isPolling(int(i)))
            m_lastPoll[int(i)] = it->second;
    }
}

bool CLorn2Doc::reloadAccount(int accountIndex)
{
    if (!isValidAccount(accountIndex) || isPolling(accountIndex))
        return false;
    CDevData& acc = m_accounts[std::size_t(accountIndex)];
    if (acc.m_deleted)
        return false;
    CDevData fresh;
    fresh.m_folder = acc.m_folder;
    // Whatever the read shows goes nowhere: a file half seen is simply read again next time.
    ThreadMessageBoxBackend quiet(std::make_shared<RecordingMessageBox>());
    if (FAILED(fresh.Load(m_workingFolder)) || fresh.m_serial != acc.m_serial || fresh.m_type != acc.m_type)
        return false;
    if (!acc.m_records.isEmpty() && FAILED(fresh.LoadArchive()))
        return false;
    // What this run keeps beside the files stays: the report on screen and its settings.
    fresh.m_reportText = std::move(acc.m_reportText);
    fresh.m_report = std::move(acc.m_report);
    acc = std::move(fresh);
    refreshAccountRow(accountIndex);
    return true;
}

void CLorn2Doc::refreshAccountRow(int accountIndex)
{
    if (!deviceListShowing() || !isValidAccount(accountIndex))
        return;
    for (int row = 0;; ++row) {
        const int account = m_shell->deviceRowAccount(row);
        if (account < 0)
            return;
        if (account == accountIndex) {
            m_shell->updateDeviceRow(row, m_accounts[std::size_t(accountIndex)]);
            return;
        }
    }
}
