#include "decoder/sampleformat.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>

bool ParseSampleFormat(const std::string& text, TSampleFormat& format) {
    if (text == "s16")
        format = TSampleFormat::S16;
    else if (text == "s24")
        format = TSampleFormat::S24;
    else if (text == "f32")
        format = TSampleFormat::F32;
    else
        return false;
    return true;
}

unsigned SampleBytes(TSampleFormat format) {
    return format == TSampleFormat::S16 ? 2 : format == TSampleFormat::S24 ? 3 : 4;
}

int DecoderEncoding(TSampleFormat format) {
    return format == TSampleFormat::S16 ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32;
}

bool StoredFromFloat(TSampleFormat format) {
    return format == TSampleFormat::S24;
}

std::string SampleFormatText(TSampleFormat format) {
    return format == TSampleFormat::S16 ? "16 bit" : format == TSampleFormat::S24 ? "24 bit" : "32 bit float";
}

namespace {

// Rounded to the nearest step of a signed integer of `bits`, clipped to its range. Scaling by a
// power of two is exact in float, and the steps of up to 24 bits are whole floats.
std::int32_t Quantize(float sample, int bits) {
    const float scale = static_cast<float>(std::int32_t(1) << (bits - 1));
    const float value = sample * scale;
    if (std::isnan(value)) return 0;
    if (value <= -scale) return -static_cast<std::int32_t>(scale);
    if (value >= scale - 1) return static_cast<std::int32_t>(scale) - 1;
    return static_cast<std::int32_t>(std::lrint(value));
}

} // namespace

void StoreSamples(const float* samples, std::size_t count, TSampleFormat format, std::uint8_t* out) {
    switch (format) {
    case TSampleFormat::S16:
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t v = Quantize(samples[i], 16);
            *out++ = static_cast<std::uint8_t>(v);
            *out++ = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case TSampleFormat::S24:
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t v = Quantize(samples[i], 24);
            *out++ = static_cast<std::uint8_t>(v);
            *out++ = static_cast<std::uint8_t>(v >> 8);
            *out++ = static_cast<std::uint8_t>(v >> 16);
        }
        break;
    case TSampleFormat::F32:
        std::memcpy(out, samples, count * sizeof(float)); // WAV is little-endian, as is every target
        break;
    }
}
