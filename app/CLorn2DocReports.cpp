#include "CLorn2Doc.h"

bool CLorn2Doc::OnReportsAll()
{
    if (m_shell == nullptr)
        return false;
    std::vector<int> chosen;
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        if (!m_accounts[i].m_deleted)
            chosen.push_back(int(i));
    }
    return !chosen.empty() && m_shell->reportsForAccounts(chosen);
}
