#pragma once
// A quick pass over an MPEG audio file before decoding: the exact frame total for the progress
// lines and whether the file ends inside a frame.
#include <cstdint>
#include <cstdio>
#include <string>

struct TStreamScan {
    std::uint64_t TotalFrames = 0; // 0 when no frame was found
    bool FromInfoHeader = false;   // the total came from a Xing/Info/VBRI header, not from counting
    bool TruncatedTail = false;    // the last frame header promises more bytes than the file has
};

// Reads the file through a small window: frame headers only, the audio is skipped.
TStreamScan ScanStream(std::FILE* file, std::uint64_t fileSize);

// A position-keeping reader over a FILE*, so the scan never holds more than one window.
class TFileWindow {
public:
    TFileWindow(std::FILE* file, std::uint64_t fileSize);
    // Pointer to `count` bytes at `offset`, or nullptr when they pass the end of the file.
    const std::uint8_t* At(std::uint64_t offset, std::size_t count);
    std::uint64_t Size() const { return FSize; }

private:
    std::FILE* FFile;
    std::uint64_t FSize;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
    std::uint8_t FBuffer[1 << 16];
};

bool SeekFile(std::FILE* file, std::uint64_t offset);
