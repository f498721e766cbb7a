#include "CLorn2Doc.h"

#include <cmath>

#include "Commands.h"
#include "ProfileStore.h"
#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

CLorn2Doc::CLorn2Doc(ProfileStore& profile)
    : m_profile(profile)
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
    // The account list arrives with the account store; until then there is nothing to load.
    m_currentAccount = -1;
    m_modified = false;
    return true;
}

bool CLorn2Doc::isCommandEnabled(int command) const
{
    switch (command) {
    case cmd::Parameters:
    case cmd::ViewFont:
    case cmd::PrintFont:
    case cmd::Diagnostic:
    case cmd::About:
    case cmd::Exit:
    case cmd::PrintSetup:
    case cmd::ViewToolbar:
    case cmd::ViewStatusBar:
        return true;
    default:
        // Commands whose work is not part of the program yet stay disabled.
        return false;
    }
}

bool CLorn2Doc::onCommand(int command)
{
    switch (command) {
    case cmd::Parameters:
        OnParameters();
        return true;
    case cmd::ViewFont:
        OnFont(false);
        return true;
    case cmd::PrintFont:
        OnFont(true);
        return true;
    default:
        return false;
    }
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
    if (m_shell == nullptr) {
        MessageBox::error(u"System error: failed to get screen"_s);
        return;
    }
    const std::optional<int> dpi = m_shell->viewLogPixelsY();
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
