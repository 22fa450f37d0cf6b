#pragma once
// INI files with private-profile semantics: sections and keys match without regard to case; a write
// changes one key and keeps everything else in place; missing file, section or key read as the
// default; at most 2047 characters of a value are read back. Every write replaces the file
// atomically (temporary file, then rename). Write failures throw EIniWriteError with the path.
#include <string>
#include <vector>

namespace Ini {

std::string ReadString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& def);
// Decimal, "$hex" or "0x..." (longer than two characters); unreadable gives def.
long long ReadInteger(const std::string& file, const std::string& section, const std::string& key,
                      long long def);
bool ReadBool(const std::string& file, const std::string& section, const std::string& key, bool def);

void WriteString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);
void WriteInteger(const std::string& file, const std::string& section, const std::string& key,
                  long long value);
void WriteBool(const std::string& file, const std::string& section, const std::string& key, bool value);

// Several keys set in one rewrite of the file, in order, each as WriteString sets it; a failure
// leaves the file as it was.
struct TValue {
    std::string Section;
    std::string Key;
    std::string Value; // integers and flags as WriteInteger and WriteBool write them ("1", "0")
};
void WriteValues(const std::string& file, const std::vector<TValue>& values);

// Removes a whole section; a missing file or section is not an error.
void EraseSection(const std::string& file, const std::string& section);
// The section's keys in file order, with their values (values cut to 2047 characters).
std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& file,
                                                             const std::string& section);

} // namespace Ini
