// The decoder's own logic without running it: WAV/RF64 headers, the progress schedule and lines,
// argument parsing and MPEG header reading.
#include "decoder/arguments.h"
#include "decoder/bytesource.h"
#include "decoder/mpegheader.h"
#include "decoder/outputnaming.h"
#include "decoder/partname.h"
#include "decoder/progress.h"
#include "decoder/streamscan.h"
#include "decoder/tagspans.h"
#include "decoder/wavheader.h"
#include "decoder/wavwriter.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <tuple>

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint64_t U64At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return U32At(b, at) | (std::uint64_t(U32At(b, at + 4)) << 32);
}
std::string TagAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data()) + at, 4);
}

constexpr std::uint64_t GiB4 = 0x100000000ull;

} // namespace

TEST(WavHeader, PlainHeaderCarriesFormatAndSizes) {
    const auto h = BuildWavHeader(TWavFormat{22050, 1, 16}, TWavLayout::Plain, 1000);
    ASSERT_EQ(h.size(), PlainHeaderSize);
    EXPECT_EQ(TagAt(h, 0), "RIFF");
    EXPECT_EQ(U32At(h, 4), 1000u + 36);
    EXPECT_EQ(TagAt(h, 8), "WAVE");
    EXPECT_EQ(TagAt(h, 12), "fmt ");
    EXPECT_EQ(U32At(h, 24), 22050u);
    EXPECT_EQ(U32At(h, 28), 22050u * 2); // bytes per second
    EXPECT_EQ(h[32], 2);                 // block align
    EXPECT_EQ(h[34], 16);
    EXPECT_EQ(TagAt(h, 36), "data");
    EXPECT_EQ(U32At(h, 40), 1000u);
}

TEST(WavHeader, ExtensibleLayoutReservesRoomAndSwitchesToRf64PastTheRiffLimit) {
    const TWavFormat stereo{44100, 2, 16};
    const auto small = BuildWavHeader(stereo, TWavLayout::Extensible, 4000);
    ASSERT_EQ(small.size(), ExtensibleHeaderSize);
    EXPECT_EQ(TagAt(small, 0), "RIFF");
    EXPECT_EQ(U32At(small, 4), 4000u + 72);
    EXPECT_EQ(TagAt(small, 12), "JUNK");
    EXPECT_EQ(TagAt(small, 48), "fmt ");
    EXPECT_EQ(U32At(small, 76), 4000u);

    // The largest audio a RIFF header can still describe, and one block more.
    const std::uint64_t lastRiff = 0xFFFFFFFFull - 72;
    EXPECT_FALSE(NeedsRf64(TWavLayout::Extensible, lastRiff));
    EXPECT_EQ(TagAt(BuildWavHeader(stereo, TWavLayout::Extensible, lastRiff), 0), "RIFF");
    EXPECT_TRUE(NeedsRf64(TWavLayout::Extensible, lastRiff + 4));

    const std::uint64_t data = 7 * GiB4 + 400; // about 47 hours of CD audio
    const auto big = BuildWavHeader(stereo, TWavLayout::Extensible, data);
    ASSERT_EQ(big.size(), ExtensibleHeaderSize) << "the ds64 chunk takes exactly the JUNK chunk's place";
    EXPECT_EQ(TagAt(big, 0), "RF64");
    EXPECT_EQ(U32At(big, 4), 0xFFFFFFFFu);
    EXPECT_EQ(TagAt(big, 12), "ds64");
    EXPECT_EQ(U32At(big, 16), 28u);
    EXPECT_EQ(U64At(big, 20), data + 72); // RIFF size
    EXPECT_EQ(U64At(big, 28), data);
    EXPECT_EQ(U64At(big, 36), data / 4); // sample frames
    EXPECT_EQ(TagAt(big, 48), "fmt ");
    EXPECT_EQ(TagAt(big, 72), "data");
    EXPECT_EQ(U32At(big, 76), 0xFFFFFFFFu);
}

