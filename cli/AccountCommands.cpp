#include "AccountCommands.h"

#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "OutputTarget.h"
#include "app/CLorn2Doc.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/DeviceTypes.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

void AddCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"serial"_s, u"Serial number of the meter, 1 to 65534."_s, u"N"_s));
    cliopts::addAccountOptions(parser);
    cliopts::addConnectionOptions(parser);
}

bool AddCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!parser.isSet(u"type"_s) || !parser.isSet(u"serial"_s)) {
        *error = u"--type and --serial are required"_s;
        return false;
    }
    return true;
}

int AddCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                    CliStreams&)
{
    const int serial = parser.value(u"serial"_s).toInt();
    const int type = cliopts::typeOption(parser);
    shell.setAccountEditor([&](CDevData& record, bool) {
        record.m_type = type;
        record.m_serial = serial;
        cliopts::applyAccountOptions(parser, record);
        cliopts::applyConnectionOptions(parser, record);
        return true;
    });
    return doc.OnAddAccount() ? cliexit::Ok : cliexit::Failed;
}

namespace {

// As the account dialog does for an existing account: the chosen map is copied into the account
// folder and named by its base name there; the next command reads it.
bool takeMapIntoFolder(CDevData& record)
{
    const QString name = folders::fileNameOf(record.m_mapFile);
    QString error;
    if (!folders::copyReplacing(record.m_mapFile, folders::join(record.m_folder, name), &error)) {
        MessageBox::error(LoadResString(191, u"Failed to copy map file: "_s) + error);
        return false;
    }
    record.m_mapFile = name;
    record.m_mapChanged = false;
    MessageBox::show(LoadResString(223), MbIcon::Information, MbButtons::Ok);
    return true;
}

} // namespace

void EditCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    cliopts::addAccountOptions(parser);
    cliopts::addConnectionOptions(parser);
}

int EditCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                     CliStreams&)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    shell.setAccountEditor([&](CDevData& record, bool) {
        cliopts::applyAccountOptions(parser, record);
        cliopts::applyConnectionOptions(parser, record);
        return !record.m_mapChanged || takeMapIntoFolder(record);
    });
    if (!doc.OnEditAccountFields())
        return cliexit::Failed;
    // A connection edit becomes the default of the next new account.
    if (cliopts::hasConnectionOptions(parser))
        doc.NewAccountConnection = doc.accounts()[std::size_t(*index)].m_connection;
    return cliexit::Ok;
}

void DeleteCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"remove-files"_s, u"Delete the account's files from the disk."_s));
    parser.addOption(QCommandLineOption(u"move-files"_s, u"Move the account's files to DeviceArchives."_s));
}

bool DeleteCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (parser.isSet(u"remove-files"_s) == parser.isSet(u"move-files"_s)) {
        *error = u"give one of --remove-files and --move-files"_s;
        return false;
    }
    return true;
}

int DeleteCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                       CliStreams&)
{
    const bool remove = parser.isSet(u"remove-files"_s);
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    shell.setDeleteChoice(remove ? DeleteFilesChoice::Delete : DeleteFilesChoice::Move);
    return doc.OnDeleteAccount() ? cliexit::Ok : cliexit::Failed;
}

int ExportDevicesCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell,
                                              const QCommandLineParser& parser, CliStreams& io)
{
    const OutputTarget target(parser.positionalArguments().at(0), u".csv"_s);
    shell.setFileName(target.path());
    return target.finish(doc.OnExportDeviceList(), io) ? cliexit::Ok : cliexit::Failed;
}
