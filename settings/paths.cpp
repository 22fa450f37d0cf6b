#include "settings/paths.h"

#include <QFile>
#include <QString>

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

namespace {

// The length of the well-formed UTF-8 sequence at text[at] (no overlong forms, no surrogates,
// nothing past U+10FFFF), or 0 when the byte there starts none.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

// Windows-1252 where it differs from Latin-1 (0x80..0x9F); its five unused bytes stay Latin-1.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar Cp1252Char(unsigned char byte) {
    return QChar(byte >= 0x80 && byte <= 0x9F ? Cp1252High[byte - 0x80] : char16_t(byte));
}

} // namespace

QString DisplayText(std::string_view text) {
    QString shown;
    size_t run = 0; // start of the valid stretch not yet taken
    size_t at = 0;
    while (at < text.size()) {
        if (const size_t length = Utf8SequenceAt(text, at)) {
            at += length;
            continue;
        }
        shown += QString::fromUtf8(text.data() + run, static_cast<qsizetype>(at - run));
        shown += Cp1252Char(static_cast<unsigned char>(text[at]));
        run = ++at;
    }
    if (run == 0) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return shown + QString::fromUtf8(text.data() + run, static_cast<qsizetype>(text.size() - run));
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