// Float has format tag 3, an 18-byte format chunk and a fact chunk; 24-bit the extensible format
// chunk. Past the RIFF limit the ds64 chunk holds the sample frames and the fact chunk says so.
TEST(WavHeader, FloatAndTwentyFourBitFormatChunksAndTheirRf64) {
    const TWavFormat float48{48000, 2, 32, true}, mono24{44100, 1, 24};
    const auto f = BuildWavHeader(float48, TWavLayout::Plain, 8000);
    ASSERT_EQ(f.size(), HeaderSize(float48, TWavLayout::Plain));
    ASSERT_EQ(f.size(), 58u);
    EXPECT_EQ(U32At(f, 4), 8000u + 50);
    EXPECT_EQ(U32At(f, 16), 18u);
    EXPECT_EQ(f[20], 3);
    EXPECT_EQ(U32At(f, 28), 48000u * 8);
    EXPECT_EQ(f[32], 8);
    EXPECT_EQ(f[34], 32);
    EXPECT_EQ(TagAt(f, 38), "fact");
    EXPECT_EQ(U32At(f, 42), 4u);
    EXPECT_EQ(U32At(f, 46), 1000u);
    EXPECT_EQ(TagAt(f, 50), "data");
    EXPECT_EQ(U32At(f, 54), 8000u);

    const auto e = BuildWavHeader(mono24, TWavLayout::Plain, 3000);
    ASSERT_EQ(e.size(), 68u);
    EXPECT_EQ(U32At(e, 16), 40u);
    EXPECT_EQ(U32At(e, 20) & 0xFFFF, 0xFFFEu);
    EXPECT_EQ(U32At(e, 28), 44100u * 3);
    EXPECT_EQ(e[32], 3);
    EXPECT_EQ(e[34], 24);
    EXPECT_EQ(e[36], 22); // extension size
    EXPECT_EQ(e[38], 24); // valid bits
    EXPECT_EQ(U32At(e, 40), 0x4u);
    EXPECT_EQ(U32At(e, 44), 1u); // the PCM subformat
    EXPECT_EQ(TagAt(e, 60), "data");
    EXPECT_EQ(U32At(e, 64), 3000u);
    EXPECT_EQ(U32At(BuildWavHeader(TWavFormat{44100, 2, 24}, TWavLayout::Plain, 0), 40), 0x3u);

    const std::uint64_t data = 3 * GiB4;
    EXPECT_FALSE(NeedsRf64(float48, TWavLayout::Extensible, 0xFFFFFFFFull - 86));
    EXPECT_TRUE(NeedsRf64(float48, TWavLayout::Extensible, 0xFFFFFFFFull - 85));
    const auto big = BuildWavHeader(float48, TWavLayout::Extensible, data, 10);
    ASSERT_EQ(big.size(), HeaderSize(float48, TWavLayout::Extensible));
    ASSERT_EQ(big.size(), 94u);
    EXPECT_EQ(TagAt(big, 0), "RF64");
    EXPECT_EQ(U64At(big, 20), data + 10 + 86);
    EXPECT_EQ(U64At(big, 36), data / 8);
    EXPECT_EQ(TagAt(big, 74), "fact");
    EXPECT_EQ(U32At(big, 82), 0xFFFFFFFFu);
    EXPECT_EQ(TagAt(big, 86), "data");
    EXPECT_EQ(U32At(BuildWavHeader(float48, TWavLayout::Plain, UnknownLength), 46), 0xFFFFFFFFu);
}

TEST(WavHeader, PlainLayoutRefusesWhatItCannotHoldAndLayoutChoiceLeavesAMargin) {
    EXPECT_TRUE(BuildWavHeader(TWavFormat{}, TWavLayout::Plain, GiB4).empty());
    EXPECT_FALSE(BuildWavHeader(TWavFormat{}, TWavLayout::Plain, GiB4 - 44).empty());
    EXPECT_EQ(ChooseLayout(635'000'000), TWavLayout::Plain); // an hour of CD audio
    EXPECT_EQ(ChooseLayout(GiB4 / 2), TWavLayout::Extensible);
    EXPECT_EQ(ChooseLayout(5 * GiB4), TWavLayout::Extensible);
}

TEST(WavHeader, UnknownLengthMeansUpToTheEndOfTheFile) {
    for (const auto layout : {TWavLayout::Plain, TWavLayout::Extensible}) {
        const auto h = BuildWavHeader(TWavFormat{}, layout, UnknownLength);
        ASSERT_EQ(h.size(), HeaderSize(layout));
        EXPECT_EQ(TagAt(h, 0), "RIFF");
        EXPECT_EQ(U32At(h, 4), 0xFFFFFFFFu);
        EXPECT_EQ(U32At(h, h.size() - 4), 0xFFFFFFFFu);
    }
}

namespace {
std::vector<std::uint64_t> ScheduledFrames(std::uint64_t total) {
    TProgressSchedule schedule(total);
    std::vector<std::uint64_t> due;
    for (std::uint64_t frame = 1; frame <= total; ++frame)
        if (schedule.Due(frame)) due.push_back(frame);
    return due;
}
} // namespace

TEST(ProgressSchedule, ShortFilesShowEveryFrame) {
    const auto due = ScheduledFrames(78);
    ASSERT_EQ(due.size(), 78u);
    EXPECT_EQ(due.front(), 1u);
    EXPECT_EQ(due.back(), 78u);
}

