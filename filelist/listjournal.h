#pragma once
// The saved list's journal: the changes made to the list since the list file was last written
// whole, appended to a file beside it and flushed to the disk one save at a time, so that saving
// after each decoded file costs the change, not the list. A start applies the journal to the list
// file and writes the list whole again.
//
// The journal names the list file it continues (its file, size and time), so a journal left from
// before the list was last written whole is recognised and ignored: a crash between writing the
// list and starting a new journal never applies a change twice. Each record carries its length and
// a checksum: a record torn by a crash ends the journal there.
#include <cstdint>
#include <string>
#include <vector>

struct TListChange {
    enum TKind : char { Added = 'A', Removed = 'R', Moved = 'M' };
    TKind Kind = Added;
    std::string Path;   // the entry's full path
    std::string Before; // Moved: the entry it now stands in front of; empty for the bottom
    bool operator==(const TListChange&) const = default;
};

std::string ListJournalPath(const std::string& listPath);

// The changes recorded for the list file as it is now, in order; none when there is no journal,
// when it belongs to another version of the list file, or from a torn record on.
std::vector<TListChange> ReadListJournal(const std::string& listPath);

// CRC-32 as zip and PNG compute it.
uint32_t Crc32(const void* data, size_t size);

class TListJournal {
public:
    explicit TListJournal(std::string listPath = {});
    ~TListJournal();
    TListJournal(const TListJournal&) = delete;
    TListJournal& operator=(const TListJournal&) = delete;

    // Starts an empty journal tied to the list file as it is now; call right after writing it
    // whole. Returns false when the journal cannot be written (the next save writes the list whole).
    bool Restart();
    // Whether changes can be appended: a journal was started and no write has failed since.
    bool Active() const { return FFile >= 0; }
    // Whether the list file is still the one the journal continues: a list file replaced or
    // edited by anyone else makes the journal's changes meaningless.
    bool StillContinuesList() const;
    // Appends the changes and waits until they are on the disk. Returns false when that fails; the
    // journal then stops (Active() is false) and holds only the changes before these.
    bool Append(const std::vector<TListChange>& changes);
    uint64_t Size() const { return FSize; } // bytes, the header included
    bool HoldsChanges() const { return FFile >= 0 && FSize > HeaderSize; }
    static constexpr size_t HeaderSize = 4 + 4 + 5 * 8 + 4;
    // The list file it continues, and that file's size when the journal was started.
    const std::string& ListPath() const { return FListPath; }
    uint64_t ListSize() const { return FListSize; }
    void Close();

private:
    std::string FListPath;
    int FFile = -1;
    uint64_t FSize = 0;
    uint64_t FListSize = 0;
    std::string FIdentity;
};
