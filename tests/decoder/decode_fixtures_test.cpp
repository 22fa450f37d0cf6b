// Decodes every stored test file with the built utils.exe and checks the WAV and the console lines.
#include "decoder/partname.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <ostream>

#include <regex>

namespace {

struct TFixture {
    const char* File;
    std::uint32_t Rate;
    std::uint16_t Channels;
    std::uint64_t Samples; // what a gapless decode gives back exactly
    const char* Description;
    std::vector<std::string> Tags = {}; // the chunks after the audio
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TFixture& value, std::ostream* out) {
    *out << value.File;
}

// Where the stream records no encoder delay, only the decoder's own 529 samples are cut from the
// whole frames (the files' Info frames give 71, 70 and 35 frames of audio).
constexpr std::uint64_t DecoderDelay = 529;

const TFixture Fixtures[] = {
    {"cbr_stereo_44k.mp3", 44100, 2, 71 * 1152 - DecoderDelay, "44.1 kHz, 2 channels, MPEG-1 Layer III"},
    {"vbr_stereo_44k.mp3", 44100, 2, 88200, "44.1 kHz, 2 channels, MPEG-1 Layer III"},
    {"mono_44k.mp3", 44100, 1, 70 * 1152 - DecoderDelay, "44.1 kHz, 1 channel, MPEG-1 Layer III"},
    {"mpeg2_22k.mp3", 22050, 2, 33075, "22.05 kHz, 2 channels, MPEG-2 Layer III"},
    {"mpeg25_8k.mp3", 8000, 1, 10000, "8 kHz, 1 channel, MPEG-2.5 Layer III"},
    {"id3v2_large.mp3",
     44100,
     2,
     35 * 1152 - DecoderDelay,
     "44.1 kHz, 2 channels, MPEG-1 Layer III",
     {"LIST", "id3 "}},
    {"id3v2_unsync.mp3",
     44100,
     2,
     35 * 1152 - DecoderDelay,
     "44.1 kHz, 2 channels, MPEG-1 Layer III",
     {"LIST", "id3 "}},
    {"id3v1_ape.mp3",
     44100,
     2,
     35 * 1152 - DecoderDelay,
     "44.1 kHz, 2 channels, MPEG-1 Layer III",
     {"LIST", "id3 "}},
    // Layer II carries no delay or padding information: whole frames of 1152 samples.
    {"layer2_48k.mp3", 48000, 2, 42 * 1152, "48 kHz, 2 channels, MPEG-1 Layer II"},
    {"freeformat_44k.mp3", 44100, 2, 44100, "44.1 kHz, 2 channels, MPEG-1 Layer III"},
};

class DecodeFixture : public ::testing::TestWithParam<TFixture> {};

// The batch window's reading of a progress line: current between "Frame#" and "/", total in the
// 7 characters after "/", both trimmed.
std::pair<long, long> ReadAsBatchWindow(const std::string& line) {
    const std::size_t slash = line.find('/');
    auto number = [](std::string text) {
        const auto first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
        if (first == std::string::npos) return -1L;
        text = text.substr(first, last - first + 1);
        return text.find_first_not_of("0123456789") == std::string::npos ? std::stol(text) : -1L;
    };
    return {number(line.substr(6, slash - 6)), number(line.substr(slash + 1, 7))};
}

} // namespace

TEST_P(DecodeFixture, GivesTheSourceSamplesAtItsRateAndChannels) {
    const TFixture& f = GetParam();
    TTempDir dir;
    const std::string out = dir.Path() + "out.wav";
    const TDecoderRun run = RunDecoder({"--decode", FixturePath(f.File), out});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const TWavInfo wav = ReadWav(ReadWholeFile(out));
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_EQ(wav.SampleRate, f.Rate);
    EXPECT_EQ(wav.Channels, f.Channels);
    EXPECT_EQ(wav.Bits, 16);
    EXPECT_EQ(wav.Samples(), f.Samples);
    EXPECT_EQ(wav.ChunksAfterData, f.Tags);
}

TEST_P(DecodeFixture, WritesTheInputOutputAndProgressLines) {
    const TFixture& f = GetParam();
    TTempDir dir;
    const std::string in = FixturePath(f.File), out = dir.Path() + "out.wav";
    const TDecoderRun run = RunDecoder({"--decode", in, out});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const auto lines = run.ErrLines();
    ASSERT_EQ(lines.size(), 3u) << run.Err;
    EXPECT_EQ(lines[0], "input:  " + in + "  (" + f.Description + ")");
    EXPECT_EQ(lines[1], "output: " + out + "  (16 bit, Microsoft WAVE)");
    EXPECT_EQ(run.Err.back(), '\n');

    // Every rewrite starts with a carriage return and has the fixed widths.
    ASSERT_EQ(lines[2].front(), '\r');
    static const std::regex form(R"(Frame#[ 0-9]{5}[0-9]/[0-9]+ *\s[ 0-9]{2}[0-9] kbps)");
    std::vector<std::pair<long, long>> seen;
    std::size_t start = 1;
    while (start <= lines[2].size()) {
        std::size_t end = lines[2].find('\r', start);
        if (end == std::string::npos) end = lines[2].size();
        const std::string piece = lines[2].substr(start, end - start);
        EXPECT_TRUE(std::regex_match(piece, form)) << "'" << piece << "'";
        EXPECT_EQ(piece.size(), 6u + 6 + 1 + 6 + 1 + 3 + 5) << "'" << piece << "'";
        seen.push_back(ReadAsBatchWindow(piece));
        EXPECT_GT(std::stoi(piece.substr(20, 3)), 0) << "bitrate in '" << piece << "'";
        start = end + 1;
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(lines[2].substr(1, 7), "Frame# "); // the batch window's header test
    EXPECT_EQ(seen.front().first, 1);
    EXPECT_EQ(seen.back().first, seen.back().second)
        << "the last line shows the last frame of the exact total";
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GT(seen[i].first, seen[i - 1].first);
        EXPECT_EQ(seen[i].second, seen.front().second);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodeFixture, ::testing::ValuesIn(Fixtures), [](const auto& info) {
    std::string name = info.param.File;
    return name.substr(0, name.find('.'));
});

// An existing output is replaced only when the line says so: without --overwrite it stays as it
// was, with an exit code and a line of its own.
TEST(DecodeOutput, ReplacesAnExistingOutputFileOnlyWhenToldItMay) {
    TTempDir dir;
    const std::string out = dir.WriteFile("out.wav", std::string(500000, 'x'));
    const TDecoderRun refused = RunDecoder({"--decode", FixturePath("mono_44k.mp3"), out});
    EXPECT_EQ(refused.ExitCode, 6) << refused.Err;
    EXPECT_EQ(refused.ErrLines().back(), "output file \"" + out + "\" already exists and was not replaced");
    EXPECT_EQ(ReadWholeFile(out), std::string(500000, 'x'));
    const TDecoderRun run = RunDecoder({"--overwrite", "--decode", FixturePath("mono_44k.mp3"), out});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const TWavInfo wav = ReadWav(ReadWholeFile(out));
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_EQ(wav.Samples(), 70 * 1152 - DecoderDelay);
    EXPECT_TRUE(FindPartialOutputs(out).empty());
}
