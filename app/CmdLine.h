#pragma once

#include <QString>
#include <QStringList>

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
