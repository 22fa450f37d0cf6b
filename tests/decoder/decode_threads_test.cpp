// A file decoded on one thread and on several gives the same bytes and the same exit code. The
// decoder is told to cut even the short stored files into chunks of a few frames, so they really
// are split; longer streams are made by repeating a file's audio frames.
#include "decoder/mpegheader.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

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

struct TInput {
    const char* Name;
    std::string (*Bytes)();
    // Decoded whole, libmpg123 gives the same bytes too. Not so for a stream whose first frames are
    // far longer than the rest: their bytes stay in its frame memory, and where a later frame's data
    // runs short it reads them again, which a decode starting part-way cannot know.
    bool SameAsWhole = true;
};

void PrintTo(const TInput& value, std::ostream* out) {
    *out << value.Name;
}

const TInput Inputs[] = {
    {"CbrStereo", [] { return Fixture("cbr_stereo_44k.mp3"); }},
    {"Vbr", [] { return Fixture("vbr_stereo_44k.mp3"); }},
    {"Mono", [] { return Fixture("mono_44k.mp3"); }},
    {"Mpeg2", [] { return Fixture("mpeg2_22k.mp3"); }, false},
    {"Mpeg25", [] { return Fixture("mpeg25_8k.mp3"); }},
    {"Id3v2", [] { return Fixture("id3v2_large.mp3"); }},
    {"Id3v2Unsync", [] { return Fixture("id3v2_unsync.mp3"); }},
    {"Id3v1Ape", [] { return Fixture("id3v1_ape.mp3"); }},
    {"Layer2", [] { return Fixture("layer2_48k.mp3"); }},
    {"FreeFormat", [] { return Fixture("freeformat_44k.mp3"); }},
    {"LongCbrWithoutInfoFrame", [] { return Repeated("cbr_stereo_44k.mp3", 30); }},
    {"LongMpeg2", [] { return Repeated("mpeg2_22k.mp3", 40); }},
    {"LongMonoWithTrailingJunk", [] { return Repeated("mono_44k.mp3", 30) + std::string(3000, '\x5a'); }},
    // Damaged or unusual: each ends as the decode in one piece ends.
    {"InfoFrameCountsMoreFramesThanThereAre", [] { return FirstFrames("cbr_stereo_44k.mp3", 50); }},
    {"StereoThenMono", [] { return Repeated("cbr_stereo_44k.mp3", 10) + Repeated("mono_44k.mp3", 10); }},
    {"CutInsideAFrame", [] { return Repeated("cbr_stereo_44k.mp3", 10).substr(0, 200000); }},
    {"SampleRateChangesPartWay",
     [] { return Repeated("cbr_stereo_44k.mp3", 10) + Repeated("mpeg2_22k.mp3", 5); }},
    {"OverwrittenInTheMiddle",
     [] {
         std::string s = Repeated("cbr_stereo_44k.mp3", 10);
         for (std::size_t i = 100000; i < 100400; ++i)
             s[i] = static_cast<char>(i * 7919);
         return s;
     }},
};

class SplitDecode : public ::testing::TestWithParam<TInput> {};

} // namespace

TEST_P(SplitDecode, OneThreadAndThreeGiveTheSameBytesAndExitCode) {
    TTempDir dir;
    const std::string in = dir.WriteFile("in.mp3", GetParam().Bytes());
    const std::string one = dir.Path() + "one.wav", three = dir.Path() + "three.wav";
    const TDecoderRun first = RunDecoder({"--threads", "1", "--decode", in, one}, 0, SmallChunks);
    const TDecoderRun second = RunDecoder({"--threads", "3", "--decode", in, three}, 0, SmallChunks);
    EXPECT_EQ(first.ExitCode, second.ExitCode) << first.Err << "\n" << second.Err;
    EXPECT_NE(second.ExitCode, -1) << second.Err;
    EXPECT_EQ(LastWord(first), LastWord(second));
    EXPECT_EQ(PathExists(one), PathExists(three));
    EXPECT_TRUE(ReadWholeFile(one) == ReadWholeFile(three)) << "the outputs differ";
    if (!GetParam().SameAsWhole) return;
    const std::string whole = dir.Path() + "whole.wav";
    const TDecoderRun unsplit = RunDecoder({"--decode", in, whole}, 0, {"UTILS_MIN_CHUNK_FRAMES=100000000"});
    EXPECT_EQ(unsplit.ExitCode, second.ExitCode);
    EXPECT_TRUE(ReadWholeFile(whole) == ReadWholeFile(three)) << "split and whole decodes differ";
}

INSTANTIATE_TEST_SUITE_P(Inputs, SplitDecode, ::testing::ValuesIn(Inputs),
                         [](const auto& info) { return std::string(info.param.Name); });

// Split or not, the count in the progress lines only goes up, also when the split decode gives up
// part-way and the file is decoded again in one piece.
TEST(SplitDecodeProgress, FrameCountNeverGoesBack) {
    TTempDir dir;
    // The stored files hold 71 and 70 audio frames.
    for (const auto& [bytes, frames] :
         {std::pair{Repeated("cbr_stereo_44k.mp3", 30), 30L * 71},
          std::pair{Repeated("cbr_stereo_44k.mp3", 20) + Repeated("mono_44k.mp3", 5), 20L * 71 + 5 * 70}}) {
        const std::string in = dir.WriteFile("in.mp3", bytes);
        const TDecoderRun run =
            RunDecoder({"--threads", "3", "--decode", in, dir.Path() + "out.wav"}, 0, SmallChunks);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        static const std::regex line(R"(\rFrame# *([0-9]+)/([0-9]+) +[0-9]+ kbps)");
        long last = 0, lines = 0;
        for (std::sregex_iterator it(run.Err.begin(), run.Err.end(), line), end; it != end; ++it, ++lines) {
            const long current = std::stol((*it)[1]);
            EXPECT_GT(current, last) << "line " << lines;
            last = current;
        }
        EXPECT_GT(lines, 2);
        EXPECT_EQ(last, frames) << "the last line counts every frame";
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
