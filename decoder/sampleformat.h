#pragma once
// What the WAV file holds: the sample format, and the rate and channels when they are not the
// source's. 16-bit at the source's rate and channels is the plain command line's output.
#include <cstddef>
#include <cstdint>
#include <string>

enum class TSampleFormat { S16, S24, F32 };

struct TOutputSpec {
    TSampleFormat Format = TSampleFormat::S16;
    unsigned Rate = 0;     // 0: the source's
    unsigned Channels = 0; // 0: the source's
    bool operator==(const TOutputSpec&) const = default;
};

inline constexpr unsigned LowestRate = 8000;
inline constexpr unsigned HighestRate = 192000;

// "s16", "s24" or "f32"; false for anything else.
bool ParseSampleFormat(const std::string& text, TSampleFormat& format);
unsigned SampleBytes(TSampleFormat format);
// The libmpg123 encoding the format is made from: its own 16-bit and float samples; 24-bit samples
// are rounded from float by StoreSamples, as libmpg123's own 24-bit samples are truncated.
int DecoderEncoding(TSampleFormat format);
// Whether the decoder's samples go through StoreSamples before they are written.
bool StoredFromFloat(TSampleFormat format);
// For the decoder's output line: "16 bit", "24 bit" or "32 bit float".
std::string SampleFormatText(TSampleFormat format);

// Float samples (full scale at +-1) to the format, little-endian: 16 and 24 bits rounded to the
// nearest step and clipped to their range, float kept as it is, above full scale too.
void StoreSamples(const float* samples, std::size_t count, TSampleFormat format, std::uint8_t* out);
