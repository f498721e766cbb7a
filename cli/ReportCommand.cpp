#include "ReportCommand.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "RenderCommand.h"
#include "app/CLorn2Doc.h"
#include "base/MessageBox.h"
#include "ui/paint/SettingsFont.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QDate parseDate(const QString& text)
{
    return QDate::fromString(text, u"yyyy-MM-dd"_s);
}

} // namespace

void ReportCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"hourly"_s, u"An hourly report of the day DATE."_s, u"DATE"_s));
    parser.addOption(
        QCommandLineOption(u"daily"_s, u"A daily report from FROM to TO (TO follows as an argument)."_s, u"FROM"_s));
    parser.addOption(QCommandLineOption(u"contour"_s, u"The contour, 1 to 3 (default 1)."_s, u"C"_s));
    parser.addOption(QCommandLineOption(u"o"_s, u"Save the report here (default: the reports folder)."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"text"_s, u"Also write the report as UTF-8 text."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"pdf"_s, u"Also print the report to a PDF file."_s, u"FILE"_s));
}

bool ReportCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    const bool hourly = parser.isSet(u"hourly"_s);
    const bool daily = parser.isSet(u"daily"_s);
    if (hourly == daily) {
        *error = u"give one of --hourly DATE and --daily FROM TO"_s;
        return false;
    }
    const QStringList args = parser.positionalArguments();
    if (hourly && args.size() != 1) {
        *error = u"unexpected argument '%1'"_s.arg(args.value(1));
        return false;
    }
    if (daily && args.size() != 2) {
        *error = u"--daily: FROM and TO expected"_s;
        return false;
    }
    const QDate first = parseDate(parser.value(hourly ? u"hourly"_s : u"daily"_s));
    if (!first.isValid()) {
        *error = (hourly ? u"--hourly"_s : u"--daily"_s) + u": a date YYYY-MM-DD expected"_s;
        return false;
    }
    if (daily) {
        const QDate last = parseDate(args.at(1));
        if (!last.isValid()) {
            *error = u"--daily: TO must be a date YYYY-MM-DD"_s;
            return false;
        }
        if (last < first) {
            *error = u"--daily: TO is before FROM"_s;
            return false;
        }
    }
    if (parser.isSet(u"contour"_s)) {
        bool ok = false;
        const int contour = parser.value(u"contour"_s).toInt(&ok);
        if (!ok || contour < 1 || contour > 3) {
            *error = u"--contour: 1, 2 or 3 expected"_s;
            return false;
        }
    }
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

    const bool daily = parser.isSet(u"daily"_s);
    const QDate first = parseDate(parser.value(daily ? u"daily"_s : u"hourly"_s));
    const QDate last = daily ? parseDate(args.at(1)) : first;
    const int contour = parser.isSet(u"contour"_s) ? parser.value(u"contour"_s).toInt() - 1 : 0;
    shell.setReportSettings([&](ReportSettingsRequest& request) {
        if (contour >= std::max(1, request.numSys)) {
            MessageBox::error(
                u"The meter has %1 contour(s); --contour %2 does not exist."_s.arg(std::max(1, request.numSys))
                    .arg(contour + 1));
            return false;
        }
        request.kind = daily ? archive::ReportKind::Daily : archive::ReportKind::Hourly;
        request.contour = contour;
        request.first = first;
        request.last = last;
        const archive::ReportRequest period = archive::makeReportRequest(request.kind, contour, first, last);
        request.start = period.start;
        request.end = period.end;
        return true;
    });
    if (!doc.OnCreateReport())
        return cliexit::Failed;
    // A period without records gives a report of the header alone, after its message: on the
    // screen that is something to look at, for a script it is a failure.
    if (doc.accounts()[std::size_t(*index)].m_report.rows.empty())
        return cliexit::Failed;

    QString target = parser.value(u"o"_s);
    if (target.isEmpty()) {
        target = doc.pathName();
        QDir().mkpath(QFileInfo(target).absolutePath());
    }
    if (!doc.saveReport(*index, QFileInfo(target).absoluteFilePath()))
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
