// The COM-number map's targets: a device path, tcp://HOST:PORT or rfc2217://HOST:PORT. What is
// read must be written back as text that reads the same.
#include <cstdint>
#include <cstdlib>

#include <QString>

#include "link/LineTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<comm::LineTarget> target = comm::parseLineTarget(text);
    if (!target)
        return 0;
    if (target->kind != comm::LineTarget::Kind::Device && (target->port == 0 || target->host.isEmpty()))
        std::abort();
    const std::optional<comm::LineTarget> again = comm::parseLineTarget(target->text());
    if (!again || again->kind != target->kind || again->host != target->host || again->port != target->port
        || again->path != target->path)
        std::abort();
    return 0;
}
