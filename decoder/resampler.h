#pragma once
// Turns the decoder's float samples into the output's rate, channels and sample format: channels
// first (mono to stereo: both the same; stereo to mono: the mean), then libsoxr at high quality
// where the rate changes, then the format. The samples are handed to libsoxr in blocks of a fixed
// size whatever pieces they arrive in, so the output depends on the samples alone.
#include "decoder/sampleformat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct soxr;

class TResampler {
public:
    // Receives the output's bytes; false stops the conversion (the output could not be written).
    using TSink = std::function<bool(const std::uint8_t* data, std::size_t bytes)>;

    TResampler(unsigned inRate, unsigned inChannels, unsigned outRate, unsigned outChannels,
               TSampleFormat format, TSink sink);
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
    bool ProcessBlock(std::size_t frames, bool last);
    bool Emit(const float* samples, std::size_t frames);

    static constexpr std::size_t BlockFrames = 4096;

    unsigned FInChannels, FOutChannels;
    TSampleFormat FFormat;
    TSink FSink;
    soxr* FSoxr = nullptr;
    double FRatio = 1;
    std::string FProblem;
    std::vector<float> FBlock; // at the output's channels, waiting for the block to fill
    std::size_t FFill = 0;     // sample frames in FBlock
    std::vector<float> FResampled;
    std::vector<std::uint8_t> FBytes;
    std::uint64_t FBytesOut = 0;
};
