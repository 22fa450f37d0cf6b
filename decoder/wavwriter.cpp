#include "decoder/wavwriter.h"

#include "decoder/partname.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
// Large writes: the decoder's speed is bounded by the decoding, not by system calls.
constexpr std::size_t BufferBytes = 1 << 20;

// A partial file left by a decoder that was killed is replaced, never written through: it is
// removed and created anew, so a link planted under that name leads nowhere.
std::FILE* OpenFresh(const std::string& path) {
    std::remove(path.c_str());
#ifdef _WIN32
    return std::fopen(path.c_str(), "wb");
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) ::close(fd);
    return file;
#endif
}
} // namespace

TWavWriter::TWavWriter(std::string path, TWavFormat format, TWavLayout layout, TOpener open)
    : FPath(std::move(path)), FPartialPath(PartialOutputPath(FPath)), FFormat(format), FLayout(layout),
      FOpen(open ? open : OpenFresh) {}

TWavWriter::~TWavWriter() {
    if (FFile) Discard();
}

bool TWavWriter::Fail(const std::string& what) {
    const int code = errno;
    const std::lock_guard<std::mutex> lock(FErrorLock);
    if (FFailed) return false;
    FErrno = code;
    FError = what + " \"" + FPath + "\": " + std::strerror(FErrno);
    FFailed = true;
    return false;
}

bool TWavWriter::DiskFull() const {
#ifdef EDQUOT
    if (FErrno == EDQUOT) return true;
#endif
    return FErrno == ENOSPC;
}

bool TWavWriter::Create() {
    if (!Begin()) return false;
    FBuffer = std::make_unique<std::uint8_t[]>(BufferBytes);
    return true;
}

bool TWavWriter::Begin() {
    FFile = FOpen(FPartialPath);
    if (!FFile) return Fail("cannot create output file");
    std::setvbuf(FFile, nullptr, _IONBF, 0);
    const auto header = BuildWavHeader(FFormat, FLayout, UnknownLength);
    if (std::fwrite(header.data(), 1, header.size(), FFile) != header.size())
        return Fail("cannot write output file");
    return true;
}

bool TWavWriter::WriteAt(std::uint64_t dataOffset, const std::uint8_t* data, std::size_t bytes) {
    if (Failed()) return false;
    std::uint64_t at = HeaderSize(FLayout) + dataOffset;
#ifdef _WIN32
    const std::lock_guard<std::mutex> lock(FWriteLock);
    if (_fseeki64(FFile, static_cast<__int64>(at), SEEK_SET) != 0 ||
        std::fwrite(data, 1, bytes, FFile) != bytes)
        return Fail("cannot write output file");
#else
    while (bytes > 0) {
        const ssize_t n = ::pwrite(::fileno(FFile), data, bytes, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return Fail("cannot write output file");
        data += n;
        bytes -= static_cast<std::size_t>(n);
        at += static_cast<std::uint64_t>(n);
    }
#endif
    return true;
}

bool TWavWriter::Flush() {
    if (FFill == 0) return true;
    if (std::fwrite(FBuffer.get(), 1, FFill, FFile) != FFill) return Fail("cannot write output file");
    FFill = 0;
    return true;
}

bool TWavWriter::Append(const std::uint8_t* data, std::size_t bytes) {
    if (!FError.empty()) return false;
    if (bytes == 0) return true;
    if (!FFile && !Create()) return false;
    FDataBytes += bytes;
    while (bytes > 0) {
        const std::size_t take = std::min(bytes, BufferBytes - FFill);
        std::memcpy(FBuffer.get() + FFill, data, take);
        FFill += take;
        data += take;
        bytes -= take;
        if (FFill == BufferBytes && !Flush()) return false;
    }
    return true;
}

bool TWavWriter::WriteTrailer() {
    if (FTrailer.empty()) return true;
    const auto at = static_cast<std::int64_t>(HeaderSize(FLayout) + FDataBytes);
#ifdef _WIN32
    const int moved = _fseeki64(FFile, at, SEEK_SET);
#else
    const int moved = ::fseeko(FFile, static_cast<off_t>(at), SEEK_SET);
#endif
    if (moved != 0 || std::fwrite(FTrailer.data(), 1, FTrailer.size(), FFile) != FTrailer.size())
        return Fail("cannot write output file");
    return true;
}

bool TWavWriter::Finish() {
    if (!FError.empty() || !FFile) return FError.empty();
    if (FBuffer && !Flush()) return false;
    if (!FTrailer.empty() && FDataBytes % 2) FTrailer.insert(FTrailer.begin(), 0); // the audio's pad byte
    auto header = BuildWavHeader(FFormat, FLayout, FDataBytes, FTrailer.size());
    if (header.empty() && !FTrailer.empty()) {
        FTrailer.clear();
        FTrailerDropped = true;
        header = BuildWavHeader(FFormat, FLayout, FDataBytes);
    }
    if (header.empty()) {
        errno = EFBIG;
        return Fail("audio too long for the WAV header of output file");
    }
    if (!WriteTrailer()) return false;
    if (std::fseek(FFile, 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), FFile) != header.size())
        return Fail("cannot write output file");
    std::FILE* file = FFile;
    FFile = nullptr;
    if (std::fclose(file) != 0) {
        FFinished = true; // so that Discard() removes the partial file
        return Fail("cannot close output file");
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(FPartialPath), std::filesystem::path(FPath), ec);
    if (ec) {
        errno = ec.value();
        FFinished = true;
        return Fail("cannot rename the finished output file");
    }
    FFinished = true;
    return true;
}

void TWavWriter::Discard() {
    const bool existed = Created();
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
    FFinished = false;
    if (existed) std::remove(FPartialPath.c_str());
}
