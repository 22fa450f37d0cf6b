#pragma once
// A quick pass over an MPEG audio stream before decoding: the exact frame total for the progress
// lines, whether the stream ends inside a frame, and whether what follows the last whole frame is
// only trailing data (tags, padding, junk) or the rest of a broken stream.
#include "decoder/bytesource.h"

#include <cstdint>
#include <string>
#include <vector>

// Where frames start, for a decode that begins part-way: At[i] is the offset of frame i * Step,
// Next[i] that of the frame after it (frames counted from the stream's first, 0 being the first).
// Step doubles as the stream grows, so a stream of any length costs a bounded number of marks.
struct TFrameMarks {
    std::uint64_t Step = 16;
    std::vector<std::uint64_t> At;
    std::vector<std::uint64_t> Next;
    std::vector<std::uint64_t> Leading; // of the first few frames, one by one
    void Add(std::uint64_t frame, std::uint64_t offset);
};

struct TStreamScan {
    std::uint64_t TotalFrames = 0;   // 0 when no frame was found
    std::uint64_t CountedFrames = 0; // whole frames found one after the other from the first
    bool FromInfoHeader = false;     // the total came from a Xing/Info/VBRI header, not from counting
    std::uint64_t InfoFrames = 0;    // the count in that header
    bool TruncatedTail = false;      // the last frame header promises more bytes than the file has
    std::uint64_t AudioEnd = 0;      // where the counted frames end
    bool TrailingDataOnly = false;   // no frame of the stream follows AudioEnd
    TFrameMarks Marks;               // of the counted frames, across tags between joined streams
    // A leading tag whose size runs into audio frames: the frames start here, inside what it claims.
    std::uint64_t AudioStart = 0;
    // Audio frames that no decode would reach (hidden by a tag that claims them), or where the
    // sample rate changes: where, and why. Such a stream cannot go whole into one file.
    std::uint64_t DamageAt = 0;
    std::string Damage; // empty when every frame found is reached and the format holds
    // Bytes inside the stream that are neither frames nor tags, or a last frame that the file
    // (or the tags that end it) cut short: the decode leaves them out and goes on with what follows.
    struct TSpan {
        std::uint64_t From = 0, To = 0;
        bool CutFrame = false; // the file ends inside this frame
    };
    std::vector<TSpan> PassedOver;
    std::uint64_t FrameBytes = 0; // of the counted frames, for what a span is worth in time
    long SampleRate = 0;          // of the first frame
    int SamplesPerFrame = 0;

    // The larger of the two counts: a header may understate the stream's length.
    std::uint64_t MostFrames() const { return TotalFrames > CountedFrames ? TotalFrames : CountedFrames; }
};

// The frames libmpg123 numbers in a stream the scan walked, given where the frame it stands at once
// the format is read starts (`frameAt`) and the number it gives that frame: the walked frames, less
// a leading Info frame that it read as such. 0 when the two do not agree on where the frames are.
std::uint64_t FramesToDecode(const TStreamScan& scan, std::int64_t frameAt, std::int64_t frameNumber);

// Reads the source through a small window: frame headers only, the audio is skipped.
TStreamScan ScanStream(TByteSource& source);

// A position-keeping reader over a source, so the scan never holds more than one window. The scan
// looks at the source as long as it was when the scan began.
class TSourceWindow {
public:
    explicit TSourceWindow(TByteSource& source) : FSource(source), FSize(source.Size()) {}
    // Pointer to `count` bytes at `offset`, or nullptr when they pass the end of the source.
    const std::uint8_t* At(std::uint64_t offset, std::size_t count);
    std::uint64_t Size() const { return FSize; }

private:
    TByteSource& FSource;
    std::uint64_t FSize;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
    std::uint8_t FBuffer[1 << 16];
};
