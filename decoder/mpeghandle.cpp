#include "decoder/mpeghandle.h"

#include "decoder/progress.h"

#include <algorithm>
#include <cstring>

std::size_t TSourceReader::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (FPosition >= FStart && FPosition < FStart + FLength) {
            const auto at = static_cast<std::size_t>(FPosition - FStart);
            const std::size_t take = std::min(count - done, FLength - at);
            std::memcpy(out + done, FWindow.get() + at, take);
            done += take;
            FPosition += take;
            continue;
        }
        if (count - done >= WindowBytes) { // large reads go straight through
            const std::size_t got = FSource.ReadAt(FPosition, out + done, count - done);
            done += got;
            FPosition += got;
            break;
        }
        if (!FWindow) FWindow = std::make_unique<std::uint8_t[]>(WindowBytes);
        FStart = FPosition;
        // Read anew each time the window runs out: a file that is still growing is read to its end.
        FLength = FSource.ReadAt(FPosition, FWindow.get(), WindowBytes);
        if (FLength == 0) break;
    }
    return done;
}

std::int64_t TSourceReader::Seek(std::int64_t offset, int whence) {
    const std::int64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? static_cast<std::int64_t>(FPosition)
                                                   : static_cast<std::int64_t>(FSource.Size());
    if (offset < -base) return -1;
    FPosition = static_cast<std::uint64_t>(base + offset);
    return static_cast<std::int64_t>(FPosition);
}

namespace {

mpg123_ssize_t ReadInput(void* handle, void* buffer, std::size_t count) {
    return static_cast<mpg123_ssize_t>(static_cast<TSourceReader*>(handle)->Read(buffer, count));
}

off_t SeekInput(void* handle, off_t offset, int whence) {
    return static_cast<off_t>(static_cast<TSourceReader*>(handle)->Seek(offset, whence));
}

} // namespace

void AllowFormats(mpg123_handle* handle, int channels, int encoding) {
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(handle, rates[i], channels, encoding);
}

THandle OpenDecoder(TSourceReader& reader, const std::string& name, std::string& error, int encoding) {
    int rc = MPG123_OK;
    THandle handle(mpg123_new(nullptr, &rc));
    if (!handle) {
        error = std::string("cannot start the MPEG decoder: ") + mpg123_plain_strerror(rc);
        return nullptr;
    }
    // No resync: lost sync must be reported, not skipped over in silence.
    mpg123_param(handle.get(), MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_NO_RESYNC, 0.);
    AllowFormats(handle.get(), MPG123_MONO | MPG123_STEREO, encoding);
    if (mpg123_replace_reader_handle(handle.get(), ReadInput, SeekInput, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &reader) != MPG123_OK) {
        error = "cannot open input file \"" + name + "\": " + mpg123_strerror(handle.get());
        return nullptr;
    }
    return handle;
}

bool AtTrailingData(mpg123_handle* handle, const TStreamScan& scan) {
    return scan.TrailingDataOnly && mpg123_tell_stream(handle) >= static_cast<off_t>(scan.AudioEnd);
}

int FrameKbps(mpg123_handle* handle) {
    mpg123_frameinfo2 info{};
    mpg123_info2(handle, &info);
    return FrameKbps(handle, info);
}

int FrameKbps(mpg123_handle* handle, const mpg123_frameinfo2& info) {
    if (info.bitrate != 0) return info.bitrate;
    return BitrateFromFrameSize(info.framesize, info.rate, mpg123_spf(handle)); // free format
}
