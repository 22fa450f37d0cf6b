#include "decoder/decodeloop.h"

#include "decoder/arguments.h"
#include "decoder/bytesource.h"
#include "decoder/inputcheck.h"
#include "decoder/mpeghandle.h"
#include "decoder/progress.h"
#include "decoder/resampler.h"
#include "decoder/riffchunks.h"
#include "decoder/splitdecode.h"
#include "decoder/streamscan.h"
#include "decoder/wavwriter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace {

int Refuse(std::FILE* console, const std::string& message, int code = ExitFileError) {
    Say(console, message + "\n");
    return code;
}

int WriteFailureCode(const TWavWriter& writer) {
    if (writer.DiskFull()) return ExitDiskFull;
    if (writer.OutputTaken()) return ExitOutputTaken;
    return writer.FolderRefused() ? ExitFolderRefused : ExitWriteFailed;
}

int VersionNumber(int version) {
    return version == MPG123_1_0 ? 1 : version == MPG123_2_0 ? 2 : 25;
}

class TDecodeRun {
public:
    TDecodeRun(mpg123_handle* handle, TProgressPrinter& progress, const TStreamScan& scan,
               std::uint64_t walked)
        : FHandle(handle), FProgress(progress), FScan(scan), FWalked(walked) {}

    // Decodes every frame into `writer`, or through `convert` where given; returns the reason when
    // the stream is damaged, else "".
    std::string Run(TWavWriter& writer, TResampler* convert) {
        // The first line comes as soon as the first frame's header is read: with gapless decoding
        // the first frames may give no audio, and the library then reports them only later.
        FProgress.Show(1, [this] { return FrameKbps(FHandle); });
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
                if (AtTrailingData(FHandle, FScan)) break;
                return FScan.Damage.empty() ? Failure() : FScan.Damage;
            }
            if (!MovesOn()) return "the stream does not move on after frame " + std::to_string(FFrames);
            // Past a tag that hides audio, what libmpg123 finds is not the audio that follows.
            if (!FScan.Damage.empty() && mpg123_framepos(FHandle) >= static_cast<off_t>(FScan.DamageAt))
                return FScan.Damage;
            FFrames = static_cast<std::uint64_t>(frameIndex) + 1;
            if (!(convert ? convert->Push(audio, bytes) : writer.Append(audio, bytes))) return {};
            FProgress.Show(FFrames, [this] { return FrameKbps(FHandle); });
        }
        if (!FScan.Damage.empty()) return FScan.Damage;
        if (FScan.TruncatedTail) return "the file ends inside frame " + std::to_string(FFrames + 1);
        // Whatever libmpg123 passed over on its own held no frame the scan walked.
        if (FFrames < FWalked)
            return "only " + std::to_string(FFrames) + " of the stream's " + std::to_string(FWalked) +
                   " frames were decoded: audio was skipped";
        return {};
    }

    std::uint64_t Frames() const { return FFrames; }

    // The last frame's line, if the schedule did not print it, and the end of the progress line.
    void EndProgress() { FProgress.End(FFrames, FrameKbps(FHandle)); }

private:
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

    static constexpr int MaxStalls = 64;

    mpg123_handle* FHandle;
    TProgressPrinter& FProgress;
    const TStreamScan& FScan;
    std::uint64_t FWalked; // the frames the scan walked, as libmpg123 numbers them
    std::uint64_t FFrames = 0;
    off_t FLastPosition = -1;
    int FStalls = 0;
};

// One line for each span of the source that the decode passed over: its bytes and, from the
// frames' mean length, about how much audio it held at most (junk inserted costs none).
std::vector<std::string> PassedOverLines(const TStreamScan& scan) {
    std::vector<std::string> lines;
    const double frameBytes = scan.CountedFrames ? double(scan.FrameBytes) / double(scan.CountedFrames) : 0;
    for (const TStreamScan::TSpan& span : scan.PassedOver) {
        const std::string bytes = "bytes " + std::to_string(span.From) + " to " + std::to_string(span.To);
        if (span.CutFrame) {
            lines.push_back("warning: the file ends inside a frame (" + bytes +
                            "): the source is incomplete; that frame is left out\n");
            continue;
        }
        std::string cost;
        if (frameBytes > 0 && scan.SampleRate > 0) {
            const double seconds =
                double(span.To - span.From) / frameBytes * scan.SamplesPerFrame / double(scan.SampleRate);
            char text[64];
            std::snprintf(text, sizeof text, " (at most about %.2f s of audio)", seconds);
            cost = text;
        }
        lines.push_back("warning: damaged stream: " + bytes + " are no audio" + cost + "; passed over\n");
    }
    return lines;
}