TEST(ProgressSchedule, LongFilesShowAboutAThousandLinesOneEachThousandth) {
    for (const std::uint64_t total : {1000ull, 1001ull, 11484ull, 123457ull, 10'000'000ull}) {
        const auto due = ScheduledFrames(total);
        EXPECT_LE(due.size(), 1001u) << total;
        EXPECT_GE(due.size(), 1000u) << total;
        EXPECT_EQ(due.front(), 1u);
        EXPECT_EQ(due.back(), total);
        // Each line after the first is the first frame that reaches its thousandth.
        for (std::size_t i = 1; i < due.size(); ++i) {
            const std::uint64_t k = due[i] * 1000 / total;
            EXPECT_GT(k, due[i - 1] * 1000 / total) << total << " at " << due[i];
            EXPECT_LT((due[i] - 1) * 1000 / total, k) << total << " at " << due[i];
        }
    }
}

TEST(ProgressSchedule, FramesBeyondAWrongTotalAndAnUnknownTotalStayBounded) {
    TProgressSchedule wrongTotal(100);
    int lines = 0;
    for (std::uint64_t frame = 1; frame <= 100000; ++frame)
        lines += wrongTotal.Due(frame);
    EXPECT_EQ(lines, 100);
    TProgressSchedule unknown(0);
    lines = 0;
    for (std::uint64_t frame = 1; frame <= 100000; ++frame)
        lines += unknown.Due(frame);
    EXPECT_EQ(lines, 101);
}

TEST(ProgressLines, ExactForms) {
    EXPECT_EQ(FormatProgressLine(1, 4711, 128), "\rFrame#     1/4711   128 kbps");
    EXPECT_EQ(FormatProgressLine(4711, 4711, 32), "\rFrame#  4711/4711    32 kbps");
    EXPECT_EQ(FormatProgressLine(999999, 1234567, 320), "\rFrame#999999/1234567 320 kbps");
    EXPECT_EQ(FormatInputLine("a b.mp3", 44100, 2, 1, 3),
              "input:  a b.mp3  (44.1 kHz, 2 channels, MPEG-1 Layer III)");
    EXPECT_EQ(FormatInputLine("x", 8000, 1, 25, 3), "input:  x  (8 kHz, 1 channel, MPEG-2.5 Layer III)");
    EXPECT_EQ(FormatInputLine("x", 48000, 2, 2, 1), "input:  x  (48 kHz, 2 channels, MPEG-2 Layer I)");
    EXPECT_EQ(FormatOutputLine("o.wav"), "output: o.wav  (16 bit, Microsoft WAVE)");
    EXPECT_EQ(FormatBitstreamProblem("lost sync"), "bitstream problem: lost sync\n");
    EXPECT_EQ(BitrateFromFrameSize(1044, 44100, 1152), 320);
    EXPECT_EQ(BitrateFromFrameSize(1045, 44100, 1152), 320);
    EXPECT_EQ(BitrateFromFrameSize(0, 44100, 1152), 0);
    for (const auto& [rate, text] : std::vector<std::pair<long, std::string>>{
             {44100, "44.1"}, {22050, "22.05"}, {11025, "11.025"}, {8000, "8"}, {16000, "16"}, {32000, "32"}})
        EXPECT_EQ(FormatRate(rate), text);
}

