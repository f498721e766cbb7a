#include "ReportCommand.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "OutputTarget.h"
#include "RenderCommand.h"
#include "app/CLorn2Doc.h"
#include "base/MessageBox.h"
#include "ui/paint/SettingsFont.h"

using namespace Qt::Literals::StringLiterals;

void ReportCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    cliopts::addReportRangeOptions(parser, u"An hourly report of the day DATE."_s);
    parser.addOption(QCommandLineOption(u"o"_s, u"Save the report here (default: the reports folder)."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"text"_s, u"Also write the report as UTF-8 text."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"pdf"_s, u"Also print the report to a PDF file."_s, u"FILE"_s));
}

bool ReportCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!cliopts::checkReportRange(parser, error))
        return false;
    for (const QString& option : { u"o"_s, u"text"_s, u"pdf"_s }) {
        if (parser.isSet(option) && parser.value(option).isEmpty()) {
            *error = (option.size() == 1 ? u"-"_s : u"--"_s) + option + u": a file name expected"_s;
            return false;
        }
    }
    return true;
}

int ReportCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                       CliStreams& io)
{
    const QStringList args = parser.positionalArguments();
    const std::optional<int> index = cliopts::findAccount(doc, args.at(0), parser);
    if (!index || !shell.selectAccount(*index))
        return cliexit::Failed;

    const cliopts::ReportRange range = cliopts::reportRange(parser);
    shell.setReportSettings(
        [range](ReportSettingsRequest& request) { return cliopts::answerReportSettings(range, request); });
    if (!doc.OnCreateReport())
        return cliexit::Failed;
    // A period without records gives a report of the header alone, after its message: on the
    // screen that is something to look at, for a script it is a failure.
    if (doc.accounts()[std::size_t(*index)].m_report.rows.empty())
        return cliexit::Failed;

    QString name = parser.value(u"o"_s);
    if (name.isEmpty()) {
        name = doc.pathName();
        QDir().mkpath(QFileInfo(name).absolutePath());
    }
    const OutputTarget target(name, u".tsr"_s);
    if (!target.finish(doc.saveReport(*index, target.path()), io))
        return cliexit::Failed;

    // The text and the PDF are drawn as the report view draws this account's report.
    const CDevData& acc = doc.accounts()[std::size_t(*index)];
    const QByteArray text = acc.m_reportText.toByteArray();
    if (parser.isSet(u"text"_s)
        && !render::writeText(text, parser.value(u"text"_s), acc.m_escTable, doc.m_tabSize, io.out))
        return cliexit::Failed;
    if (parser.isSet(u"pdf"_s)) {
        render::DrawSettings settings;
        settings.tabSize = doc.m_tabSize;
        settings.printFont = paint::fontFromSettings(doc.m_printFont);
        if (!render::writePdf(text, parser.value(u"pdf"_s), acc.m_escTable, settings))
            return cliexit::Failed;
    }
    return cliexit::Ok;
}
