#pragma once
// One long file decoded on several threads. The stream is cut at frame boundaries into chunks; each
// worker has its own libmpg123 handle on the same source, starts a few frames before its chunk
// (the bit reservoir, the IMDCT overlap and the synthesis filterbank reach only that far back, and
// their output is dropped) and writes its audio at its own place in the one output file. Anything
// unusual (damage, a change of format, a source that changes, a short read) gives up, and the file
// is decoded again in one piece, with the messages and exit codes of that decode.
#include "decoder/bytesource.h"
#include "decoder/progress.h"
#include "decoder/resampler.h"
#include "decoder/streamscan.h"
#include "decoder/wavwriter.h"

#include <mpg123.h>

#include <cstdint>
#include <string>

// What `--threads 0` means: one thread per processor this process may run on.
unsigned AvailableCores();

// The fewest frames a worker is given; a stream shorter than two chunks stays on one thread. The
// environment variable UTILS_MIN_CHUNK_FRAMES overrides it (the tests split their short files).
std::uint64_t MinChunkFrames();

struct TSplitJob {
    TByteSource& Source;
    const std::string& Name;
    const TStreamScan& Scan;
    int Channels;             // of the first frame: the output keeps them
    std::int64_t FrameAt;     // where the frame libmpg123 stands at after reading the format starts
    std::int64_t FrameNumber; // and its number (libmpg123 counts from the first audio frame)
    unsigned Threads;
    std::uint64_t MinChunkFrames;
    int Encoding = MPG123_ENC_SIGNED_16; // what libmpg123 gives
    unsigned SampleBytes = 2;            // and the size of one of its samples
    // Where the decoded audio goes when it changes rate or channels, else nullptr: the chunks are
    // then handed to it in order as they are done (one stream, no seams), and it writes the file.
    TResampler* Convert = nullptr;
};

// True when the stream is long and plain enough to be split. Whether it is does not depend on the
// number of threads: a split stream is decoded chunk by chunk also on one thread, so any number
// of threads gives the same bytes.
bool WorthSplitting(const TSplitJob& job);

// Files this process decoded split, every chunk in its place: a split that gave up and left the
// file to the one-thread decode gives the same bytes, so only this tells the two apart.
std::uint64_t SplitDecodesFinished();

struct TSplitResult {
    bool Decoded = false;        // false: decode the file on one thread instead
    std::uint64_t LastFrame = 0; // the frame count reached, for the last progress line
    int LastKbps = 0;
};

// Decodes the whole stream into `writer` (positioned writes). When writing fails the result is
// Decoded and the writer holds the error, as on one thread.
TSplitResult DecodeSplit(const TSplitJob& job, TWavWriter& writer, TProgressPrinter& progress);
