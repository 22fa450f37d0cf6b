#pragma once
// Command line of the decoder: `utils.exe --decode <in> <out>`, with `--threads N`, `--no-tags`,
// `--overwrite`, `--mark-source` and the output's options (outputargs.h) before or after the rest, or
// `--help` or
// `--version`.
#include "decoder/sampleformat.h"

#include <string>
#include <vector>

enum class TCommand { Decode, Help, Version, UsageError };

struct TArguments {
    TCommand Command = TCommand::UsageError;
    std::string InputPath;
    std::string OutputPath;
    std::string Problem;     // what is wrong with the command line, for UsageError
    unsigned Threads = 0;    // 0: one per available processor
    bool NoTags = false;     // the plain WAV file, without the source's tags
    bool Overwrite = false;  // an existing output may be replaced
    bool MarkSource = false; // the WAV file names its source (riffchunks.h)
    TOutputSpec Output;      // what the WAV file holds
};

TArguments ParseArguments(const std::vector<std::string>& args);

// The threads a decode runs on: the count given, or one per processor where it is 0.
unsigned ThreadsToUse(const TArguments& args, unsigned processors);

// The usage text, ending with a newline.
std::string UsageText();
std::string VersionText(); // "utils.exe <version>", ending with a newline

// Exit codes: 0 success, 1 bad input file (or an output name that cannot be used, or an input that
// changed while it was decoded), 2 usage, 3 damaged stream, 4 the output could not be created or
// written, 5 the same because the output's disk is full. 4 and 5 say nothing about the input; after
// 5 no other output on that disk can be written either.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFileError = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitBitstream = 3;
inline constexpr int ExitWriteFailed = 4;
inline constexpr int ExitDiskFull = 5;
// 6: a file already held the output's name and was left as it was (no --overwrite); 7: the output's
// folder refused the file (no permission, read-only): no other output can be written there either.
inline constexpr int ExitOutputTaken = 6;
inline constexpr int ExitFolderRefused = 7;
// 8: the file was decoded whole, but for damaged bytes inside the stream (each named in a
// "warning:" line) that were passed over; the source is incomplete or damaged.
inline constexpr int ExitDamagePassed = 8;
