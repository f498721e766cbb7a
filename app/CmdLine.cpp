#include "CmdLine.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

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