TEST(Arguments, DecodeHelpAndMistakes) {
    EXPECT_EQ(ParseArguments({"--help"}).Command, TCommand::Help);
    EXPECT_EQ(ParseArguments({"-h"}).Command, TCommand::Help);
    // The thread count goes before the rest or after it (where the batch window puts it); without
    // it, or with 0, there is one thread per processor (six here). Files named like the option stay
    // file names where the count is given too.
    struct TCase {
        std::vector<std::string> Args;
        std::string Input, Output;
        unsigned Threads;
    };
    for (const TCase& c :
         {TCase{{"--decode", "in.mp3", "out.wav"}, "in.mp3", "out.wav", 6},
          TCase{{"--threads", "3", "--decode", "in.mp3", "out.wav"}, "in.mp3", "out.wav", 3},
          TCase{{"--decode", "in.mp3", "out.wav", "--threads", "3"}, "in.mp3", "out.wav", 3},
          TCase{{"--decode", "in.mp3", "out.wav", "--threads", "0"}, "in.mp3", "out.wav", 6},
          TCase{{"--decode", "--threads", "out.wav"}, "--threads", "out.wav", 6},
          TCase{{"--decode", "--threads", "out.wav", "--threads", "2"}, "--threads", "out.wav", 2},
          TCase{{"--threads", "2", "--decode", "--threads", "out.wav"}, "--threads", "out.wav", 2},
          TCase{{"--decode", "in.mp3", "--threads", "--threads", "2"}, "in.mp3", "--threads", 2}}) {
        const TArguments a = ParseArguments(c.Args);
        EXPECT_EQ(a.Command, TCommand::Decode) << a.Problem;
        EXPECT_EQ(a.InputPath, c.Input);
        EXPECT_EQ(a.OutputPath, c.Output);
        EXPECT_EQ(ThreadsToUse(a, 6), c.Threads) << c.Args.size() << " arguments, input " << c.Input;
    }
    TArguments a = ParseArguments({"--decode", "in.mp3", "out.wav"});
    EXPECT_FALSE(a.NoTags);
    EXPECT_FALSE(a.Overwrite);
    // --no-tags and --overwrite go first or last; an output named like them stays a name.
    for (const auto& [line, noTags, overwrite, output] :
         std::vector<std::tuple<std::vector<std::string>, bool, bool, std::string>>{
             {{"--decode", "in.mp3", "out.wav", "--no-tags"}, true, false, "out.wav"},
             {{"--no-tags", "--decode", "in.mp3", "out.wav", "--threads", "2"}, true, false, "out.wav"},
             {{"--decode", "in.mp3", "out.wav", "--threads", "2", "--no-tags"}, true, false, "out.wav"},
             {{"--decode", "in.mp3", "--no-tags"}, false, false, "--no-tags"},
             {{"--decode", "in.mp3", "out.wav", "--overwrite"}, false, true, "out.wav"},
             {{"--overwrite", "--decode", "in.mp3", "out.wav", "--threads", "2", "--no-tags"},
              true,
              true,
              "out.wav"},
             {{"--decode", "in.mp3", "out.wav", "--no-tags", "--overwrite"}, true, true, "out.wav"},
             {{"--threads", "1", "--overwrite", "--decode", "a", "b", "--no-tags"}, true, true, "b"},
             {{"--decode", "in.mp3", "--overwrite"}, false, false, "--overwrite"}}) {
        a = ParseArguments(line);
        EXPECT_EQ(a.Command, TCommand::Decode) << line.size();
        EXPECT_EQ(a.NoTags, noTags) << line.size();
        EXPECT_EQ(a.Overwrite, overwrite) << line.size();
        EXPECT_EQ(a.OutputPath, output);
    }
    // The output's options go before --decode or after the names; files named like them stay names.
    for (const auto& [line, output, spec] :
         std::vector<std::tuple<std::vector<std::string>, std::string, TOutputSpec>>{
             {{"--decode", "in.mp3", "out.wav"}, "out.wav", {}},
             {{"--decode", "in.mp3", "out.wav", "--cd"}, "out.wav", {TSampleFormat::S16, 44100, 2}},
             {{"--cd", "--decode", "in.mp3", "out.wav", "--threads", "2"},
              "out.wav",
              {TSampleFormat::S16, 44100, 2}},
             {{"--decode", "in.mp3", "out.wav", "--threads", "2", "--no-tags", "--format", "s24"},
              "out.wav",
              {TSampleFormat::S24, 0, 0}},
             {{"--format", "f32", "--decode", "in.mp3", "out.wav", "--rate", "192000", "--channels", "1"},
              "out.wav",
              {TSampleFormat::F32, 192000, 1}},
             {{"--decode", "in.mp3", "out.wav", "--rate", "8000", "--format", "s16"},
              "out.wav",
              {TSampleFormat::S16, 8000, 0}},
             {{"--decode", "a", "b", "--overwrite", "--threads", "1", "--cd"},
              "b",
              {TSampleFormat::S16, 44100, 2}},
             {{"--decode", "in.mp3", "--cd"}, "--cd", {}},
             {{"--decode", "--format", "s24"}, "s24", {}}}) {
        a = ParseArguments(line);
        EXPECT_EQ(a.Command, TCommand::Decode) << a.Problem;
        EXPECT_EQ(a.OutputPath, output);
        EXPECT_TRUE(a.Output == spec) << line.size() << " " << output;
    }
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{},
                                               {"--decode"},
                                               {"--decode", "in.mp3"},
                                               {"--decode", "a", "b", "c"},
                                               {"--decode", "", "b"},
                                               {"in.mp3", "out.wav"},
                                               {"--help", "x"},
                                               {"--no-tags"},
                                               {"--no-tags", "--help"},
                                               {"--decode", "a", "--no-tags", "b"},
                                               {"--overwrite"},
                                               {"--decode", "a", "--overwrite", "b"},
                                               {"--decode", "--threads", "2", "in.mp3", "out.wav"},
                                               {"--decode", "in.mp3", "out.wav", "--threads"},
                                               {"--threads", "two", "--decode", "in.mp3", "out.wav"},
                                               {"--decode", "a", "b", "--format", "s32"},
                                               {"--decode", "a", "b", "--format"},
                                               {"--decode", "a", "b", "--rate", "7999"},
                                               {"--decode", "a", "b", "--rate", "192001"},
                                               {"--decode", "a", "b", "--rate", "44.1"},
                                               {"--decode", "a", "b", "--channels", "3"},
                                               {"--decode", "a", "b", "--channels", "0"},
                                               {"--cd", "--decode", "a", "b", "--format", "f32"},
                                               {"--decode", "a", "b", "--cd", "--rate", "48000"},
                                               {"--cd", "--help"},
                                               {"--format", "s24", "--version"}}) {
        a = ParseArguments(wrong);
        EXPECT_EQ(a.Command, TCommand::UsageError) << wrong.size();
        EXPECT_FALSE(a.Problem.empty());
    }
    // The message names what is wrong.
    EXPECT_EQ(ParseArguments({"--decode", "a", "b", "--overwrite", "c"}).Problem.find("\"c\" after the"), 0u);
    EXPECT_EQ(ParseArguments({"--no-tags", "--threads", "2"}).Problem.find("nothing to decode"), 0u);
}

