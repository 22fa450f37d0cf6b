// Damaged streams and bad inputs, made at run time from the stored test files.
#include "decoder/mpegheader.h"
#include "decoder/partname.h"
#include "decoder/wavheader.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <ostream>

#include <QFile>
#include <QProcess>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <unistd.h>
#endif

namespace {

// Deterministic noise, so a failure can be reproduced.
std::string Noise(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

bool HasLineStarting(const TDecoderRun& run, const std::string& prefix) {
    for (const auto& line : run.ErrLines())
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// Offset of frame `frame` (counted from 1) of a fixed-bitrate file.
std::size_t FrameOffset(const std::string& s, int frame) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(s.data());
    std::size_t at = Id3v2TagSize(data, s.size());
    for (int i = 1; i < frame && at + 4 <= s.size(); ++i)
        at += ParseMpegHeader(ReadBigEndian32(data + at))->FrameBytes;
    return at;
}

// The file with one byte of the header of frame `frame` (counted from 1) set to `value`.
std::string WithHeaderByte(std::string s, int frame, int byte, char value) {
    s.at(FrameOffset(s, frame) + byte) = value;
    return s;
}

// The bytes of an ID3v2 header (version 4, no flags) whose size field claims `size` bytes.
std::string TagHeader(std::uint32_t size) {
    std::string h = std::string("ID3\x04\0\0", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        h += static_cast<char>((size >> shift) & 0x7F);
    return h;
}

// A lone tag header at the frame boundary a tenth into the stream, claiming far more than follows.
std::string StrayTagHeader(const std::string& s) {
    const std::size_t at = FrameOffset(s, 1 + static_cast<int>(s.size() / 10 / 418));
    return s.substr(0, at) + TagHeader(0x0FFFFFFF) + s.substr(at);
}

// An APEv2 header or footer of a tag whose items and footer take `size` bytes.
std::string ApeBlock(std::uint32_t size, std::uint32_t items, std::uint32_t flags) {
    std::string h = "APETAGEX";
    for (const std::uint32_t field : {2000u, size, items, flags})
        for (int shift = 0; shift < 32; shift += 8)
            h += static_cast<char>((field >> shift) & 0xFF);
    return h + std::string(8, '\0');
}

// An APEv2 tag of one item and no header, as many writers leave it at the end of a file.
std::string ApeTagWithoutHeader(const std::string& value) {
    std::string item;
    for (int shift = 0; shift < 32; shift += 8)
        item += static_cast<char>((value.size() >> shift) & 0xFF);
    item += std::string(4, '\0') + "Cover Art (Front)" + std::string(1, '\0') + value;
    return item + ApeBlock(static_cast<std::uint32_t>(item.size() + 32), 1, 0);
}

// `block` inserted at the fifth frame.
std::string AtFifthFrame(const std::string& s, const std::string& block) {
    const std::size_t at = FrameOffset(s, 5);
    return s.substr(0, at) + block + s.substr(at);
}

// An APEv2 header at the fifth frame whose size claims `size` bytes: libmpg123 skips them in silence.
std::string ApeHeaderClaiming(const std::string& s, std::uint32_t size) {
    return AtFifthFrame(s, ApeBlock(size, 0, 0xA0000000u));
}

// An ID3v2.4 tag whose one private frame holds `data`: copies of audio frames, say.
std::string Id3v2WithPrivateFrame(const std::string& data) {
    const std::string body = std::string("owner", 6) + data;
    const std::string frame =
        "PRIV" + TagHeader(static_cast<std::uint32_t>(body.size())).substr(6) + std::string(2, '\0') + body;
    return TagHeader(static_cast<std::uint32_t>(frame.size())) + frame;
}

struct TDamage {
    const char* Name;
    const char* Source;
    std::string (*Make)(const std::string& source);
    const char* Says = ""; // part of the problem line, where it names the place
    int Exit = 3;          // 8: the damage is passed over, named in a warning
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TDamage& value, std::ostream* out) {
    *out << value.Name;
}

const TDamage Damages[] = {
    {"CutInsideAFrame", "cbr_stereo_44k.mp3", [](const std::string& s) { return s.substr(0, 20000); },
     "the source is incomplete", 8},
    {"CutInsideTheLastFrame", "cbr_stereo_44k.mp3",
     [](const std::string& s) { return s.substr(0, s.size() - 100); }, "the file ends inside a frame", 8},
    {"CutWithoutFrameCountHeader", "layer2_48k.mp3", [](const std::string& s) { return s.substr(0, 20000); },
     "(bytes 19584 to 20000)", 8},
    // A free-format bitrate in one header of a fixed-rate stream: that header gives no length.
    // More audio follows at another sample rate: not trailing data to pass over.
    {"SampleRateChangesPartWay", "cbr_stereo_44k.mp3",
     [](const std::string& s) { return s + ReadWholeFile(FixturePath("mpeg2_22k.mp3")); }},
    {"HeaderWithoutALength", "cbr_stereo_44k.mp3",
     [](const std::string& s) { return WithHeaderByte(s, 11, 2, 0); }, "passed over", 8},
    {"OverwrittenInTheMiddle", "cbr_stereo_44k.mp3",
     [](const std::string& s) { return s.substr(0, 15000) + Noise(400, 11) + s.substr(15400); },
     "passed over", 8},
    // libmpg123 would pass over the rest of the audio as the "tag": Layer II ends there in silence.
    {"StrayTagHeaderInLayerII", "layer2_48k.mp3", StrayTagHeader},
    {"StrayTagHeaderInLayerIII", "cbr_stereo_44k.mp3", StrayTagHeader},
    // Layer II frames of 576 bytes and no Info frame: only the scan knows the frames skipped.
    {"ApeHeaderClaimingThreeFrames", "layer2_48k.mp3",
     [](const std::string& s) { return ApeHeaderClaiming(s, 3 * 576); }, "bytes 2304 to 2336 are no audio",
     8},
    {"ApeHeaderClaimingPastTheEnd", "layer2_48k.mp3",
     [](const std::string& s) { return ApeHeaderClaiming(s, 1 << 20); }, "bytes 2304 to 2336", 8},
    // "TAG" and 20 bytes before the last frame: the 128 bytes of an ID3v1 tag end inside that frame.
    {"ShortId3v1BeforeTheLastFrame", "layer2_48k.mp3",
     [](const std::string& s) {
         const std::size_t at = FrameOffset(s, 42);
         return s.substr(0, at) + "TAG" + std::string(20, 'x') + s.substr(at);
     },
     "bytes 23616 to 23639 are no audio", 8},
    {"CutLastFrameBehindAnId3v1Tag", "layer2_48k.mp3",
     [](const std::string& s) { return s.substr(0, s.size() - 50) + "TAG" + std::string(125, 'x'); },
     "the file ends inside a frame (bytes 23616 to 24142)", 8},
    {"JunkAfterTheFirstFrame", "layer2_48k.mp3",
     [](const std::string& s) { return s.substr(0, 576) + Noise(300, 5) + s.substr(576); },
     "bytes 576 to 876 are no audio", 8},
};

class DamagedStream : public ::testing::TestWithParam<TDamage> {};

} // namespace

TEST_P(DamagedStream, ReportsABitstreamProblemAndKeepsAConsistentPartialFile) {
    TTempDir dir;
    const std::string bytes = GetParam().Make(ReadWholeFile(FixturePath(GetParam().Source)));
    const std::string in = dir.WriteFile("damaged.mp3", bytes), out = dir.Path() + "damaged.wav";
    const TDecoderRun run = RunDecoder({"--decode", in, out});
    EXPECT_EQ(run.ExitCode, GetParam().Exit) << run.Err;
    const std::string word = GetParam().Exit == 3 ? "bitstream problem: " : "warning: ";
    EXPECT_NE(run.ErrLines().back().find(GetParam().Says), std::string::npos) << run.Err;
    EXPECT_EQ(run.ErrLines().back().compare(0, word.size(), word), 0) << "the problem is the last word";
    EXPECT_EQ(HasLineStarting(run, "bitstream problem: "), GetParam().Exit == 3) << run.Err;
    // What was decoded before the damage stays, with sizes that match the file.
    const TWavInfo wav = ReadWav(ReadWholeFile(out));
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_GT(wav.Samples(), 0u);
    EXPECT_TRUE(FindPartialOutputs(out).empty());
    EXPECT_EQ(ReadWholeFile(in), bytes);
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedStream, ::testing::ValuesIn(Damages),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

// A Lyrics3 (version 2) tag followed by an ID3v1 tag, as older players leave behind the audio.
std::string Lyrics3AndId3v1() {
    const std::string lyrics = "LYRICSBEGININD0000210LYR00011Sing along";
    const std::string size = std::to_string(lyrics.size());
    return lyrics + std::string(6 - size.size(), '0') + size + "LYRICS200" + "TAG" + std::string(125, ' ');
}

// Bytes after the last whole frame that hold no further frame: the audio is intact.
const TDamage TrailingData[] = {
    {"ZeroPadding", "cbr_stereo_44k.mp3", [](const std::string& s) { return s + std::string(2000, '\0'); }},
    {"Lyrics3BeforeId3v1", "cbr_stereo_44k.mp3", [](const std::string& s) { return s + Lyrics3AndId3v1(); }},
    {"Junk", "vbr_stereo_44k.mp3", [](const std::string& s) { return s + Noise(3000, 7); }},
    // A whole tag between frames, which libmpg123 passes over as the scan does.
    {"Id3v1TagBetweenFrames", "layer2_48k.mp3",
     [](const std::string& s) { return AtFifthFrame(s, "TAG" + std::string(125, 'x')); }},
    // A leading ID3v2 tag whose frames fill it, one ending in copies of audio frames: a tag.
    {"LeadingId3v2TagHoldingFrames", "layer2_48k.mp3",
     [](const std::string& s) { return Id3v2WithPrivateFrame(s.substr(FrameOffset(s, 2), 3 * 576)) + s; }},
    // A tag without a header at the end, read back from its footer: the frames its item holds are
    // no audio that follows.
    {"ApeTagHoldingFramesAtTheEnd", "layer2_48k.mp3",
     [](const std::string& s) { return s + ApeTagWithoutHeader(s.substr(FrameOffset(s, 2), 3 * 576)); }},
    // The leading tag's size runs half-way into the audio: the frames chaining from inside it to
    // past its claimed end show where the audio starts.
    {"LeadingTagThatClaimsTooMuch", "id3v2_large.mp3",
     [](const std::string& s) {
         const auto tag = Id3v2TagSize(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
         return TagHeader(static_cast<std::uint32_t>(tag - 10 + (s.size() - tag) / 2)) + s.substr(10);
     }},
    // A tag header without a body, right in front of the audio.
    {"LeadingTagHeaderThatClaimsTwoFrames", "cbr_stereo_44k.mp3",
     [](const std::string& s) { return TagHeader(static_cast<std::uint32_t>(FrameOffset(s, 3))) + s; }},
    // The shortest run that shows it: one whole frame inside the claim, the next one across its end.
    {"LeadingTagThatClaimsAFrameAndAByte", "id3v2_large.mp3",
     [](const std::string& s) {
         return TagHeader(static_cast<std::uint32_t>(FrameOffset(s, 2) + 1 - 10)) + s.substr(10);
     }},
    {"LeadingTagThatClaimsExactlyAFrame", "id3v2_large.mp3",
     [](const std::string& s) {
         return TagHeader(static_cast<std::uint32_t>(FrameOffset(s, 2) - 10)) + s.substr(10);
     }},
};

class TrailingBytes : public ::testing::TestWithParam<TDamage> {};

} // namespace

TEST_P(TrailingBytes, EndTheStreamCleanlyWithTheWholeAudio) {
    TTempDir dir;
    const std::string source = ReadWholeFile(FixturePath(GetParam().Source));
    const std::string in = dir.WriteFile("tail.mp3", GetParam().Make(source));
    // The tags would follow the audio: the audio alone is compared.
    const TDecoderRun run = RunDecoder({"--decode", in, dir.Path() + "tail.wav", "--no-tags"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_FALSE(HasLineStarting(run, "bitstream problem")) << run.Err;
    ASSERT_EQ(
        RunDecoder({"--decode", dir.WriteFile("clean.mp3", source), dir.Path() + "clean.wav", "--no-tags"})
            .ExitCode,
        0);
    EXPECT_EQ(ReadWholeFile(dir.Path() + "tail.wav"), ReadWholeFile(dir.Path() + "clean.wav"));
}

INSTANTIATE_TEST_SUITE_P(Tails, TrailingBytes, ::testing::ValuesIn(TrailingData),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ChannelCountChange, DecodesOnInTheFirstFramesFormat) {
    TTempDir dir;
    const std::string stereo = ReadWholeFile(FixturePath("cbr_stereo_44k.mp3"));
    const std::string mono = ReadWholeFile(FixturePath("mono_44k.mp3"));
    for (const auto& [bytes, channels] : {std::pair{stereo + mono, 2}, std::pair{mono + stereo, 1}}) {
        const std::string in = dir.WriteFile("joined.mp3", bytes), out = dir.Path() + "joined.wav";
        const TDecoderRun run = RunDecoder({"--decode", in, out, "--overwrite"});
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        const TWavInfo wav = ReadWav(ReadWholeFile(out));
        ASSERT_TRUE(wav.Valid) << wav.Problem;
        EXPECT_EQ(wav.Channels, channels);
        EXPECT_GT(wav.Samples(), 150000u) << "both parts (about 80,000 samples each) decoded";
    }
}

namespace {

// A PCM WAV holding noise: its samples are full of bytes that look like MPEG frame headers.
std::string NoiseWav() {
    const std::string samples = Noise(4 * 44100, 3);
    const auto header = BuildWavHeader(TWavFormat{}, TWavLayout::Plain, samples.size());
    return std::string(header.begin(), header.end()) + samples;
}

std::string TagWithoutAudio() {
    const std::string tagged = ReadWholeFile(FixturePath("id3v2_large.mp3"));
    const auto size = Id3v2TagSize(reinterpret_cast<const std::uint8_t*>(tagged.data()), tagged.size());
    return tagged.substr(0, size);
}

struct TBadInput {
    const char* Name;
    std::string (*Bytes)();
    const char* Message; // part of the one line that says what is wrong
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TBadInput& value, std::ostream* out) {
    *out << value.Name;
}

const TBadInput BadInputs[] = {
    {"ZeroBytes", [] { return std::string(); }, "is empty"},
    {"Text", [] { return std::string("These are not the frames you are looking for.\n"); },
     "no MPEG audio found"},
    {"Picture", [] { return ReadWholeFile(FixturePath("picture.jpg")); }, "no MPEG audio found"},
    {"PcmWav", NoiseWav, "is a WAV file"},
    {"TagWithoutAudio", TagWithoutAudio, "no MPEG audio found"},
};

class BadInput : public ::testing::TestWithParam<TBadInput> {};

} // namespace

TEST_P(BadInput, OneLineNoOutputAndAnExistingOutputLeftAlone) {
    TTempDir dir;
    const std::string bytes = GetParam().Bytes();
    ASSERT_TRUE(bytes.empty() == (std::string(GetParam().Name) == "ZeroBytes"));
    const std::string in = dir.WriteFile("bad.mp3", bytes);
    const std::string fresh = dir.Path() + "fresh.wav";
    TDecoderRun run = RunDecoder({"--decode", in, fresh});
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    ASSERT_EQ(run.ErrLines().size(), 1u) << run.Err;
    EXPECT_NE(run.ErrLines()[0].find(GetParam().Message), std::string::npos) << run.Err;
    EXPECT_FALSE(PathExists(fresh));

    const std::string existing = dir.WriteFile("existing.wav", "earlier output");
    run = RunDecoder({"--decode", in, existing});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(ReadWholeFile(existing), "earlier output");
    EXPECT_EQ(ReadWholeFile(in), bytes);
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInput, ::testing::ValuesIn(BadInputs),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(BadPaths, MissingInputFolderAsInputAndPipeAsInput) {
    TTempDir dir;
    TDecoderRun run = RunDecoder({"--decode", dir.Path() + "missing.mp3", dir.Path() + "out.wav"});
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(run.ErrLines().size(), 1u) << run.Err;
    EXPECT_EQ(run.ErrLines()[0].rfind("cannot open input file", 0), 0u) << run.Err;

    run = RunDecoder({"--decode", dir.MakeDir("folder.mp3"), dir.Path() + "out.wav"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.ErrLines().size(), 1u) << run.Err;
    EXPECT_FALSE(PathExists(dir.Path() + "out.wav"));

    // Refused at once: opening a pipe without a writer would wait for ever.
    const std::string pipe = dir.Path() + "pipe.mp3";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    run = RunDecoder({"--decode", pipe, dir.Path() + "out.wav"});
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(run.ErrLines().size(), 1u) << run.Err;
    EXPECT_NE(run.ErrLines()[0].find("is not a regular file"), std::string::npos) << run.Err;
    EXPECT_FALSE(PathExists(dir.Path() + "out.wav"));
}

TEST(BadPaths, OutputEqualToInputIsRefusedAndTheInputKept) {
    TTempDir dir;
    const std::string bytes = ReadWholeFile(FixturePath("mono_44k.mp3"));
    const std::string in = dir.WriteFile("song.mp3", bytes);
    std::filesystem::create_symlink(in, dir.Path() + "alias.wav");
    std::filesystem::create_hard_link(in, dir.Path() + "hard.wav");
    for (const std::string& out :
         {in, dir.Path() + "./song.mp3", dir.Path() + "alias.wav", dir.Path() + "hard.wav"}) {
        const TDecoderRun run = RunDecoder({"--decode", in, out});
        EXPECT_EQ(run.ExitCode, 1) << out;
        ASSERT_EQ(run.ErrLines().size(), 1u) << run.Err;
        EXPECT_EQ(run.ErrLines()[0].rfind("output file must differ from the input file", 0), 0u) << run.Err;
        EXPECT_EQ(ReadWholeFile(in), bytes) << out;
    }
    // An input named like a partial file of its own output, such as a dead decoder leaves behind
    // (its process gone), or a name that only looks like one: never deleted as a leftover.
    for (const std::string name : {".song.wav.99999999.part", ".song.wav..part"}) {
        const std::string partial = dir.WriteFile(name, bytes), out = dir.Path() + "song.wav";
        const TDecoderRun run = RunDecoder({"--decode", partial, out});
        EXPECT_EQ(ReadWholeFile(partial), bytes) << name;
        if (run.ExitCode == 0) {
            EXPECT_TRUE(ReadWav(ReadWholeFile(out)).Valid) << name;
        } else {
            EXPECT_EQ(run.ExitCode, 1) << run.Err;
            EXPECT_FALSE(PathExists(out)) << name;
        }
        std::remove(out.c_str());
    }
}

TEST(BadPaths, OutputFolderMissingOrNotAFolder) {
    TTempDir dir;
    const std::string notAFolder = dir.WriteFile("plain", "x");
    for (const std::string& out : {dir.Path() + "no/such/folder/out.wav", notAFolder + "/out.wav"}) {
        const TDecoderRun run = RunDecoder({"--decode", FixturePath("cbr_stereo_44k.mp3"), out});
        EXPECT_EQ(run.ExitCode, 4) << out;
        EXPECT_EQ(run.ErrLines().back().rfind("cannot create output file", 0), 0u) << run.Err;
        EXPECT_FALSE(HasLineStarting(run, "bitstream problem"));
        EXPECT_FALSE(PathExists(out));
    }
}

TEST(BadPaths, OutputThatIsNoRegularFileIsLeftAlone) {
    TTempDir dir;
    const std::string pipe = dir.Path() + "pipe.wav";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = dir.MakeDir("folder.wav");
    for (const std::string& out : {pipe, folder.substr(0, folder.size() - 1)}) {
        const TDecoderRun run = RunDecoder({"--decode", FixturePath("cbr_stereo_44k.mp3"), out});
        EXPECT_EQ(run.ExitCode, 4) << out; // the output's problem, not the input's
        ASSERT_EQ(run.ErrLines().size(), 1u) << run.Err;
        EXPECT_NE(run.ErrLines()[0].find("is not a regular file"), std::string::npos) << run.Err;
        EXPECT_TRUE(PathExists(out)) << out;
    }
}

TEST(BadPaths, ReadOnlyOutputFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "folder permissions work differently";
#else
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
#endif
    TTempDir dir;
    const std::string folder = dir.MakeDir("locked");
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(folder), QFile::ReadOwner | QFile::ExeOwner));
    const TDecoderRun run = RunDecoder({"--decode", FixturePath("cbr_stereo_44k.mp3"), folder + "out.wav"});
    QFile::setPermissions(QString::fromStdString(folder),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(run.ExitCode, 7); // the folder refuses every output: the batch stops there
    EXPECT_EQ(run.ErrLines().back().rfind("cannot create output file", 0), 0u) << run.Err;
    EXPECT_NE(run.ErrLines().back().find(std::strerror(EACCES)), std::string::npos) << run.Err;
    EXPECT_FALSE(PathExists(folder + "out.wav"));
}

TEST(BadPaths, OutputThatCannotBeWrittenInFullLeavesNoFileAndSaysWhy) {
    TTempDir dir;
    const std::string out = dir.WriteFile("out.wav", "earlier output");
    // Past the limit a write fails with "File too large": an output failure, not a bad input.
    const TDecoderRun run = RunDecoder({"--decode", FixturePath("cbr_stereo_44k.mp3"), out}, 100000);
    EXPECT_EQ(run.ExitCode, 4) << run.Err;
    EXPECT_NE(run.ErrLines().back().find(std::strerror(EFBIG)), std::string::npos) << run.Err;
    EXPECT_EQ(ReadWholeFile(out), "earlier output");
    EXPECT_TRUE(FindPartialOutputs(out).empty());
}

namespace {

// About five minutes of audio: the decoder is still at work when the test steps in.
std::string LongStream() {
    const std::string one = ReadWholeFile(FixturePath("layer2_48k.mp3"));
    std::string bytes;
    for (int i = 0; i < 600; ++i)
        bytes += one;
    return bytes;
}

struct TInterruption {
    const char* Name;
    // Acts on the running decoder once its partial file exists; returns the exit code expected.
    int (*Act)(QProcess& decoder, const std::string& input);
    const char* Message;
};

void PrintTo(const TInterruption& value, std::ostream* out) {
    *out << value.Name;
}

const TInterruption Interruptions[] = {
    {"Killed",
     [](QProcess& decoder, const std::string&) {
         decoder.kill();
         return -1;
     },
     ""},
    // A copy still under way: more audio arrives while the decoder runs.
    {"SourceGrows",
     [](QProcess& decoder, const std::string& input) {
         ::kill(static_cast<pid_t>(decoder.processId()), SIGSTOP);
         QFile file(QString::fromStdString(input));
         if (file.open(QIODevice::Append))
             file.write(QByteArray::fromStdString(ReadWholeFile(FixturePath("layer2_48k.mp3"))));
         file.close();
         ::kill(static_cast<pid_t>(decoder.processId()), SIGCONT);
         return 1;
     },
     "changed while it was decoded"},
};

class InterruptedDecoder : public ::testing::TestWithParam<TInterruption> {};

// The decoder has a file open in `folder` other than `input`: its output, which has no name yet.
bool WritingInto(const QProcess& decoder, const std::string& folder, const std::string& input) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path fds = "/proc/" + std::to_string(decoder.processId()) + "/fd";
    for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string target = fs::read_symlink(it->path(), ec).string();
        if (!ec && target.rfind(folder, 0) == 0 && target != input) return true;
    }
    return false;
}

} // namespace

TEST_P(InterruptedDecoder, LeavesNothingUnderTheOutputNameAndTheNextRunReplacesItsPartialFile) {
    TTempDir dir;
    const std::string in = dir.WriteFile("long.mp3", LongStream()), out = dir.Path() + "long.wav";
    QProcess decoder;
    decoder.start(QString::fromStdString(BinaryPath("utils.exe")),
                  {"--decode", QString::fromStdString(in), QString::fromStdString(out)});
    ASSERT_TRUE(decoder.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] { return WritingInto(decoder, dir.Path(), in); }, 20000));
    EXPECT_TRUE(FindPartialOutputs(out).empty()) << "the output has no name until it is finished";
    const int expected = GetParam().Act(decoder, in);
    ASSERT_TRUE(decoder.waitForFinished(60000));
    const int code = decoder.exitStatus() == QProcess::NormalExit ? decoder.exitCode() : -1;
    const std::string err = decoder.readAllStandardError().toStdString();
    EXPECT_EQ(code, expected) << err;
    EXPECT_NE(err.find(GetParam().Message), std::string::npos) << err;
    EXPECT_FALSE(PathExists(out));

    const TDecoderRun next = RunDecoder({"--decode", FixturePath("mono_44k.mp3"), out});
    ASSERT_EQ(next.ExitCode, 0) << next.Err;
    EXPECT_TRUE(ReadWav(ReadWholeFile(out)).Valid);
    EXPECT_TRUE(FindPartialOutputs(out).empty());
}

INSTANTIATE_TEST_SUITE_P(Interruptions, InterruptedDecoder, ::testing::ValuesIn(Interruptions),
                         [](const auto& info) { return std::string(info.param.Name); });

// Two decoders of one output (two windows on one folder): each writes its own partial file, so the
// one that is killed takes nothing of the other's with it, and the next decoder clears its leftover.
TEST(OverlappingDecoders, TheSurvivorsOutputIsWholeAndTheLeftoverIsCleared) {
    TTempDir dir;
    const std::string in = dir.WriteFile("long.mp3", LongStream()), out = dir.Path() + "long.wav";
    QProcess first, second;
    const auto start = [&](QProcess& decoder) {
        decoder.start(QString::fromStdString(BinaryPath("utils.exe")),
                      {"--decode", QString::fromStdString(in), QString::fromStdString(out)});
        return decoder.waitForStarted(10000) &&
               WaitFor([&] { return WritingInto(decoder, dir.Path(), in); }, 20000);
    };
    // The first waits while the second starts, so both are at work on the output at once.
    ASSERT_TRUE(start(first));
    ::kill(static_cast<pid_t>(first.processId()), SIGSTOP);
    ASSERT_TRUE(start(second));
    second.kill();
    ASSERT_TRUE(second.waitForFinished(10000));
    ::kill(static_cast<pid_t>(first.processId()), SIGCONT);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    const TWavInfo wav = ReadWav(ReadWholeFile(out));
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_EQ(wav.Samples(), 600u * 42 * 1152);

    const TDecoderRun next = RunDecoder({"--decode", FixturePath("mono_44k.mp3"), out, "--overwrite"});
    ASSERT_EQ(next.ExitCode, 0) << next.Err;
    EXPECT_TRUE(FindPartialOutputs(out).empty());
}

TEST(Usage, HelpExitsWithZeroAndWrongArgumentsWithTwoAndTheUsage) {
    const TDecoderRun help = RunDecoder({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("usage: utils.exe --decode"), std::string::npos) << help.Out;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--decode"},
                                               {"--decode", "a.mp3"},
                                               {"--decode", "a.mp3", "b.wav", "c"},
                                               {"--encode", "a", "b"},
                                               {"--threads", "--decode", "a.mp3", "b.wav"},
                                               {"--threads", "-1", "--decode", "a.mp3", "b.wav"}}) {
        const TDecoderRun run = RunDecoder(args);
        EXPECT_EQ(run.ExitCode, 2) << run.Err;
        EXPECT_NE(run.Err.find("usage: utils.exe --decode"), std::string::npos) << run.Err;
    }
}
