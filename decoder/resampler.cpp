#include "decoder/resampler.h"

#include <soxr.h>

#include <cstring>

TResampler::TResampler(unsigned inRate, unsigned inChannels, unsigned outRate, unsigned outChannels,
                       TSampleFormat format, TSink sink)
    : FInChannels(inChannels), FOutChannels(outChannels), FFormat(format), FSink(std::move(sink)),
      FBlock(BlockFrames * outChannels) {
    if (inRate == outRate) return;
    FRatio = static_cast<double>(outRate) / inRate;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // High quality is 20-bit precision; very high (28-bit) leaves 16 and 24-bit output no worse
    // than the source's own rounding and still costs little next to the decoding.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    // One thread: the same bytes on every machine, and the decode's threads keep the cores busy.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    FSoxr = soxr_create(inRate, outRate, outChannels, &error, &io, &quality, &runtime);
    if (error) FProblem = std::string("cannot start the resampler: ") + error;
    FResampled.resize((static_cast<std::size_t>(BlockFrames * FRatio) + 64) * outChannels);
}

TResampler::~TResampler() {
    if (FSoxr) soxr_delete(FSoxr);
}

bool TResampler::Push(const std::uint8_t* data, std::size_t bytes) {
    const std::size_t frames = bytes / (sizeof(float) * FInChannels);
    float in[2];
    for (std::size_t i = 0; i < frames; ++i) {
        std::memcpy(in, data + i * sizeof(float) * FInChannels, sizeof(float) * FInChannels);
        float* out = FBlock.data() + FFill * FOutChannels;
        if (FInChannels == FOutChannels) {
            std::memcpy(out, in, sizeof(float) * FOutChannels);
        } else if (FOutChannels == 1) {
            out[0] = (in[0] + in[1]) * 0.5f;
        } else {
            out[0] = out[1] = in[0];
        }
        if (++FFill == BlockFrames && !ProcessBlock(BlockFrames, false)) return false;
    }
    return true;
}

bool TResampler::Finish() {
    return ProcessBlock(FFill, true);
}

bool TResampler::ProcessBlock(std::size_t frames, bool last) {
    FFill = 0;
    if (!FSoxr) return Emit(FBlock.data(), frames);
    const std::size_t room = FResampled.size() / FOutChannels;
    std::size_t used = 0, made = 0;
    // Everything goes in; what comes out is handed on as it comes. At the end an empty input
    // drains the filter until nothing more comes.
    do {
        const float* in = frames > used ? FBlock.data() + used * FOutChannels : nullptr;
        std::size_t taken = 0;
        if (soxr_process(FSoxr, in, frames - used, &taken, FResampled.data(), room, &made)) return false;
        used += taken;
        if (!Emit(FResampled.data(), made)) return false;
    } while (used < frames || (last && made > 0));
    return true;
}

bool TResampler::Emit(const float* samples, std::size_t frames) {
    if (frames == 0) return true;
    const std::size_t count = frames * FOutChannels;
    FBytes.resize(count * SampleBytes(FFormat));
    StoreSamples(samples, count, FFormat, FBytes.data());
    const bool written = FSink(FBytes.data(), FBytes.size());
    FBytesOut += FBytes.size();
    return written;
}
