#include "filelist/playlists.h"

#include "filelist/savedlist.h"
#include "settings/errors.h"
#include "settings/paths.h"

#include <map>
#include <optional>

namespace {

// Private-profile reads give back at most this many characters of a value.
constexpr size_t MaxValueLength = 2047;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// An entry with a NUL byte names no file; handed on, it would be cut short and could name another.
bool Usable(std::string_view entry) {
    return entry.find('\0') == std::string_view::npos;
}

// A whole number as the settings reader takes it: decimal with an optional sign, or hexadecimal
// after "$" or "0x"; nothing else, and only what fits 32 bits.
std::optional<long long> ReadCount(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        int digit;
        if (IsDigit(c))
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL) return std::nullopt;
    }
    if (base == 16 && value > 0x7FFFFFFFLL) value -= 0x100000000LL; // hex wraps into 32 bits
    if (value > 0x7FFFFFFFLL) return std::nullopt;
    return negative ? -value : value;
}

// "File" followed by a decimal number written without leading zeros, as the reader would ask for it.
std::optional<long long> FileKeyNumber(std::string_view key) {
    if (key.size() < 5 || key.size() > 14 || !SameText(key.substr(0, 4), "file")) return std::nullopt;
    const std::string_view digits = key.substr(4);
    if (digits[0] == '0') return std::nullopt;
    long long number = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// The keys of the first section of that name, first occurrence of each key kept, as the
// private-profile reader finds them: names trimmed and matched without regard to case.
struct TPlsSection {
    std::optional<std::string_view> Count;
    std::map<long long, std::string_view> Files;
};

// The views point into lines, which must outlive the result.
TPlsSection ReadPlaylistSection(const std::vector<std::string>& lines) {
    TPlsSection section;
    enum { Before, Inside, After } state = Before;
    for (std::string_view line : lines) {
        const std::string_view trimmed = TrimView(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const size_t close = trimmed.find(']');
            const std::string_view name =
                TrimView(trimmed.substr(1, close == std::string_view::npos ? trimmed.npos : close - 1));
            if (state == Inside)
                state = After;
            else if (state == Before && SameText(name, "playlist"))
                state = Inside;
            continue;
        }
        if (state == After) break;
        if (state != Inside) continue;
        const size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = TrimView(trimmed.substr(0, equals));
        std::string_view value = TrimView(trimmed.substr(equals + 1));
        if (value.size() > MaxValueLength) value = value.substr(0, MaxValueLength);
        if (SameText(key, "NumberOfEntries")) {
            if (!section.Count) section.Count = value;
        } else if (const auto number = FileKeyNumber(key)) {
            section.Files.emplace(*number, value); // emplace keeps the first
        }
    }
    return section;
}

} // namespace

bool EntryNamesDrive(std::string_view trimmed) {
#ifdef _WIN32
    return (trimmed.size() >= 2 && trimmed[1] == ':') || trimmed.substr(0, 2) == "\\\\";
#else
    return !trimmed.empty() && trimmed.front() == '/';
#endif
}

std::string PlaylistDrive(const std::string& playlistPath) {
#ifdef _WIN32
    if (playlistPath.size() >= 2 && playlistPath[1] == ':') return playlistPath.substr(0, 2);
    if (playlistPath.compare(0, 2, "\\\\") == 0) {
        // "\\server\share": up to the separator after the share's name.
        const size_t server = playlistPath.find('\\', 2);
        if (server == std::string::npos) return playlistPath;
        const size_t share = playlistPath.find('\\', server + 1);
        return playlistPath.substr(0, share);
    }
    return {};
#else
    (void)playlistPath;
    return {};
#endif
}

std::string EntryToNative(std::string_view entry) {
    std::string native(entry);
#ifndef _WIN32
    for (char& c : native)
        if (c == '\\') c = '/';
#endif
    return native;
}

std::string JoinEntry(const std::string& prefix, const std::string& entry) {
    if (!prefix.empty() && !entry.empty() && IsPathDelimiter(prefix.back()) && entry.front() == PathDelim)
        return prefix + entry.substr(1);
    return prefix + entry;
}

namespace {

std::vector<std::string> M3uEntries(std::vector<std::string> lines, const std::string& playlistPath) {
    if (!lines.empty() && lines.front().compare(0, 3, "\xEF\xBB\xBF") == 0) lines.front().erase(0, 3);
    const std::string drive = PlaylistDrive(playlistPath);
    const std::string folder = ExtractFilePath(playlistPath);
    std::vector<std::string> entries;
    for (const std::string& line : lines) {
        const std::string_view trimmed = TrimView(line);
        if (trimmed.empty() || trimmed.front() == '#' || !Usable(line)) continue;
        // The trimmed line decides the prefix; the entry keeps the line as read.
        const std::string entry = EntryToNative(line);
        if (EntryNamesDrive(trimmed))
            entries.push_back(entry);
        else if (trimmed.front() == '\\')
            entries.push_back(drive + entry);
        else
            entries.push_back(JoinEntry(folder, entry));
    }
    return entries;
}

std::vector<std::string> PlsEntries(const std::vector<std::string>& lines, const std::string& playlistPath) {
    const TPlsSection section = ReadPlaylistSection(lines);
    const long long count = section.Count ? ReadCount(*section.Count).value_or(0) : 0;
    const std::string folder = ExtractFilePath(playlistPath);
    std::vector<std::string> entries;
    // Walking the keys the file holds gives what asking for File1..FileN would, without asking
    // N times when the count is huge.
    for (const auto& [number, value] : section.Files) {
        if (number > count) break;
        if (value.empty() || !Usable(value)) continue;
        const std::string entry = EntryToNative(value);
        entries.push_back(EntryNamesDrive(value) ? entry : JoinEntry(folder, entry));
    }
    return entries;
}

} // namespace

std::vector<std::string> ParseM3uText(std::string_view text, const std::string& playlistPath) {
    return M3uEntries(SplitLines(std::string(text)), playlistPath);
}

std::vector<std::string> ParsePlsText(std::string_view text, const std::string& playlistPath) {
    return PlsEntries(SplitLines(std::string(text)), playlistPath);
}

std::vector<std::string> ReadM3uPlaylist(const std::string& path) {
    return M3uEntries(ReadLinesFile(path), path);
}

std::vector<std::string> ReadPlsPlaylist(const std::string& path) {
    std::vector<std::string> lines;
    try {
        lines = ReadLinesFile(path);
    } catch (const EInOutError&) {
        return {}; // a playlist that cannot be read yields nothing, like one without entries
    }
    return PlsEntries(lines, path);
}
