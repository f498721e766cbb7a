#include "StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry
{
    int id;
    const char* text;
    const char* fallback;
};

constexpr Entry kEntries[] = {
#define LORN2_STR(id, text, fallback) {id, text, fallback},
#include "StringTableData.inc"
#undef LORN2_STR
};

constexpr bool sortedById()
{
    for (std::size_t i = 1; i < std::size(kEntries); ++i) {
        if (kEntries[i - 1].id >= kEntries[i].id)
            return false;
    }
    return true;
}
static_assert(sortedById(), "string table entries must be sorted by number and unique");

const Entry* find(int id)
{
    const auto it = std::lower_bound(std::begin(kEntries), std::end(kEntries), id,
                                     [](const Entry& e, int value) { return e.id < value; });
    return it != std::end(kEntries) && it->id == id ? it : nullptr;
}

} // namespace

QString LoadResString(int id, const QString& fallback)
{
    const Entry* e = find(id);
    if (e == nullptr || *e->text == '\0')
        return fallback;
    return QString::fromUtf8(e->text);
}

QString LoadResString(int id)
{
    return LoadResString(id, strtab::fallback(id));
}

namespace strtab {

bool hasEntry(int id)
{
    const Entry* e = find(id);
    return e != nullptr && *e->text != '\0';
}

QString fallback(int id)
{
    const Entry* e = find(id);
    return e != nullptr ? QString::fromUtf8(e->fallback) : QString();
}

} // namespace strtab
