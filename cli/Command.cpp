#include "Command.h"

#include <QDir>

#include "AccountOptions.h"
#include "CliShell.h"
#include "app/CLorn2App.h"
#include "app/CLorn2Doc.h"
#include "app/WorkingFolder.h"
#include "base/MessageBox.h"
#include "lorn2_version/Version.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QCommandLineOption& helpOption()
{
    static const QCommandLineOption option(QStringList{u"h"_s, u"help"_s}, u"Show this help."_s);
    return option;
}

class CliFrontEnd : public AppFrontEnd
{
public:
    explicit CliFrontEnd(CliShell& shell)
        : m_shell(shell)
    {
    }
    bool createFrame(CLorn2Doc& document) override
    {
        document.setShell(&m_shell);
        return true;
    }

private:
    CliShell& m_shell;
};

QString programUsage()
{
    QString text = u"Usage: lorn2-cli [-C DIR | --home] [--quiet] [--progress MODE] [--json] COMMAND [ARGUMENTS]\n"
                   "                 [OPTIONS]\n"
                   "       lorn2-cli --help | --version\n\n"
                   "Runs the commands of Lorn2 without windows, on the working folder (the current\n"
                   "directory, or DIR).\n\n"
                   "Options (before COMMAND):\n"
                   "  -C DIR         work in DIR, which must exist\n"
                   "  --home         work in $LORN2_HOME, else ~/Lorn2 (created when missing)\n"
                   "  --quiet        messages only, no progress\n"
                   "  --progress auto|always|never\n"
                   "                 progress of device commands: auto redraws a line on a\n"
                   "                 terminal and elsewhere writes a line when the phase changes,\n"
                   "                 at most one every 10 s\n"
                   "  --json         list, ports, show-archive: one JSON document on standard output\n"
                   "  -h, --help     show this help\n"
                   "  --version      show the version\n\n"
                   "Commands:\n"_s;
    for (const auto& c : allCommands())
        text += u"  "_s + c->name().leftJustified(14) + u' ' + c->description() + u'\n';
    text += u"\nRun 'lorn2-cli COMMAND --help' for the options of a command.\n"_s;
    return text;
}

} // namespace

QString Command::usageText(const QCommandLineParser& parser) const
{
    // The parser names the program by its file path; show the command as it is typed.
    QString text = parser.helpText();
    const qsizetype eol = text.indexOf(u'\n');
    QString usage = u"Usage: lorn2-cli "_s + name();
    if (!arguments().isEmpty())
        usage += u' ' + arguments();
    usage += u" [options]"_s;
    if (eol < 0)
        return usage + u'\n';
    return usage + text.mid(eol);
}

int Command::usageError(const QString& message, const QCommandLineParser& parser, CliStreams& io) const
{
    io.err << u"lorn2-cli "_s << name() << u": "_s << message << u'\n' << usageText(parser);
    io.err.flush();
    return cliexit::Usage;
}

int Command::run(const QStringList& args, CliStreams& io)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(helpOption());
    addOptions(parser);
    if (!arguments().isEmpty())
        parser.addPositionalArgument(arguments(), QString());
    QStringList argv = prepareArguments(args);
    argv[0] = u"lorn2-cli "_s + name();
    if (!parser.parse(argv))
        return usageError(parser.errorText(), parser, io);
    if (parser.isSet(helpOption())) {
        io.out << usageText(parser);
        io.out.flush();
        return cliexit::Ok;
    }
    const qsizetype n = parser.positionalArguments().size();
    if (n < minArguments())
        return usageError(u"missing arguments"_s, parser, io);
    if (maxArguments() >= 0 && n > maxArguments())
        return usageError(u"unexpected argument '%1'"_s.arg(parser.positionalArguments().value(maxArguments())),
                          parser, io);
    // Every command's option values are checked the same way before any file is touched.
    QString error;
    if (!cliopts::validate(parser, &error) || !checkArguments(parser, &error))
        return usageError(error, parser, io);
    if (arguments().startsWith(u"SERIAL"_s)) {
        bool ok = false;
        const int serial = parser.positionalArguments().at(0).toInt(&ok);
        if (!ok || serial < 1 || serial > CDevData::kMaxSerial)
            return usageError(u"SERIAL: a serial number 1 to %1 expected, not '%2'"_s.arg(CDevData::kMaxSerial).arg(
                                  parser.positionalArguments().at(0)),
                              parser, io);
    }
    return execute(parser, io);
}

