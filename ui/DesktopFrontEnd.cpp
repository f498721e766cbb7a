#include "DesktopFrontEnd.h"

#include <QScreen>

#include "CMainFrame.h"
#include "CSplashWindow.h"
#include "app/CLorn2Doc.h"

DesktopFrontEnd::DesktopFrontEnd() = default;

DesktopFrontEnd::~DesktopFrontEnd()
{
    destroyFrame();
}

void DesktopFrontEnd::showSplash(const QString& status)
{
    if (m_splash) {
        m_splash->setStatusText(status);
        return;
    }
    m_splash = std::make_unique<CSplashWindow>(status);
    m_splash->showNow();
}

void DesktopFrontEnd::closeSplash()
{
    m_splash.reset();
}

bool DesktopFrontEnd::createFrame(CLorn2Doc& document)
{
    m_frame = std::make_unique<CMainFrame>(document);
    document.setShell(m_frame.get());
    return true;
}

void DesktopFrontEnd::showFrame()
{
    if (!m_frame)
        return;
    // Without a window manager (a bare X server) maximising does nothing: fill the screen first.
    if (const QScreen* screen = m_frame->screen())
        m_frame->setGeometry(screen->availableGeometry());
    m_frame->showMaximized();
    m_frame->raise();
    m_frame->activateWindow();
}

void DesktopFrontEnd::destroyFrame()
{
    m_frame.reset();
}
