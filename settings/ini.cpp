#include "settings/ini.h"

#include "settings/atomicfile.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"
#include "settings/filesystem.h"
#include "settings/paths.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace Ini {
namespace {

// The longest value handed back, as a 2048-byte read buffer with its terminator allows.
constexpr size_t MaxValueLength = 2047;

#ifdef _WIN32
constexpr std::string_view DefaultLineEnd = "\r\n";
#else
constexpr std::string_view DefaultLineEnd = "\n";
#endif

// A value is a C string to every reader of the file: it ends at the first NUL.
std::string ValueText(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    return std::string(value.substr(0, MaxValueLength));
}

// Names and values are single lines; a line break would forge further keys or sections.
std::string_view OneLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

enum class TLineKind { Other, Section, Key };

struct TLine {
    size_t Begin = 0; // the line's text is [Begin, End)
    size_t End = 0;
    size_t Next = 0; // after the line end; End == Next for a last line without one
    TLineKind Kind = TLineKind::Other;
    std::string_view Name;  // section or key name, trimmed
    std::string_view Value; // key value, trimmed
    bool Content = false;   // neither blank nor a comment
};

void Classify(std::string_view text, TLine& line) {
    line.Kind = TLineKind::Other;
    const std::string_view trimmed = TrimView(text);
    line.Content = !trimmed.empty() && trimmed.front() != ';';
    if (!line.Content) return;
    if (trimmed.front() == '[') {
        const size_t close = trimmed.find(']');
        if (close == std::string_view::npos) return;
        line.Kind = TLineKind::Section;
        line.Name = TrimView(trimmed.substr(1, close - 1));
        return;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return;
    line.Name = TrimView(trimmed.substr(0, equals));
    if (line.Name.empty()) return;
    line.Kind = TLineKind::Key;
    line.Value = TrimView(trimmed.substr(equals + 1));
}

// Walks the lines of a file's bytes, accepting CR LF, LF and lone CR line ends. A leading UTF-8
// byte order mark is skipped so that it does not hide the first section.
class TLineReader {
public:
    explicit TLineReader(std::string_view bytes) : Bytes(bytes) {
        if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") Pos = 3;
    }

    bool Next(TLine& line) {
        if (Pos >= Bytes.size()) return false;
        line.Begin = Pos;
        size_t end = std::min(Following(NextLf, '\n'), Following(NextCr, '\r'));
        line.End = end;
        if (end < Bytes.size())
            end += (Bytes[end] == '\r' && end + 1 < Bytes.size() && Bytes[end + 1] == '\n') ? 2 : 1;
        line.Next = Pos = end;
        Classify(Bytes.substr(line.Begin, line.End - line.Begin), line);
        return true;
    }

private:
    // The next occurrence of c at or after Pos. Each search resumes where the last one ended, so
    // that a file with only one kind of line end is still read in linear time.
    size_t Following(size_t& cached, char c) {
        if (cached != std::string_view::npos && cached >= Pos) return cached;
        const void* found = std::memchr(Bytes.data() + Pos, c, Bytes.size() - Pos);
        cached = found ? static_cast<size_t>(static_cast<const char*>(found) - Bytes.data()) : Bytes.size();
        return cached;
    }

    std::string_view Bytes;
    size_t Pos = 0;
    size_t NextLf = std::string_view::npos;
    size_t NextCr = std::string_view::npos;
};

std::string_view LineEndOf(std::string_view bytes) {
    const size_t at = bytes.find_first_of("\r\n");
    if (at == std::string_view::npos) return DefaultLineEnd;
    if (bytes[at] == '\n') return "\n";
    return (at + 1 < bytes.size() && bytes[at + 1] == '\n') ? "\r\n" : "\r";
}

enum class TLoad { Loaded, Missing, Unreadable };

// Reads the whole file. Only a regular file is read: a device or pipe in its place never blocks.
// A link that leads nowhere is not missing: writing through it would replace the link itself.
TLoad Load(const std::string& path, std::string& bytes) {
    bytes.clear();
    switch (LookUpPath(path).Kind) {
    case TPathKind::File:
        return ReadWholeFile(path, bytes) ? TLoad::Loaded : TLoad::Unreadable;
    case TPathKind::Missing:
        return IsSymbolicLink(path) ? TLoad::Unreadable : TLoad::Missing;
    default:
        return TLoad::Unreadable;
    }
}

// For a rewrite: the current bytes, empty for a new file. A file that exists but cannot be read
// is never replaced, since that would lose everything in it.
std::string LoadForRewrite(const std::string& path) {
    std::string bytes;
    if (Load(path, bytes) == TLoad::Unreadable) throw EIniWriteError(path);
    return bytes;
}

// Replaces the file in one step: a temporary file in the same folder, flushed, then renamed over
// the target. On any failure the old file stays as it was.
void Store(const std::string& path, const std::string& bytes) {
    if (!WriteFileAtomically(path, bytes)) throw EIniWriteError(path);
}

// The first line of the first section with this name, or false.
bool FindSection(TLineReader& reader, std::string_view section, TLine& line) {
    while (reader.Next(line))
        if (line.Kind == TLineKind::Section && SameText(line.Name, section)) return true;
    return false;
}

bool FindValue(const std::string& bytes, const std::string& section, const std::string& key,
               std::string& value) {
    TLineReader reader(bytes);
    TLine line;
    if (!FindSection(reader, section, line)) return false;
    while (reader.Next(line)) {
        if (line.Kind == TLineKind::Section) return false;
        if (line.Kind == TLineKind::Key && SameText(line.Name, key)) {
            value = ValueText(line.Value);
            return true;
        }
    }
    return false;
}

// Reads a whole number: decimal, "$hex", or "0xhex" when longer than two characters.
bool ParseInteger(std::string_view text, long long& result) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    unsigned long long magnitude = 0;
    const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (magnitude > (limit - digit) / base) return false;
        magnitude = magnitude * base + digit;
    }
    result = negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
    return true;
}

