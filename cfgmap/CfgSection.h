#pragma once

#include <vector>

#include <QByteArray>

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

    std::vector<CfgSection> sections;
    std::vector<CfgVar> vars;
};
