#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <QByteArray>

class CfgMeta;

// Common part of metas, variables and sections. Texts are the map file's bytes as written.
class CfgData
{
public:
    CfgData();
    explicit CfgData(QByteArray className);
    CfgData(const CfgData& other);
    CfgData(CfgData&& other) noexcept;
    CfgData& operator=(const CfgData& other);
    CfgData& operator=(CfgData&& other) noexcept;
    virtual ~CfgData();

    virtual QByteArray GetName() const;
    // The display name follows the first key name given, so that a "name" statement wins over it
    // whichever comes first.
    virtual void SetName(const QByteArray& name);
    virtual int FindMeta(const QByteArray& name) const;

    QByteArray displayName;
    std::vector<CfgMeta> metas;
    std::int32_t accessLevel = 0;
    QByteArray className;
    QByteArray keyName;
};
