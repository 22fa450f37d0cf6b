#include "decoder/resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace {

// Short segments keep each one's samples in the cache and share the end of a file evenly between
// the threads; the margins then cost about 2 % more filtering at 48 kHz.
constexpr std::size_t DefaultSegmentFrames = std::size_t(1) << 15;
// Input frames before and after each segment, per unit of the rate ratio (more when the rate goes
// down, as the filter then spans more input): from 8 to 48 kHz either way, the kept output matched
// one whole pass to within float rounding with two thirds of this.
constexpr double MarginFrames = 256;
constexpr std::size_t OutputSlackFrames = 4096;

// 16-bit output straight from libsoxr: rounded to nearest and clipped, the same as StoreSamples,
// without dither, in a fifth less time than the float output rounded here.
soxr_t CreateSoxr(unsigned inRate, unsigned outRate, unsigned channels, TSampleFormat format,
                  soxr_error_t& error) {
    soxr_io_spec_t io =
        soxr_io_spec(SOXR_FLOAT32_S, format == TSampleFormat::S16 ? SOXR_INT16_I : SOXR_FLOAT32_I);
    io.flags |= SOXR_NO_DITHER;
    // High quality: 20-bit precision, far below 16-bit rounding and an MP3's own noise, at half
    // the cost of very high quality, which would take twice as long as the decoding itself.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread inside libsoxr: the segments keep the cores busy.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    error = nullptr;
    return soxr_create(inRate, outRate, channels, &error, &io, &quality, &runtime);
}

std::size_t RoundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

} // namespace

std::size_t ResampleSegmentFrames() {
    if (const char* text = std::getenv("UTILS_RESAMPLE_SEGMENT_FRAMES")) {
        const long long value = std::atoll(text);
        if (value > 0) return static_cast<std::size_t>(value);
    }
    return DefaultSegmentFrames;
}

struct TResampler::TSegment {
    TBuffer<float> Input; // a plane per output channel, the margins included
    std::size_t Frames = 0;
    std::size_t Skip = 0; // output frames from the margin before the kept part
    std::size_t Keep = 0; // output frames kept; the last segment keeps all that come
    bool Last = false;
    TBuffer<std::uint8_t> Bytes; // in the output's format, from Offset for Size bytes
    std::size_t Offset = 0, Size = 0;
    bool Done = false, Ok = true;
};

TResampler::TResampler(unsigned inRate, unsigned inChannels, unsigned outRate, unsigned outChannels,
                       TSampleFormat format, TSink sink, unsigned threads)
    : FInRate(inRate), FOutRate(outRate), FInChannels(inChannels), FOutChannels(outChannels), FFormat(format),
      FSink(std::move(sink)), FResampling(inRate != outRate), FThreads(std::max(1u, threads)) {
    FSegmentFrames = ResampleSegmentFrames();
    if (!FResampling) {
        FPlane = FSegmentFrames;
        FInput.resize(FPlane * FOutChannels);
        return;
    }
    soxr_error_t error = nullptr;
    soxr_t probe = CreateSoxr(inRate, outRate, outChannels, format, error);
    if (probe) soxr_delete(probe);
    if (error) {
        FProblem = std::string("cannot start the resampler: ") + error;
        return;
    }
    const unsigned common = std::gcd(inRate, outRate);
    FInStep = inRate / common;
    FOutStep = outRate / common;
    FSegmentFrames = RoundUp(FSegmentFrames, FInStep);
    const double down = std::max(1.0, static_cast<double>(inRate) / outRate);
    FMargin = RoundUp(static_cast<std::size_t>(MarginFrames * down), FInStep);
    FPlane = FSegmentFrames + 2 * FMargin;
    FInput.resize(FPlane * FOutChannels);
    if (FThreads > 1)
        for (unsigned i = 0; i < FThreads; ++i)
            FWorkers.emplace_back([this] { Work(); });
}

TResampler::~TResampler() {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    for (auto& worker : FWorkers)
        worker.join();
}

bool TResampler::Push(const std::uint8_t* data, std::size_t bytes) {
    const std::size_t frameBytes = sizeof(float) * FInChannels;
    std::size_t frames = bytes / frameBytes;
    while (frames > 0) {
        // Up to the end of the next segment's margin after it, which completes the segment.
        const std::uint64_t have = FInputAt + FFill;
        const std::uint64_t complete = FSegmentAt + FSegmentFrames + FMargin;
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(frames, complete - have));
        Append(data, take);
        data += take * frameBytes;
        frames -= take;
        if (have + take == complete) {
            Dispatch(false);
            if (!Collect(false)) return false;
        }
    }
    return Collect(false);
}

// Into one plane per channel, which libsoxr reads without sorting the samples out itself.
void TResampler::Append(const std::uint8_t* data, std::size_t frames) {
    float* first = FInput.data() + FFill;
    float* second = first + FPlane;
    float in[2];
    if (FInChannels == 1) {
        for (std::size_t i = 0; i < frames; ++i, data += sizeof(float)) {
            std::memcpy(in, data, sizeof(float));
            first[i] = in[0];
            if (FOutChannels == 2) second[i] = in[0];
        }
    } else {
        for (std::size_t i = 0; i < frames; ++i, data += sizeof in) {
            std::memcpy(in, data, sizeof in);
            if (FOutChannels == 1) {
                first[i] = (in[0] + in[1]) * 0.5f;
            } else {
                first[i] = in[0];
                second[i] = in[1];
            }
        }
    }
    FFill += frames;
}

bool TResampler::Finish() {
    Dispatch(true);
    return Collect(true);
}

