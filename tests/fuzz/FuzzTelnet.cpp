// What a serial server may send over telnet: split anywhere it reads the same, what the program
// escapes reads back unchanged, and nothing it keeps grows beyond what came in.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "link/Rfc2217.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace comm::rfc2217;
    if (size == 0)
        return 0;
    const QByteArrayView input(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const qsizetype split = input.isEmpty() ? 0 : data[0] % (input.size() + 1);

    Receiver whole;
    QByteArray wholeData;
    whole.feed(input, wholeData);
    const QByteArray wholeReplies = whole.takeReplies();

    Receiver parts;
    QByteArray partData;
    parts.feed(input.first(split), partData);
    QByteArray partReplies = parts.takeReplies();
    parts.feed(input.sliced(split), partData);
    partReplies += parts.takeReplies();

    if (wholeData != partData || wholeReplies != partReplies)
        std::abort();
    // Every byte of data and every three bytes of reply answer a byte that came.
    if (wholeData.size() > input.size() || wholeReplies.size() > input.size())
        std::abort();
    for (std::uint8_t code = 0; code <= kPurgeData; ++code) {
        if (whole.answers(code).size() > 8 || whole.answers(code) != parts.answers(code))
            std::abort();
        for (const QByteArray& value : whole.answers(code)) {
            if (value.size() > kMaxSubnegotiation)
                std::abort();
        }
    }

    Receiver plain;
    QByteArray back;
    plain.feed(escape(input), back);
    if (back != input || !plain.takeReplies().isEmpty())
        std::abort();
    return 0;
}
