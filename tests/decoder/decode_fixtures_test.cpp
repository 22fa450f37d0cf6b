// Decodes every stored test file with the built utils.exe and checks the WAV and the console lines.
#include "decoder/partname.h"
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

namespace {

// What the WAV file holds under each of the output's options.
struct TFormatCase {
    const char* File;
    std::vector<std::string> Options;
    std::uint16_t FormatTag;
    std::uint16_t Bits;
    std::uint32_t Rate;
    std::uint16_t Channels;
    std::uint64_t Samples; // exact at the source's rate; resampled, the source's scaled and rounded (+-1)
    int OwnEncoding;       // libmpg123's samples in this encoding (24 bits: rounded from float); 0: resampled
    const char* Described; // in the output line
};

void PrintTo(const TFormatCase& value, std::ostream* out) {
    *out << value.File;
    for (const auto& option : value.Options)
        *out << " " << option;
}

const TFormatCase FormatCases[] = {
    {"layer2_48k.mp3", {"--format", "f32"}, 3, 32, 48000, 2, 48384, MPG123_ENC_FLOAT_32, "32 bit float"},
    {"layer2_48k.mp3", {"--format", "s24"}, 0xFFFE, 24, 48000, 2, 48384, MPG123_ENC_SIGNED_24, "24 bit"},
    {"mono_44k.mp3", {"--format", "s24"}, 0xFFFE, 24, 44100, 1, 80111, MPG123_ENC_SIGNED_24, "24 bit"},
    {"vbr_stereo_44k.mp3",
     {"--threads", "1", "--format", "f32"},
     3,
     32,
     44100,
     2,
     88200,
     MPG123_ENC_FLOAT_32,
     "32 bit float"},
    {"mpeg2_22k.mp3", {"--format", "s16"}, 1, 16, 22050, 2, 33075, MPG123_ENC_SIGNED_16, "16 bit"},
    // Already fit for a CD: the plain command line's bytes.
    {"cbr_stereo_44k.mp3", {"--cd"}, 1, 16, 44100, 2, 81263, MPG123_ENC_SIGNED_16, "16 bit"},
    {"sine997_48k.mp3", {"--cd"}, 1, 16, 44100, 2, 44453, 0, "16 bit, 44.1 kHz, 2 channels"}, // 48384 x
                                                                                              // 0.91875
    {"sine997_22k_mono.mp3", {"--cd"}, 1, 16, 44100, 2, 20736, 0, "16 bit, 44.1 kHz, 2 channels"},
    {"mpeg25_8k.mp3",
     {"--rate", "48000", "--format", "f32"},
     3,
     32,
     48000,
     1,
     60000,
     0,
     "32 bit float, 48 kHz, 1 channel"},
    {"cbr_stereo_44k.mp3",
     {"--channels", "1", "--format", "s24"},
     0xFFFE,
     24,
     44100,
     1,
     81263,
     0,
     "24 bit, 44.1 kHz, 1 channel"},
};

// The file decoded by libmpg123 alone, gapless, in one encoding.
std::string DecodedByLibrary(const std::string& path, int encoding) {
    // Its own 24-bit samples are truncated: these are its float samples rounded, and clipped.
    if (encoding == MPG123_ENC_SIGNED_24) {
        std::string floats = DecodedByLibrary(path, MPG123_ENC_FLOAT_32), out;
        for (std::size_t at = 0; at + 4 <= floats.size(); at += 4) {
            float value = 0;
            std::memcpy(&value, floats.data() + at, 4);
            const long step = std::clamp(std::lrint(value * 8388608.0), -8388608L, 8388607L);
            out += {static_cast<char>(step), static_cast<char>(step >> 8), static_cast<char>(step >> 16)};
        }
        return out;
    }
    int rc = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &rc);
    mpg123_param(handle, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.);
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, encoding);
    std::string out;
    if (mpg123_open(handle, path.c_str()) == MPG123_OK) {
        unsigned char buffer[16384];
        std::size_t done = 0;
        while ((rc = mpg123_read(handle, buffer, sizeof buffer, &done)) == MPG123_OK ||
               rc == MPG123_NEW_FORMAT)
            out.append(reinterpret_cast<const char*>(buffer), done);
        out.append(reinterpret_cast<const char*>(buffer), done);
    }
    mpg123_delete(handle);
    return out;
}

class DecodeFormat : public ::testing::TestWithParam<TFormatCase> {};

} // namespace

