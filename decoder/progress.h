#pragma once
// The lines the decoder writes on standard error. The batch window reads them: it takes the first
// line starting "Frame# " as the header, reads the current frame between "Frame#" and "/" and the
// total from the 7 characters after "/", and treats "bitstream problem: " as damage. Keep them exact.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

// "44.1", "22.05", "8", "11.025": kHz without trailing zeros.
std::string FormatRate(long sampleRate);

// "input:  <path>  (44.1 kHz, 2 channels, MPEG-1 Layer III)"; version 1, 2 or 25 (for 2.5), layer 1..3.
std::string FormatInputLine(const std::string& path, long sampleRate, int channels, int version, int layer);

// "output: <path>  (16 bit, Microsoft WAVE)", with another description of the samples in place of
// "16 bit" where given.
std::string FormatOutputLine(const std::string& path, const std::string& samples = "16 bit");

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

// Writes the progress lines of one file on the console. The count only goes up: a line for a frame
// at or below one already shown is dropped, so a decode that starts over on one thread after a
// split one gave up continues the lines where they stood.
class TProgressPrinter {
public:
    TProgressPrinter(std::FILE* console, std::uint64_t totalFrames);
    // A line for `frame` (counted from 1) if the schedule wants one; kbps() gives its bitrate.
    template <class TKbps> void Show(std::uint64_t frame, TKbps kbps) {
        if (frame > FLastShown && FSchedule.Due(frame)) Print(frame, kbps());
    }
    // The line of the last frame, if not shown yet, and the end of the progress line.
    void End(std::uint64_t lastFrame, int kbps);
    std::uint64_t LastShown() const { return FLastShown; }

private:
    void Print(std::uint64_t frame, int kbps);
    void Flush();

    std::FILE* FConsole;
    std::uint64_t FTotal;
    TProgressSchedule FSchedule;
    std::uint64_t FLastShown = 0;
    std::string FPending;
    std::chrono::steady_clock::time_point FLastFlush;
};

// Whole lines in one write, so a reader of the pipe gets whole lines where it can.
void Say(std::FILE* console, const std::string& text);
