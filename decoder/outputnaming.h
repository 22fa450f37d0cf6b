#pragma once
// How a finished WAV file gets its name without replacing another, on file systems that lack the
// usual ways (no-replace rename, hard links): FAT and exFAT sticks, many network shares. And the
// partial file by name that such file systems need, which the next decoder of a killed one's output
// takes over.
#include <cstdio>
#include <string>

// The calls that give a file its name; the tests put ones that fail as such file systems do.
struct TNamingCalls {
    // A rename that fails with EEXIST where `to` exists (renameat2 with RENAME_NOREPLACE).
    int (*RenameNoReplace)(const char* from, const char* to);
    int (*Link)(const char* from, const char* to);
    int (*Rename)(const char* from, const char* to);
};
const TNamingCalls& SystemNamingCalls();

// The error says that the file system has no such call, not that the name or the folder is wrong.
bool CallUnsupported(int error);

// Renames `from` to `to` only where `to` is free: under a lock on the folder that every decoder
// takes for this, the name is looked up and then renamed. A program that takes no lock (or one on
// another machine sharing the folder) could still create `to` between the two steps; that file
// would be replaced. Returns 0, or -1 with errno (EEXIST: the name is taken).
int RenameIfFree(const std::string& from, const std::string& to, const TNamingCalls& calls);

// Opens the partial file of `outputPath` for writing under its shared name, taking over one that no
// decoder holds (a killed decoder's); where a running decoder holds it, or the file system takes no
// lock, under `ownPath` (created anew). `used` gets the path opened. The file stays locked while open.
std::FILE* OpenPartialFile(const std::string& outputPath, const std::string& ownPath, std::string& used);

// Whether the folder of `outputPath` takes a new file at all, tried with `open` on a probe name of
// this process that is removed again: a refused output name there is that name's fault alone.
bool FolderTakesNewFiles(const std::string& outputPath, std::FILE* (*open)(const std::string& path));