int Conclude(TByteSource& source, const std::string& inputName, TWavWriter& writer, const std::string& damage,
             std::FILE* console, const TDecodeOptions& options, const std::vector<std::string>& passedOver) {
    // Read before the change check below, which so covers the tags too.
    if (options.KeepTags && writer.Created() && writer.Error().empty())
        AttachTags(source, inputName, writer, console);
    if (options.MarkSource) writer.AddTrailer(SourceMarkChunk(inputName));
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
        return Refuse(console, writer.Error(), WriteFailureCode(writer));
    }
    if (writer.TrailerDropped())
        Say(console, "warning: no room for the tags in the WAV header; they are left out\n");
    for (const std::string& line : passedOver)
        Say(console, line);
    if (!damage.empty()) {
        Say(console, FormatBitstreamProblem(damage));
        return ExitBitstream;
    }
    if (!writer.Created()) return Refuse(console, "no audio decoded from input file \"" + inputName + "\"");
    return passedOver.empty() ? ExitOk : ExitDamagePassed;
}

int DecodeScanned(TByteSource& source, const TInputCheck& input, const std::string& inputName,
                  const std::string& outputPath, std::FILE* console, const TDecodeOptions& options,
                  const std::vector<std::string>& passedOver);

} // namespace

int DecodeFile(const std::string& inputPath, const std::string& outputPath, std::FILE* console,
               const TDecodeOptions& options) {
    const TInputFile input = OpenInput(inputPath, outputPath);
    if (!input.Problem.empty())
        return Refuse(console, input.Problem, input.OfOutput ? ExitWriteFailed : ExitFileError);
    TFileSource source(input.File.get());
    return DecodeSource(source, inputPath, outputPath, console, options);
}

int DecodeSource(TByteSource& source, const std::string& inputName, const std::string& outputPath,
                 std::FILE* console, const TDecodeOptions& options) {
    const TInputCheck input = CheckContent(source, inputName);
    if (!input.Problem.empty()) return Refuse(console, input.Problem);
    if (!input.Scan.PassedOver.empty() && input.Scan.AudioStart == 0) {
        // The stream as it would be without its damaged bytes: libmpg123 reads only frames and
        // tags, and goes on with the frames after the damage as it does after a resync.
        std::vector<TSplicedSource::TLeftOut> leftOut;
        for (const TStreamScan::TSpan& span : input.Scan.PassedOver)
            leftOut.push_back({span.From, span.To});
        TSplicedSource spliced(source, leftOut);
        TInputCheck whole;
        whole.Scan = ScanStream(spliced);
        // On one thread: what a broken frame leaves in libmpg123's frame memory shows in the last
        // bit of rare samples far after it, which a decode starting part-way cannot know.
        TDecodeOptions oneThread = options;
        oneThread.MinChunkFrames = 0;
        return DecodeScanned(spliced, whole, inputName, outputPath, console, oneThread,
                             PassedOverLines(input.Scan));
    }
    if (input.Scan.AudioStart > 0) {
        // The frames chain from inside the tag to the end of what it claims: no doubt where the
        // audio starts, so it is decoded from there rather than lost.
        Say(console, "note: the ID3v2 tag of input file \"" + inputName +
                         "\" claims more bytes than it holds; its audio starts at byte " +
                         std::to_string(input.Scan.AudioStart) + "\n");
        // Its true end is not known, so the tag cannot be copied without audio in it.
        if (options.KeepTags) Say(console, "warning: that ID3v2 tag is left out of the WAV file\n");
        TSourceFrom audio(source, input.Scan.AudioStart);
        return DecodeSource(audio, inputName, outputPath, console, options);
    }
    return DecodeScanned(source, input, inputName, outputPath, console, options, {});
}

