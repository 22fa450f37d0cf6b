// A file decoded on one thread and on several gives the same bytes and the same exit code. The
// decoder is told to cut even the short stored files into chunks of a few frames, so they really
// are split; longer streams are made by repeating a file's audio frames.
#include "decoder/arguments.h"
#include "decoder/decodeloop.h"
#include "decoder/mpegheader.h"
#include "decoder/partname.h"
#include "decoder/splitdecode.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <regex>

namespace {

const std::vector<std::string> SmallChunks{"UTILS_MIN_CHUNK_FRAMES=8"};

std::string Fixture(const std::string& name) {
    return ReadWholeFile(FixturePath(name));
}

// The file's frames after its first (the Info frame, if any), `times` over: no tags, no Info frame.
std::string Repeated(const std::string& name, int times) {
    const std::string s = Fixture(name);
    const auto* data = reinterpret_cast<const std::uint8_t*>(s.data());
    std::size_t at = Id3v2TagSize(data, s.size());
    at += ParseMpegHeader(ReadBigEndian32(data + at))->FrameBytes;
    std::string out;
    for (int i = 0; i < times; ++i)
        out += s.substr(at);
    return out;
}

// The first `frames` frames of a fixed-bitrate file (Info frame included).
std::string FirstFrames(const std::string& name, int frames) {
    const std::string s = Fixture(name);
    const auto* data = reinterpret_cast<const std::uint8_t*>(s.data());
    std::size_t at = Id3v2TagSize(data, s.size());
    for (int i = 0; i < frames; ++i)
        at += ParseMpegHeader(ReadBigEndian32(data + at))->FrameBytes;
    return s.substr(0, at);
}

// The last line, or the last rewrite of the progress line: what the decoder said in the end.
std::string LastWord(const TDecoderRun& run) {
    const std::string last = run.ErrLines().empty() ? std::string() : run.ErrLines().back();
    return last.substr(last.rfind('\r') == std::string::npos ? 0 : last.rfind('\r'));
}

// Whole files joined end to end, each with its tags and Info frame, as chapters are.
std::string Joined(const std::string& name, int times, const std::string& between = "") {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += (i ? between : "") + Fixture(name);
    return out;
}

// An APEv2 header (no items, no footer) whose size claims `size` bytes after it.
std::string ApeHeader(std::uint32_t size) {
    std::string h = "APETAGEX";
    for (const std::uint32_t field : {2000u, size, 0u, 0xA0000000u})
        for (int shift = 0; shift < 32; shift += 8)
            h += static_cast<char>((field >> shift) & 0xFF);
    return h + std::string(8, '\0');
}

struct TInput {
    const char* Name;
    std::string (*Bytes)();
    bool Splits = true; // decoded chunk by chunk; else given up, and decoded in one piece
    // Decoded whole, libmpg123 gives the same bytes too. Not so for a stream whose first frames are
    // far longer than the rest: their bytes stay in its frame memory, and where a later frame's data
    // runs short it reads them again, which a decode starting part-way cannot know.
    bool SameAsWhole = true;
    std::vector<std::string> Options = {}; // the output's: another format, rate or channels
    int Exit = 0;
};

void PrintTo(const TInput& value, std::ostream* out) {
    *out << value.Name;
}

const TInput Inputs[] = {
    {"CbrStereo", [] { return Fixture("cbr_stereo_44k.mp3"); }},
    {"Vbr", [] { return Fixture("vbr_stereo_44k.mp3"); }},
    {"Mono", [] { return Fixture("mono_44k.mp3"); }},
    {"Mpeg2", [] { return Fixture("mpeg2_22k.mp3"); }},
    {"Mpeg25", [] { return Fixture("mpeg25_8k.mp3"); }, false}, // 20 frames: one chunk of marked frames
    {"Id3v2", [] { return Fixture("id3v2_large.mp3"); }},
    {"Id3v2Unsync", [] { return Fixture("id3v2_unsync.mp3"); }},
    {"Id3v1Ape", [] { return Fixture("id3v1_ape.mp3"); }},
    {"Layer2", [] { return Fixture("layer2_48k.mp3"); }},
    {"FreeFormat", [] { return Fixture("freeformat_44k.mp3"); }},
    {"LongCbrWithoutInfoFrame", [] { return Repeated("cbr_stereo_44k.mp3", 30); }},
    {"LongMpeg2", [] { return Repeated("mpeg2_22k.mp3", 40); }},
    {"LongMonoWithTrailingJunk", [] { return Repeated("mono_44k.mp3", 30) + std::string(3000, '\x5a'); }},
    {"JoinedWithTagsAndInfoFrames", [] { return Joined("id3v2_large.mp3", 4); }},
    {"JoinedWithId3v1Between", [] { return Joined("cbr_stereo_44k.mp3", 3, "TAG" + std::string(125, 'x')); }},
    {"JoinedWithApev2AndId3v1Between", [] { return Joined("id3v1_ape.mp3", 3); }},
    // Damaged or unusual: each ends as the decode in one piece ends.
    {"InfoFrameCountsMoreFramesThanThereAre",
     [] { return FirstFrames("cbr_stereo_44k.mp3", 50); },
     true,
     true,
     {},
     8},
    {"StereoThenMono", [] { return Repeated("cbr_stereo_44k.mp3", 10) + Repeated("mono_44k.mp3", 10); },
     false},
    {"CutInsideAFrame",
     [] { return Repeated("cbr_stereo_44k.mp3", 10).substr(0, 200000); },
     false,
     true,
     {},
     8},
    {"SampleRateChangesPartWay",
     [] { return Repeated("cbr_stereo_44k.mp3", 10) + Repeated("mpeg2_22k.mp3", 5); },
     false,
     true,
     {},
     3},
    // The headers of the last frames say 48 kHz, their lengths still those of 44.1 kHz.
    {"SampleRateIndexChangesLate",
     [] {
         std::string s = Repeated("cbr_stereo_44k.mp3", 10);
         const auto* data = reinterpret_cast<const std::uint8_t*>(s.data());
         for (std::size_t at = 0, frame = 0; at + 4 <= s.size(); ++frame) {
             const std::size_t length = ParseMpegHeader(ReadBigEndian32(data + at))->FrameBytes;
             if (frame >= 600) s[at + 2] = static_cast<char>(s[at + 2] ^ 0x04);
             at += length;
         }
         return s;
     },
     false,
     true,
     {},
     3},
    // Layer III and then Layer II at the same rate: one WAV file holds both, in the first's channels.
    {"LayerIIIThenLayerII",
     [] { return Repeated("mpeg2_22k.mp3", 10) + Repeated("sine997_22k_mono.mp3", 10); }, false},
    // Resampled: the chunks go through one resampler in order, so no seam shows at their ends.
    {"LongToneToCd", [] { return Repeated("sine997_48k.mp3", 30); }, true, true, {"--cd"}},
    {"LongMpeg2ToMonoFloatAt48k",
     [] { return Repeated("mpeg2_22k.mp3", 40); },
     true,
     false,
     {"--rate", "48000", "--channels", "1", "--format", "f32"}},
    {"LongMono24Bit", [] { return Repeated("mono_44k.mp3", 30); }, true, true, {"--format", "s24"}},
    {"JoinedFloat", [] { return Joined("id3v2_large.mp3", 4); }, true, true, {"--format", "f32"}},
    {"CutInsideAFrameToCd",
     [] { return Repeated("layer2_48k.mp3", 10).substr(0, 200000); },
     false,
     true,
     {"--cd"},
     8},
    {"OverwrittenInTheMiddle",
     [] {
         std::string s = Repeated("cbr_stereo_44k.mp3", 10);
         for (std::size_t i = 100000; i < 100400; ++i)
             s[i] = static_cast<char>(i * 7919);
         return s;
     },
     false,
     true,
     {},
     8},
    {"TagHeaderThatHidesAudioBetweenStreams",
     [] {
         return Repeated("cbr_stereo_44k.mp3", 10) + std::string("ID3\x04\0\0\x7f\x7f\x7f\x7f", 10) +
                Repeated("cbr_stereo_44k.mp3", 10);
     },
     false,
     true,
     {},
     3},
    {"ApeHeaderThatHidesAudio",
     [] { return Repeated("layer2_48k.mp3", 10) + ApeHeader(3 * 576) + Repeated("layer2_48k.mp3", 10); },
     false,
     true,
     {},
     8},
};

// The decode in this process, so that it shows whether the split was used.
int DecodeHere(const std::string& in, const std::string& out, unsigned threads,
               TWavWriter::TOpener open = nullptr, const std::vector<std::string>& options = {}) {
    std::vector<std::string> line{"--decode", in, out};
    line.insert(line.end(), options.begin(), options.end());
    std::FILE* console = std::tmpfile();
    const int code =
        DecodeFile(in, out, console, TDecodeOptions{threads, 8, true, open, ParseArguments(line).Output});
    std::fclose(console);
    return code;
}

class SplitDecode : public ::testing::TestWithParam<TInput> {};

} // namespace

