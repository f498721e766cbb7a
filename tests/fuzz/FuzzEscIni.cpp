// The bytes as an "esc.ini" file, then recognised as a report text at every position; the index
// that drawing uses must agree with the plain lookup.
#include <cstdint>
#include <cstdlib>

#include <QByteArrayView>
#include <QString>

#include "archive/PrinterControlTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    PrinterControlTable table;
    table.loadFromBytes(bytes);
    if (table.longestValue() < 0)
        std::abort();

    // The plain lookup converts every candidate, so it is kept to short inputs.
    const bool compare = size <= 256;
    PrinterControlTable reference = table;
    reference.findOrAddGroup(QString());
    for (qsizetype pos = -1; pos <= bytes.size(); ++pos) {
        const int n = table.recognise(bytes, pos);
        if (n < 0 || (n > 0 && (pos < 0 || n > bytes.size() - pos)))
            std::abort();
        if (compare && reference.recognise(bytes, pos) != n)
            std::abort();
    }
    return 0;
}
