#include "filelist/savedlist.h"

#include "settings/atomicfile.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"

#include <cerrno>

void WriteLinesFile(const std::string& path, const std::vector<std::string>& lines) {
    size_t total = 0;
    for (const std::string& line : lines)
        total += line.size() + 2;
    std::string bytes;
    bytes.reserve(total);
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    // Written beside the target and renamed over it: a failure leaves the old file as it was.
    if (!WriteFileAtomically(path, bytes)) throw EFCreateError(path);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(text, start, i - start);
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.emplace_back(text, start, std::string::npos);
    return lines;
}

std::vector<std::string> ReadLinesFile(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text)) throw EInOutError(InOutCodeFromErrno(errno));
    return SplitLines(text);
}