TEST_P(SplitDecode, OneThreadAndThreeGiveTheSameBytesAndExitCode) {
    TTempDir dir;
    const std::string in = dir.WriteFile("in.mp3", GetParam().Bytes());
    const std::string one = dir.Path() + "one.wav", three = dir.Path() + "three.wav";
    const auto& options = GetParam().Options;
    const auto line = [&](std::vector<std::string> args) {
        args.insert(args.end(), options.begin(), options.end());
        return args;
    };
    const TDecoderRun first = RunDecoder(line({"--threads", "1", "--decode", in, one}), 0, SmallChunks);
    const TDecoderRun second = RunDecoder(line({"--threads", "3", "--decode", in, three}), 0, SmallChunks);
    EXPECT_EQ(first.ExitCode, second.ExitCode) << first.Err << "\n" << second.Err;
    EXPECT_NE(second.ExitCode, -1) << second.Err;
    EXPECT_EQ(LastWord(first), LastWord(second));
    EXPECT_EQ(PathExists(one), PathExists(three));
    EXPECT_TRUE(ReadWholeFile(one) == ReadWholeFile(three)) << "the outputs differ";
    EXPECT_EQ(first.ExitCode, GetParam().Exit) << first.Err;
    // Which way the decode went: a split that gave up gives the same bytes as one that did not.
    const std::string here = dir.Path() + "here.wav";
    const std::uint64_t splitBefore = SplitDecodesFinished();
    EXPECT_EQ(DecodeHere(in, here, 3, nullptr, options), second.ExitCode);
    EXPECT_EQ(SplitDecodesFinished() - splitBefore, GetParam().Splits ? 1u : 0u);
    std::FILE* console = std::tmpfile();
    EXPECT_EQ(DecodeFile(in, dir.Path() + "nosplit.wav", console, TDecodeOptions{3, 0, true, nullptr}),
              second.ExitCode);
    std::fclose(console);
    EXPECT_EQ(SplitDecodesFinished() - splitBefore, GetParam().Splits ? 1u : 0u)
        << "no chunk size: never split";
    EXPECT_TRUE(ReadWholeFile(here) == ReadWholeFile(three)) << "in this process and in its own differ";
    if (!GetParam().SameAsWhole) return;
    const std::string whole = dir.Path() + "whole.wav";
    const TDecoderRun unsplit =
        RunDecoder(line({"--decode", in, whole}), 0, {"UTILS_MIN_CHUNK_FRAMES=100000000"});
    EXPECT_EQ(unsplit.ExitCode, second.ExitCode);
    EXPECT_TRUE(ReadWholeFile(whole) == ReadWholeFile(three)) << "split and whole decodes differ";
}

