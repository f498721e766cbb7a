#pragma once

#include <QString>

#include "ProgramSettings.h"
#include "Shell.h"
#include "base/ConnectionBlock.h"

class ProfileStore;

// The program's single document: the account list, the current account, the settings it holds
// for the whole run, and every menu command.
class CLorn2Doc
{
public:
    // Reads the program settings.
    explicit CLorn2Doc(ProfileStore& profile);
    // Writes the default connection of new accounts.
    ~CLorn2Doc();
    CLorn2Doc(const CLorn2Doc&) = delete;
    CLorn2Doc& operator=(const CLorn2Doc&) = delete;

    void setShell(Shell* shell) { m_shell = shell; }
    Shell* shell() const { return m_shell; }
    ProfileStore& profile() const { return m_profile; }

    // The new-document step: loads every account.
    bool OnNewDocument();

    // Commands
    bool isCommandEnabled(int command) const;
    // Carries out a command; false when the document does not handle it.
    bool onCommand(int command);
    void OnParameters();
    void OnFont(bool printFont);

    // Converts between the font height in logical units and the size in points.
    static int pointsFromHeight(int height, int logPixelsY);
    static int heightFromPoints(int points, int logPixelsY);

    void writeFontSettings();

    LogFont m_viewFont;
    LogFont m_printFont;
    int m_tabSize = settings::kDefaultTabSize;
    ConnectionBlock NewAccountConnection;
    int m_currentAccount = -1;
    bool m_modified = false;
    QString m_errorLog;

private:
    ProfileStore& m_profile;
    Shell* m_shell = nullptr;
};
