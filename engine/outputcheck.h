#pragma once
// What the batch checks of an output before it lets the source go: a plain file (no link that could
// lead anywhere) whose WAV header agrees with its length.
#include <string>

// True for a regular file, not a symbolic link, that is a RIFF or RF64 WAVE file whose RIFF size
// is its length and whose data chunk lies inside it.
bool IsWholeWavFile(const std::string& path);
