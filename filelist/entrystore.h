#pragma once
// The file list's entries in their order, with look-ups by full path, at a cost per change that does
// not grow with the list where the batch makes its changes: at the top and at the bottom.
//
// Entries live in slots that never move. The order is a deque of (order key, slot) pairs whose keys
// increase down the list, so the row of an entry found by its path is a binary search away, and
// removing or moving one entry shifts only the rows between it and the nearer end.
#include "filelist/fileitem.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TEntryStore {
public:
    TEntryStore();
    TEntryStore(const TEntryStore&) = delete;
    TEntryStore& operator=(const TEntryStore&) = delete;

    int Count() const { return static_cast<int>(FRows.size()); }
    const TFileItem& Item(int row) const;
    // The row of the entry with that full path (compared as the file system compares names), or -1.
    int Find(std::string_view fullPath) const;
    void Append(TFileItem item);
    void Remove(int row);
    void RemoveRange(int first, int last);         // rows first..last, both included
    void RemoveRows(const std::vector<int>& rows); // ascending and distinct; costs the whole list
    void Move(int from, int to);                   // to: the row it goes in front of, before removal
    void Reorder(const std::vector<int>& order);   // order[newRow] = oldRow
    void Clear();
    // Calls found(row) for the entries whose name without its extension matches stem (as the file
    // system compares names) and, unless folder is empty, whose folder is folder; stops when found
    // returns true. Costs the number of such entries, not the list's length.
    void ForEachWithStem(const std::string& folder, const std::string& stem,
                         const std::function<bool(int row)>& found) const;

    // Rows shifted, rows renumbered and slots looked at so far: what the complexity tests count.
    uint64_t Work() const { return FWork; }

private:
    struct TRowRef {
        int64_t Order;
        uint32_t Slot;
    };
    // Hashes and compares slots by their entry's full path; the probe slot stands for the path
    // being looked up.
    struct TPathHash {
        const TEntryStore* Store;
        size_t operator()(uint32_t slot) const;
    };
    struct TPathEqual {
        const TEntryStore* Store;
        bool operator()(uint32_t a, uint32_t b) const;
    };
    static constexpr uint32_t ProbeSlot = UINT32_MAX;
    static constexpr int64_t OrderGap = int64_t{1} << 20;

    std::vector<TFileItem> FSlots;
    std::vector<uint32_t> FFreeSlots;
    std::deque<TRowRef> FRows;
    std::unordered_multiset<uint32_t, TPathHash, TPathEqual> FIndex; // a path listed twice: both
    mutable std::string_view FProbe;                                 // the path being looked up, while it is
    // Entries by a hash of their stem, and of folder and stem: built at the first question, then kept.
    mutable std::unordered_multimap<uint64_t, uint32_t> FStems;
    mutable bool FStemsBuilt = false;
    mutable uint64_t FWork = 0;

    std::vector<int64_t> FSlotOrder; // each slot's order key, for RowOfSlot

    int RowOfSlot(uint32_t slot) const;
    uint32_t TakeSlot(TFileItem item);
    void ReleaseSlot(uint32_t slot);
    void InsertRow(int row, uint32_t slot);
    void Renumber();
    void IndexStems(uint32_t slot) const;
    void UnindexStems(uint32_t slot) const;
};
