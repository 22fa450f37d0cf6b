#pragma once
// One decoder slot of a batch: the file its runner is decoding and how far the decoder's text has got.
#include "settings/filesystem.h"

#include <cstdint>
#include <string>
#include <vector>

struct TDecoderRun {
    bool Busy = false;       // holds an entry of the batch from its start until its end is handled
    uint64_t StartOrder = 0; // the running file that started first is the one the window names
    std::string Source;
    std::string FileName;
    std::string Output; // the output path the decoder was given
    int64_t Size = 0;
    int Threads = 0;         // given with --threads when several decoders run at once, else 0
    TPathInfo SourceAtStart; // the source as its decoder was started, to tell whether it changed since
    bool ProgressPhase = false;
    bool FileFailed = false;
    bool Ended = false; // its end is being handled: its last lines stop nothing
    std::string Reason; // why the file failed: the decoder's last line of its own, or the window's
    std::vector<std::string> Warnings; // the decoder's "warning:" lines, without that word
    bool Damaged = false;              // decoded whole, with damage in the source passed over
    int32_t FilePercent = 0;           // kept from file to file, as the single display always has
    std::string PendingOut;            // unfinished line of standard output, carried to its next piece
    std::string PendingErr;            // the same for standard error
};