INSTANTIATE_TEST_SUITE_P(Inputs, SplitDecode, ::testing::ValuesIn(Inputs),
                         [](const auto& info) { return std::string(info.param.Name); });

// Split or not, the count in the progress lines only goes up, also when the split decode gives up
// part-way and the file is decoded again in one piece; the last line's total is the count it reached.
TEST(SplitDecodeProgress, FrameCountNeverGoesBack) {
    TTempDir dir;
    // The stored files hold 71, 70 and 35 audio frames; in whole files joined end to end the decode
    // passes the later ones' Info frames on as frames too.
    for (const auto& [bytes, frames] :
         {std::pair{Repeated("cbr_stereo_44k.mp3", 30), 30L * 71},
          std::pair{Repeated("cbr_stereo_44k.mp3", 20) + Repeated("mono_44k.mp3", 5), 20L * 71 + 5 * 70},
          std::pair{Joined("id3v2_large.mp3", 4), 4L * 35 + 3}}) {
        const std::string in = dir.WriteFile("in.mp3", bytes);
        const TDecoderRun run = RunDecoder(
            {"--threads", "3", "--decode", in, dir.Path() + "out.wav", "--overwrite"}, 0, SmallChunks);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        static const std::regex line(R"(\rFrame# *([0-9]+)/([0-9]+) +[0-9]+ kbps)");
        long last = 0, lines = 0, total = 0;
        for (std::sregex_iterator it(run.Err.begin(), run.Err.end(), line), end; it != end; ++it, ++lines) {
            const long current = std::stol((*it)[1]);
            EXPECT_GT(current, last) << "line " << lines;
            last = current;
            total = std::stol((*it)[2]);
        }
        EXPECT_EQ(total, frames) << "the total shown";
        // However fast the machine, the first frame's line and the last one's.
        EXPECT_GE(lines, 2);
        EXPECT_EQ(last, frames) << "the last line counts every frame";
    }
}

