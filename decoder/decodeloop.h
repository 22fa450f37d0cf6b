#pragma once
// Decodes one MPEG audio file to a WAV file, writing the console lines on `console`.
#include "decoder/bytesource.h"
#include "decoder/sampleformat.h"
#include "decoder/wavwriter.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Returns the exit code (see arguments.h). The output file is created with the first samples, so
// an input that yields no audio leaves no file and an existing output untouched. On a damaged
// stream the audio decoded before the damage is kept, with a correct header and under the output's
// name, before the problem is reported (the batch window kills the decoder on that line); a file
// that could not be written in full, or whose input changed meanwhile, is deleted. A decoder killed
// mid-way leaves only its partial file (partname.h), whose header says "length unknown".
// How a file may be split across threads (splitdecode.h): one thread unless told otherwise.
struct TDecodeOptions {
    unsigned Threads = 1;
    std::uint64_t MinChunkFrames = 0;   // 0: never split
    bool KeepTags = true;               // the source's tags go after the audio (riffchunks.h)
    TWavWriter::TOpener Open = nullptr; // how the partial file is opened; nullptr: on the disk
    TOutputSpec Output = {};            // the WAV file's samples, rate and channels
    bool MayReplace = false;            // the user agreed to replace an existing output (--overwrite)
    bool MarkSource = false;            // the WAV file ends with its source's name (--mark-source)
};

int DecodeFile(const std::string& inputPath, const std::string& outputPath, std::FILE* console,
               const TDecodeOptions& options = {});

// The same for an input that is already open; `inputName` names it in the messages.
int DecodeSource(TByteSource& source, const std::string& inputName, const std::string& outputPath,
                 std::FILE* console, const TDecodeOptions& options = {});
