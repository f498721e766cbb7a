#include "ArchiveCommands.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "AccountOptions.h"
#include "CliShell.h"
#include "JsonOutput.h"
#include "OutputTarget.h"
#include "app/ArchiveListColumns.h"
#include "app/CLorn2Doc.h"
#include "archive/ArchiveRecord.h"
#include "base/DateUtil.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;


void ShowArchiveCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"from"_s, u"First day shown (default: the archive's first)."_s, u"DATE"_s));
    parser.addOption(QCommandLineOption(u"to"_s, u"Last day shown (default: the archive's last)."_s, u"DATE"_s));
    clijson::addOption(parser);
}

bool ShowArchiveCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    return cliopts::checkPeriod(parser, error);
}

int ShowArchiveCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell&, const QCommandLineParser& parser,
                                            CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index)
        return cliexit::Failed;
    CDevData& acc = doc.accounts()[std::size_t(*index)];
    doc.m_currentAccount = *index;
    if (FAILED(acc.LoadArchive())) {
        MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
        return cliexit::Failed;
    }
    const QDateTime from = parser.isSet(u"from"_s)
                               ? dateutil::calendarDateTime(cliopts::parseDate(parser.value(u"from"_s)), QTime(0, 0))
                               : QDateTime();
    const QDateTime to = parser.isSet(u"to"_s) ? dateutil::calendarDateTime(cliopts::parseDate(parser.value(u"to"_s)),
                                                                             QTime(23, 59, 59, 999))
                                               : QDateTime();
    const bool json = clijson::wanted(parser, io);
    QJsonArray records;
    if (!json)
        io.out << archivelist::captions(acc.m_arcParams.EnergyUnits).join(u'\t') << u'\n';
    for (const sctArcZap& r : acc.m_records) {
        const QDateTime t = archive::recordDateTime(r);
        if (!t.isValid() || (from.isValid() && t < from) || (to.isValid() && t > to))
            continue;
        if (json)
            records.append(archivelist::toJson(acc.m_arcParams, r));
        else
            io.out << archivelist::cells(acc.m_arcParams, r).join(u'\t') << u'\n';
    }
    if (json) {
        QJsonObject document;
        document.insert(u"serial"_s, acc.m_serial);
        document.insert(u"type"_s, acc.typeName());
        document.insert(u"energyUnit"_s, archivelist::captions(acc.m_arcParams.EnergyUnits).at(1).mid(3).chopped(1));
        document.insert(u"records"_s, records);
        clijson::write(io, QJsonDocument(document));
    }
    return cliexit::Ok;
}

void ImportArchiveCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
}

int ImportArchiveCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell,
                                              const QCommandLineParser& parser, CliStreams&)
{
    const int type = cliopts::typeOption(parser);
    shell.setFileName(QFileInfo(parser.positionalArguments().at(0)).absoluteFilePath());
    shell.setAccountEditor([type](CDevData& record, bool) {
        if (type <= 0) {
            MessageBox::error(LoadResString(107, u"Select device type"_s));
            return false;
        }
        record.m_type = type;
        return true;
    });
    // Several accounts share the serial number: --type picks one.
    shell.setChooser([&doc, type](const std::vector<int>& indexes) -> std::optional<int> {
        QStringList types;
        for (int i : indexes) {
            if (doc.accounts()[std::size_t(i)].m_type == type)
                return i;
            types << doc.accounts()[std::size_t(i)].typeCodeName();
        }
        MessageBox::error(u"Several accounts have this serial number: %1. Choose one with --type."_s.arg(
            types.join(u", "_s)));
        return std::nullopt;
    });
    return doc.OnImportArchive() ? cliexit::Ok : cliexit::Failed;
}

void ExportArchiveCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
}

int ExportArchiveCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell,
                                              const QCommandLineParser& parser, CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    // Standard output gets the CSV form.
    const OutputTarget target(parser.positionalArguments().at(1), u".csv"_s);
    shell.setFileName(target.path());
    return target.finish(doc.OnExportArchive(), io) ? cliexit::Ok : cliexit::Failed;
}

void ExportDbCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
}

int ExportDbCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                         CliStreams&)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    doc.setLastSelectedRow(*shell.selectedDeviceRow());
    return doc.OnExportDatabase() ? cliexit::Ok : cliexit::Failed;
}