int DocumentCommand::execute(const QCommandLineParser& parser, CliStreams& io)
{
    CliShell shell;
    CliFrontEnd frontEnd(shell);
    AppOptions options;
    options.instanceControl = false;
    CLorn2App app(options);
    if (!app.InitInstance({}, frontEnd))
        return cliexit::Failed;
    // The device list is the view every command starts from.
    app.document()->fillDeviceList();
    const int rc = executeWithDocument(app, *app.document(), shell, parser, io);
    io.out.flush();
    io.err.flush();
    app.ExitInstance();
    return rc;
}

int runCli(const QStringList& arguments, CliStreams& io)
{
    auto commands = allCommands();
    workfolder::Choice folder;
    qsizetype i = 1;
    const auto usage = [&](const QString& message) {
        io.err << u"lorn2-cli: "_s << message << u'\n' << programUsage();
        io.err.flush();
        return cliexit::Usage;
    };
    while (i < arguments.size()) {
        const QString& a = arguments[i];
        if (a == u"--help"_s || a == u"-h"_s) {
            io.out << programUsage();
            io.out.flush();
            return cliexit::Ok;
        }
        if (a == u"--version"_s) {
            io.out << u"lorn2-cli "_s << QLatin1StringView(LORN2_VERSION_STRING) << u'\n';
            io.out.flush();
            return cliexit::Ok;
        }
        if (a == u"-C"_s) {
            if (i + 1 >= arguments.size())
                return usage(u"-C needs a folder"_s);
            folder.folder = arguments[i + 1];
            i += 2;
        } else if (a.startsWith(u"-C"_s)) {
            folder.folder = a.mid(2);
            ++i;
        } else if (a == u"--home"_s) {
            folder.home = true;
            ++i;
        } else if (a == u"--quiet"_s || a == u"-q"_s) {
            io.quiet = true;
            ++i;
        } else if (a == u"--json"_s) {
            io.json = true;
            ++i;
        } else if (a == u"--progress"_s || a.startsWith(u"--progress="_s)) {
            QString mode;
            if (a == u"--progress"_s) {
                if (i + 1 >= arguments.size())
                    return usage(u"--progress needs auto, always or never"_s);
                mode = arguments[i + 1];
                i += 2;
            } else {
                mode = a.mid(11);
                ++i;
            }
            if (mode == u"auto"_s)
                io.progress = ProgressMode::Auto;
            else if (mode == u"always"_s)
                io.progress = ProgressMode::Always;
            else if (mode == u"never"_s)
                io.progress = ProgressMode::Never;
            else
                return usage(u"--progress: auto, always or never expected, not '%1'"_s.arg(mode));
        } else if (a.startsWith(u'-')) {
            return usage(u"unknown option '%1'"_s.arg(a));
        } else {
            break;
        }
    }
    if (folder.home && !folder.folder.isEmpty())
        return usage(u"-C and --home exclude each other"_s);
    QString folderError;
    if (!workfolder::enter(folder, &folderError)) {
        io.err << u"lorn2-cli: "_s << folderError << u'\n';
        io.err.flush();
        return cliexit::Failed;
    }
    if (i >= arguments.size())
        return usage(u"no command given"_s);
    for (const auto& c : commands) {
        if (c->name() == arguments[i]) {
            if (io.json && !c->speaksJson())
                return usage(u"--json: '%1' writes no JSON"_s.arg(c->name()));
            return c->run(arguments.mid(i), io);
        }
    }
    return usage(u"unknown command '%1'"_s.arg(arguments[i]));
}
