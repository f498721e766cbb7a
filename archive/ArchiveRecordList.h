#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QDateTime>

#include "archive/ArchiveRecord.h"
#include "archive/IdentityIndex.h"

// The earliest and latest record time an account has held. Only valid times are taken, so each
// end is valid exactly when it has been set.
class RecordTimeSpan
{
public:
    bool hasEarliest() const { return m_earliest.isValid(); }
    bool hasLatest() const { return m_latest.isValid(); }
    bool isComplete() const { return hasEarliest() && hasLatest(); }
    const QDateTime& earliest() const { return m_earliest; }
    const QDateTime& latest() const { return m_latest; }

    // Moves either end out to include t; an invalid t is ignored.
    void widen(const QDateTime& t);
    // Each end moves out to the other span's end of the same side, where that one is set.
    void widen(const RecordTimeSpan& other);
    void clear();

private:
    QDateTime m_earliest;
    QDateTime m_latest;
};

// An account's archive records in list order, at most one per identity (stamp and Event).
// A hash index on the identity keeps add() constant-time; every mutation keeps it in step, which
// is why the records are reachable only read-only.
class ArchiveRecordList
{
public:
    using const_iterator = std::vector<sctArcZap>::const_iterator;

    // An unknown identity is appended and gives 0. A known one is replaced when overwrite is set
    // (result 1) and otherwise left as it is (result 0).
    int add(const sctArcZap& record, bool overwrite);

    // Earliest first; equal stamps fall in Event order, so the result does not depend on the
    // order the records came in.
    void sort();
    // True while the list is in the order sort() makes, e.g. after sort() until an earlier
    // record is appended.
    bool isSorted() const { return m_sorted; }

    // Removes the records and forgets the time span; the storage is kept for the next load.
    void clear();
    void reserve(std::size_t n);

    std::size_t size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.empty(); }
    const sctArcZap& operator[](std::size_t i) const { return m_records[i]; }
    const sctArcZap& at(std::size_t i) const { return m_records.at(i); }
    const_iterator begin() const { return m_records.cbegin(); }
    const_iterator end() const { return m_records.cend(); }
    const std::vector<sctArcZap>& records() const { return m_records; }

    // Position of the record with the same identity, -1 when there is none.
    std::ptrdiff_t indexOf(const sctArcZap& identity) const;
    bool contains(const sctArcZap& identity) const { return indexOf(identity) >= 0; }

    // On a sorted list: the first position whose stamp is not earlier (lowerBound) or is later
    // (upperBound) than the stamp of the given record.
    std::size_t lowerBound(const sctArcZap& stamp) const;
    std::size_t upperBound(const sctArcZap& stamp) const;

    // Stamps of the earliest and the latest record; all zeros for an empty list.
    archive::RecordStamp earliestStamp() const;
    archive::RecordStamp latestStamp() const;

    RecordTimeSpan& timeSpan() { return m_span; }
    const RecordTimeSpan& timeSpan() const { return m_span; }

private:
    std::vector<sctArcZap> m_records;
    archive::IdentityIndex m_index; // identityKey -> position
    RecordTimeSpan m_span;
    bool m_sorted = true;
};
