// The poll log as the desktop program reads it back: any bytes parse without harm, and what
// was read is written and read again to the same results.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "app/Poller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::vector<PollResult> first = polllog::parse(text);
    if (first.size() > std::size_t(text.count('\n')) + 1)
        std::abort();
    const QByteArray written = polllog::format(first, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), true);
    const std::vector<PollResult> again = polllog::parse(written);
    if (again.size() != first.size())
        std::abort();
    for (std::size_t i = 0; i < first.size(); ++i) {
        const PollResult& a = first[i];
        const PollResult& b = again[i];
        if (a.serial != b.serial || a.typeName != b.typeName || a.state != b.state || a.message != b.message
            || a.newRecords != b.newRecords || a.attempts != b.attempts || a.lineBytes != b.lineBytes)
            std::abort();
    }
    return 0;
}
