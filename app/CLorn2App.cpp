#include "CLorn2App.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

#include <QDir>

#include "CLorn2Doc.h"
#include "ProfileStore.h"
#include "WorkingFolder.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "lorn2_version/Version.h"
#include "storage/PgConnection.h"

using namespace Qt::Literals::StringLiterals;

CLorn2App::CLorn2App(AppOptions options)
    : m_options(std::move(options))
{
}

CLorn2App::~CLorn2App()
{
    ExitInstance();
}

QString CLorn2App::GetWorkingFolder()
{
    std::vector<char> buffer(256);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr)
            break;
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    QString folder = QString::fromLocal8Bit(buffer.data());
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

QString CLorn2App::GetProgramVersion()
{
    return fmt::text(u"%d.%d.%d.%d", LORN2_VERSION_MAJOR, LORN2_VERSION_MINOR, LORN2_VERSION_PATCH,
                     LORN2_VERSION_TWEAK);
}

bool CLorn2App::checkSingleInstance()
{
    m_instance = std::make_unique<InstanceGuard>(m_options.lockPath.isEmpty() ? InstanceGuard::defaultLockPath()
                                                                              : m_options.lockPath);
    switch (m_instance->acquire()) {
    case InstanceGuard::State::Created:
        return true;
    case InstanceGuard::State::CannotCreate:
        MessageBox::show(u"Unable to determine the existance of other instances of Lorn2"_s);
        return true;
    case InstanceGuard::State::AlreadyExists:
        break;
    }
    const QString terminate = LoadResString(
        212, u"Another instance of Lorn2 is running.\nTry to close that instance?"_s);
    if (MessageBox::show(terminate, MbIcon::None, MbButtons::YesNo) == MbAnswer::Yes) {
        TerminateOtherInstances(m_options.imageName);
        // The killed instance's lock becomes ours once the kernel has reaped it.
        m_instance->acquireAfterTermination(2000);
        return true;
    }
    const QString proceed = LoadResString(213, u"Continue with this instance of Lorn2?"_s);
    return MessageBox::show(proceed, MbIcon::None, MbButtons::YesNo) == MbAnswer::Yes;
}

void CLorn2App::chooseSettingsStore()
{
    if (!WorkingFolder.isEmpty()) {
        m_profile = std::make_unique<ProfileStore>(WorkingFolder + u'/' + QLatin1StringView(kIniName));
        m_settingsInWorkingFolder = true;
        return;
    }
    m_profile = std::make_unique<ProfileStore>(ProfileStore::userIniPath());
    m_settingsInWorkingFolder = false;
    MessageBox::show(u"Не удалось установить пусть к INI-файлу.\nБудет использован реестр для хранения настроек."_s);
}

QString CLorn2App::databaseTarget() const
{
    return archivedb::configuredTarget(m_profile ? m_profile->readString(u"Database"_s, u"Url"_s, QString()) : QString(),
                                       qEnvironmentVariable("LORN2_DATABASE"),
                                       WorkingFolder.isEmpty() ? QString()
                                                               : WorkingFolder + u'/' + QLatin1StringView(kDatabaseName));
}

void CLorn2App::openDatabase()
{
    const QString target = databaseTarget();
    const bool opened = !target.isEmpty() && SUCCEEDED(ArchiveDatabase.open(target));
    if (!opened) {
        if (!target.isEmpty())
            qWarning("archive database %s: %s", qPrintable(pgurl::withoutPassword(target)),
                     qPrintable(ArchiveDatabase.lastError()));
        MessageBox::error(u"Failed to connect database!\nDaily and Monthly archives are anavailable."_s);
        return;
    }
    // A failed check leaves the remaining tables unexamined; the program runs on.
    ArchiveDatabase.ensureTables();
}

bool CLorn2App::InitInstance(const QStringList& arguments, AppFrontEnd& frontEnd)
{
    if (m_options.instanceControl && !checkSingleInstance())
        return false;

    frontEnd.showSplash(u"Чтение базы данных теплосчётчиков..."_s);

    WorkingFolder = GetWorkingFolder();
    if (m_options.writeStockPrinterTable)
        workfolder::ensurePrinterTable(WorkingFolder);
    chooseSettingsStore();
    openDatabase();

    m_cmdInfo = CLorn2CmdLineInfo();
    m_cmdInfo.ParseCommandLine(arguments);
    if (m_cmdInfo.m_bAdmin)
        AdminMode = true;

    // The document loads its accounts before the frame's first view fills its rows from them.
    m_document = std::make_unique<CLorn2Doc>(*m_profile, WorkingFolder);
    m_document->setDatabase(&ArchiveDatabase);
    m_document->OnNewDocument();
    const bool openReport = m_cmdInfo.m_nShellCommand == CLorn2CmdLineInfo::FileOpen && !m_cmdInfo.m_strFileName.isEmpty();
    if (openReport)
        m_document->selectAccountForReportFile(m_cmdInfo.m_strFileName);
    if (!frontEnd.createFrame(*m_document)) {
        frontEnd.closeSplash();
        return false;
    }
    if (openReport && !m_document->OnOpenDocument(m_cmdInfo.m_strFileName)) {
        frontEnd.closeSplash();
        return false;
    }

    frontEnd.showFrame();
    frontEnd.closeSplash();
    return true;
}

int CLorn2App::ExitInstance()
{
    m_document.reset();
    ArchiveDatabase.close();
    if (m_profile)
        m_profile->sync();
    m_instance.reset();
    return 0;
}
