#pragma once

#include <utility>
#include <vector>

#include <QByteArray>

#include "cfgmap/CfgData.h"

// A meta attribute: key/value entries in declaration order, named by its "name" item.
class CfgMeta : public CfgData
{
public:
    using Entry = std::pair<QByteArray, QByteArray>;

    CfgMeta()
        : CfgData(QByteArrayLiteral("CfgMeta"))
    {
    }

    enum class Match { Key, Value };
    // Index of the first entry whose key (or value) is text, or -1.
    int FindEntry(const QByteArray& text, Match by = Match::Key) const;

    std::vector<Entry> entries;
};
