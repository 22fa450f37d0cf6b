#include "settings/paths.h"

#include <QFile>

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool IsPathDelimiter(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

std::string ExtractFileName(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return path.substr(i);
    return path;
}

std::string ExtractFilePath(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return path.substr(0, i);
    return {};
}

std::string ExtractFileExt(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::string name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    return ExtractFilePath(path) + stem + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& folder) {
    if (!folder.empty() && IsPathDelimiter(folder.back())) return folder;
    return folder + PathDelim;
}

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = LowerAscii(c);
    return text;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string_view TrimView(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

std::string Trim(const std::string& text) {
    return std::string(TrimView(text));
}

bool IsAbsolutePath(const std::string& path) {
#ifdef _WIN32
    return (path.size() >= 3 && path[1] == ':' && IsPathDelimiter(path[2])) || path.rfind("\\\\", 0) == 0;
#else
    return !path.empty() && path[0] == '/';
#endif
}

bool SameFileName(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return LowerCase(a) == LowerCase(b);
#else
    return a == b;
#endif
}
