#pragma once
// Whole text files of lines: the saved list beside the executable, read back at start-up.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Writes every line followed by CR LF (an empty list gives an empty file). The file is replaced
// atomically: a temporary file in the same folder is written, flushed and renamed over the target,
// so a failure leaves the old file as it was. Throws EFCreateError with the path on any failure.
void WriteLinesFile(const std::string& path, const std::vector<std::string>& lines);
// The same for count lines that line(index, bytes) appends to bytes one by one, so that no copy of
// a long list is made first; bytesHint, the lines' total length, saves growing the buffer in steps.
void WriteLinesFile(const std::string& path, size_t count,
                    const std::function<void(size_t index, std::string& bytes)>& line, size_t bytesHint = 0);

// Splits text into lines ending at CR, LF or CR LF; a last line without an ending counts, an
// ending at the very end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// The same, one line at a time, so that a long text is not copied into lines first.
void ForEachLine(std::string_view text, const std::function<void(const std::string& line)>& line);

// Reads a file as bytes and splits it as SplitLines does. Throws EInOutError when it cannot be
// opened or read.
std::vector<std::string> ReadLinesFile(const std::string& path);
void ReadLinesFile(const std::string& path, const std::function<void(const std::string& line)>& line);
