#include "ReportCommand.h"

#include <numeric>

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include "AccountOptions.h"
#include "CliShell.h"
#include "OutputTarget.h"
#include "RenderCommand.h"
#include "app/CLorn2Doc.h"
#include "app/ReportBatch.h"
#include "base/MessageBox.h"
#include "storage/CDevData.h"
#include "ui/paint/SettingsFont.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// --pdf without a file name, as --all takes it; hidden, so help and completion show one --pdf.
QString pdfBeside()
{
    return u"pdf-beside"_s;
}

render::DrawSettings drawSettings(const CLorn2Doc& doc)
{
    render::DrawSettings settings;
    settings.tabSize = doc.m_tabSize;
    settings.printFont = paint::fontFromSettings(doc.m_printFont);
    return settings;
}

bool checkOne(const QCommandLineParser& parser, QString* error)
{
    if (parser.positionalArguments().isEmpty()) {
        *error = u"name the account (SERIAL) or give --all"_s;
        return false;
    }
    if (parser.isSet(u"dir"_s)) {
        *error = u"--dir goes with --all"_s;
        return false;
    }
    if (parser.isSet(pdfBeside())) {
        *error = u"Unknown option '%1'."_s.arg(pdfBeside());
        return false;
    }
    if (!cliopts::checkReportRange(parser, error))
        return false;
    for (const QString& option : { u"o"_s, u"text"_s, u"pdf"_s }) {
        if (parser.isSet(option) && parser.value(option).isEmpty()) {
            *error = (option.size() == 1 ? u"-"_s : u"--"_s) + option + u": a file name expected"_s;
            return false;
        }
    }
    const QString serialText = parser.positionalArguments().at(0);
    bool ok = false;
    const int serial = serialText.toInt(&ok);
    if (!ok || serial < 1 || serial > CDevData::kMaxSerial) {
        *error = u"SERIAL: a serial number 1 to %1 expected, not '%2'"_s.arg(CDevData::kMaxSerial).arg(serialText);
        return false;
    }
    return true;
}

bool checkAll(const QCommandLineParser& parser, QString* error)
{
    const bool hourly = parser.isSet(u"hourly"_s);
    const bool daily = parser.isSet(u"daily"_s);
    if (hourly == daily) {
        *error = u"give one of --hourly DATE and --daily FROM TO"_s;
        return false;
    }
    // TO is the only positional argument --all leaves.
    const QStringList args = parser.positionalArguments();
    if (args.size() > (daily ? 1 : 0)) {
        // The word that is neither TO nor a serial number is most likely a stray file name.
        QString extra = args.last();
        bool serial = false;
        for (const QString& a : args) {
            a.toInt(&serial);
            if (serial)
                break;
            if (!cliopts::parseDate(a).isValid())
                extra = a;
        }
        if (serial)
            *error = u"--all and a serial number exclude each other"_s;
        else if (parser.isSet(pdfBeside()))
            *error = u"unexpected argument '%1' (with --all, --pdf takes no file name)"_s.arg(extra);
        else
            *error = u"unexpected argument '%1'"_s.arg(extra);
        return false;
    }
    if (daily && args.isEmpty()) {
        *error = u"--daily: FROM and TO expected"_s;
        return false;
    }
    if (!cliopts::checkReportDates(parser, daily ? args.at(0) : QString(), error))
        return false;
    if (!parser.isSet(u"dir"_s)) {
        *error = u"--all needs --dir DIR"_s;
        return false;
    }
    if (parser.value(u"dir"_s).isEmpty()) {
        *error = u"--dir: a folder expected"_s;
        return false;
    }
    for (const QString& option : { u"o"_s, u"text"_s }) {
        if (parser.isSet(option)) {
            *error = (option.size() == 1 ? u"-"_s : u"--"_s) + option
                + u": not with --all, whose reports are named in --dir"_s;
            return false;
        }
    }
    if (parser.isSet(u"pdf"_s)) {
        *error = u"--pdf takes no file name with --all: each PDF goes beside its report"_s;
        return false;
    }
    if (parser.isSet(u"type"_s)) {
        *error = u"--type: not with --all"_s;
        return false;
    }
    return true;
}

QString oneLine(QString text)
{
    text.replace(u'\n', u' ');
    return text.trimmed();
}

