// A random block decoded with a random map. The first two bytes (little-endian) give the map's
// length; the map follows, the block is the rest. Besides not crashing, decoding must be
// repeatable, bits must come out as 0 or 1, and the file must hold one line per variable.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include <QByteArray>

#include "base/MessageBox.h"
#include "base/TextBlock.h"
#include "cfgmap/CfgDecode.h"
#include "cfgmap/CfgMgr.h"
#include "cfgmap/CfgReport.h"

namespace {

// Answers every question with its default and keeps nothing, so long runs stay small.
class QuietBox : public MessageBoxBackend
{
public:
    MbAnswer show(const MessageRequest& request) override { return request.defaultAnswer(); }
};

QByteArrayList values(CfgMgr& map)
{
    QByteArrayList out;
    for (const CfgVar* v : cfgmap::orderedVariables(map.root()))
        out << v->ValueToString();
    return out;
}

// The parsed maps by their text. Most mutations touch only the block, and parsing (fuzzed on its
// own by fuzz_cfgparser) cost as much as the decoding; each input decodes into a fresh copy.
const CfgMgr& parsed(const QByteArray& text)
{
    static std::unordered_map<QByteArray, CfgMgr> maps;
    if (const auto it = maps.find(text); it != maps.end())
        return it->second;
    if (maps.size() >= 4096)
        maps.clear();
    CfgMgr& map = maps[text];
    map.openBytes(text);
    map.ParseSection(map.root(), map.root());
    map.close();
    return map;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScopedMessageBoxBackend quiet(std::make_shared<QuietBox>());
    if (size < 2)
        return 0;
    const std::size_t mapSize = std::min<std::size_t>(size - 2, std::size_t(data[0]) | (std::size_t(data[1]) << 8));
    const QByteArray mapText(reinterpret_cast<const char*>(data + 2), qsizetype(mapSize));
    const QByteArray block(reinterpret_cast<const char*>(data + 2 + mapSize), qsizetype(size - 2 - mapSize));

    CfgMgr map = parsed(mapText);

    cfgmap::ReportSubject subject;
    subject.typeName = QStringLiteral("Karna");
    subject.serial = 1;
    subject.current = block;
    QString log;
    TextBlock report;
    cfgmap::TextMeasure measure;
    if (cfgmap::BuildConfigurationReport(map, subject, nullptr, log, report, measure)) {
        if (!report.toByteArray().endsWith("\r\n") || measure.lines < 3)
            std::abort();
        const QByteArrayList first = values(map);
        if (cfgmap::DecodeBlock(map, block, log) < 0 || values(map) != first)
            std::abort();
        for (const CfgVar* v : cfgmap::orderedVariables(map.root())) {
            if (v->GetType() == std::uint8_t(CfgType::Bit) && v->value8 > 1)
                std::abort();
        }
        if (map.root().CollectLines().size() != cfgmap::countVariables(map.root()))
            std::abort();
    }
    return 0;
}
