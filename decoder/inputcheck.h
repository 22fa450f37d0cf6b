#pragma once
// What is checked before decoding starts: the output is not the input, the input is a
// non-empty file and not a WAV file, and the scan for the frame total.
#include "decoder/streamscan.h"

#include <string>

struct TInputCheck {
    std::string Problem; // empty when decoding may start
    TStreamScan Scan;
};

TInputCheck CheckInput(const std::string& inputPath, const std::string& outputPath);
