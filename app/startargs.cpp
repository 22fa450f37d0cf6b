#include "app/startargs.h"

#include "settings/paths.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {
bool IsClipboardSwitch(const std::string& argument) {
    return LowerCase(argument) == "-c";
}
bool IsOptionsEnd(const char* argument) {
    return std::strcmp(argument, "--") == 0;
}
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
} // namespace

TStartArgs ParseStartArgs(int argc, const char* const* argv, const std::string& currentDir) {
    TStartArgs args;
    int first = 1;
    if (argc > 1 && IsClipboardSwitch(argv[1])) {
        args.FirstArgument = argv[1];
        first = 2;
    }
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        if (!optionsEnded && IsOptionsEnd(argv[i])) {
            optionsEnded = true;
            continue;
        }
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

int OptionsEnd(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (IsOptionsEnd(argv[i])) return i;
    return argc;
}

TCommandLineCheck CheckCommandLine(int argc, const char* const* argv) {
    const int end = OptionsEnd(argc, argv);
    for (int i = 1; i < end; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") return {TStartRequest::Help, {}};
        if (argument == "--version") return {TStartRequest::Version, {}};
        if (argument.compare(0, 2, "--") == 0) return {TStartRequest::UnknownOption, argument};
    }
    return {};
}

std::string UsageText() {
    return "Usage: wavesmith [-C | -c] [--] [FILE | FOLDER]...\n"
           "       wavesmith --help | --version\n"
           "Decodes a list of MP3 files to WAV files in one batch.\n"
           "\n"
           "  -C         as the first argument: take the list from the clipboard's text (one\n"
           "             path a line) instead of the saved list, and start decoding\n"
           "  -c         as the first argument: the same, without starting\n"
           "  FILE       an MP3 file to add, or an .m3u or .pls playlist whose files are added\n"
           "  FOLDER     a folder whose files, subfolders included, are added as a drop adds them\n"
           "  --         ends the options: every argument after it is a name\n"
           "  --help     show this text and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "A later start hands its names to the program already running for the same settings.\n";
}

std::string VersionText() {
    return "wavesmith 2.6\n";
}

TLaunchId LaunchIdFromEnvironment() {
    return {Environment("DESKTOP_STARTUP_ID"), Environment("XDG_ACTIVATION_TOKEN")};
}
