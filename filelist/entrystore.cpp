#include "filelist/entrystore.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// Names compare as the file system compares them: without regard to case on Windows only.
char Fold(char c) {
#ifdef _WIN32
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
#else
    return c;
#endif
}

uint64_t HashBytes(uint64_t hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(Fold(c));
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

constexpr uint64_t HashStart = 0xcbf29ce484222325ULL;

// Whether a1 followed by a2 is the same name as b1 followed by b2, without joining them.
bool SameJoined(std::string_view a1, std::string_view a2, std::string_view b1, std::string_view b2) {
    if (a1.size() + a2.size() != b1.size() + b2.size()) return false;
    const auto at = [](std::string_view first, std::string_view second, size_t i) {
        return i < first.size() ? first[i] : second[i - first.size()];
    };
    for (size_t i = 0; i < a1.size() + a2.size(); ++i)
        if (Fold(at(a1, a2, i)) != Fold(at(b1, b2, i))) return false;
    return true;
}

std::string_view StemOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(0, dot);
}

// A stem alone, and a folder with a stem, hash apart.
uint64_t StemKey(std::string_view folder, std::string_view stem) {
    uint64_t hash = HashBytes(HashStart, stem);
    if (!folder.empty()) hash = HashBytes(hash ^ 0x9e3779b97f4a7c15ULL, folder) * 31 + 1;
    return hash;
}

} // namespace

size_t TEntryStore::TPathHash::operator()(uint32_t slot) const {
    if (slot == ProbeSlot) return HashBytes(HashStart, Store->FProbe);
    const TFileItem& item = Store->FSlots[slot];
    return HashBytes(HashBytes(HashStart, item.Path), item.FileName);
}

bool TEntryStore::TPathEqual::operator()(uint32_t a, uint32_t b) const {
    const auto parts = [this](uint32_t slot) -> std::pair<std::string_view, std::string_view> {
        if (slot == ProbeSlot) return {Store->FProbe, {}};
        return {Store->FSlots[slot].Path, Store->FSlots[slot].FileName};
    };
    const auto [a1, a2] = parts(a);
    const auto [b1, b2] = parts(b);
    return SameJoined(a1, a2, b1, b2);
}

TEntryStore::TEntryStore() : FIndex(0, TPathHash{this}, TPathEqual{this}) {}

const TFileItem& TEntryStore::Item(int row) const {
    if (row < 0 || row >= Count()) throw std::out_of_range("no such row in the file list");
    return FSlots[FRows[static_cast<size_t>(row)].Slot];
}

int TEntryStore::RowOfSlot(uint32_t slot) const {
    const int64_t order = FSlotOrder[slot];
    const auto found = std::lower_bound(FRows.begin(), FRows.end(), order,
                                        [](const TRowRef& ref, int64_t key) { return ref.Order < key; });
    FWork += 1;
    return static_cast<int>(found - FRows.begin());
}

int TEntryStore::Find(std::string_view fullPath) const {
    FProbe = fullPath;
    const auto [first, last] = FIndex.equal_range(ProbeSlot);
    FProbe = {};
    int row = -1;
    for (auto it = first; it != last; ++it)
        if (const int found = RowOfSlot(*it); row < 0 || found < row) row = found;
    return row;
}

uint32_t TEntryStore::TakeSlot(TFileItem item) {
    uint32_t slot;
    if (!FFreeSlots.empty()) {
        slot = FFreeSlots.back();
        FFreeSlots.pop_back();
        FSlots[slot] = std::move(item);
    } else {
        slot = static_cast<uint32_t>(FSlots.size());
        FSlots.push_back(std::move(item));
        FSlotOrder.push_back(0);
    }
    FIndex.insert(slot);
    if (FStemsBuilt) IndexStems(slot);
    return slot;
}

void TEntryStore::ReleaseSlot(uint32_t slot) {
    if (FStemsBuilt) UnindexStems(slot);
    auto [first, last] = FIndex.equal_range(slot);
    while (first != last && *first != slot)
        ++first;
    if (first != last) FIndex.erase(first);
    FSlots[slot] = TFileItem{}; // gives its texts' memory back
    FFreeSlots.push_back(slot);
}

void TEntryStore::Append(TFileItem item) {
    const uint32_t slot = TakeSlot(std::move(item));
    InsertRow(Count(), slot);
}