// A full disk, split or not: its own exit code, and no output or partial file left behind.
TEST(SplitDecodeWrite, FullDiskExitsWithItsOwnCodeAndLeavesNothing) {
    TTempDir dir;
    const std::string in = dir.WriteFile("in.mp3", Repeated("cbr_stereo_44k.mp3", 30));
    const std::string out = dir.Path() + "out.wav";
    for (const unsigned threads : {1u, 3u}) {
        // The partial file is made where it belongs, so that a leftover would show; the audio
        // goes to a device that is always full.
        const int code = DecodeHere(in, out, threads, [](const std::string& path) {
            std::fclose(std::fopen(path.c_str(), "wb"));
            return std::fopen("/dev/full", "wb");
        });
        EXPECT_EQ(code, ExitDiskFull) << threads;
        EXPECT_FALSE(PathExists(out));
        EXPECT_TRUE(FindPartialOutputs(out).empty());
    }
}

// A write that fails part-way ends with the same message and exit code however many threads write.
TEST(SplitDecodeWrite, FailedWriteEndsAsOnOneThread) {
    TTempDir dir;
    const std::string in = dir.WriteFile("in.mp3", Repeated("cbr_stereo_44k.mp3", 30));
    std::vector<TDecoderRun> runs;
    for (const std::string threads : {"1", "3"}) {
        const std::string out = dir.MakeDir("threads" + threads) + "out.wav";
        runs.push_back(RunDecoder({"--threads", threads, "--decode", in, out}, 1000000, SmallChunks));
        EXPECT_FALSE(PathExists(out));
    }
    EXPECT_NE(runs[0].ExitCode, 0) << runs[0].Err;
    EXPECT_EQ(runs[0].ExitCode, runs[1].ExitCode);
    const std::string folder = "threads1/";
    std::string message = LastWord(runs[0]);
    message.replace(message.find(folder), folder.size(), "threads3/");
    EXPECT_EQ(message, LastWord(runs[1]));
}
