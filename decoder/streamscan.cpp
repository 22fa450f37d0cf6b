#include "decoder/streamscan.h"

#include "decoder/mpegheader.h"
#include "decoder/tagspans.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

// How far past the tags a first frame is looked for; libmpg123 gives up on junk sooner.
constexpr std::uint64_t MaxJunkBeforeAudio = 1 << 16;
// A free-format frame is at most this long (layer I at 32 kHz with the largest free bitrates).
constexpr std::uint64_t MaxFrameBytes = 8192;

bool SameStream(TSourceWindow& window, std::uint64_t offset, std::uint32_t firstWord) {
    const std::uint8_t* p = window.At(offset, 4);
    return p && ParseMpegHeader(ReadBigEndian32(p)) &&
           (ReadBigEndian32(p) & StreamHeaderMask) == (firstWord & StreamHeaderMask);
}

// Length of the unpadded free-format frame at `offset`: the distance to the next matching header.
std::uint64_t FreeFormatLength(TSourceWindow& window, std::uint64_t offset, const TMpegHeader& h,
                               std::uint32_t word) {
    for (std::uint64_t next = offset + 4; next < offset + MaxFrameBytes; ++next) {
        if (!SameStream(window, next, word)) continue;
        const std::uint64_t length = next - offset;
        const std::uint64_t pad = h.PaddingBytes();
        if (length > pad) return length - pad;
    }
    return 0;
}

struct TFirstFrame {
    std::uint64_t Offset = 0;
    std::uint32_t Word = 0;
    std::uint64_t FreeUnpadded = 0; // free format only
};

// The stream whose header stands at `at`, its free-format frame length measured where it has one.
TFirstFrame StreamAt(TSourceWindow& window, std::uint64_t at) {
    const std::uint8_t* p = window.At(at, 4);
    TFirstFrame stream{at, p ? ReadBigEndian32(p) : 0, 0};
    if (const auto h = ParseMpegHeader(stream.Word); h && h->FrameBytes == 0)
        stream.FreeUnpadded = FreeFormatLength(window, at, *h, stream.Word);
    return stream;
}

// Length of the frame whose header is at `p`, or 0 when it is no frame of the stream that starts
// with `first`: another stream's header, or one whose length is unknown.
std::uint64_t FrameLength(const std::uint8_t* p, const TFirstFrame& first) {
    const std::uint32_t word = ReadBigEndian32(p);
    if ((word & StreamHeaderMask) != (first.Word & StreamHeaderMask)) return 0;
    const auto h = ParseMpegHeader(word);
    if (!h) return 0;
    if (h->FrameBytes) return h->FrameBytes;
    return first.FreeUnpadded ? h->FreeFormatBytes(first.FreeUnpadded) : 0;
}

// Where audio follows `from` (before `limit`): a frame header followed by the next one of its
// stream (or by the end of the file), and that stream. It may be another one, as when the sample
// rate changes part-way. Tags, padding and junk after the audio hold none.
std::optional<TFirstFrame> FrameFollows(TSourceWindow& window, std::uint64_t from, std::uint64_t limit,
                                        const TFirstFrame& first) {
    for (std::uint64_t at = from; at < limit; ++at) {
        const std::uint8_t* p = window.At(at, 4);
        if (!p) break;
        if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) continue;
        const std::uint32_t word = ReadBigEndian32(p);
        const TFirstFrame stream = (word & StreamHeaderMask) == (first.Word & StreamHeaderMask)
                                       ? TFirstFrame{at, word, first.FreeUnpadded}
                                       : StreamAt(window, at);
        const std::uint64_t length = FrameLength(window.At(at, 4), stream); // StreamAt moved the window
        if (length == 0) continue;
        if (at + length == window.Size()) return stream;
        const std::uint8_t* next = window.At(at + length, 4);
        const std::uint64_t nextLength = next ? FrameLength(next, stream) : 0;
        // A free-format length found here is the distance to that very header, and another
        // stream's two headers in a row turn up by chance in long junk: a third frame must follow.
        const bool otherStream = (word & StreamHeaderMask) != (first.Word & StreamHeaderMask);
        if (nextLength && ((stream.FreeUnpadded && stream.Word != first.Word) || otherStream)) {
            const std::uint64_t third = at + length + nextLength;
            if (third != window.Size() && !(window.At(third, 4) && FrameLength(window.At(third, 4), stream)))
                continue;
        }
        if (nextLength) return stream;
    }
    return std::nullopt;
}

