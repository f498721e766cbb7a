#include "CliShell.h"

void CliShell::switchView(ViewKind kind, int accountIndex)
{
    m_view = kind;
    m_shownAccount = accountIndex;
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
