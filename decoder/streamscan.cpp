#include "decoder/streamscan.h"

#include "decoder/mpegheader.h"

#include <algorithm>
#include <optional>

namespace {

// How far past the tags a first frame is looked for; libmpg123 gives up on junk sooner.
constexpr std::uint64_t MaxJunkBeforeAudio = 1 << 16;
// A free-format frame is at most this long (layer I at 32 kHz with the largest free bitrates).
constexpr std::uint64_t MaxFrameBytes = 8192;

bool SameStream(TFileWindow& window, std::uint64_t offset, std::uint32_t firstWord) {
    const std::uint8_t* p = window.At(offset, 4);
    return p && ParseMpegHeader(ReadBigEndian32(p)) &&
           (ReadBigEndian32(p) & StreamHeaderMask) == (firstWord & StreamHeaderMask);
}

// Length of the unpadded free-format frame at `offset`: the distance to the next matching header.
std::uint64_t FreeFormatLength(TFileWindow& window, std::uint64_t offset, const TMpegHeader& h,
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

// The first header that is followed by a second one of the same stream (or by the end of file).
std::optional<TFirstFrame> FindFirstFrame(TFileWindow& window) {
    std::uint64_t start = 0;
    while (const std::uint8_t* p = window.At(start, 10)) {
        const std::size_t tag = Id3v2TagSize(p, 10);
        if (tag == 0) break;
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
            length = h->FreeFormatBytes(first.FreeUnpadded);
        }
        if (at + length == window.Size() || SameStream(window, at + length, word)) return first;
    }
    return std::nullopt;
}

} // namespace

bool SeekFile(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

TFileWindow::TFileWindow(std::FILE* file, std::uint64_t fileSize) : FFile(file), FSize(fileSize) {}

const std::uint8_t* TFileWindow::At(std::uint64_t offset, std::size_t count) {
    if (count > sizeof FBuffer || offset + count > FSize) return nullptr;
    if (offset < FStart || offset + count > FStart + FLength) {
        if (!SeekFile(FFile, offset)) return nullptr;
        FStart = offset;
        FLength = std::fread(FBuffer, 1, sizeof FBuffer, FFile);
        if (FLength < count) return nullptr;
    }
    return FBuffer + (offset - FStart);
}

TStreamScan ScanStream(std::FILE* file, std::uint64_t fileSize) {
    TStreamScan scan;
    TFileWindow window(file, fileSize);
    const auto first = FindFirstFrame(window);
    if (!first) return scan;
    const TMpegHeader firstHeader = *ParseMpegHeader(first->Word);
    const std::size_t probe =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize - first->Offset, 256));
    std::optional<std::uint64_t> infoFrames;
    if (const std::uint8_t* frame = window.At(first->Offset, probe))
        infoFrames = InfoHeaderFrames(firstHeader, frame, probe);

    // Hop from header to header (the audio is never read) to count the frames and to see whether
    // the file ends inside one; the hop also runs with an Info header, whose count says nothing
    // about a cut inside the last frame.
    std::uint64_t at = first->Offset, counted = 0;
    while (at < fileSize) {
        const std::uint8_t* p = window.At(at, 4);
        if (!p) {
            // Fewer than 4 bytes left: the start of a header cut off, or nothing of ours.
            const std::uint8_t* rest = window.At(at, static_cast<std::size_t>(fileSize - at));
            scan.TruncatedTail = rest && rest[0] == 0xFF;
            break;
        }
        const std::uint32_t word = ReadBigEndian32(p);
        const auto h = ParseMpegHeader(word);
        if (!h || (word & StreamHeaderMask) != (first->Word & StreamHeaderMask)) break;
        const std::uint64_t length = h->FrameBytes ? h->FrameBytes : h->FreeFormatBytes(first->FreeUnpadded);
        if (at + length > fileSize) {
            scan.TruncatedTail = true;
            break;
        }
        ++counted;
        at += length;
    }
    scan.FromInfoHeader = infoFrames.has_value();
    scan.TotalFrames = infoFrames ? *infoFrames : counted;
    return scan;
}
