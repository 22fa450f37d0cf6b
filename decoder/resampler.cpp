#include "decoder/resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cstring>

TResampler::TResampler(unsigned inRate, unsigned inChannels, unsigned outRate, unsigned outChannels,
                       TSampleFormat format, TSink sink)
    : FInChannels(inChannels), FOutChannels(outChannels), FFormat(format), FSink(std::move(sink)),
      FBlock(BlockFrames * outChannels) {
    if (inRate == outRate) return;
    FRatio = static_cast<double>(outRate) / inRate;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // High quality: 20-bit precision, far below 16-bit rounding and an MP3's own noise, at half
    // the cost of very high quality, which would take twice as long as the decoding itself.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
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
    const std::size_t frameBytes = sizeof(float) * FInChannels;
    std::size_t frames = bytes / frameBytes;
    while (frames > 0) {
        const std::size_t take = std::min(frames, BlockFrames - FFill);
        float* out = FBlock.data() + FFill * FOutChannels;
        if (FInChannels == FOutChannels) {
            std::memcpy(out, data, take * frameBytes);
        } else {
            float in[2];
            for (std::size_t i = 0; i < take; ++i, out += FOutChannels) {
                std::memcpy(in, data + i * frameBytes, frameBytes);
                if (FOutChannels == 1)
                    out[0] = (in[0] + in[1]) * 0.5f;
                else
                    out[0] = out[1] = in[0];
            }
        }
        data += take * frameBytes;
        frames -= take;
        FFill += take;
        if (FFill == BlockFrames && !ProcessBlock(BlockFrames, false)) return false;
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
