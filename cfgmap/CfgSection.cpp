#include "CfgSection.h"

CfgSection::CfgSection()
    : CfgData(QByteArrayLiteral("CfgSection"))
{
}

CfgSection::CfgSection(const CfgSection& other) = default;
CfgSection::CfgSection(CfgSection&& other) noexcept = default;
CfgSection& CfgSection::operator=(const CfgSection& other) = default;
CfgSection& CfgSection::operator=(CfgSection&& other) noexcept = default;
CfgSection::~CfgSection() = default;

void CfgSection::Clear()
{
    sections.clear();
    vars.clear();
}
