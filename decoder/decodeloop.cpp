#include "decoder/decodeloop.h"

#include "decoder/arguments.h"
#include "decoder/bytesource.h"
#include "decoder/inputcheck.h"
#include "decoder/progress.h"
#include "decoder/streamscan.h"
#include "decoder/wavwriter.h"

#include <mpg123.h>

#include <chrono>
#include <cstdint>
#include <memory>

namespace {

void Say(std::FILE* console, const std::string& text) {
    // Whole lines in one write, so a reader of the pipe gets whole lines where it can.
    std::fwrite(text.data(), 1, text.size(), console);
    std::fflush(console);
}

int Refuse(std::FILE* console, const std::string& message, int code = ExitFileError) {
    Say(console, message + "\n");
    return code;
}

struct THandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using THandle = std::unique_ptr<mpg123_handle, THandleDeleter>;

// libmpg123 reads the input through these, so a file and bytes in memory take the same path.
struct TReader {
    TByteSource& Source;
    std::uint64_t Position = 0;
};

mpg123_ssize_t ReadInput(void* handle, void* buffer, std::size_t count) {
    auto& reader = *static_cast<TReader*>(handle);
    const std::size_t got = reader.Source.ReadAt(reader.Position, buffer, count);
    reader.Position += got;
    return static_cast<mpg123_ssize_t>(got);
}

off_t SeekInput(void* handle, off_t offset, int whence) {
    auto& reader = *static_cast<TReader*>(handle);
    const off_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<off_t>(reader.Position)
                                            : static_cast<off_t>(reader.Source.Size());
    if (offset < -base) return -1;
    reader.Position = static_cast<std::uint64_t>(base + offset);
    return static_cast<off_t>(reader.Position);
}

// 16-bit output at the source's own rate, whatever it is, with the given channel counts.
void AllowFormats(mpg123_handle* handle, int channels) {
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(handle, rates[i], channels, MPG123_ENC_SIGNED_16);
}

THandle OpenDecoder(TReader& reader, const std::string& name, std::string& error) {
    int rc = MPG123_OK;
    THandle handle(mpg123_new(nullptr, &rc));
    if (!handle) {
        error = std::string("cannot start the MPEG decoder: ") + mpg123_plain_strerror(rc);
        return nullptr;
    }
    // No resync: lost sync must be reported, not skipped over in silence.
    mpg123_param(handle.get(), MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_NO_RESYNC, 0.);
    AllowFormats(handle.get(), MPG123_MONO | MPG123_STEREO);
    if (mpg123_replace_reader_handle(handle.get(), ReadInput, SeekInput, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &reader) != MPG123_OK) {
        error = "cannot open input file \"" + name + "\": " + mpg123_strerror(handle.get());
        return nullptr;
    }
    return handle;
}

int VersionNumber(int version) {
    return version == MPG123_1_0 ? 1 : version == MPG123_2_0 ? 2 : 25;
}

class TDecodeRun {
public:
    TDecodeRun(mpg123_handle* handle, std::FILE* console, const TStreamScan& scan)
        : FHandle(handle), FConsole(console), FScan(scan), FSchedule(scan.TotalFrames) {}

    // Decodes every frame into `writer`; returns the reason when the stream is damaged, else "".
    std::string Run(TWavWriter& writer) {
        // The first line comes as soon as the first frame's header is read: with gapless decoding
        // the first frames may give no audio, and the library then reports them only later.
        if (FSchedule.Due(1)) ShowProgress(1);
        for (;;) {
            off_t frameIndex = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int rc = mpg123_decode_frame(FHandle, &frameIndex, &audio, &bytes);
            if (rc == MPG123_DONE) break;
            if (rc == MPG123_NEW_FORMAT) {
                if (FFrames > 0) return "the sample rate changes after frame " + std::to_string(FFrames);
                continue;
            }
            if (rc != MPG123_OK) {
                if (AtTrailingData()) break;
                return Failure();
            }
            if (!MovesOn()) return "the stream does not move on after frame " + std::to_string(FFrames);
            FFrames = static_cast<std::uint64_t>(frameIndex) + 1;
            if (!writer.Append(audio, bytes)) return {};
            if (FSchedule.Due(FFrames)) ShowProgress(FFrames);
        }
        if (FScan.TruncatedTail) return "the file ends inside frame " + std::to_string(FFrames + 1);
        // One frame of slack: encoders differ on whether the Info frame counts itself.
        if (FScan.FromInfoHeader && FFrames + 1 < FScan.TotalFrames)
            return "the stream ends after frame " + std::to_string(FFrames) + " of " +
                   std::to_string(FScan.TotalFrames) + " (file cut short)";
        return {};
    }

    // The last frame's line, if the schedule did not print it, and the end of the progress line.
    void EndProgress() {
        if (FFrames > 0 && FLastShown != FFrames) ShowProgress(FFrames);
        if (FLastShown > 0) FPending += "\n";
        FlushProgress();
    }

private:
    // Bytes after the last whole frame that hold no further frame (tags, padding, junk) end the
    // stream; anything that stops the decoder before them is damage.
    bool AtTrailingData() const {
        return FScan.TrailingDataOnly && mpg123_tell_stream(FHandle) >= static_cast<off_t>(FScan.AudioEnd);
    }

