#pragma once
// Turns the decoder's float samples into the output's rate, channels and sample format: channels
// first (mono to stereo: both the same; stereo to mono: the mean), then libsoxr at high quality
// where the rate changes, then the format.
//
// The audio is cut into segments at fixed places in the input (a whole number of the rates' common
// step, so each segment starts on an output sample) and each segment is resampled on its own, with
// a stretch of the input before and after it that the filter needs and whose output is dropped. The
// kept output is what one pass over the whole stream gives, to within float rounding (far below the
// output's own rounding), and it depends on the samples alone: the segments run on worker threads,
// and any number of them gives the same bytes.
#include "decoder/sampleformat.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The input sample frames of one segment: about 0.7 s at 48 kHz. The environment variable
// UTILS_RESAMPLE_SEGMENT_FRAMES overrides it (the tests put seams into their short files).
std::size_t ResampleSegmentFrames();

// A buffer that grows without clearing what it adds: every sample in it is written before it is
// read, and the buffers are used again from segment to segment.
template <class T> struct TUninitialized : std::allocator<T> {
    template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
};
template <class T> using TBuffer = std::vector<T, TUninitialized<T>>;

class TResampler {
public:
    // Receives the output's bytes; false stops the conversion (the output could not be written).
    // Always called on the thread that calls Push and Finish.
    using TSink = std::function<bool(const std::uint8_t* data, std::size_t bytes)>;

    TResampler(unsigned inRate, unsigned inChannels, unsigned outRate, unsigned outChannels,
               TSampleFormat format, TSink sink, unsigned threads = 1);
    ~TResampler();
    TResampler(const TResampler&) = delete;
    TResampler& operator=(const TResampler&) = delete;

    // Why the resampler could not be set up; empty when it works.
    const std::string& Problem() const { return FProblem; }
    // Interleaved 32-bit float samples at the input's rate and channels, whole sample frames.
    bool Push(const std::uint8_t* data, std::size_t bytes);
    // The rest, with what the filter still holds.
    bool Finish();
    // The bytes handed to the sink so far; inside the sink, those before the piece it is given.
    std::uint64_t BytesOut() const { return FBytesOut; }

private:
    struct TSegment;

    void Append(const std::uint8_t* data, std::size_t frames);
    void Dispatch(bool last);
    void Convert(TSegment& segment) const;
    bool Collect(bool all);
    void Work();

    unsigned FInRate, FOutRate, FInChannels, FOutChannels;
    TSampleFormat FFormat;
    TSink FSink;
    std::string FProblem;
    bool FResampling = false;
    std::size_t FInStep = 1, FOutStep = 1; // the rates' common step, in input and output frames
    std::size_t FSegmentFrames = 0, FMargin = 0;
    // A plane of FPlane frames per output channel, FFill of them filled, from frame FInputAt.
    TBuffer<float> FInput;
    std::size_t FPlane = 0, FFill = 0;
    std::uint64_t FInputAt = 0;
    std::uint64_t FSegmentAt = 0; // where the next segment's kept part starts
    std::uint64_t FBytesOut = 0;
    bool FFailed = false;
    std::vector<TBuffer<float>> FSpareInput; // of segments written out, to be filled again
    std::vector<TBuffer<std::uint8_t>> FSpareBytes;

    unsigned FThreads = 1;
    std::vector<std::thread> FWorkers;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<std::shared_ptr<TSegment>> FQueued;   // waiting for a worker
    std::deque<std::shared_ptr<TSegment>> FInFlight; // in the output's order
    bool FStop = false;
};
