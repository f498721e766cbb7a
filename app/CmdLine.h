#pragma once

#include <QString>
#include <QStringList>

#include "WorkingFolder.h"

// The desktop program's own options, taken before the rest of its command line: -C DIR,
// --home, --help, --version. "--" ends them; other arguments ("-admin", "/admin", a report
// file) are left for CLorn2CmdLineInfo.
struct ProgramOptions
{
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    workfolder::Choice folder;
    QStringList rest;
    QString error; // with UsageError

    static ProgramOptions parse(const QStringList& arguments);
    static QString usage();
};

// The program's command line: an optional report file and the "admin" flag.
class CLorn2CmdLineInfo
{
public:
    enum ShellCommand { FileNew, FileOpen };

    // Parses the arguments after the program name.
    void ParseCommandLine(const QStringList& arguments);
    // One parameter; a flag arrives without its leading "/" or "-".
    void ParseParam(const QString& param, bool isFlag, bool isLast);

    // "-x" is a flag; "/x" too, unless it is a path ("/home/a.tsr") or names an existing file.
    static bool isFlagParameter(const QString& param);

    bool m_bAdmin = false;
    QString m_strFileName;
    ShellCommand m_nShellCommand = FileNew;

private:
    void ParseLast(bool isLast);
};
