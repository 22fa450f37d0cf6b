#include "decoder/progress.h"

#include <cstdio>

std::string FormatRate(long sampleRate) {
    std::string text = std::to_string(sampleRate / 1000);
    long fraction = sampleRate % 1000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03ld", fraction);
        std::string decimals = digits;
        while (decimals.back() == '0')
            decimals.pop_back();
        text += "." + decimals;
    }
    return text;
}

std::string FormatInputLine(const std::string& path, long sampleRate, int channels, int version, int layer) {
    static const char* const layers[] = {"I", "II", "III"};
    const std::string versionText = version == 25 ? "2.5" : std::to_string(version);
    const std::string layerText = layer >= 1 && layer <= 3 ? layers[layer - 1] : "?";
    return "input:  " + path + "  (" + FormatRate(sampleRate) + " kHz, " + std::to_string(channels) +
           (channels == 1 ? " channel" : " channels") + ", MPEG-" + versionText + " Layer " + layerText + ")";
}

std::string FormatOutputLine(const std::string& path, const std::string& samples) {
    return "output: " + path + "  (" + samples + ", Microsoft WAVE)";
}

std::string FormatProgressLine(std::uint64_t current, std::uint64_t total, int kbps) {
    char line[80];
    std::snprintf(line, sizeof line, "\rFrame#%6llu/%-6llu %3d kbps",
                  static_cast<unsigned long long>(current), static_cast<unsigned long long>(total), kbps);
    return line;
}

int BitrateFromFrameSize(long frameBytes, long sampleRate, long samplesPerFrame) {
    if (frameBytes <= 0 || sampleRate <= 0 || samplesPerFrame <= 0) return 0;
    const double bitsPerSecond = 8.0 * double(frameBytes) * double(sampleRate) / double(samplesPerFrame);
    return static_cast<int>(bitsPerSecond / 1000.0 + 0.5);
}

std::string FormatBitstreamProblem(const std::string& reason) {
    return "bitstream problem: " + reason + "\n";
}

TProgressSchedule::TProgressSchedule(std::uint64_t totalFrames) : FTotal(totalFrames) {}

std::uint64_t TProgressSchedule::NextMark(std::uint64_t frame) const {
    // The smallest frame past `frame` that reaches a new thousandth: ceil(k * total / 1000).
    const std::uint64_t k = frame * 1000 / FTotal + 1;
    const std::uint64_t mark = (k * FTotal + 999) / 1000;
    return mark > frame ? mark : frame + 1;
}

bool TProgressSchedule::Due(std::uint64_t frame) {
    if (frame < FNext) return false;
    if (FTotal == 0) {
        // Unknown total: a line every 1000 frames keeps the output bounded.
        FNext = (frame / 1000 + 1) * 1000;
        return true;
    }
    if (frame > FTotal) {
        FNext = ~std::uint64_t(0);
        return false;
    }
    FNext = NextMark(frame);
    return true;
}

void Say(std::FILE* console, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), console);
    std::fflush(console);
}

namespace {
// Lines are passed on in bursts a few times a second rather than one write each: a reader that
// wakes per write would take the processor from the decoding it is watching.
constexpr auto ProgressFlushInterval = std::chrono::milliseconds(40);
} // namespace

TProgressPrinter::TProgressPrinter(std::FILE* console, std::uint64_t totalFrames)
    : FConsole(console), FTotal(totalFrames), FSchedule(totalFrames) {}

void TProgressPrinter::End(std::uint64_t lastFrame, int kbps) {
    if (lastFrame > FLastShown) Print(lastFrame, kbps);
    if (FLastShown > 0) FPending += "\n";
    Flush();
}

void TProgressPrinter::Print(std::uint64_t frame, int kbps) {
    FPending += FormatProgressLine(frame, FTotal, kbps);
    FLastShown = frame;
    // The first line goes out at once, since it tells the reader that decoding has begun.
    if (frame == 1 || std::chrono::steady_clock::now() - FLastFlush >= ProgressFlushInterval) Flush();
}

void TProgressPrinter::Flush() {
    if (FPending.empty()) return;
    Say(FConsole, FPending);
    FPending.clear();
    FLastFlush = std::chrono::steady_clock::now();
}
