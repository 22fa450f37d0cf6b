#include "decoder/splitdecode.h"

#include "decoder/mpeghandle.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

std::atomic<std::uint64_t> SplitDecodes = 0;

// Frames decoded before a chunk and dropped. Layer III needs the bit reservoir (up to 511 bytes,
// several frames at low bitrates) and two granules of overlap and filterbank history; tried on
// low-bitrate MPEG-2 the output matched from 10 frames on. Even, like every chunk start, and each
// chunk on a fresh handle: libmpg123's double-buffered frame memory is not cleared by a seek, and
// where a frame's data runs short its decoder reads what an earlier frame left there, which shows in
// the last bit of rare samples. So a chunk's audio is a function of the stream and the cut alone.
constexpr long Preframes = 32;
// Chunks of at least the minimum, and at most this many of them, so that up to a few dozen threads
// share a long file evenly while a lagging one holds up the end by one small chunk.
constexpr std::uint64_t MostChunks = 64;
constexpr std::size_t WorkerBufferBytes = 1 << 18;
// So a stream is split from about 1000 frames (26 s at 44.1 kHz) on: below, the start of the
// process and of the output file outweigh what a second thread gains (measured on 15 to 120 s files).
constexpr std::uint64_t DefaultMinChunkFrames = 500;
// Converted audio waits in memory until the chunks before it are done: chunks of at most this many
// frames (about 9 MB of float stereo at 48 kHz), and no worker more than a few chunks ahead.
constexpr std::uint64_t MostConvertChunkFrames = 1000;
constexpr std::size_t ConvertChunksAhead = 2;

struct TChunk {
    std::uint64_t First = 0; // libmpg123's frame numbers
    std::uint64_t End = 0;   // one past the last; the last chunk runs to the stream's end
    std::int64_t StartSample = -1;
    std::uint64_t Bytes = 0;
    std::uint64_t FrameCount = 0; // the frame count after the chunk's last frame
    int Kbps = 0;                 // of its last frame
    bool Clean = false;
    std::vector<std::uint8_t> Audio; // decoded, waiting for the conversion
};

class TSplitDecode {
public:
    TSplitDecode(const TSplitJob& job, TWavWriter& writer) : FJob(job), FWriter(writer) {
        FBlockAlign = static_cast<std::uint64_t>(job.Channels) * job.SampleBytes;
        const TFrameMarks& marks = job.Scan.Marks;
        // libmpg123 numbers frames from the first audio frame, past an Info frame it has read: its
        // numbers are the scan's, or one less.
        const auto known =
            std::find(marks.Leading.begin(), marks.Leading.end(), static_cast<std::uint64_t>(job.FrameAt));
        const std::int64_t shift = (known - marks.Leading.begin()) - job.FrameNumber;
        if (known == marks.Leading.end() || (shift != 0 && shift != 1)) return;
        const bool pastInfo = shift == 1;
        const auto& lead = marks.Leading;
        const std::size_t first = static_cast<std::size_t>(shift);
        FLongFirstFrame = pastInfo && lead.size() >= first + 3 &&
                          lead[first + 1] - lead[first] > lead[first + 2] - lead[first + 1] + 1;
        if (pastInfo && job.Scan.FromInfoHeader) FInfoFrames = job.Scan.InfoFrames;
        for (const std::uint64_t offset : pastInfo ? marks.Next : marks.At)
            FIndex.push_back(static_cast<off_t>(offset));
        if (FIndex.empty()) return;
        FIndexStep = static_cast<off_t>(marks.Step);
        const std::uint64_t frames = job.Scan.CountedFrames - (pastInfo ? 1 : 0);
        FAudioFrames = frames;
        // The cuts depend on the stream alone, never on the number of threads: the output is then
        // the same for any number of them by construction.
        std::uint64_t count = frames / std::max(job.MinChunkFrames, frames / MostChunks);
        if (job.Convert)
            count = std::max(count, (frames + MostConvertChunkFrames - 1) / MostConvertChunkFrames);
        for (std::uint64_t k = 0; k < count; ++k) {
            TChunk chunk;
            // On a frame whose place the scan marked, so the decode can show it starts there.
            chunk.First = k * frames / count / marks.Step * marks.Step;
            if (k > 0 && chunk.First <= FChunks.back().First) continue;
            if (!FChunks.empty()) FChunks.back().End = chunk.First;
            FChunks.push_back(chunk);
        }
    }

