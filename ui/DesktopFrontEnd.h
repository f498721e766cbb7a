#pragma once

#include <memory>

#include "app/CLorn2App.h"

class CMainFrame;
class CSplashWindow;

// Start-up's windows for the desktop program: the splash window and the main frame.
class DesktopFrontEnd : public AppFrontEnd
{
public:
    DesktopFrontEnd();
    ~DesktopFrontEnd() override;

    void showSplash(const QString& status) override;
    void closeSplash() override;
    bool createFrame(CLorn2Doc& document) override;
    void showFrame() override;

    CMainFrame* frame() const { return m_frame.get(); }
    CSplashWindow* splash() const { return m_splash.get(); }
    // Takes the frame down while the document still exists.
    void destroyFrame();

private:
    std::unique_ptr<CSplashWindow> m_splash;
    std::unique_ptr<CMainFrame> m_frame;
};
