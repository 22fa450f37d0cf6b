#include "decoder/bytesource.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>
#include <sys/types.h>

#ifndef _WIN32
#include <cerrno>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {

bool SeekFile(std::FILE* file, std::uint64_t offset) {
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

} // namespace
#endif

TFileSource::TFileSource(std::FILE* file) : FFile(file), FOpened(Stamp()) {}

TFileSource::TStamp TFileSource::Stamp() const {
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(_fileno(FFile), &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtime) * 1000000000};
#else
    struct stat info {};
    if (::fstat(::fileno(FFile), &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
#endif
}

std::uint64_t TFileSource::Size() const {
    return Stamp().Size;
}

bool TFileSource::Changed() const {
    return !(Stamp() == FOpened);
}

std::size_t TFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
#ifndef _WIN32
    // Positioned reads keep no position of their own, so the workers of a split decode share the
    // file; a file that is still growing is read up to where it ends now.
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n =
            ::pread(::fileno(FFile), bytes + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
#else
    const std::lock_guard<std::mutex> lock(FLock);
    if (offset != FPosition && !SeekFile(FFile, offset)) {
        FPosition = ~std::uint64_t(0);
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, count, FFile);
    // A short read may be the end of a file that is still growing: the next read seeks again,
    // which clears the end-of-file mark, so what was appended meanwhile is read too.
    FPosition = got == count ? offset + got : ~std::uint64_t(0);
    return got;
#endif
}

std::size_t TMemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= FSize) return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FSize - offset));
    std::memcpy(buffer, FData + offset, n);
    return n;
}

TSplicedSource::TSplicedSource(TByteSource& source, const std::vector<TLeftOut>& leftOut)
    : FSource(source), FLeftOut(leftOut) {
    for (const TLeftOut& span : FLeftOut)
        FLeftOutBytes += span.To - span.From;
}

std::uint64_t TSplicedSource::Size() const {
    const std::uint64_t size = FSource.Size();
    return size > FLeftOutBytes ? size - FLeftOutBytes : 0;
}

std::size_t TSplicedSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    std::uint64_t real = offset; // the source's offset: past every span left out before it
    auto span = FLeftOut.begin();
    for (; span != FLeftOut.end() && span->From <= real; ++span)
        real += span->To - span->From;
    while (done < count) {
        const std::uint64_t upTo = span == FLeftOut.end() ? real + (count - done) : span->From;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, upTo - real));
        const std::size_t got = want ? FSource.ReadAt(real, out + done, want) : 0;
        done += got;
        if (got < want || span == FLeftOut.end()) break;
        real = span->To;
        ++span;
    }
    return done;
}
