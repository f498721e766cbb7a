// Any format string, with a fixed mix of arguments, must format without reading past them.
#include <cstdint>
#include <string_view>

#include <QString>

#include "base/Format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    const QByteArray a = fmt::bytes(format, 42, -1, 3.25, "text", QStringLiteral("Гкал"), 'c', 7u);
    const QString t = fmt::text(QString::fromUtf8(format.data(), static_cast<qsizetype>(format.size())), 1.5f,
                                QStringLiteral("ТС"), 65535, QByteArray("bytes"));
    return a.size() >= 0 && t.size() >= 0 ? 0 : 1;
}