// Takes the key between its neighbours'; where none is left, the whole list is renumbered first.
void TEntryStore::InsertRow(int row, uint32_t slot) {
    const int count = Count();
    const auto keyAt = [&](int r) { return FRows[static_cast<size_t>(r)].Order; };
    constexpr int64_t limit = std::numeric_limits<int64_t>::max() / 4;
    int64_t order;
    if (count == 0) {
        order = 0;
    } else if (row == count) {
        if (keyAt(count - 1) > limit) Renumber();
        order = keyAt(count - 1) + OrderGap;
    } else if (row == 0) {
        if (keyAt(0) < -limit) Renumber();
        order = keyAt(0) - OrderGap;
    } else {
        if (keyAt(row) - keyAt(row - 1) < 2) Renumber();
        order = keyAt(row - 1) + (keyAt(row) - keyAt(row - 1)) / 2;
    }
    FSlotOrder[slot] = order;
    FWork += static_cast<uint64_t>(std::min(row, count - row)) + 1;
    FRows.insert(FRows.begin() + row, TRowRef{order, slot});
}

void TEntryStore::Renumber() {
    int64_t order = 0;
    for (TRowRef& ref : FRows) {
        ref.Order = order;
        FSlotOrder[ref.Slot] = order;
        order += OrderGap;
    }
    FWork += FRows.size();
}

void TEntryStore::Remove(int row) {
    RemoveRange(row, row);
}

void TEntryStore::RemoveRange(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, Count() - 1);
    if (first > last) return;
    for (int row = first; row <= last; ++row)
        ReleaseSlot(FRows[static_cast<size_t>(row)].Slot);
    // A deque shifts the rows on the side of the nearer end.
    FWork += static_cast<uint64_t>(std::min(first, Count() - 1 - last) + (last - first + 1));
    FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
}

void TEntryStore::RemoveRows(const std::vector<int>& rows) {
    if (rows.size() <= 1) {
        for (const int row : rows)
            Remove(row);
        return;
    }
    std::deque<TRowRef> kept;
    size_t next = 0;
    for (int row = 0; row < Count(); ++row) {
        const TRowRef ref = FRows[static_cast<size_t>(row)];
        if (next < rows.size() && rows[next] == row) {
            ++next;
            ReleaseSlot(ref.Slot);
        } else {
            kept.push_back(ref);
        }
    }
    FWork += FRows.size();
    FRows.swap(kept);
}

void TEntryStore::Move(int from, int to) {
    const int count = Count();
    if (from < 0 || from >= count || to < 0 || to > count || to == from || to == from + 1) return;
    const uint32_t slot = FRows[static_cast<size_t>(from)].Slot;
    FWork += static_cast<uint64_t>(std::min(from, count - from - 1)) + 1;
    FRows.erase(FRows.begin() + from);
    InsertRow(to > from ? to - 1 : to, slot);
}

void TEntryStore::Reorder(const std::vector<int>& order) {
    std::deque<TRowRef> rows;
    for (const int oldRow : order)
        rows.push_back(FRows[static_cast<size_t>(oldRow)]);
    FRows.swap(rows);
    Renumber();
}

void TEntryStore::Clear() {
    FRows.clear();
    FSlots.clear();
    FSlots.shrink_to_fit();
    FSlotOrder.clear();
    FSlotOrder.shrink_to_fit();
    FFreeSlots.clear();
    FFreeSlots.shrink_to_fit();
    FIndex.clear();
    FStems.clear();
    FStemsBuilt = false;
}

void TEntryStore::IndexStems(uint32_t slot) const {
    const TFileItem& item = FSlots[slot];
    const std::string_view stem = StemOf(item.FileName);
    FStems.emplace(StemKey({}, stem), slot);
    FStems.emplace(StemKey(item.Path, stem), slot);
}

void TEntryStore::UnindexStems(uint32_t slot) const {
    const TFileItem& item = FSlots[slot];
    const std::string_view stem = StemOf(item.FileName);
    for (const uint64_t key : {StemKey({}, stem), StemKey(item.Path, stem)}) {
        auto [first, last] = FStems.equal_range(key);
        for (; first != last; ++first)
            if (first->second == slot) {
                FStems.erase(first);
                break;
            }
    }
}

void TEntryStore::ForEachWithStem(const std::string& folder, const std::string& stem,
                                  const std::function<bool(int row)>& found) const {
    if (!FStemsBuilt) {
        for (const TRowRef& ref : FRows)
            IndexStems(ref.Slot);
        FStemsBuilt = true;
        FWork += FRows.size();
    }
    // Collected first: the caller may change the list once it has its answer.
    std::vector<uint32_t> slots;
    const auto [first, last] = FStems.equal_range(StemKey(folder, stem));
    for (auto it = first; it != last; ++it) {
        const TFileItem& item = FSlots[it->second];
        ++FWork;
        if (SameJoined(StemOf(item.FileName), {}, stem, {}) &&
            (folder.empty() || SameJoined(item.Path, {}, folder, {})))
            slots.push_back(it->second);
    }
    for (const uint32_t slot : slots)
        if (found(RowOfSlot(slot))) return;
}