// Where the first run of at least two whole frames starts inside the bytes that an ID3v2 tag at
// `tag` claims, when the run goes on past the claimed end (or the claim passes the end of the
// file): audio that the tag's wrong size would hide. Frames inside a true tag never line up with
// the audio that follows it.
std::optional<std::uint64_t> FramesInsideTag(TSourceWindow& window, std::uint64_t tag,
                                             std::uint64_t claimed) {
    const std::uint64_t end = tag + claimed, size = window.Size();
    for (std::uint64_t at = tag + 10; at < std::min(end, size); ++at) {
        const std::uint8_t* p = window.At(at, 4);
        if (!p) break;
        if (p[0] != 0xFF) continue;
        const TFirstFrame stream = StreamAt(window, at);
        std::uint64_t hop = at, frames = 0;
        while (const std::uint8_t* q = window.At(hop, 4)) {
            const std::uint64_t length = FrameLength(q, stream);
            if (length == 0 || hop + length > size) break;
            hop += length;
            ++frames;
            // A frame that ends right where the claim ends hides as much audio as one across it:
            // the run goes on to the frame after it, and a first frame across the claim (an Info
            // frame, say) needs one more to be a run.
            if (hop > end && frames >= 2) break;
        }
        if (frames >= 2 && (hop >= end || end > size)) return at;
    }
    return std::nullopt;
}

// True when the frame at `at` and the one after it have the free-format length `stream` measured:
// a third header (or the end of the file) follows them.
bool FreeLengthChains(TSourceWindow& window, std::uint64_t at, const TFirstFrame& stream) {
    for (int frame = 0; frame < 2; ++frame) {
        const std::uint8_t* p = window.At(at, 4);
        const std::uint64_t length = p ? FrameLength(p, stream) : 0;
        if (length == 0) return false;
        at += length;
        if (at == window.Size()) return true;
    }
    const std::uint8_t* p = window.At(at, 4);
    return p && FrameLength(p, stream) != 0;
}

// The first header that is followed by a second one of the same stream (or by the end of file).
// A leading tag whose size runs into the audio is cut short where the frames start: `audioStart`.
std::optional<TFirstFrame> FindFirstFrame(TSourceWindow& window, std::uint64_t& audioStart) {
    std::uint64_t start = 0;
    while (const std::uint8_t* p = window.At(start, 10)) {
        const std::size_t tag = Id3v2TagSize(p, 10);
        if (tag == 0) break;
        if (Id3v2FramesFill(window, start, tag)) {
            start += tag;
            continue;
        }
        if (const auto inside = FramesInsideTag(window, start, tag)) {
            start = audioStart = *inside;
            break;
        }
        start += tag;
    }
    for (std::uint64_t at = start; at < start + MaxJunkBeforeAudio; ++at) {
        const std::uint8_t* p = window.At(at, 4);
        if (!p) return std::nullopt;
        const std::uint32_t word = ReadBigEndian32(p);
        const auto h = ParseMpegHeader(word);
        if (!h) continue;
        TFirstFrame first{at, word, 0};
        std::uint64_t length = h->FrameBytes;
        if (length == 0) {
            first.FreeUnpadded = FreeFormatLength(window, at, *h, word);
            if (first.FreeUnpadded == 0) continue;
            // Junk right after the first frame stretches the distance to the next header: the
            // frames after it tell the stream's length, when theirs chains and the first's does not.
            if (at == start && !FreeLengthChains(window, at, first)) {
                const TFirstFrame after = StreamAt(window, at + h->FreeFormatBytes(first.FreeUnpadded));
                if (after.FreeUnpadded && FreeLengthChains(window, after.Offset, after))
                    first.FreeUnpadded = after.FreeUnpadded;
            }
            length = h->FreeFormatBytes(first.FreeUnpadded);
        }
        if (at + length == window.Size() || SameStream(window, at + length, word)) return first;
        // Where the audio must begin, a frame followed by junk and then more frames of its stream
        // is the first of a damaged stream.
        if (at == start) {
            const auto next = FrameFollows(window, at + length,
                                           std::min(at + length + MaxJunkBeforeAudio, window.Size()), first);
            if (next && (next->Word & StreamHeaderMask) == (word & StreamHeaderMask)) return first;
        }
    }
    return std::nullopt;
}

