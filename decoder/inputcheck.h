#pragma once
// What is checked before decoding starts: the output is not the input, the input is a regular
// file, non-empty and not a WAV file; then the scan for the frame total.
#include "decoder/bytesource.h"
#include "decoder/streamscan.h"

#include <cstdio>
#include <memory>
#include <string>

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct TInputFile {
    std::string Problem;   // empty when the file is open
    bool OfOutput = false; // the problem is the output's (a write failure), not the input's
    std::unique_ptr<std::FILE, TFileCloser> File;
};

// Opens the input for reading after checking both paths.
TInputFile OpenInput(const std::string& inputPath, const std::string& outputPath);

struct TInputCheck {
    std::string Problem; // empty when decoding may start
    TStreamScan Scan;
};

// Checks the bytes of the input named `inputPath` and scans them.
TInputCheck CheckContent(TByteSource& source, const std::string& inputPath);