TEST_P(DecodeFormat, HeaderSamplesAndOutputLineFitTheFormat) {
    const TFormatCase& c = GetParam();
    TTempDir dir;
    const std::string in = FixturePath(c.File), out = dir.Path() + "out.wav";
    std::vector<std::string> args{"--decode", in, out};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TDecoderRun run = RunDecoder(args);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_GE(run.ErrLines().size(), 2u);
    EXPECT_EQ(run.ErrLines()[1], "output: " + out + "  (" + c.Described + ", Microsoft WAVE)");
    const std::string bytes = ReadWholeFile(out);
    const TWavInfo wav = ReadWav(bytes);
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_EQ(wav.FormatTag, c.FormatTag);
    EXPECT_EQ(wav.Bits, c.Bits);
    EXPECT_EQ(wav.SampleRate, c.Rate);
    EXPECT_EQ(wav.Channels, c.Channels);
    EXPECT_EQ(wav.DataBytes % (c.Bits / 8u * c.Channels), 0u);
    if (c.OwnEncoding) {
        EXPECT_EQ(wav.Samples(), c.Samples);
        EXPECT_TRUE(bytes.substr(wav.DataOffset, wav.DataBytes) == DecodedByLibrary(in, c.OwnEncoding))
            << "not libmpg123's own samples";
    } else {
        EXPECT_NEAR(static_cast<double>(wav.Samples()), static_cast<double>(c.Samples), 1.0);
    }
    // Float says how many sample frames it holds; extensible names the speakers.
    EXPECT_EQ(wav.FactFrames, c.FormatTag == 3 ? wav.Samples() : 0u);
    EXPECT_EQ(wav.ChannelMask, c.FormatTag != 0xFFFE ? 0u : c.Channels == 1 ? 0x4u : 0x3u);
    EXPECT_EQ(wav.DataOffset, c.FormatTag == 1 ? 44u : c.FormatTag == 3 ? 58u : 68u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeFormat, ::testing::ValuesIn(FormatCases));

namespace {

std::vector<double> Samples(const std::string& bytes, const TWavInfo& wav, int channel) {
    std::vector<double> out;
    const std::size_t step = wav.Bits / 8u * wav.Channels;
    for (std::size_t at = wav.DataOffset + channel * (wav.Bits / 8u);
         at + step <= wav.DataOffset + wav.DataBytes + channel * (wav.Bits / 8u); at += step) {
        if (wav.FormatTag == 3) {
            float value = 0;
            std::memcpy(&value, bytes.data() + at, sizeof value);
            out.push_back(value);
        } else {
            std::int32_t value = static_cast<signed char>(bytes[at + wav.Bits / 8 - 1]);
            for (int k = wav.Bits / 8 - 2; k >= 0; --k)
                value = value * 256 + static_cast<unsigned char>(bytes[at + k]);
            out.push_back(std::ldexp(value, 1 - wav.Bits));
        }
    }
    return out;
}

// The band-limited value of `x` (at `rate`) at time t (in its samples), from a long Kaiser-windowed
// sinc in double precision: an exact resampler for a tone far below both rates' limits.
double BandLimitedAt(const std::vector<double>& x, double t, double cutoff) {
    constexpr int Half = 600;
    constexpr double Beta = 12;
    const double norm = std::cyl_bessel_i(0.0, Beta);
    double sum = 0;
    const auto centre = static_cast<long>(std::floor(t));
    for (long k = std::max(0L, centre - Half); k <= std::min<long>(x.size() - 1, centre + Half); ++k) {
        const double d = t - k, r = d / Half;
        const double window = std::cyl_bessel_i(0.0, Beta * std::sqrt(std::max(0.0, 1 - r * r))) / norm;
        const double arg = 2 * M_PI * cutoff * d;
        sum += x[k] * 2 * cutoff * (d == 0 ? 1 : std::sin(arg) / arg) * window;
    }
    return sum;
}

} // namespace

// A 997 Hz tone at half of full scale through --cd (and at 24 bits), against the float decode at its own rate
// resampled exactly: the difference is no more than the 16-bit rounding (-101.1 dB RMS), the
// level and frequency are the tone's, and a full-scale signal's float decode keeps its overshoot.
// The resampler works in short segments here, so the check spans many of their seams, and the
// bytes are the same for any number of threads.
TEST(Resampling, CdToneMatchesAnExactResamplerWithinTheRounding) {
    for (const auto& [file, format] :
         {std::pair{"sine997_48k.mp3", "s16"}, {"sine997_22k_mono.mp3", "s24"}}) {
        TTempDir dir;
        const std::string in = FixturePath(file), native = dir.Path() + "native.wav",
                          cd = dir.Path() + "cd.wav";
        ASSERT_EQ(RunDecoder({"--decode", in, native, "--format", "f32"}).ExitCode, 0);
        const std::vector<std::string> segments{"UTILS_RESAMPLE_SEGMENT_FRAMES=3000"};
        const auto convert = [&](const std::string& threads, const std::string& out) {
            return RunDecoder({"--threads", threads, "--decode", in, out, "--rate", "44100", "--channels",
                               "2", "--format", format},
                              0, segments);
        };
        ASSERT_EQ(convert("1", cd).ExitCode, 0);
        const std::string nativeBytes = ReadWholeFile(native), cdBytes = ReadWholeFile(cd);
        for (const std::string threads : {"2", "3"}) {
            const std::string other = dir.Path() + threads + ".wav";
            convert(threads, other);
            EXPECT_TRUE(ReadWholeFile(other) == cdBytes) << file << " on " << threads << " threads";
        }
        const TWavInfo from = ReadWav(nativeBytes), to = ReadWav(cdBytes);
        ASSERT_TRUE(from.Valid && to.Valid);
        const std::vector<double> x = Samples(nativeBytes, from, 0), y = Samples(cdBytes, to, 0);
        if (from.Channels == 1) {
            EXPECT_TRUE(y == Samples(cdBytes, to, 1)) << "mono to stereo: both the same";
        }
        if (from.Channels == 2) {
            const auto overshoot = Samples(nativeBytes, from, 1), clipped = Samples(cdBytes, to, 1);
            EXPECT_GT(*std::max_element(overshoot.begin(), overshoot.end()), 1.2) << "float keeps it";
            EXPECT_EQ(*std::max_element(clipped.begin(), clipped.end()), 32767 / 32768.0)
                << "16-bit clips it";
        }
        const double ratio = static_cast<double>(from.SampleRate) / to.SampleRate;
        const double cutoff = 0.95 * 0.5 * std::min(from.SampleRate, to.SampleRate) / from.SampleRate;
        double error = 0, power = 0, referencePower = 0;
        // Every 23rd sample over the whole file but its ends.
        std::size_t count = 0;
        for (std::size_t j = 1000; j + 1000 < y.size(); j += 23, ++count) {
            const double reference = BandLimitedAt(x, j * ratio, cutoff);
            error += (y[j] - reference) * (y[j] - reference);
            power += y[j] * y[j];
            referencePower += reference * reference;
        }
        const double errorDb = 10 * std::log10(error / count);
        const double roundingDb = 20 * std::log10(1 / 32768.0 / std::sqrt(12.0));
        EXPECT_LT(errorDb, roundingDb + 1) << file << ": " << errorDb << " dB";
        EXPECT_NEAR(10 * std::log10(power / referencePower), 0, 0.01) << file;
        EXPECT_NEAR(10 * std::log10(power / count), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.2) << file;
        // The tone's frequency from its rising zero crossings over the whole file, bar the ends.
        int crossings = 0;
        std::size_t firstCrossing = 0, lastCrossing = 0;
        for (std::size_t j = 1000; j + 1000 < y.size(); ++j)
            if (y[j - 1] < 0 && y[j] >= 0) {
                if (!crossings++) firstCrossing = j;
                lastCrossing = j;
            }
        const double hz = (crossings - 1) * 44100.0 / static_cast<double>(lastCrossing - firstCrossing);
        EXPECT_NEAR(hz, 997, 1) << file;
    }
}

// Stereo to mono at the source's rate: each sample the mean of the float decode's two, exactly.
TEST(Resampling, StereoToMonoIsTheMeanOfTheFloatSamples) {
    TTempDir dir;
    const std::string in = FixturePath("cbr_stereo_44k.mp3"), both = dir.Path() + "both.wav",
                      mono = dir.Path() + "mono.wav";
    ASSERT_EQ(RunDecoder({"--decode", in, both, "--format", "f32"}).ExitCode, 0);
    ASSERT_EQ(RunDecoder({"--decode", in, mono, "--format", "f32", "--channels", "1"}).ExitCode, 0);
    const std::string bothBytes = ReadWholeFile(both), monoBytes = ReadWholeFile(mono);
    const TWavInfo stereoWav = ReadWav(bothBytes), monoWav = ReadWav(monoBytes);
    ASSERT_TRUE(stereoWav.Valid && monoWav.Valid);
    const auto left = Samples(bothBytes, stereoWav, 0), right = Samples(bothBytes, stereoWav, 1);
    const auto mean = Samples(monoBytes, monoWav, 0);
    ASSERT_EQ(mean.size(), left.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < mean.size(); ++i)
        wrong += mean[i] != (static_cast<float>(left[i]) + static_cast<float>(right[i])) * 0.5f;
    EXPECT_EQ(wrong, 0u);
}