QString itemLine(const reportbatch::Item& item)
{
    using State = reportbatch::Item::State;
    switch (item.state) {
    case State::Written:
        if (item.pdfPath.isEmpty())
            return item.name + u": записан "_s + item.path;
        return item.name + u": записаны "_s + item.path + u", "_s + item.pdfPath;
    case State::Skipped:
        return item.name + u": пропущен: "_s + oneLine(item.message);
    case State::Failed:
        break;
    }
    return item.name + u": ошибка: "_s + oneLine(item.message);
}

} // namespace

void ReportCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    cliopts::addReportRangeOptions(parser, u"An hourly report of the day DATE."_s);
    parser.addOption(QCommandLineOption(u"o"_s, u"Save the report here (default: the reports folder)."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"text"_s, u"Also write the report as UTF-8 text."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(
        u"pdf"_s, u"Also print the report to a PDF file (with --all: no FILE, each beside its report)."_s, u"FILE"_s));
    parser.addOption(QCommandLineOption(u"all"_s, u"One report per account, into the folder --dir."_s));
    parser.addOption(
        QCommandLineOption(u"dir"_s, u"With --all: the folder of the reports, made when missing."_s, u"DIR"_s));
    QCommandLineOption beside(pdfBeside());
    beside.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(beside);
}

QStringList ReportCommand::prepareArguments(const QStringList& args) const
{
    // Options end at "--"; a word after it is an argument, whatever it looks like.
    const qsizetype end = args.contains(u"--"_s) ? args.indexOf(u"--"_s) : args.size();
    const auto given = [&args, end](const QString& word) {
        const qsizetype at = args.indexOf(word, 1);
        return at > 0 && at < end;
    };
    if (!given(u"--all"_s) && !given(u"-all"_s))
        return args;
    QStringList out = args;
    for (qsizetype i = 1; i < end; ++i) {
        if (out[i] == u"--pdf"_s || out[i] == u"-pdf"_s)
            out[i] = u"--"_s + pdfBeside();
    }
    return out;
}

bool ReportCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    return parser.isSet(u"all"_s) ? checkAll(parser, error) : checkOne(parser, error);
}

int ReportCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                       CliStreams& io)
{
    if (parser.isSet(u"all"_s))
        return reportAll(doc, parser, io);
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
    if (parser.isSet(u"pdf"_s) && !render::writePdf(text, parser.value(u"pdf"_s), acc.m_escTable, drawSettings(doc)))
        return cliexit::Failed;
    return cliexit::Ok;
}

int ReportCommand::reportAll(CLorn2Doc& doc, const QCommandLineParser& parser, CliStreams& io)
{
    const bool daily = parser.isSet(u"daily"_s);
    reportbatch::Request request;
    request.kind = daily ? archive::ReportKind::Daily : archive::ReportKind::Hourly;
    request.first = cliopts::parseDate(parser.value(daily ? u"daily"_s : u"hourly"_s));
    request.last = daily ? cliopts::parseDate(parser.positionalArguments().at(0)) : request.first;
    request.contour = parser.isSet(u"contour"_s) ? parser.value(u"contour"_s).toInt() - 1 : 0;
    request.folder = parser.value(u"dir"_s);

    reportbatch::Options options;
    if (parser.isSet(pdfBeside())) {
        options.pdf
            = [settings = drawSettings(doc)](const CDevData& acc, const QByteArray& report, const QString& path) {
                  return render::writePdf(report, path, acc.m_escTable, settings);
              };
    }
    options.finished = [&io](const reportbatch::Item& item) {
        io.err << itemLine(item) << u'\n';
        io.err.flush();
    };
    std::vector<int> accounts(doc.accounts().size());
    std::iota(accounts.begin(), accounts.end(), 0);
    const reportbatch::Result result = reportbatch::run(doc, accounts, request, options);
    if (!result.error.isEmpty()) {
        MessageBox::error(result.error);
        return cliexit::Failed;
    }
    using State = reportbatch::Item::State;
    const int failed = result.count(State::Failed);
    io.err << u"Отчётов записано: %1, пропущено ТС: %2, ошибок: %3\n"_s.arg(result.count(State::Written))
                  .arg(result.count(State::Skipped))
                  .arg(failed);
    io.err.flush();
    return failed > 0 ? cliexit::Failed : cliexit::Ok;
}
