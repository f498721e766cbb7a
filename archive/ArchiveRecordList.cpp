#include "ArchiveRecordList.h"

#include <algorithm>

using archive::identityKey;
using archive::stampKey;

void RecordTimeSpan::widen(const QDateTime& t)
{
    if (!t.isValid())
        return;
    if (!hasEarliest() || t < m_earliest)
        m_earliest = t;
    if (!hasLatest() || t > m_latest)
        m_latest = t;
}

void RecordTimeSpan::widen(const RecordTimeSpan& other)
{
    if (other.hasEarliest() && (!hasEarliest() || other.m_earliest < m_earliest))
        m_earliest = other.m_earliest;
    if (other.hasLatest() && (!hasLatest() || other.m_latest > m_latest))
        m_latest = other.m_latest;
}

void RecordTimeSpan::clear()
{
    m_earliest = QDateTime();
    m_latest = QDateTime();
}

int ArchiveRecordList::add(const sctArcZap& record, bool overwrite)
{
    // Room first, so that neither the list nor the index changes when an allocation fails.
    if (m_records.size() == m_records.capacity())
        m_records.reserve(std::max<std::size_t>(64, m_records.size() * 2));
    const std::uint64_t key = identityKey(record);
    const auto [pos, inserted] = m_index.insert(key, m_records.size());
    if (!inserted) {
        if (!overwrite)
            return 0;
        m_records[pos] = record;
        return 1;
    }
    m_sorted = m_sorted && (m_records.empty() || identityKey(m_records.back()) < key);
    m_records.push_back(record);
    return 0;
}

void ArchiveRecordList::sort()
{
    if (m_sorted)
        return;
    // Sort the keys, then move each record once along the cycles of the permutation; sorting
    // the records themselves would move each one log n times.
    std::vector<std::pair<std::uint64_t, std::size_t>> order;
    order.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i)
        order.emplace_back(identityKey(m_records[i]), i);
    std::sort(order.begin(), order.end());

    // Nothing below allocates, so a failure above leaves the list as it was.
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start].second == start)
            continue;
        const sctArcZap held = m_records[start];
        std::size_t to = start;
        while (order[to].second != start) {
            const std::size_t from = order[to].second;
            m_records[to] = m_records[from];
            order[to].second = to;
            to = from;
        }
        m_records[to] = held;
        order[to].second = to;
    }
    m_index.repositionAll(order);
    m_sorted = true;
}

void ArchiveRecordList::clear()
{
    m_records.clear();
    m_index.clear();
    m_span.clear();
    m_sorted = true;
}

void ArchiveRecordList::reserve(std::size_t n)
{
    m_records.reserve(n);
    m_index.reserve(n);
}

std::ptrdiff_t ArchiveRecordList::indexOf(const sctArcZap& identity) const
{
    return m_index.find(identityKey(identity));
}

std::size_t ArchiveRecordList::lowerBound(const sctArcZap& stamp) const
{
    const auto it = std::partition_point(m_records.begin(), m_records.end(),
                                         [key = stampKey(stamp)](const sctArcZap& r) { return stampKey(r) < key; });
    return std::size_t(it - m_records.begin());
}

std::size_t ArchiveRecordList::upperBound(const sctArcZap& stamp) const
{
    const auto it = std::partition_point(m_records.begin(), m_records.end(),
                                         [key = stampKey(stamp)](const sctArcZap& r) { return stampKey(r) <= key; });
    return std::size_t(it - m_records.begin());
}

archive::RecordStamp ArchiveRecordList::earliestStamp() const
{
    if (m_records.empty())
        return {};
    if (m_sorted)
        return archive::stampOf(m_records.front());
    const auto it = std::min_element(m_records.begin(), m_records.end(),
                                     [](const sctArcZap& a, const sctArcZap& b) { return stampKey(a) < stampKey(b); });
    return archive::stampOf(*it);
}

archive::RecordStamp ArchiveRecordList::latestStamp() const
{
    if (m_records.empty())
        return {};
    if (m_sorted)
        return archive::stampOf(m_records.back());
    const auto it = std::max_element(m_records.begin(), m_records.end(),
                                     [](const sctArcZap& a, const sctArcZap& b) { return stampKey(a) < stampKey(b); });
    return archive::stampOf(*it);
}