TEST(MpegHeader, FrameLengthsOfEachVersionAndLayer) {
    // MPEG-1 layer III 128 kbps 44.1 kHz, without and with padding.
    EXPECT_EQ(ParseMpegHeader(0xFFFB9044)->FrameBytes, 417u);
    EXPECT_EQ(ParseMpegHeader(0xFFFB9244)->FrameBytes, 418u);
    // MPEG-2 layer III 64 kbps 22.05 kHz: 576 samples.
    const auto mpeg2 = ParseMpegHeader(0xFFF38044);
    ASSERT_TRUE(mpeg2);
    EXPECT_EQ(mpeg2->Version, 2);
    EXPECT_EQ(mpeg2->SamplesPerFrame, 576);
    EXPECT_EQ(mpeg2->FrameBytes, 72u * 64000 / 22050);
    // MPEG-2.5 layer III 8 kHz mono, 16 kbps.
    const auto mpeg25 = ParseMpegHeader(0xFFE328C4);
    ASSERT_TRUE(mpeg25);
    EXPECT_EQ(mpeg25->Version, 25);
    EXPECT_EQ(mpeg25->SampleRate, 8000);
    EXPECT_EQ(mpeg25->Channels, 1);
    // Layer II 192 kbps 48 kHz, layer I 32 kbps 32 kHz with padding (4-byte slots).
    EXPECT_EQ(ParseMpegHeader(0xFFFDA404)->FrameBytes, 576u);
    EXPECT_EQ(ParseMpegHeader(0xFFFF1A00)->FrameBytes, 48u + 4);
    // Free format: the length is not in the header.
    EXPECT_EQ(ParseMpegHeader(0xFFFB0064)->FrameBytes, 0u);
    // Reserved version, reserved layer, bad bitrate, reserved rate, no sync.
    for (const std::uint32_t bad : {0xFFEB9044u, 0xFFF99044u, 0xFFFBF044u, 0xFFFB9C44u, 0xFFD89044u})
        EXPECT_FALSE(ParseMpegHeader(bad)) << std::hex << bad;
}

TEST(MpegHeader, TagSizesAndWavDetection) {
    const std::uint8_t id3[10] = {'I', 'D', '3', 3, 0, 0, 0, 0, 1, 5};
    EXPECT_EQ(Id3v2TagSize(id3, 10), 10u + 128 + 5);
    std::uint8_t withFooter[10];
    std::memcpy(withFooter, id3, 10);
    withFooter[5] = 0x10;
    EXPECT_EQ(Id3v2TagSize(withFooter, 10), 10u + 128 + 5 + 10);
    std::uint8_t badSize[10];
    std::memcpy(badSize, id3, 10);
    badSize[7] = 0x80;
    EXPECT_EQ(Id3v2TagSize(badSize, 10), 0u);

    const auto pcm = BuildWavHeader(TWavFormat{}, TWavLayout::Plain, 0);
    EXPECT_TRUE(IsNonMpegWav(pcm.data(), pcm.size()));
    auto mp3InWav = pcm;
    mp3InWav[20] = 0x55;
    EXPECT_FALSE(IsNonMpegWav(mp3InWav.data(), mp3InWav.size()));
    const std::uint8_t mpeg[4] = {0xFF, 0xFB, 0x90, 0x44};
    EXPECT_FALSE(IsNonMpegWav(mpeg, 4));
}

