#pragma once
// What the program asks about a named file: whether it is there, its size and its date. Every
// answer comes from the file system on the name's bytes, so any name on disk is found.
#include "settings/datetime.h"

#include <cstdint>
#include <string>

bool FileExists(const std::string& path); // an existing file that is not a folder
bool DirectoryExists(const std::string& path);

// The real 64-bit size; 0 for a folder or anything else that is not a file, -1 when nothing is found.
int64_t FileSizeOf(const std::string& path);
// Last modification in local time, to two seconds as file dates keep it; 0 when nothing is found.
TDateTime FileDateOf(const std::string& path);
// Both from one look-up of the file, as the two functions above give them.
void FileSizeAndDateOf(const std::string& path, int64_t& size, TDateTime& date);
// The same for an existing file that is not a folder; false, with nothing set, when there is none.
bool FileSizeAndDateIfFile(const std::string& path, int64_t& size, TDateTime& date);

// The whole file's bytes. False when it cannot be opened or read; errno then says why.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Removes the file only when it exists and holds no byte; returns whether it was removed.
bool DeleteIfEmpty(const std::string& path);
