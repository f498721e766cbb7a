// The bytes as a map file, parsed whole. Besides not crashing, the parser must come back to
// depth 0 and leave a log made of complete lines.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QByteArray>

#include "base/MessageBox.h"
#include "cfgmap/CfgMgr.h"

namespace {

// Answers every question with its default and keeps nothing, so long runs stay small.
class QuietBox : public MessageBoxBackend
{
public:
    MbAnswer show(const MessageRequest& request) override { return request.defaultAnswer(); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Header failures show message boxes; they must not block or print.
    static const ScopedMessageBoxBackend quiet(std::make_shared<QuietBox>());
    CfgMgr mgr;
    mgr.openBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    mgr.ParseSection(mgr.root(), mgr.root());
    if (mgr.depth() != 0)
        std::abort();
    if (!mgr.errorLog().isEmpty() && !mgr.errorLog().endsWith("\r\n"))
        std::abort();
    if (mgr.root().sections.size() + mgr.root().vars.size() > size)
        std::abort();
    for (const CfgVar& v : mgr.root().vars) {
        (void)v.ValueToString();
        if (v.GetBytes().size() != v.GetSize())
            std::abort();
    }
    return 0;
}
