#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace archive {

// Record identity key -> position in the record list: an open-addressing table in one block,
// so a lookup costs one cache miss at most where a node-based map costs two or three.
class IdentityIndex
{
public:
    // Position of the key, -1 when it is absent.
    std::ptrdiff_t find(std::uint64_t key) const;

    // Inserts key at pos unless the key is present; returns the position held and whether it
    // was inserted. Leaves the index unchanged when it throws.
    std::pair<std::size_t, bool> insert(std::uint64_t key, std::size_t pos);

    // Moves a present key to another position.
    void reposition(std::uint64_t key, std::size_t pos);
    // Every key of the list gets its position in `sortedKeys` (key, old position) as its new one.
    void repositionAll(const std::vector<std::pair<std::uint64_t, std::size_t>>& sortedKeys);

    // Keeps the table's capacity, as the record list keeps its own.
    void clear();
    void reserve(std::size_t n);
    std::size_t size() const { return m_used; }

private:
    struct Slot
    {
        std::uint64_t key;
        std::uint32_t posPlusOne; // 0 marks a free slot, so every key value can be stored
    };

    void rehash(std::size_t capacity);

    std::vector<Slot> m_slots; // capacity a power of two, at most half full
    std::size_t m_used = 0;
    unsigned m_shift = 64;
};

} // namespace archive