// Length of the tag at `at` that libmpg123 passes over, when its framing holds: an ID3v2 tag whose
// size holds no frames, an APEv2 tag with a matching footer, an ID3v1 tag, a Lyrics3 block; else 0.
// An ID3v2 tag that claims frames, wherever it stands, hides audio: the scan notes the damage.
std::uint64_t TagBetweenFrames(TSourceWindow& window, std::uint64_t at, TStreamScan& scan) {
    const std::uint8_t* p = window.At(at, 10);
    const std::uint64_t length = p ? Id3v2TagSize(p, 10) : 0;
    if (length == 0) return TagSpanAt(window, at);
    if (Id3v2FramesFill(window, at, length)) return length;
    if (const auto inside = FramesInsideTag(window, at, length)) {
        scan.DamageAt = at;
        scan.Damage = "the ID3v2 tag at byte " + std::to_string(at) + " claims " + std::to_string(length) +
                      " bytes, but audio frames follow inside it from byte " + std::to_string(*inside);
        return 0;
    }
    return at + length <= window.Size() ? length : 0;
}

// True when a header of the stream of `word` at `at` comes again within the longest frame its
// version and layer can have: the frames of a new format, whether or not their lengths chain. A
// lone header of another format where junk begins, with the stream going on after the junk, is
// chance.
bool HeaderRecurs(TSourceWindow& window, std::uint64_t at, std::uint32_t word) {
    const auto longest = ParseMpegHeader((word & ~0xFE00u) | 0xE000u | 0x0800u | 0x0200u);
    const std::uint64_t reach = longest && longest->FrameBytes ? longest->FrameBytes : MaxFrameBytes;
    for (std::uint64_t next = at + 4; next <= at + reach; ++next)
        if (SameStream(window, next, word)) return true;
    return false;
}

// The header at `at` begins another sample rate where the stream's next frame belongs: the audio
// after it cannot go on in the same file. (Another channel count is converted to the first one's.)
void NoteFormatChange(TStreamScan& scan, std::uint64_t at, const char* what, std::uint64_t frames) {
    scan.DamageAt = at;
    scan.Damage = std::string("the ") + what + " changes after frame " + std::to_string(frames);
}

} // namespace

void TFrameMarks::Add(std::uint64_t frame, std::uint64_t offset) {
    constexpr std::size_t MaxMarks = 4096;
    if (frame < 8) Leading.push_back(offset);
    const std::uint64_t phase = frame % Step;
    if (phase > 1) return;
    if (phase == 0 && At.size() == MaxMarks) {
        // Keep every other mark: the step doubles and the frame lands on a mark of the new step.
        for (std::size_t i = 0; i < MaxMarks / 2; ++i) {
            At[i] = At[2 * i];
            Next[i] = Next[2 * i];
        }
        At.resize(MaxMarks / 2);
        Next.resize(MaxMarks / 2);
        Step *= 2;
        if (frame % Step != 0) return;
    }
    (phase == 0 ? At : Next).push_back(offset);
}

const std::uint8_t* TSourceWindow::At(std::uint64_t offset, std::size_t count) {
    if (count > sizeof FBuffer || offset + count > Size()) return nullptr;
    if (offset < FStart || offset + count > FStart + FLength) {
        FStart = offset;
        FLength = FSource.ReadAt(offset, FBuffer, sizeof FBuffer);
        if (FLength < count) return nullptr;
    }
    return FBuffer + (offset - FStart);
}

std::uint64_t FramesToDecode(const TStreamScan& scan, std::int64_t frameAt, std::int64_t frameNumber) {
    const auto& leading = scan.Marks.Leading;
    const auto known = std::find(leading.begin(), leading.end(), static_cast<std::uint64_t>(frameAt));
    const std::int64_t shift = (known - leading.begin()) - frameNumber;
    if (known == leading.end() || (shift != 0 && shift != 1) || scan.CountedFrames < std::uint64_t(shift))
        return 0;
    return scan.CountedFrames - static_cast<std::uint64_t>(shift);
}

