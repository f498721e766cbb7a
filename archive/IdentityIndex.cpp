#include "IdentityIndex.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <stdexcept>

namespace archive {

namespace {

constexpr std::size_t kMinCapacity = 64;

// Fibonacci hashing spreads the packed stamp fields over the whole table.
std::size_t homeSlot(std::uint64_t key, unsigned shift)
{
    return std::size_t((key * 0x9E3779B97F4A7C15ull) >> shift);
}

} // namespace

std::ptrdiff_t IdentityIndex::find(std::uint64_t key) const
{
    if (m_slots.empty())
        return -1;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = homeSlot(key, m_shift);; i = (i + 1) & mask) {
        const Slot& s = m_slots[i];
        if (s.posPlusOne == 0)
            return -1;
        if (s.key == key)
            return std::ptrdiff_t(s.posPlusOne - 1);
    }
}

std::pair<std::size_t, bool> IdentityIndex::insert(std::uint64_t key, std::size_t pos)
{
    if (pos >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("archive record list too long");
    if ((m_used + 1) * 2 > m_slots.size())
        rehash(std::max(kMinCapacity, m_slots.size() * 2));
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = homeSlot(key, m_shift);
    for (; m_slots[i].posPlusOne != 0; i = (i + 1) & mask) {
        if (m_slots[i].key == key)
            return { m_slots[i].posPlusOne - 1, false };
    }
    m_slots[i] = Slot{ key, std::uint32_t(pos + 1) };
    ++m_used;
    return { pos, true };
}

void IdentityIndex::reposition(std::uint64_t key, std::size_t pos)
{
    if (m_slots.empty())
        return;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = homeSlot(key, m_shift); m_slots[i].posPlusOne != 0; i = (i + 1) & mask) {
        if (m_slots[i].key == key) {
            m_slots[i].posPlusOne = std::uint32_t(pos + 1);
            return;
        }
    }
}

void IdentityIndex::repositionAll(const std::vector<std::pair<std::uint64_t, std::size_t>>& sortedKeys)
{
    if (m_slots.empty())
        return;
    // The slots are visited in random order; prefetching a few keys ahead hides the misses.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < sortedKeys.size(); ++i) {
        if (i + kAhead < sortedKeys.size())
            __builtin_prefetch(&m_slots[homeSlot(sortedKeys[i + kAhead].first, m_shift)]);
        reposition(sortedKeys[i].first, i);
    }
}

void IdentityIndex::clear()
{
    std::fill(m_slots.begin(), m_slots.end(), Slot{ 0, 0 });
    m_used = 0;
}

void IdentityIndex::reserve(std::size_t n)
{
    const std::size_t wanted = std::bit_ceil(std::max(kMinCapacity, n * 2));
    if (wanted > m_slots.size())
        rehash(wanted);
}

void IdentityIndex::rehash(std::size_t capacity)
{
    std::vector<Slot> slots(capacity, Slot{ 0, 0 });
    const unsigned shift = 64 - unsigned(std::countr_zero(capacity));
    const std::size_t mask = capacity - 1;
    for (const Slot& s : m_slots) {
        if (s.posPlusOne == 0)
            continue;
        std::size_t i = homeSlot(s.key, shift);
        while (slots[i].posPlusOne != 0)
            i = (i + 1) & mask;
        slots[i] = s;
    }
    m_slots.swap(slots);
    m_shift = shift;
}

} // namespace archive
