#pragma once
// Whole text files of lines: the saved list beside the executable, read back at start-up.
#include <string>
#include <vector>

// Writes every line followed by CR LF (an empty list gives an empty file). The file is replaced
// atomically: a temporary file in the same folder is written, flushed and renamed over the target,
// so a failure leaves the old file as it was. Throws EFCreateError with the path on any failure.
void WriteLinesFile(const std::string& path, const std::vector<std::string>& lines);

// Splits text into lines ending at CR, LF or CR LF; a last line without an ending counts, an
// ending at the very end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);

// Reads a file as bytes and splits it as SplitLines does. Throws EInOutError when it cannot be
// opened or read.
std::vector<std::string> ReadLinesFile(const std::string& path);
