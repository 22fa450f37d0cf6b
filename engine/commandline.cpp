#include "engine/commandline.h"

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> result;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && IsSeparator(line[i]))
            ++i;
        if (i >= n) break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsSeparator(line[i]))) {
            if (line[i] == '\\') {
                size_t slashes = 0;
                while (i < n && line[i] == '\\')
                    ++slashes, ++i;
                if (i < n && line[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                    // With an even count the quote is handled below as a delimiter.
                } else {
                    argument.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += line[i++];
            }
        }
        result.push_back(std::move(argument));
    }
    return result;
}

std::string QuoteArgument(const std::string& argument) {
    std::string result = "\"";
    size_t slashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote itself is escaped.
            result.append(slashes * 2 + 1, '\\');
        } else {
            result.append(slashes, '\\');
        }
        slashes = 0;
        result += c;
    }
    // Backslashes before the closing quote are doubled so that it stays a delimiter.
    result.append(slashes * 2, '\\');
    result += '"';
    return result;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string result;
    for (const auto& argument : arguments) {
        if (!result.empty()) result += ' ';
        result += QuoteArgument(argument);
    }
    return result;
}

bool IsBlankCommandLine(const std::string& line) {
    for (const char c : line)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}
