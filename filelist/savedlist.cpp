#include "filelist/savedlist.h"

#include "settings/atomicfile.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"

#include <cerrno>

void WriteLinesFile(const std::string& path, const std::vector<std::string>& lines) {
    WriteLinesFile(path, lines.size(), [&](size_t index, std::string& bytes) { bytes += lines[index]; });
}

void WriteLinesFile(const std::string& path, size_t count,
                    const std::function<void(size_t index, std::string& bytes)>& line, size_t bytesHint) {
    std::string bytes;
    bytes.reserve(bytesHint + 2 * count);
    for (size_t index = 0; index < count; ++index) {
        line(index, bytes);
        bytes += "\r\n";
    }
    // Written beside the target and renamed over it: a failure leaves the old file as it was.
    if (!WriteFileAtomically(path, bytes)) throw EFCreateError(path);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&](const std::string& line) { lines.push_back(line); });
    return lines;
}

void ForEachLine(std::string_view text, const std::function<void(const std::string& line)>& line) {
    std::string current;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        current.assign(text, start, i - start);
        line(current);
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) {
        current.assign(text, start, std::string::npos);
        line(current);
    }
}

std::vector<std::string> ReadLinesFile(const std::string& path) {
    std::vector<std::string> lines;
    ReadLinesFile(path, [&](const std::string& line) { lines.push_back(line); });
    return lines;
}

void ReadLinesFile(const std::string& path, const std::function<void(const std::string& line)>& line) {
    std::string text;
    if (!ReadWholeFile(path, text)) throw EInOutError(InOutCodeFromErrno(errno));
    ForEachLine(text, line);
}
