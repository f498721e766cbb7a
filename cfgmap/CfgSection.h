#pragma once

#include <vector>

#include <QByteArray>
#include <QByteArrayList>

#include "cfgmap/CfgData.h"
#include "cfgmap/CfgMeta.h"
#include "cfgmap/CfgVar.h"

// A section of the map: subsections and variables in declaration order.
class CfgSection : public CfgData
{
public:
    CfgSection();
    CfgSection(const CfgSection& other);
    CfgSection(CfgSection&& other) noexcept;
    CfgSection& operator=(const CfgSection& other);
    CfgSection& operator=(CfgSection&& other) noexcept;
    ~CfgSection() override;

    // Drops subsections and variables; the metas stay.
    virtual void Clear();
    // The configuration-file lines of the section, "key=value" with the key path from this
    // section's key name down: the subsections' lines first, then the own variables'.
    virtual QByteArrayList CollectLines() const;

    std::vector<CfgSection> sections;
    std::vector<CfgVar> vars;
};