// Hands the next segment, with its margins, to a worker, or converts it here on one thread.
void TResampler::Dispatch(bool last) {
    auto segment = std::make_shared<TSegment>();
    // The input starts at the margin before the segment and, but for the last, ends at the one after.
    const std::uint64_t from = FInputAt;
    segment->Input = std::move(FInput);
    segment->Frames = FFill;
    segment->Skip = static_cast<std::size_t>(FSegmentAt - from) / FInStep * FOutStep;
    segment->Keep = FSegmentFrames / FInStep * FOutStep;
    segment->Last = last;
    FSegmentAt += FSegmentFrames;
    // The next segment's margin before it is this one's end.
    FInputAt = FSegmentAt - std::min<std::uint64_t>(FSegmentAt, FMargin);
    if (!FSpareInput.empty()) {
        FInput.swap(FSpareInput.back());
        FSpareInput.pop_back();
    }
    FInput.resize(FPlane * FOutChannels);
    if (!FSpareBytes.empty()) {
        segment->Bytes.swap(FSpareBytes.back());
        FSpareBytes.pop_back();
    }
    const auto shift = static_cast<std::size_t>(FInputAt - from);
    FFill = last ? 0 : FFill - shift;
    for (std::size_t c = 0; c < FOutChannels; ++c)
        std::memcpy(FInput.data() + c * FPlane, segment->Input.data() + c * FPlane + shift,
                    FFill * sizeof(float));
    if (FWorkers.empty()) {
        Convert(*segment);
        segment->Done = true;
        FInFlight.push_back(std::move(segment));
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FQueued.push_back(segment);
        FInFlight.push_back(std::move(segment));
    }
    FChanged.notify_all();
}

void TResampler::Work() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FChanged.wait(lock, [this] { return FStop || !FQueued.empty(); });
        if (FStop) return;
        const std::shared_ptr<TSegment> segment = FQueued.front();
        FQueued.pop_front();
        lock.unlock();
        Convert(*segment);
        lock.lock();
        segment->Done = true;
        FChanged.notify_all();
    }
}

// Resamples one segment from a fresh filter and rounds its kept part: a function of its input alone.
void TResampler::Convert(TSegment& segment) const {
    const std::size_t frames = segment.Frames;
    const float* planes[2] = {segment.Input.data(), segment.Input.data() + (FOutChannels - 1) * FPlane};
    if (!FResampling) {
        TBuffer<float> samples(frames * FOutChannels);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = planes[i % FOutChannels][i / FOutChannels];
        segment.Bytes.resize(samples.size() * SampleBytes(FFormat));
        StoreSamples(samples.data(), samples.size(), FFormat, segment.Bytes.data());
        segment.Size = segment.Bytes.size();
        return;
    }
    soxr_error_t error = nullptr;
    soxr_t soxr = CreateSoxr(FInRate, FOutRate, FOutChannels, FFormat, error);
    if (!soxr) {
        segment.Ok = false;
        return;
    }
    // libsoxr gives 16-bit or float samples.
    const std::size_t frameBytes = FOutChannels * (FFormat == TSampleFormat::S16 ? 2 : sizeof(float));
    std::size_t room = (frames / FInStep + 2) * FOutStep + OutputSlackFrames, made = 0, used = 0, step = 0;
    TBuffer<std::uint8_t>& out = segment.Bytes;
    out.resize(room * frameBytes);
    bool flushing = false;
    // Everything goes in; then an empty input drains the filter until nothing more comes.
    do {
        if (made == room) {
            room += OutputSlackFrames;
            out.resize(room * frameBytes);
        }
        flushing = used == frames;
        const float* in[2] = {planes[0] + used, planes[1] + used};
        std::size_t taken = 0;
        if (soxr_process(soxr, flushing ? nullptr : in, frames - used, &taken, out.data() + made * frameBytes,
                         room - made, &step)) {
            segment.Ok = false;
            break;
        }
        used += taken;
        made += step;
    } while (!flushing || step > 0);
    soxr_delete(soxr);
    // A segment that gives less than its kept part would leave a gap in the output.
    if (!segment.Ok || made < segment.Skip || (!segment.Last && made < segment.Skip + segment.Keep)) {
        segment.Ok = false;
        return;
    }
    const std::size_t keep = segment.Last ? made - segment.Skip : segment.Keep;
    if (FFormat != TSampleFormat::S24) {
        segment.Offset = segment.Skip * frameBytes;
        segment.Size = keep * frameBytes;
        return;
    }
    TBuffer<std::uint8_t> bytes(keep * FOutChannels * SampleBytes(FFormat));
    StoreSamples(reinterpret_cast<const float*>(out.data() + segment.Skip * frameBytes), keep * FOutChannels,
                 FFormat, bytes.data());
    out.swap(bytes);
    segment.Size = out.size();
}

// Hands the converted segments to the sink in order: those done, or all of them. Waits only where
// too many are under way, which bounds the memory they take.
bool TResampler::Collect(bool all) {
    for (;;) {
        std::shared_ptr<TSegment> segment;
        {
            std::unique_lock<std::mutex> lock(FLock);
            if (FInFlight.empty()) break;
            const bool wait = all || FInFlight.size() > 2 * static_cast<std::size_t>(FThreads);
            if (!FInFlight.front()->Done && !wait) break;
            FChanged.wait(lock, [this] { return FInFlight.front()->Done; });
            segment = std::move(FInFlight.front());
            FInFlight.pop_front();
        }
        if (!segment->Ok) FFailed = true;
        if (FFailed || segment->Size == 0) continue;
        const bool written = FSink(segment->Bytes.data() + segment->Offset, segment->Size);
        FBytesOut += segment->Size;
        if (!written) FFailed = true;
        FSpareInput.push_back(std::move(segment->Input));
        FSpareBytes.push_back(std::move(segment->Bytes));
    }
    return !FFailed;
}
