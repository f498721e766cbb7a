#include "DeviceTypes.h"

#include <algorithm>

#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace devtypes {

namespace {

// The string table ends each list with "||"; the empty pieces are not types.
QStringList splitList(int id)
{
    return LoadResString(id, QString()).split(u'|', Qt::SkipEmptyParts);
}

QString entry(const QStringList& list, int type)
{
    return type >= 1 && type <= list.size() ? list[type - 1] : QString();
}

} // namespace

QStringList displayNames()
{
    static const QStringList names = splitList(105);
    return names;
}

QStringList codeNames()
{
    static const QStringList names = splitList(106);
    return names;
}

int count()
{
    return int(std::min(displayNames().size(), codeNames().size()));
}

QString displayName(int type)
{
    return entry(displayNames(), type);
}

QString codeName(int type)
{
    return entry(codeNames(), type);
}

int fromText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0;
    bool isNumber = false;
    const int n = t.toInt(&isNumber);
    if (isNumber)
        return n >= 1 && n <= count() ? n : 0;
    for (const QStringList& names : {codeNames(), displayNames()}) {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i].compare(t, Qt::CaseInsensitive) == 0)
                return i + 1;
        }
    }
    return 0;
}

} // namespace devtypes
