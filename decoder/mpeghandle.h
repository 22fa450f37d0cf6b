#pragma once
// A libmpg123 handle that reads a byte source through a window of its own, set up the same way for
// the whole-file decode and for each worker of a split one, so both decode alike.
#include "decoder/bytesource.h"
#include "decoder/streamscan.h"

#include <mpg123.h>

#include <cstdint>
#include <memory>
#include <string>

struct THandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using THandle = std::unique_ptr<mpg123_handle, THandleDeleter>;

// Where libmpg123 reads: the source through a small window, so its many small reads (a header,
// then a frame) cost no system call each. Must outlive the handle that reads through it.
class TSourceReader {
public:
    explicit TSourceReader(TByteSource& source) : FSource(source) {}
    std::size_t Read(void* buffer, std::size_t count);
    // SEEK_SET, SEEK_CUR or SEEK_END; the new position, or -1.
    std::int64_t Seek(std::int64_t offset, int whence);

private:
    static constexpr std::size_t WindowBytes = 1 << 16;

    TByteSource& FSource;
    std::uint64_t FPosition = 0;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
    std::unique_ptr<std::uint8_t[]> FWindow;
};

// Output in one encoding (16-bit unless told) at the source's own rate, whatever it is, with the
// given channel counts.
void AllowFormats(mpg123_handle* handle, int channels, int encoding = MPG123_ENC_SIGNED_16);

// A gapless handle that reports lost sync instead of skipping over it; on failure `error` says why.
THandle OpenDecoder(TSourceReader& reader, const std::string& name, std::string& error,
                    int encoding = MPG123_ENC_SIGNED_16);

// Bytes after the last whole frame that hold no further frame (tags, padding, junk) end the
// stream; anything that stops the decoder before them is damage.
bool AtTrailingData(mpg123_handle* handle, const TStreamScan& scan);

// The bitrate of the frame just decoded, worked out for free format, whose header has none.
int FrameKbps(mpg123_handle* handle);
int FrameKbps(mpg123_handle* handle, const mpg123_frameinfo2& info);
