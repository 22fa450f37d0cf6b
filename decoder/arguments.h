#pragma once
// Command line of the decoder: `utils.exe --decode <in> <out>`, `--help` or `--version`.
#include <string>
#include <vector>

enum class TCommand { Decode, Help, Version, UsageError };

struct TArguments {
    TCommand Command = TCommand::UsageError;
    std::string InputPath;
    std::string OutputPath;
    std::string Problem; // what is wrong with the command line, for UsageError
};

TArguments ParseArguments(const std::vector<std::string>& args);

// The usage text, ending with a newline.
std::string UsageText();
std::string VersionText(); // "utils.exe <version>", ending with a newline

// Exit codes: 0 success, 1 bad input or output file, 2 usage, 3 damaged stream.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFileError = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitBitstream = 3;
