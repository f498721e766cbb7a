#include "CmdLine.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

ProgramOptions ProgramOptions::parse(const QStringList& arguments)
{
    ProgramOptions o;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded) {
            o.rest << a;
        } else if (a == u"--"_s) {
            optionsEnded = true;
        } else if (a == u"--help"_s || a == u"-h"_s) {
            o.action = Action::Help;
            return o;
        } else if (a == u"--version"_s) {
            o.action = Action::Version;
            return o;
        } else if (a == u"--home"_s) {
            o.folder.home = true;
        } else if (a == u"-C"_s) {
            if (i + 1 >= arguments.size()) {
                o.action = Action::UsageError;
                o.error = u"-C needs a folder"_s;
                return o;
            }
            o.folder.folder = arguments[++i];
        } else if (a.startsWith(u"-C"_s) && a.size() > 2) {
            o.folder.folder = a.mid(2);
        } else if (a.startsWith(u"--"_s)) {
            // Not a report file name: no file of ours starts with two dashes.
            o.action = Action::UsageError;
            o.error = u"unknown option '%1'"_s.arg(a);
            return o;
        } else {
            o.rest << a;
        }
    }
    if (o.folder.home && !o.folder.folder.isEmpty()) {
        o.action = Action::UsageError;
        o.error = u"-C and --home exclude each other"_s;
    }
    return o;
}

QString ProgramOptions::usage()
{
    return u"Usage: lorn2 [-C DIR | --home] [-admin] [REPORT.tsr]\n"
           "       lorn2 --help | --version\n\n"
           "The desktop program of Lorn2, on the working folder: the current directory, DIR, or\n"
           "with --home the folder $LORN2_HOME, else ~/Lorn2 (created when missing).\n\n"
           "Options:\n"
           "  -C DIR         work in DIR, which must exist\n"
           "  --home         work in $LORN2_HOME, else ~/Lorn2\n"
           "  -admin         administrator mode (also /admin)\n"
           "  REPORT.tsr     open this report file\n"
           "  -h, --help     show this help\n"
           "  --version      show the version\n\n"
           "Commands for scripts: lorn2-cli --help.\n"_s;
}

bool CLorn2CmdLineInfo::isFlagParameter(const QString& param)
{
    if (param.size() < 2)
        return false;
    if (param.startsWith(u'-'))
        return true;
    // A leading slash was the flag mark of the old program; here it also starts every absolute
    // path, which must stay a file name.
    return param.startsWith(u'/') && param.indexOf(u'/', 1) < 0 && !QFileInfo::exists(param);
}

void CLorn2CmdLineInfo::ParseCommandLine(const QStringList& arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const bool flag = isFlagParameter(arg);
        ParseParam(flag ? arg.mid(1) : arg, flag, i + 1 == arguments.size());
    }
}

void CLorn2CmdLineInfo::ParseParam(const QString& param, bool isFlag, bool isLast)
{
    if (isFlag && param.compare(u"admin"_s, Qt::CaseInsensitive) == 0) {
        m_bAdmin = true;
        if (!isLast)
            return;
    } else if (!isFlag && m_strFileName.isEmpty()) {
        m_strFileName = param;
    }
    ParseLast(isLast);
}

void CLorn2CmdLineInfo::ParseLast(bool isLast)
{
    if (isLast && m_nShellCommand == FileNew && !m_strFileName.isEmpty())
        m_nShellCommand = FileOpen;
}
