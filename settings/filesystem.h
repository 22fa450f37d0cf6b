#pragma once
// The file system's own answers about a path, asked with the path's bytes as the platform's calls
// take them and never through text, so a name that is not valid in the locale's encoding is found
// as well. Each platform has one implementation file (filesystem_posix.cpp, filesystem_win.cpp).
#include <cstdint>
#include <string>
#include <vector>

enum class TPathKind { Missing, File, Folder, Other };

struct TPathInfo {
    TPathKind Kind = TPathKind::Missing;
    int64_t Size = 0;                // bytes; meaningful for a file
    int64_t ModifiedSeconds = 0;     // last modification, seconds since 1970-01-01 UTC
    int64_t ModifiedNanoseconds = 0; // and the part of that second, where the file system keeps it
    // Together they tell one folder from another, whatever name leads to it.
    uint64_t Volume = 0;
    uint64_t Node = 0;
};

// Follows symbolic links: a link that leads nowhere, like an empty path, is Missing.
TPathInfo LookUpPath(const std::string& path);

// Whether two look-ups found the same file unchanged: same file, size and modification time.
inline bool SameFileState(const TPathInfo& a, const TPathInfo& b) {
    return a.Kind == TPathKind::File && b.Kind == TPathKind::File && a.Size == b.Size &&
           a.ModifiedSeconds == b.ModifiedSeconds && a.ModifiedNanoseconds == b.ModifiedNanoseconds &&
           a.Volume == b.Volume && a.Node == b.Node;
}

// Whether the name itself is a symbolic link, wherever (or nowhere) it leads.
bool IsSymbolicLink(const std::string& path);

// The file a path really names: the end of its chain of symbolic links, or the path itself when
// that cannot be found.
std::string FinalPath(const std::string& path);

struct TFolderEntry {
    std::string Name;
    bool KnownFile = false; // the listing itself says it is a plain file: no look-up needed
};

// The names in one folder in the order the file system gives them, "." and ".." left out. An
// unreadable folder lists nothing, as an empty one does.
std::vector<TFolderEntry> ListFolder(const std::string& folder);

// Waits until the file's data and its name are on the disk; false when it cannot be opened or flushed.
bool FlushFileToDisk(const std::string& path);

// The running program's own file, links resolved, as bytes; empty where the system cannot say.
std::string RunningProgramPath();
