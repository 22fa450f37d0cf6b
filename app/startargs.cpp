#include "app/startargs.h"

#include "settings/paths.h"

#include <filesystem>
#include <system_error>

namespace {
bool IsClipboardSwitch(const std::string& argument) {
    return LowerCase(argument) == "-c";
}
} // namespace

TStartArgs ParseStartArgs(int argc, const char* const* argv, const std::string& currentDir) {
    TStartArgs args;
    int first = 1;
    if (argc > 1 && IsClipboardSwitch(argv[1])) {
        args.FirstArgument = argv[1];
        first = 2;
    }
    for (int i = first; i < argc; ++i) {
        std::string path = argv[i];
        if (path.empty()) continue;
        if (!IsAbsolutePath(path)) {
            if (currentDir.empty()) continue; // nothing to take it from
            path = IncludeTrailingPathDelimiter(currentDir) + path;
        }
        args.Paths.push_back(std::filesystem::path(path).lexically_normal().string());
    }
    return args;
}

std::string CurrentDir() {
    std::error_code error;
    const auto dir = std::filesystem::current_path(error);
    return error ? std::string() : dir.string();
}
