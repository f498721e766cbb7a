#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "CmdLine.h"
#include "InstanceGuard.h"
#include "storage/ArchiveDatabase.h"

class CLorn2Doc;
class ProfileStore;

// What start-up needs of the front end: the splash window and the main frame. The command-line
// program shows neither.
class AppFrontEnd
{
public:
    virtual ~AppFrontEnd() = default;
    virtual void showSplash(const QString& status) { Q_UNUSED(status); }
    virtual void closeSplash() { }
    // Creates the main frame with its first view on the document; false ends start-up.
    virtual bool createFrame(CLorn2Doc& document) = 0;
    // Shows the frame maximised.
    virtual void showFrame() { }
};

struct AppOptions
{
    bool instanceControl = true;         // the command-line program runs beside the desktop one
    QString lockPath;                    // empty: the default lock in the temporary folder
    QString imageName = QStringLiteral("lorn2"); // the processes "terminate other instances" ends
    bool writeStockPrinterTable = true;  // a working folder without "esc.ini" gets the stock one
};

// The application: brings the program up and takes it down.
class CLorn2App
{
public:
    static constexpr const char* kIniName = "lorn2.ini";
    static constexpr const char* kDatabaseName = "lorn2.sqlite";
    // The archive database to open: lorn2.ini [Database] Url, LORN2_DATABASE, else the file.
    QString databaseTarget() const;

    explicit CLorn2App(AppOptions options = {});
    ~CLorn2App();
    CLorn2App(const CLorn2App&) = delete;
    CLorn2App& operator=(const CLorn2App&) = delete;

    // Start-up; `arguments` exclude the program name. False: end the program at once.
    bool InitInstance(const QStringList& arguments, AppFrontEnd& frontEnd);
    // Destroys the document (which writes its settings) and closes the database.
    int ExitInstance();

    // The single-instance test with its two questions; false when the user chose to end.
    bool checkSingleInstance();

    ProfileStore& profile() const { return *m_profile; }
    CLorn2Doc* document() const { return m_document.get(); }
    bool settingsInWorkingFolder() const { return m_settingsInWorkingFolder; }

    // The current directory, empty when it cannot be read.
    static QString GetWorkingFolder();
    // "major.minor.patch.build" of this build.
    static QString GetProgramVersion();

    QString WorkingFolder;
    ::ArchiveDatabase ArchiveDatabase;
    bool AdminMode = false;
    CLorn2CmdLineInfo m_cmdInfo;

private:
    void chooseSettingsStore();
    void openDatabase();

    AppOptions m_options;
    std::unique_ptr<InstanceGuard> m_instance;
    std::unique_ptr<ProfileStore> m_profile;
    std::unique_ptr<CLorn2Doc> m_document;
    bool m_settingsInWorkingFolder = false;
};