    bool Usable() const { return FChunks.size() >= 2; }

    TSplitResult Run(TProgressPrinter& progress) {
        const auto workers = static_cast<unsigned>(std::min<std::size_t>(FJob.Threads, FChunks.size()));
        if (!FWriter.Begin()) return {true, 0, 0};
        FRunning = workers;
        FReady = std::make_unique<std::atomic<bool>[]>(FChunks.size());
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < workers; ++i)
            threads.emplace_back([this] { Work(); });
        {
            std::unique_lock<std::mutex> lock(FDoneLock);
            // The progress lines come from here, so they stay in order whichever worker is ahead.
            // One frame short: the last line is the last frame's, written when the outcome is known.
            const auto showProgress = [&] {
                if (const std::uint64_t done = FFramesDone.load(); done > 1)
                    progress.Show(done - 1, [this] { return FKbps.load(); });
            };
            for (;;) {
                const bool ended = FDone.wait_for(lock, std::chrono::milliseconds(40),
                                                  [this] { return FRunning == 0 || NextToConvertReady(); });
                if (FJob.Convert) ConvertReadyChunks(lock, showProgress);
                if (ended && FRunning == 0) break;
                showProgress();
            }
        }
        for (auto& thread : threads)
            thread.join();
        return Result();
    }

private:
    TSplitResult Result() {
        TSplitResult result;
        if (FWriter.Failed()) {
            result.Decoded = true;
            return result;
        }
        if (FAbandoned || FJob.Source.Changed()) return result;
        if (FJob.Convert && (FConverted != FChunks.size() || !FJob.Convert->Finish())) {
            if (FWriter.Failed()) result.Decoded = true;
            return result;
        }
        // Each chunk's audio must end exactly where the next one's begins.
        std::uint64_t expected = 0;
        for (const TChunk& chunk : FChunks) {
            if (!chunk.Clean || static_cast<std::uint64_t>(chunk.StartSample) * FBlockAlign != expected)
                return result;
            expected += chunk.Bytes;
        }
        FWriter.SetDataBytes(FJob.Convert ? FJob.Convert->BytesOut() : expected);
        SplitDecodes.fetch_add(1);
        result.Decoded = true;
        result.LastFrame = FChunks.back().FrameCount;
        result.LastKbps = FChunks.back().Kbps;
        return result;
    }

    void Work() {
        if (!WorkOnChunks()) FAbandoned = true;
        const std::lock_guard<std::mutex> lock(FDoneLock);
        --FRunning;
        FDone.notify_all();
    }

    bool WorkOnChunks() {
        auto buffer = std::make_unique<std::uint8_t[]>(WorkerBufferBytes);
        while (!FAbandoned) {
            const std::size_t k = FNextChunk++;
            if (k >= FChunks.size()) return true;
            if (FJob.Convert && !WaitForConversion(k)) return false;
            // A fresh handle for each chunk: one that has decoded elsewhere keeps frame memory
            // that shows in the last bit of rare samples after the seek.
            TSourceReader reader(FJob.Source);
            THandle handle = OpenWorkerHandle(reader);
            if (!handle || !DecodeChunk(handle.get(), FChunks[k], k + 1 == FChunks.size(), buffer.get()))
                return false;
        }
        return false;
    }

    THandle OpenWorkerHandle(TSourceReader& reader) {
        std::string error;
        THandle handle = OpenDecoder(reader, FJob.Name, error, FJob.Encoding);
        long rate = 0;
        int channels = 0, encoding = 0;
        if (!handle || mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
            return nullptr;
        AllowFormats(handle.get(), FJob.Channels == 1 ? MPG123_MONO : MPG123_STEREO, FJob.Encoding);
        mpg123_param(handle.get(), MPG123_PREFRAMES, Preframes, 0.);
        if (mpg123_set_index(handle.get(), FIndex.data(), FIndexStep, FIndex.size()) != MPG123_OK)
            return nullptr;
        return handle;
    }

    bool DecodeChunk(mpg123_handle* handle, TChunk& chunk, bool last, std::uint8_t* buffer) {
        const auto marks = static_cast<std::uint64_t>(FIndexStep);
        // A first audio frame far longer than the next one (an encoder's first frame at a high
        // bitrate) leaves its bytes in libmpg123's double-buffered frame memory, and rare samples
        // of later frames read them (MPEG-2 Layer III at low bitrates): it is decoded before the
        // seek, as the one pass decodes it. Opening the handle reads that frame where no Info
        // frame stands before it; past one it must be decoded here.
        if (FLongFirstFrame && chunk.First > static_cast<std::uint64_t>(Preframes) &&
            !DecodeFirstFrame(handle))
            return false;
        if (chunk.First > 0 && mpg123_seek_frame(handle, static_cast<off_t>(chunk.First), SEEK_SET) !=
                                   static_cast<off_t>(chunk.First))
            return false;
        chunk.StartSample = mpg123_tell(handle);
        // Past the frames that the leading Info frame counts (files joined end to end) libmpg123
        // passes every frame whole, but its sample position there leaves out what it cut at the
        // start: count on from the length it gives the first stream.
        if (FInfoFrames > 0 && chunk.First > FInfoFrames)
            chunk.StartSample = static_cast<std::int64_t>(mpg123_length(handle)) +
                                static_cast<std::int64_t>(chunk.First - FInfoFrames) * mpg123_spf(handle);
        if (chunk.StartSample < 0) return false;
        std::uint64_t next = chunk.First, at = static_cast<std::uint64_t>(chunk.StartSample) * FBlockAlign;
        std::size_t fill = 0;
        const auto flush = [&] {
            if (FJob.Convert) chunk.Audio.insert(chunk.Audio.end(), buffer, buffer + fill);
            const bool written = FJob.Convert || FWriter.WriteAt(at, buffer, fill);
            at += fill;
            chunk.Bytes += fill;
            fill = 0;
            return written;
        };
        for (;;) {
            if (FAbandoned) return false;
            off_t frame = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int rc = mpg123_decode_frame(handle, &frame, &audio, &bytes);
            if (rc == MPG123_NEW_FORMAT && next == chunk.First) continue;
            if (rc == MPG123_DONE && last) break;
            if (rc != MPG123_OK) {
                if (last && AtTrailingData(handle, FJob.Scan)) break;
                return false;
            }
            // From the start, frames that fall wholly into the encoder's delay give no frame number.
            if (chunk.First == 0 && next == 0) next = static_cast<std::uint64_t>(frame);
            mpg123_frameinfo2 info{};
            mpg123_info2(handle, &info);
            if (static_cast<std::uint64_t>(frame) != next || !SameChannels(info)) return false;
            // libmpg123 counts frames as the scan did: the chunk's first frame is where it marked it.
            if (frame == static_cast<off_t>(chunk.First) &&
                mpg123_framepos(handle) != FIndex[chunk.First / marks])
                return false;
            if (fill + bytes > WorkerBufferBytes && !flush()) return false;
            if (bytes > WorkerBufferBytes) return false;
            std::copy(audio, audio + bytes, buffer + fill);
            fill += bytes;
            ++next;
            FFramesDone.fetch_add(1);
            chunk.Kbps = FrameKbps(handle, info);
            FKbps.store(chunk.Kbps);
            // Nothing passed over inside the chunk: its last frame stands before the next one's first.
            if (!last && next == chunk.End) {
                if (mpg123_framepos(handle) >= FIndex[chunk.End / marks]) return false;
                break;
            }
        }
        if (!flush()) return false;
        chunk.FrameCount = next;
        // The ends that the one-thread decode reports as damage are left to it.
        const TStreamScan& scan = FJob.Scan;
        if (last && (scan.TruncatedTail || next < FAudioFrames)) return false;
        chunk.Clean = true;
        if (FJob.Convert) {
            const std::lock_guard<std::mutex> lock(FDoneLock);
            FReady[&chunk - FChunks.data()].store(true);
            FDone.notify_all();
        }
        return true;
    }

    static bool DecodeFirstFrame(mpg123_handle* handle) {
        off_t frame = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        return mpg123_decode_frame(handle, &frame, &audio, &bytes) == MPG123_OK;
    }

    // A worker starts a chunk only a few chunks ahead of the conversion, so memory stays bounded.
    bool WaitForConversion(std::size_t k) {
        std::unique_lock<std::mutex> lock(FDoneLock);
        FDone.wait(lock, [&] { return FAbandoned || k < FConverted + ConvertChunksAhead + FJob.Threads; });
        return !FAbandoned;
    }

    bool NextToConvertReady() const {
        return FJob.Convert && !FAbandoned && FConverted < FChunks.size() && FReady[FConverted].load();
    }

    // On the thread that waits for the workers: each chunk in turn, as soon as it and those before
    // it are done, continuing exactly where the one before it ended.
    void ConvertReadyChunks(std::unique_lock<std::mutex>& lock, const std::function<void()>& showProgress) {
        while (NextToConvertReady()) {
            TChunk& chunk = FChunks[FConverted];
            std::vector<std::uint8_t> audio;
            audio.swap(chunk.Audio);
            lock.unlock();
            const bool joined = static_cast<std::uint64_t>(chunk.StartSample) * FBlockAlign == FConvertedIn;
            const bool converted = joined && FJob.Convert->Push(audio.data(), audio.size());
            FConvertedIn += audio.size();
            lock.lock();
            if (!converted) FAbandoned = true;
            ++FConverted;
            FDone.notify_all();
            showProgress(); // the conversion can keep this thread busy until the end
        }
    }

    // On one thread the output keeps the first frame's channels and libmpg123 converts frames
    // that differ; a worker starting part-way cannot know that, so such a stream is not split.
    bool SameChannels(const mpg123_frameinfo2& info) const {
        return (info.mode == MPG123_M_MONO) == (FJob.Channels == 1);
    }

    const TSplitJob& FJob;
    TWavWriter& FWriter;
    std::uint64_t FBlockAlign = 4;
    std::vector<off_t> FIndex;
    off_t FIndexStep = 1;
    std::vector<TChunk> FChunks;
    std::uint64_t FAudioFrames = 0;
    std::uint64_t FInfoFrames = 0; // what the Info frame that libmpg123 read counts, else 0
    bool FLongFirstFrame = false;
    std::atomic<std::size_t> FNextChunk = 0;
    std::atomic<bool> FAbandoned = false;
    std::atomic<std::uint64_t> FFramesDone = 0;
    std::atomic<int> FKbps = 0;
    std::mutex FDoneLock;
    std::condition_variable FDone;
    std::atomic<unsigned> FRunning = 0; // counted down under FDoneLock, read in the wait's predicate
    // Chunks done, for the conversion: set under FDoneLock, and atomic as the timed wait's
    // predicate reads them too.
    std::unique_ptr<std::atomic<bool>[]> FReady;
    std::atomic<std::size_t> FConverted = 0; // chunks handed to the conversion; changed under FDoneLock
    std::uint64_t FConvertedIn = 0;          // their bytes, on the waiting thread only
};

} // namespace

std::uint64_t SplitDecodesFinished() {
    return SplitDecodes.load();
}

unsigned AvailableCores() {
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

std::uint64_t MinChunkFrames() {
    if (const char* text = std::getenv("UTILS_MIN_CHUNK_FRAMES")) {
        const long long value = std::atoll(text);
        if (value > 0) return static_cast<std::uint64_t>(value);
    }
    return DefaultMinChunkFrames;
}

bool WorthSplitting(const TSplitJob& job) {
    const TStreamScan& scan = job.Scan;
    return job.MinChunkFrames > 0 && !scan.TruncatedTail && scan.TrailingDataOnly && scan.Damage.empty() &&
           scan.CountedFrames >= 2 * job.MinChunkFrames + 1;
}

TSplitResult DecodeSplit(const TSplitJob& job, TWavWriter& writer, TProgressPrinter& progress) {
    TSplitDecode split(job, writer);
    if (!split.Usable()) return {};
    return split.Run(progress);
}