TStreamScan ScanStream(TByteSource& source) {
    TStreamScan scan;
    TSourceWindow window(source);
    const std::uint64_t size = window.Size();
    const auto first = FindFirstFrame(window, scan.AudioStart);
    if (!first) return scan;
    const TMpegHeader firstHeader = *ParseMpegHeader(first->Word);
    scan.SampleRate = firstHeader.SampleRate;
    scan.SamplesPerFrame = firstHeader.SamplesPerFrame;
    const std::size_t probe = static_cast<std::size_t>(std::min<std::uint64_t>(size - first->Offset, 256));
    std::optional<std::uint64_t> infoFrames;
    if (const std::uint8_t* frame = window.At(first->Offset, probe))
        infoFrames = InfoHeaderFrames(firstHeader, frame, probe);

    // Hop from header to header (the audio is never read) to count the frames and to see whether
    // the file ends inside one; the hop also runs with an Info header, whose count says nothing
    // about a cut inside the last frame. Every hop moves on by a whole frame.
    // Tags are passed over only by their own framing, and those that end the file only behind a
    // whole frame. Bytes that hold neither frames nor a tag, with audio after them, are passed over
    // to where the audio resumes; with none after them they are trailing data.
    const std::uint64_t tail = TrailingTagsStart(window);
    TFirstFrame stream = *first;
    std::uint64_t at = first->Offset, counted = 0, frameEnd = at;
    while (at < size && scan.Damage.empty()) {
        const std::uint8_t* p = window.At(at, 4);
        if (!p) {
            // Fewer than 4 bytes left: the start of a header cut off, or nothing of ours.
            const std::uint8_t* rest = window.At(at, static_cast<std::size_t>(size - at));
            scan.TruncatedTail = rest && rest[0] == 0xFF;
            if (scan.TruncatedTail) scan.PassedOver.push_back({at, size, true});
            break;
        }
        const std::uint32_t word = ReadBigEndian32(p);
        const std::uint64_t length = FrameLength(p, stream);
        if (length == 0) {
            // Right where the next frame belongs, a header of another sample rate is a change of
            // format; one of another layer at the same rate goes on as one stream.
            const bool otherStream = (word & StreamHeaderMask) != (stream.Word & StreamHeaderMask);
            if (const auto h = ParseMpegHeader(word); h && otherStream && at == frameEnd) {
                if (h->SampleRate != firstHeader.SampleRate) {
                    const auto resumes = FrameFollows(window, at + 1, tail, stream);
                    if (!resumes || (resumes->Word & StreamHeaderMask) != (stream.Word & StreamHeaderMask) ||
                        HeaderRecurs(window, at, word)) {
                        NoteFormatChange(scan, at, "sample rate", counted);
                        break;
                    }
                } else if (const TFirstFrame other = StreamAt(window, at);
                           const std::uint64_t next = FrameLength(window.At(at, 4), other)) {
                    if (at + next == size ||
                        (window.At(at + next, 4) && FrameLength(window.At(at + next, 4), other))) {
                        stream = other;
                        continue;
                    }
                }
            }
            if (const std::uint64_t tag = at < tail ? TagBetweenFrames(window, at, scan) : 0) {
                at += tag;
                continue;
            }
            // Tags count only with a frame or another tag after them: else the search starts where
            // the frames end, and what the tags seemed to be is passed over with the rest.
            const std::uint64_t from = at < tail ? frameEnd : at;
            const auto audio =
                from < tail && scan.Damage.empty() ? FrameFollows(window, from, tail, stream) : std::nullopt;
            if (!audio) break;
            at = from;
            if (ParseMpegHeader(audio->Word)->SampleRate != firstHeader.SampleRate) {
                NoteFormatChange(scan, audio->Offset, "sample rate", counted);
                break;
            }
            scan.PassedOver.push_back({at, audio->Offset, false});
            stream = *audio;
            at = audio->Offset;
            continue;
        }
        if (at + length > size || (at < tail && at + length > tail)) {
            // Cut short by the end of the file, or by the tags that end it.
            scan.TruncatedTail = true;
            scan.PassedOver.push_back({at, at < tail ? tail : size, true});
            break;
        }
        scan.Marks.Add(counted, at);
        ++counted;
        scan.FrameBytes += length;
        at += length;
        frameEnd = at;
    }
    scan.FromInfoHeader = infoFrames.has_value();
    scan.InfoFrames = infoFrames.value_or(0);
    scan.TotalFrames = infoFrames ? *infoFrames : counted;
    // Streams joined end to end: the first one's Info frame counts only its own frames. libmpg123
    // does not count that Info frame, but counts the later ones as audio.
    if (infoFrames && counted > *infoFrames + 1) scan.TotalFrames = counted - 1;
    scan.CountedFrames = counted;
    scan.AudioEnd = frameEnd;
    scan.TrailingDataOnly = !scan.TruncatedTail && scan.Damage.empty();
    return scan;
}