    // Every frame is read from further on in the input: a decoder that keeps returning without
    // reading would spin for ever.
    bool MovesOn() {
        const off_t position = mpg123_tell_stream(FHandle);
        FStalls = position > FLastPosition ? 0 : FStalls + 1;
        FLastPosition = position;
        return FStalls < MaxStalls;
    }

    std::string Failure() const {
        const int code = mpg123_errcode(FHandle);
        const std::string where = " after frame " + std::to_string(FFrames) + " (near byte " +
                                  std::to_string(static_cast<long long>(mpg123_tell_stream(FHandle))) + ")";
        if (code == MPG123_OUT_OF_SYNC || code == MPG123_RESYNC_FAIL) return "lost sync" + where;
        return std::string("cannot decode the frame") + where + ": " + mpg123_strerror(FHandle);
    }

    void ShowProgress(std::uint64_t frame) {
        mpg123_frameinfo2 info{};
        mpg123_info2(FHandle, &info);
        int kbps = info.bitrate;
        if (kbps == 0)
            kbps = BitrateFromFrameSize(info.framesize, info.rate, mpg123_spf(FHandle)); // free format
        FPending += FormatProgressLine(frame, FScan.TotalFrames, kbps);
        FLastShown = frame;
        // Lines are passed on in bursts a few times a second rather than one write each: a reader
        // that wakes per write would take the processor from the decoding it is watching. The
        // first line goes out at once, since it tells the reader that decoding has begun.
        if (frame == 1 || std::chrono::steady_clock::now() - FLastFlush >= ProgressFlushInterval)
            FlushProgress();
    }

    void FlushProgress() {
        if (FPending.empty()) return;
        Say(FConsole, FPending);
        FPending.clear();
        FLastFlush = std::chrono::steady_clock::now();
    }

    static constexpr auto ProgressFlushInterval = std::chrono::milliseconds(40);
    static constexpr int MaxStalls = 64;

    mpg123_handle* FHandle;
    std::FILE* FConsole;
    TStreamScan FScan;
    TProgressSchedule FSchedule;
    std::uint64_t FFrames = 0;
    std::uint64_t FLastShown = 0;
    off_t FLastPosition = -1;
    int FStalls = 0;
    std::string FPending;
    std::chrono::steady_clock::time_point FLastFlush;
};

} // namespace

int DecodeFile(const std::string& inputPath, const std::string& outputPath, std::FILE* console) {
    const TInputFile input = OpenInput(inputPath, outputPath);
    if (!input.Problem.empty()) return Refuse(console, input.Problem);
    TFileSource source(input.File.get());
    return DecodeSource(source, inputPath, outputPath, console);
}

int DecodeSource(TByteSource& source, const std::string& inputName, const std::string& outputPath,
                 std::FILE* console) {
    const TInputCheck input = CheckContent(source, inputName);
    if (!input.Problem.empty()) return Refuse(console, input.Problem);

    std::string error;
    TReader reader{source};
    THandle handle = OpenDecoder(reader, inputName, error);
    if (!handle) return Refuse(console, error);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
        return Refuse(console, "no MPEG audio found in input file \"" + inputName + "\"");
    // From here on only the first frame's channel count is allowed: should it change part-way,
    // libmpg123 converts to it instead of announcing a new format.
    AllowFormats(handle.get(), channels == 1 ? MPG123_MONO : MPG123_STEREO);
    mpg123_frameinfo2 info{};
    mpg123_info2(handle.get(), &info);

    Say(console, FormatInputLine(inputName, rate, channels, VersionNumber(info.version), info.layer) + "\n");
    Say(console, FormatOutputLine(outputPath) + "\n");

    const TWavFormat format{static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels), 16};
    const std::uint64_t expectedBytes = input.Scan.MostFrames() * std::uint64_t(1152) * format.BlockAlign();
    TWavWriter writer(outputPath, format, ChooseLayout(expectedBytes));
    TDecodeRun run(handle.get(), console, input.Scan);
    const std::string damage = run.Run(writer);
    run.EndProgress();

    // What was decoded from a source that changed meanwhile (still being copied or recorded) is
    // neither the old file nor the new one.
    if (writer.Error().empty() && source.Changed()) {
        writer.Discard();
        return Refuse(console, "input file \"" + inputName + "\" changed while it was decoded");
    }
    // The file is complete and named before the damage is reported: the batch window stops the
    // decoder on that line. Finish also fails after an earlier write failure.
    if (!writer.Finish()) {
        writer.Discard();
        return Refuse(console, writer.Error(), writer.DiskFull() ? ExitDiskFull : ExitWriteFailed);
    }
    if (!damage.empty()) {
        Say(console, FormatBitstreamProblem(damage));
        return ExitBitstream;
    }
    if (!writer.Created()) return Refuse(console, "no audio decoded from input file \"" + inputName + "\"");
    return ExitOk;
}
