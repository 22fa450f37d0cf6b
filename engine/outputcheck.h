#pragma once
// What the batch checks of an output before it lets the source go: a plain file (no link that could
// lead anywhere) whose WAV header agrees with its length.
#include <filesystem>
#include <string>

// True for a regular file, not a symbolic link, that is a RIFF or RF64 WAVE file whose RIFF size
// is its length and whose data chunk lies inside it.
bool IsWholeWavFile(const std::string& path);

// What a batch learns of a WAV file that already holds an output's name, from its header and chunk
// list alone (no audio is read).
struct TWavFileCheck {
    bool Exists = false; // something other than a folder holds the name
    std::filesystem::file_time_type Modified{};
    bool Whole = false;  // as IsWholeWavFile
    bool Marked = false; // it names its source: the decoder wrote it with --mark-source
    std::string Source;  // that source's full path
};
TWavFileCheck CheckWavFile(const std::string& path);
