// A random sequence of replace, append and clear on a block, checked against a plain copy.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "base/TextBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool fixed = data[0] & 1;
    TextBlock block(1 + data[1] % 64, fixed);
    QByteArray model;
    std::size_t pos = 2;
    while (pos < size) {
        const std::uint8_t op = data[pos++];
        const std::size_t len = pos < size ? data[pos++] % 32 : 0;
        const std::size_t take = std::min(len, size - pos);
        const char* bytes = reinterpret_cast<const char*>(data + pos);
        pos += take;
        int rc = 0;
        switch (op % 3) {
        case 0:
            rc = block.setData(take ? bytes : nullptr, take);
            if (rc == 0)
                model = QByteArray(bytes, static_cast<qsizetype>(take));
            break;
        case 1:
            rc = block.append(take ? bytes : nullptr, take);
            if (rc == 0)
                model.append(bytes, static_cast<qsizetype>(take));
            break;
        default:
            block.clear();
            model.clear();
            break;
        }
        if (rc != 0 && rc != 2 && rc != 3)
            std::abort();
        if (block.toByteArray() != model || block.size() > block.capacity())
            std::abort();
    }
    return 0;
}