namespace {

// An APEv2 header or footer: version, size of items and footer, item count, flags.
std::string ApeBlock(std::uint32_t version, std::uint32_t size, std::uint32_t items, std::uint32_t flags) {
    std::string h = "APETAGEX";
    for (const std::uint32_t field : {version, size, items, flags})
        for (int shift = 0; shift < 32; shift += 8)
            h += static_cast<char>((field >> shift) & 0xFF);
    return h + std::string(8, '\0');
}

std::uint64_t TailOf(const std::string& bytes) {
    TMemorySource source(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    TSourceWindow window(source);
    return TrailingTagsStart(window);
}

} // namespace

TEST(TagSpans, TheTagsThatEndAFileAreReadBackByTheirFraming) {
    const std::string audio(1000, '\xAA'), v1 = "TAG" + std::string(125, ' ');
    const std::string item = std::string("\x03\0\0\0\0\0\0\0Key\0abc", 15);
    const std::string withHeader =
        ApeBlock(2000, 47, 1, 0xA0000000u) + item + ApeBlock(2000, 47, 1, 0x80000000u);
    const std::string lyrics = "LYRICSBEGININD0000210LYR00011Sing along";
    const std::string lyricsV2 = lyrics + "0000" + std::to_string(lyrics.size()) + "LYRICS200";
    // Each case: the bytes after the audio, and how many of them are tags.
    const std::vector<std::pair<std::string, std::size_t>> cases{
        {"", 0},
        {v1, 128},
        {withHeader + v1, 207},
        {item + ApeBlock(1000, 47, 1, 0) + v1, 175},
        {lyricsV2 + v1, lyricsV2.size() + 128},
        {"LYRICSBEGIN000011LYRICS200", 26},
        {"LYRICSBEGINLYRICSEND" + v1, 148},
        // Framing that does not hold: a footer whose items do not fill it, a version of no APEv2 tag,
        // a header that does not match the footer, a Lyrics3 size that misses its start.
        {"x" + item + ApeBlock(2000, 48, 1, 0), 0},
        {item + ApeBlock(3000, 47, 1, 0), 0},
        {ApeBlock(2000, 40, 1, 0xA0000000u) + item + ApeBlock(2000, 47, 1, 0x80000000u), 0},
        {lyrics + "000050LYRICS200", 0},
    };
    for (const auto& [tags, length] : cases)
        EXPECT_EQ(TailOf(audio + tags), audio.size() + tags.size() - length) << tags;
}

TEST(StreamScan, FramesToDecodeCountsAsLibmpg123NumbersThem) {
    const std::string bytes = ReadWholeFile(FixturePath("cbr_stereo_44k.mp3"));
    TMemorySource source(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const TStreamScan scan = ScanStream(source);
    ASSERT_EQ(scan.CountedFrames, 72u); // the Info frame and 71 audio frames
    const auto& at = scan.Marks.Leading;
    const auto frameAt = [&](std::size_t i) { return static_cast<std::int64_t>(at.at(i)); };
    EXPECT_EQ(FramesToDecode(scan, frameAt(1), 0), 71u) << "past the Info frame, numbered from 0";
    EXPECT_EQ(FramesToDecode(scan, frameAt(0), 0), 72u) << "the Info frame taken for audio";
    EXPECT_EQ(FramesToDecode(scan, frameAt(3), 0), 0u) << "frames passed over before the first";
    EXPECT_EQ(FramesToDecode(scan, frameAt(1) + 1, 0), 0u) << "no frame of the scan";
}

TEST(FileSource, ReadsWhatIsAppendedAfterItOpenedAndTellsTheChange) {
    TTempDir dir;
    const std::string path = dir.WriteFile("growing.mp3", std::string(100, 'a'));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    TFileSource source(file);
    char buffer[200];
    EXPECT_EQ(source.ReadAt(0, buffer, sizeof buffer), 100u);
    EXPECT_FALSE(source.Changed());
    QFile more(QString::fromStdString(path));
    ASSERT_TRUE(more.open(QIODevice::Append));
    more.write(std::string(50, 'b').c_str(), 50);
    more.close();
    EXPECT_EQ(source.Size(), 150u);
    EXPECT_EQ(source.ReadAt(100, buffer, sizeof buffer), 50u);
    EXPECT_EQ(buffer[49], 'b');
    EXPECT_TRUE(source.Changed());
    std::fclose(file);
}

TEST(WavWriter, AFullDiskIsToldApartAndLeavesNoOutput) {
    TTempDir dir;
    const std::string out = dir.Path() + "out.wav";
    TWavWriter writer(out, TWavFormat{44100, 2, 16}, TWavLayout::Plain,
                      [](const std::string&) { return std::fopen("/dev/full", "wb"); });
    const std::vector<std::uint8_t> audio(3 << 20);
    EXPECT_FALSE(writer.Append(audio.data(), audio.size()) && writer.Finish());
    EXPECT_TRUE(writer.DiskFull());
    EXPECT_NE(writer.Error().find(std::strerror(ENOSPC)), std::string::npos) << writer.Error();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
}

// The tags follow the audio, after its pad byte when its length is odd, and the sizes count them; in
// RF64 the ds64 chunk does. Where a plain header has no room left for them, the audio goes alone.
TEST(WavWriter, TagChunksFollowTheAudioAndTheSizesCountThem) {
    TTempDir dir;
    const std::vector<std::uint8_t> tags = {'i', 'd', '3', ' ', 3, 0, 0, 0, 'I', 'D', '3', 0};
    const std::uint8_t audio[3] = {1, 2, 3};
    struct TCase {
        TWavLayout Layout;
        std::uint64_t DataBytes;
        bool Kept;
    };
    for (const TCase& c :
         {TCase{TWavLayout::Extensible, 5 * GiB4 + 3, true}, TCase{TWavLayout::Plain, 1001, true},
          TCase{TWavLayout::Plain, GiB4 - 48, false}}) {
        const std::string out = dir.Path() + "out.wav";
        TWavWriter writer(out, TWavFormat{}, c.Layout);
        ASSERT_TRUE(writer.Begin());
        // Only the audio's last bytes are written: the rest of a long file stays a hole.
        ASSERT_TRUE(writer.WriteAt(c.DataBytes - 3, audio, 3));
        writer.SetDataBytes(c.DataBytes);
        writer.SetTrailer(tags);
        ASSERT_TRUE(writer.Finish()) << writer.Error();
        EXPECT_EQ(writer.TrailerDropped(), !c.Kept);

        QFile file(QString::fromStdString(out));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const std::uint64_t audioEnd = HeaderSize(c.Layout) + c.DataBytes;
        const std::uint64_t size = audioEnd + (c.Kept ? c.DataBytes % 2 + tags.size() : 0);
        EXPECT_EQ(std::uint64_t(file.size()), size) << c.DataBytes;
        const QByteArray head = file.read(HeaderSize(c.Layout));
        const std::vector<std::uint8_t> h(head.begin(), head.end());
        const bool rf64 = TagAt(h, 0) == "RF64";
        EXPECT_EQ(rf64, c.DataBytes > GiB4);
        EXPECT_EQ(rf64 ? U64At(h, 20) : U32At(h, 4), size - 8);
        EXPECT_EQ(rf64 ? U64At(h, 28) : U32At(h, h.size() - 4), c.DataBytes);
        ASSERT_TRUE(file.seek(static_cast<qint64>(audioEnd)));
        const QByteArray rest = file.readAll();
        if (c.Kept) {
            EXPECT_EQ(rest, QByteArray(c.DataBytes % 2, '\0') +
                                QByteArray(reinterpret_cast<const char*>(tags.data()), int(tags.size())));
        }
        file.close();
        QFile::remove(QString::fromStdString(out));
    }
}

namespace {
// The partial file by name, as where the file system cannot make a file without one.
std::FILE* OpenNamed(const std::string& path) {
    return std::fopen(path.c_str(), "wb");
}
} // namespace

// A file that takes the output's name while the audio is written (another run's, an earlier
// entry's) stays as it is unless the writer was told that it may be replaced; so with the file
// without a name and with the named partial file.
TEST(WavWriter, TheFinishedFileReplacesOnlyWhatItWasToldItMayReplace) {
    const std::vector<std::uint8_t> audio(4000, 7);
    for (const TWavWriter::TOpener open : {TWavWriter::TOpener(nullptr), &OpenNamed})
        for (const bool mayReplace : {false, true}) {
            TTempDir dir;
            const std::string out = dir.Path() + "out.wav";
            TWavWriter writer(out, TWavFormat{44100, 2, 16}, TWavLayout::Plain, open, mayReplace);
            ASSERT_TRUE(writer.Append(audio.data(), audio.size()));
            EXPECT_EQ(writer.Unnamed(), open == nullptr);
            EXPECT_EQ(FindPartialOutputs(out).size(), open ? 1u : 0u);
            dir.WriteFile("out.wav", "another run's output");
            EXPECT_EQ(writer.Finish(), mayReplace) << writer.Error();
            EXPECT_EQ(writer.OutputTaken(), !mayReplace);
            writer.Discard();
            const std::string kept = dir.ReadFile("out.wav");
            EXPECT_EQ(kept.size(),
                      mayReplace ? 44 + audio.size() : std::string("another run's output").size());
            EXPECT_TRUE(FindPartialOutputs(out).empty());
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
        }
    // A replace that cannot be made (a folder took the name) leaves no partial name behind either.
    for (const TWavWriter::TOpener open : {TWavWriter::TOpener(nullptr), &OpenNamed}) {
        TTempDir dir;
        const std::string out = dir.Path() + "out.wav";
        TWavWriter writer(out, TWavFormat{44100, 2, 16}, TWavLayout::Plain, open, true);
        ASSERT_TRUE(writer.Append(audio.data(), audio.size()));
        dir.MakeDir("out.wav");
        EXPECT_FALSE(writer.Finish());
        writer.Discard();
        EXPECT_TRUE(FindPartialOutputs(out).empty());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    }
}

namespace {
int RefusedCall = 0, RenamesMade = 0; // the errno of the refused naming calls; the renames made
int Refuse(const char*, const char*) {
    errno = RefusedCall;
    return -1;
}
int CountedRename(const char* from, const char* to) {
    ++RenamesMade;
    return std::rename(from, to);
}
// A folder "locked" refuses every file; elsewhere a name with ':' is refused with the error a FAT
// drive through FUSE gives, and other names go through.
std::FILE* RefuseSome(const std::string& path) {
    const bool locked = path.find("locked") != std::string::npos, colon = path.find(':') != std::string::npos;
    errno = locked ? EACCES : EPERM;
    return locked || colon ? nullptr : std::fopen(path.c_str(), "wb");
}
} // namespace

// Drives without a no-replace rename or hard links (FAT, exFAT, shares) get the file by a rename
// once its name is seen free; a taken name stays as it is. Other errors are no reason to fall back.
TEST(WavWriter, WithoutNoReplaceRenameOrLinksTheNameIsTakenOnlyWhereFree) {
    const std::vector<std::uint8_t> audio(4000, 7);
    for (const int refused : {EINVAL, EPERM, EOPNOTSUPP, ENOSYS, EACCES})
        for (const bool taken : {false, true}) {
            TTempDir dir;
            const std::string out = dir.Path() + "out.wav";
            RefusedCall = refused, RenamesMade = 0;
            TWavWriter writer(out, TWavFormat{44100, 2, 16}, TWavLayout::Plain, &OpenNamed);
            writer.SetNamingCalls({&Refuse, &Refuse, &CountedRename});
            ASSERT_TRUE(writer.Append(audio.data(), audio.size()));
            if (taken) dir.WriteFile("out.wav", "kept");
            const bool fallback = refused != EACCES;
            EXPECT_EQ(writer.Finish(), fallback && !taken) << refused << writer.Error();
            EXPECT_EQ(writer.OutputTaken(), taken && fallback) << refused;
            EXPECT_EQ(RenamesMade, fallback && !taken ? 1 : 0) << refused;
            writer.Discard();
            EXPECT_EQ(dir.ReadFile("out.wav").size(), taken ? 4u : fallback ? 44 + audio.size() : 0u);
            EXPECT_TRUE(FindPartialOutputs(out).empty());
        }
}

// A folder that refuses every file stops the batch; a name that only its drive refuses fails that
// file alone, with the system's reason. Told apart whoever runs the tests, root included.
TEST(WavWriter, ARefusedNameIsToldApartFromARefusedFolder) {
    TTempDir dir;
    const std::vector<std::uint8_t> audio(10, 1);
    for (const auto& [name, folderRefused] :
         {std::tuple{"locked/out.wav", true}, std::tuple{"a:b.wav", false}}) {
        TWavWriter writer(dir.Path() + name, TWavFormat{}, TWavLayout::Plain, &RefuseSome);
        EXPECT_FALSE(writer.Append(audio.data(), audio.size()));
        EXPECT_EQ(writer.FolderRefused(), folderRefused) << name;
        EXPECT_NE(writer.Error().find(std::strerror(folderRefused ? EACCES : EPERM)), std::string::npos);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

// A killed decoder's partial file is cleared by the next decoder of its output, by its name; one
// that a running decoder holds is left to it, and the next writes under its own name.
TEST(WavWriter, AKilledDecodersPartialFileIsClearedAndAHeldOneLeftAlone) {
    TTempDir dir;
    const std::string out = dir.Path() + "out.wav", shared = SharedPartialPath(out);
    dir.WriteFile(".out.wav.part", "a killed decoder's audio");
    std::string first, second;
    std::FILE* held = OpenPartialFile(out, dir.Path() + "own1", first);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(first, shared);
    EXPECT_EQ(dir.ReadFile(".out.wav.part"), "");
    std::FILE* other = OpenPartialFile(out, dir.Path() + "own2", second);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(second, dir.Path() + "own2");
    ClearUnheldPartial(out);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(shared))) << "held";
    std::fclose(held);
    std::fclose(other);
    ClearUnheldPartial(out);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(shared)));
}

TEST(WavWriter, APartialFileSwappedForALinkNeverGetsTheOutputsName) {
    TTempDir dir;
    const std::string out = dir.Path() + "out.wav", elsewhere = dir.WriteFile("elsewhere", "not ours");
    TWavWriter writer(out, TWavFormat{44100, 2, 16}, TWavLayout::Plain, &OpenNamed);
    const std::vector<std::uint8_t> audio(4000);
    ASSERT_TRUE(writer.Append(audio.data(), audio.size()));
    const std::vector<std::string> partials = FindPartialOutputs(out);
    ASSERT_EQ(partials.size(), 1u);
    ASSERT_EQ(std::remove(partials[0].c_str()), 0);
    ASSERT_TRUE(QFile::link(QString::fromStdString(elsewhere), QString::fromStdString(partials[0])));
    EXPECT_FALSE(writer.Finish());
    EXPECT_FALSE(writer.DiskFull());
    EXPECT_NE(writer.Error().find("was replaced by another file"), std::string::npos) << writer.Error();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
}
