#pragma once
// The lines the decoder writes on standard error. The batch window reads them: it takes the first
// line starting "Frame# " as the header, reads the current frame between "Frame#" and "/" and the
// total from the 7 characters after "/", and treats "bitstream problem: " as damage. Keep them exact.
#include <cstdint>
#include <string>

// "44.1", "22.05", "8", "11.025": kHz without trailing zeros.
std::string FormatRate(long sampleRate);

// "input:  <path>  (44.1 kHz, 2 channels, MPEG-1 Layer III)"; version 1, 2 or 25 (for 2.5), layer 1..3.
std::string FormatInputLine(const std::string& path, long sampleRate, int channels, int version, int layer);

// "output: <path>  (16 bit, Microsoft WAVE)"
std::string FormatOutputLine(const std::string& path);

// "\rFrame#     1/4711   128 kbps": current right-aligned in 6, total left-aligned in 6, bitrate in 3.
std::string FormatProgressLine(std::uint64_t current, std::uint64_t total, int kbps);

// The bitrate of a free-format frame, whose header does not carry one: kbps, rounded.
int BitrateFromFrameSize(long frameBytes, long sampleRate, long samplesPerFrame);

// "bitstream problem: <reason>\n", written after the progress line has been ended.
std::string FormatBitstreamProblem(const std::string& reason);

// Decides which frames get a progress line: the first, then each frame that reaches the next
// thousandth of the total; the last frame is printed by the caller at the end. So a file gives at
// most about a thousand lines however long it is.
class TProgressSchedule {
public:
    explicit TProgressSchedule(std::uint64_t totalFrames);
    // frame counts from 1; frames must be passed in increasing order.
    bool Due(std::uint64_t frame);

private:
    std::uint64_t NextMark(std::uint64_t frame) const;

    std::uint64_t FTotal;
    std::uint64_t FNext = 1;
};
