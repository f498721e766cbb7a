#include "ConfigCommands.h"

#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "OutputTarget.h"
#include "app/CLorn2Doc.h"
#include "base/AtomicFile.h"
#include "base/CodePage.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"
#include "storage/ArchiveDatabase.h"
#include "storage/Folders.h"
#include "ui/paint/ReportPainter.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString snapshotLabel(const CfgArcRecord& record)
{
    const QDateTime t = record.dateTime();
    return t.isValid() ? t.toString(u"dd-MM-yyyy HH:mm:ss"_s) : u"?"_s;
}

} // namespace

int CheckMapCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    const QString path = parser.positionalArguments().at(0);
    CfgMgr map;
    int error = 0;
    if (!map.LoadFile(path, &error)) {
        MessageBox::error(u"Cannot read map file %1: %2"_s.arg(path, folders::systemErrorText(error)));
        return cliexit::Failed;
    }
    // The log as the parser wrote it, in the terminal's line ends and character set.
    QString log = codepage::fromOem(map.errorLog());
    log.replace(u"\r\n"_s, u"\n"_s);
    io.out << log;
    io.out << u"sections: %1, variables: %2\n"_s.arg(cfgmap::countSections(map.root()))
                  .arg(cfgmap::countVariables(map.root()));
    io.out.flush();
    return map.errorLog().isEmpty() ? cliexit::Ok : cliexit::Failed;
}

void ConfigReportCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"snapshot"_s,
                                        u"Show snapshot K of the configuration archive (1 = the oldest)."_s, u"K"_s));
    parser.addOption(QCommandLineOption(u"list-snapshots"_s, u"List the configuration archive's snapshots."_s));
    parser.addOption(QCommandLineOption(QStringList{u"o"_s, u"output"_s},
                                        u"Write the report's own bytes (IBM866) to FILE."_s, u"FILE"_s));
}

bool ConfigReportCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (parser.isSet(u"snapshot"_s) && parser.isSet(u"list-snapshots"_s)) {
        *error = u"--snapshot and --list-snapshots exclude each other"_s;
        return false;
    }
    if (parser.isSet(u"snapshot"_s)) {
        bool ok = false;
        const int k = parser.value(u"snapshot"_s).toInt(&ok);
        if (!ok || k < 1) {
            *error = u"--snapshot: a number from 1 expected"_s;
            return false;
        }
    }
    return true;
}

int ConfigReportCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell,
                                             const QCommandLineParser& parser, CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    CDevData& acc = doc.accounts()[std::size_t(*index)];

    const bool wantSnapshots = parser.isSet(u"snapshot"_s) || parser.isSet(u"list-snapshots"_s);
    std::vector<CfgArcRecord> snapshots;
    bool allRead = true;
    if (wantSnapshots && doc.database() != nullptr) {
        allRead = doc.readConfigSnapshots(*index, snapshots);
        if (!allRead)
            MessageBox::error(LoadResString(218, u"Failed to fetch configuration from archive"_s));
    }
    if (parser.isSet(u"list-snapshots"_s)) {
        for (std::size_t i = 0; i < snapshots.size(); ++i)
            io.out << (i + 1) << u'\t' << snapshotLabel(snapshots[i]) << u'\n';
        return allRead ? cliexit::Ok : cliexit::Failed;
    }

    bool made = false;
    if (parser.isSet(u"snapshot"_s)) {
        const std::size_t k = parser.value(u"snapshot"_s).toUInt();
        if (k > snapshots.size()) {
            MessageBox::error(u"No snapshot %1: the configuration archive of this account holds %2"_s.arg(k).arg(
                snapshots.size()));
            return cliexit::Failed;
        }
        const CfgArcRecord& record = snapshots[k - 1];
        const QByteArray bytes(reinterpret_cast<const char*>(record.bytes.data()), qsizetype(record.bytes.size()));
        doc.m_currentAccount = *index;
        made = doc.buildConfigReport(*index, &bytes);
    } else {
        made = doc.OnShowConfig();
    }
    if (!made)
        return cliexit::Failed;

    const QByteArray text = acc.m_cfgReport.toByteArray();
    if (parser.isSet(u"o"_s)) {
        QString error;
        if (!writeFileAtomically(parser.value(u"o"_s), text, &error)) {
            MessageBox::error(u"Failed to save file: "_s + parser.value(u"o"_s));
            return cliexit::Failed;
        }
        return cliexit::Ok;
    }
    const paint::DrawOptions options{&acc.m_escTable, doc.m_tabSize};
    io.out << QString::fromUtf8(paint::toUtf8(text, paint::measure(text, doc.m_tabSize), options));
    return cliexit::Ok;
}

void SaveConfigCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
}

int SaveConfigCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell,
                                           const QCommandLineParser& parser, CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;
    const OutputTarget target(parser.positionalArguments().at(1), u".cfg"_s);
    shell.setFileName(target.path());
    return target.finish(doc.OnSaveConfig(), io) ? cliexit::Ok : cliexit::Failed;
}
