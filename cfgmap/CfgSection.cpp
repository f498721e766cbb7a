#include "CfgSection.h"

#include "cfgmap/CfgDecode.h"

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

QByteArrayList CfgSection::CollectLines() const
{
    QByteArrayList lines;
    const QByteArray prefix = GetName() + '.';
    for (const CfgSection& s : sections) {
        for (const QByteArray& line : s.CollectLines())
            lines.append(prefix + line);
    }
    for (const CfgVar& v : vars)
        lines.append(prefix + v.GetName() + '=' + cfgmap::valueText(v));
    return lines;
}