namespace {

int DecodeScanned(TByteSource& source, const TInputCheck& input, const std::string& inputName,
                  const std::string& outputPath, std::FILE* console, const TDecodeOptions& options,
                  const std::vector<std::string>& passedOver) {

    std::string error;
    TSourceReader reader(source), floatReader(source);
    const TOutputSpec& wanted = options.Output;
    int encoding = DecoderEncoding(wanted.Format);
    THandle handle = OpenDecoder(reader, inputName, error, encoding);
    if (!handle) return Refuse(console, error);
    long rate = 0;
    int channels = 0, sourceEncoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &sourceEncoding) != MPG123_OK)
        return Refuse(console, "no MPEG audio found in input file \"" + inputName + "\"");
    const auto outRate = wanted.Rate ? wanted.Rate : static_cast<unsigned>(rate);
    const auto outChannels = wanted.Channels ? wanted.Channels : static_cast<unsigned>(channels);
    // Another rate or channel count is made from float samples, whatever the output's format.
    const bool resampling =
        outRate != static_cast<unsigned>(rate) || outChannels != static_cast<unsigned>(channels);
    const bool converting = resampling || StoredFromFloat(wanted.Format);
    if (converting && encoding != MPG123_ENC_FLOAT_32) {
        encoding = MPG123_ENC_FLOAT_32;
        handle = OpenDecoder(floatReader, inputName, error, encoding);
        if (!handle) return Refuse(console, error);
        if (mpg123_getformat(handle.get(), &rate, &channels, &sourceEncoding) != MPG123_OK)
            return Refuse(console, "no MPEG audio found in input file \"" + inputName + "\"");
    }
    // The resampler's segments are converted on this thread for now: its worker hand-over draws
    // ThreadSanitizer reports that are not understood yet. The bytes are the same either way.
    const auto MakeResampler = [&](TResampler::TSink sink) {
        return converting ? std::make_unique<TResampler>(static_cast<unsigned>(rate),
                                                         static_cast<unsigned>(channels), outRate, outChannels,
                                                         wanted.Format, std::move(sink), 1u)
                          : nullptr;
    };
    if (const auto probe = MakeResampler(nullptr); probe && !probe->Problem().empty())
        return Refuse(console, probe->Problem());
    // From here on only the first frame's channel count is allowed: should it change part-way,
    // libmpg123 converts to it instead of announcing a new format.
    AllowFormats(handle.get(), channels == 1 ? MPG123_MONO : MPG123_STEREO, encoding);
    mpg123_frameinfo2 info{};
    mpg123_info2(handle.get(), &info);

    Say(console, FormatInputLine(inputName, rate, channels, VersionNumber(info.version), info.layer) + "\n");
    std::string samples = SampleFormatText(wanted.Format);
    if (resampling)
        samples += ", " + FormatRate(outRate) + " kHz, " + std::to_string(outChannels) +
                   (outChannels == 1 ? " channel" : " channels");
    Say(console, FormatOutputLine(outputPath, samples) + "\n");

    const TWavFormat format{outRate, static_cast<std::uint16_t>(outChannels),
                            static_cast<std::uint16_t>(8 * SampleBytes(wanted.Format)),
                            wanted.Format == TSampleFormat::F32};
    // Resampled up, the audio grows by the ratio; rounded up, as the layout only needs a bound.
    const std::uint64_t sourceBytes = input.Scan.MostFrames() * std::uint64_t(1152) * format.BlockAlign();
    const std::uint64_t expectedBytes = sourceBytes / static_cast<std::uint64_t>(rate) * outRate + outRate;
    const TWavLayout layout = ChooseLayout(expectedBytes);
    TProgressPrinter progress(console, input.Scan.TotalFrames);
    std::optional<TWavWriter> writer;
    std::unique_ptr<TResampler> convert;
    std::string damage;
    std::uint64_t decoded = 0;
    TSplitJob split{source,
                    inputName,
                    input.Scan,
                    channels,
                    mpg123_framepos(handle.get()),
                    mpg123_tellframe(handle.get()),
                    options.Threads,
                    options.MinChunkFrames,
                    encoding,
                    converting ? static_cast<unsigned>(sizeof(float)) : SampleBytes(wanted.Format)};
    if (WorthSplitting(split)) {
        progress.Show(1, [&] { return FrameKbps(handle.get()); });
        writer.emplace(outputPath, format, layout, options.Open, options.MayReplace);
        // The converted audio is written in order, each piece after the one before.
        convert = MakeResampler([&](const std::uint8_t* data, std::size_t bytes) {
            return writer->WriteAt(convert->BytesOut(), data, bytes);
        });
        split.Convert = convert.get();
        const TSplitResult result = DecodeSplit(split, *writer, progress);
        if (result.Decoded) {
            decoded = result.LastFrame;
            progress.End(result.LastFrame, result.LastKbps);
        } else {
            writer->Discard(); // decoded again on one thread, from the start
            writer.reset();
        }
    }
    if (!writer) {
        writer.emplace(outputPath, format, layout, options.Open, options.MayReplace);
        convert = MakeResampler(
            [&](const std::uint8_t* data, std::size_t bytes) { return writer->Append(data, bytes); });
        TDecodeRun run(handle.get(), progress, input.Scan,
                       FramesToDecode(input.Scan, split.FrameAt, split.FrameNumber));
        damage = run.Run(*writer, convert.get());
        if (convert) convert->Finish(); // what was decoded before any damage, to its end
        run.EndProgress();
        decoded = run.Frames();
    }
    // Fewer frames than the Info frame counts (one of slack: encoders differ on whether it counts
    // itself): a download cut at a frame's end. Unless damage passed over explains the loss.
    std::vector<std::string> warnings = passedOver;
    const TStreamScan& scan = input.Scan;
    if (damage.empty() && passedOver.empty() && scan.FromInfoHeader && decoded + 1 < scan.TotalFrames)
        warnings.push_back("warning: the stream ends after frame " + std::to_string(decoded) + " of the " +
                           std::to_string(scan.TotalFrames) +
                           " its Info frame counts: the source is incomplete\n");
    return Conclude(source, inputName, *writer, damage, console, options, warnings);
}

} // namespace
