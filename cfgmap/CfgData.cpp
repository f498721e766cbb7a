#include "CfgData.h"

#include "cfgmap/CfgMeta.h"

CfgData::CfgData()
    : className(QByteArrayLiteral("CfgData"))
{
}

CfgData::CfgData(QByteArray className)
    : className(std::move(className))
{
}

CfgData::CfgData(const CfgData& other) = default;
CfgData::CfgData(CfgData&& other) noexcept = default;
CfgData& CfgData::operator=(const CfgData& other) = default;
CfgData& CfgData::operator=(CfgData&& other) noexcept = default;
CfgData::~CfgData() = default;

QByteArray CfgData::GetName() const
{
    return keyName;
}

void CfgData::SetName(const QByteArray& name)
{
    keyName = name;
    if (displayName.isEmpty())
        displayName = name;
}

int CfgData::FindMeta(const QByteArray& name) const
{
    for (std::size_t i = 0; i < metas.size(); ++i) {
        if (metas[i].GetName() == name)
            return int(i);
    }
    return -1;
}

int CfgMeta::FindEntry(const QByteArray& text, Match by) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if ((by == Match::Key ? entries[i].first : entries[i].second) == text)
            return int(i);
    }
    return -1;
}