// The file's bytes with one key set: a key already there keeps its place, a new one goes last in
// its section, a new section goes at the end.
std::string WithValue(const std::string& bytes, const std::string& section, const std::string& key,
                      const std::string& value) {
    const std::string_view lineEnd = LineEndOf(bytes);
    const std::string_view sectionName = OneLine(section);
    const std::string_view keyName = OneLine(key);
    const std::string_view valueText = OneLine(value);

    TLineReader reader(bytes);
    TLine line;
    std::string updated;
    if (!FindSection(reader, sectionName, line)) {
        // A new section goes at the end of the file.
        updated = bytes;
        if (!updated.empty() && updated.back() != '\n' && updated.back() != '\r') updated += lineEnd;
        updated.append("[").append(sectionName).append("]").append(lineEnd);
        updated.append(keyName).append("=").append(valueText).append(lineEnd);
        return updated;
    }
    // A new key goes after the section's last line that is neither blank nor a comment.
    TLine last = line;
    bool replace = false;
    while (reader.Next(line) && line.Kind != TLineKind::Section) {
        if (line.Kind == TLineKind::Key && SameText(line.Name, keyName)) {
            replace = true;
            break;
        }
        if (line.Content) last = line;
    }
    std::string entry;
    if (replace) {
        // The key keeps the spelling it has in the file; only its value changes.
        entry.append(line.Name).append("=").append(valueText);
        updated.reserve(bytes.size() + entry.size());
        updated.append(bytes, 0, line.Begin).append(entry).append(bytes, line.End, std::string::npos);
    } else {
        entry.append(keyName).append("=").append(valueText);
        const bool ended = last.Next > last.End;
        updated.reserve(bytes.size() + entry.size() + 4);
        updated.append(bytes, 0, last.Next);
        if (!ended) updated.append(lineEnd);
        updated.append(entry).append(lineEnd);
        updated.append(bytes, last.Next, std::string::npos);
    }
    return updated;
}

} // namespace

std::string ReadString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& def) {
    std::string bytes;
    if (Load(file, bytes) != TLoad::Loaded) return def;
    std::string value;
    return FindValue(bytes, section, key, value) ? value : def;
}

long long ReadInteger(const std::string& file, const std::string& section, const std::string& key,
                      long long def) {
    long long result = def;
    return ParseInteger(ReadString(file, section, key, {}), result) ? result : def;
}

bool ReadBool(const std::string& file, const std::string& section, const std::string& key, bool def) {
    return ReadInteger(file, section, key, def ? 1 : 0) != 0;
}

void WriteString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
    Store(file, WithValue(LoadForRewrite(file), section, key, value));
}

void WriteValues(const std::string& file, const std::vector<TValue>& values) {
    if (values.empty()) return;
    std::string bytes = LoadForRewrite(file);
    for (const TValue& value : values)
        bytes = WithValue(bytes, value.Section, value.Key, value.Value);
    Store(file, bytes);
}

void WriteInteger(const std::string& file, const std::string& section, const std::string& key,
                  long long value) {
    WriteString(file, section, key, std::to_string(value));
}

void WriteBool(const std::string& file, const std::string& section, const std::string& key, bool value) {
    WriteString(file, section, key, value ? "1" : "0");
}

void EraseSection(const std::string& file, const std::string& section) {
    std::string bytes;
    const TLoad loaded = Load(file, bytes);
    if (loaded == TLoad::Missing) return;
    if (loaded == TLoad::Unreadable) throw EIniWriteError(file);
    // Every section of that name goes, from its header up to the next section's header.
    std::string kept;
    kept.reserve(bytes.size());
    TLineReader reader(bytes);
    TLine line;
    bool erasing = false;
    bool erased = false;
    size_t keptFrom = 0;
    while (reader.Next(line)) {
        if (line.Kind != TLineKind::Section) continue;
        const bool match = SameText(line.Name, section);
        if (match && !erasing) kept.append(bytes, keptFrom, line.Begin - keptFrom);
        if (!match && erasing) keptFrom = line.Begin;
        erasing = match;
        erased = erased || match;
    }
    if (!erased) return;
    if (!erasing) kept.append(bytes, keptFrom, std::string::npos);
    Store(file, kept);
}

std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& file,
                                                             const std::string& section) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string bytes;
    if (Load(file, bytes) != TLoad::Loaded) return entries;
    TLineReader reader(bytes);
    TLine line;
    if (!FindSection(reader, section, line)) return entries;
    // A repeated key reads as its first occurrence, as a single look-up would give it.
    std::unordered_set<std::string> seen;
    while (reader.Next(line) && line.Kind != TLineKind::Section) {
        if (line.Kind != TLineKind::Key || !seen.insert(LowerCase(std::string(line.Name))).second) continue;
        entries.emplace_back(std::string(line.Name), ValueText(line.Value));
    }
    return entries;
}

} // namespace Ini
