#include "decoder/wavwriter.h"

#include "decoder/partname.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// Large writes: the decoder's speed is bounded by the decoding, not by system calls.
constexpr std::size_t BufferBytes = 1 << 20;

long long ProcessId() {
#ifdef _WIN32
    return static_cast<long long>(_getpid());
#else
    return static_cast<long long>(::getpid());
#endif
}

std::FILE* OwnFile(int fd) {
#ifdef _WIN32
    (void)fd;
    return nullptr;
#else
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) ::close(fd);
    return file;
#endif
}

// A file without a name in the output's folder: nobody else can open, replace or remove it, and a
// decoder killed part-way leaves nothing, so nothing per file has to search the folder for
// leftovers. `unsupported` turns true where the file system cannot make one.
std::FILE* OpenUnnamed(const std::string& folder, bool& unsupported) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unsupported = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
    return OwnFile(fd);
#else
    (void)folder;
    unsupported = true;
    return nullptr;
#endif
}

// A second descriptor of the file, or -1 where the names cannot be checked against it.
int Duplicate(std::FILE* file) {
#ifdef _WIN32
    (void)file;
    return -1;
#else
    return ::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0);
#endif
}

void CloseDuplicate(int fd) {
#ifndef _WIN32
    ::close(fd);
#else
    (void)fd;
#endif
}
} // namespace

TWavWriter::TWavWriter(std::string path, TWavFormat format, TWavLayout layout, TOpener open, bool mayReplace)
    : FPath(std::move(path)), FPartialPath(PartialOutputPath(FPath, ProcessId())), FFormat(format),
      FLayout(layout), FOpen(open), FMayReplace(mayReplace) {}

TWavWriter::~TWavWriter() {
    if (FFile) Discard();
}

bool TWavWriter::Fail(const std::string& what) {
    const int code = errno;
    return FailWith(what + " \"" + FPath + "\": " + std::strerror(code), code);
}

bool TWavWriter::FailWith(const std::string& message, int code) {
    const std::lock_guard<std::mutex> lock(FErrorLock);
    if (FFailed) return false;
    FErrno = code;
    FError = message;
    FFailed = true;
    return false;
}

// True while `path` names the very file open as `fd`, not a link or another file put there.
bool TWavWriter::StillOurs(int fd, const std::string& path) const {
#ifdef _WIN32
    (void)fd;
    (void)path;
    return true;
#else
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
#endif
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
    bool unsupported = FOpen != nullptr;
    if (!FOpen) FFile = OpenUnnamed(FPath.substr(0, PartialNameStart(FPath)), unsupported);
    FUnnamed = FFile != nullptr;
    if (unsupported) {
        FFile = FOpen ? FOpen(FPartialPath) : OpenPartialFile(FPath, FPartialPath, FPartialPath);
        FNamed = FFile != nullptr;
    }
    if (!FFile) {
        Fail("cannot create output file");
        // Told apart by what the folder does with another name, not by the error alone: file
        // systems give EPERM or EACCES for a name they cannot hold as well as for a locked folder.
        FFolderRefused =
            (FErrno == EACCES || FErrno == EPERM || FErrno == EROFS) && !FolderTakesNewFiles(FPath, FOpen);
        return false;
    }
    std::setvbuf(FFile, nullptr, _IONBF, 0);
    const auto header = BuildWavHeader(FFormat, FLayout, UnknownLength);
    if (std::fwrite(header.data(), 1, header.size(), FFile) != header.size())
        return Fail("cannot write output file");
    return true;
}

bool TWavWriter::WriteAt(std::uint64_t dataOffset, const std::uint8_t* data, std::size_t bytes) {
    if (Failed()) return false;
    std::uint64_t at = HeaderSize(FFormat, FLayout) + dataOffset;
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
    const auto at = static_cast<std::int64_t>(HeaderSize(FFormat, FLayout) + FDataBytes);
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
    // The audio's pad byte: 24-bit mono can end on an odd byte.
    if (FDataBytes % 2) FTrailer.insert(FTrailer.begin(), 0);
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
    FFinished = true; // from here on Discard() removes the partial file
    // Kept open past the close: the names are checked against it around the rename.
    const int kept = Duplicate(file);
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    const bool renamed = closed && (FUnnamed ? LinkIfOurs(kept) : RenameIfOurs(kept));
    if (kept >= 0) CloseDuplicate(kept);
    if (closed) return renamed;
    errno = closeError;
    return Fail("cannot close output file");
}

// In a folder that others may write to, the partial file may have been swapped for a link or
// another file meanwhile: such a name is never given the output's name, nor reported as written.
bool TWavWriter::RenameIfOurs(int kept) {
    const std::string replaced =
        "the partial file of output file \"" + FPath + "\" was replaced by another file";
    if (kept >= 0 && !StillOurs(kept, FPartialPath)) return FailWith(replaced + " before its rename", EEXIST);
    if (!FMayReplace) {
        if (!NameWithoutReplacing()) return FTaken ? false : Fail("cannot rename the finished output file");
    } else {
        std::error_code ec;
        std::filesystem::rename(std::filesystem::path(FPartialPath), std::filesystem::path(FPath), ec);
        if (ec) {
            errno = ec.value();
            return Fail("cannot rename the finished output file");
        }
    }
    FNamed = false;
    if (kept >= 0 && !StillOurs(kept, FPath)) return FailWith(replaced + " during its rename", EEXIST);
    return true;
}

bool TWavWriter::Taken() {
    FTaken = true;
    return FailWith("output file \"" + FPath + "\" already exists and was not replaced", EEXIST);
}

// The named partial file gets the output's name only where no file holds it yet.
bool TWavWriter::NameWithoutReplacing() {
#ifdef _WIN32
    if (std::rename(FPartialPath.c_str(), FPath.c_str()) == 0) return true; // never replaces here
    return errno == EEXIST ? Taken() : false;
#else
    const char* partial = FPartialPath.c_str();
    if (FCalls.RenameNoReplace(partial, FPath.c_str()) == 0) return true;
    if (errno == EEXIST) return Taken();
    if (!CallUnsupported(errno)) return false;
    // A file system without that: a new link fails on an existing name as well.
    if (FCalls.Link(partial, FPath.c_str()) == 0) {
        ::unlink(partial);
        return true;
    }
    if (errno == EEXIST) return Taken();
    if (!CallUnsupported(errno)) return false;
    // Nor links (FAT, exFAT, many shares): a rename once the name is seen free.
    if (RenameIfFree(FPartialPath, FPath, FCalls) == 0) return true;
    return errno == EEXIST ? Taken() : false;
#endif
}

// The file without a name gets one: a new link under the output's name, which fails where a file
// already holds it. A replace the user agreed to goes through the partial name and a rename.
bool TWavWriter::LinkIfOurs(int kept) {
#ifdef _WIN32
    (void)kept;
    return true;
#else
    const auto linkTo = [kept](const std::string& name) {
        const std::string opened = "/proc/self/fd/" + std::to_string(kept);
        if (::linkat(AT_FDCWD, opened.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        // Without /proc the descriptor itself is linked, which older kernels allow only to some.
        return errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0 &&
               ::linkat(kept, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
    };
    if (kept < 0) return FailWith("cannot name the finished output file \"" + FPath + "\"", EBADF);
    if (!FMayReplace) {
        if (!linkTo(FPath)) return errno == EEXIST ? Taken() : Fail("cannot name the finished output file");
    } else {
        std::remove(FPartialPath.c_str()); // a dead decoder's of the same process id
        if (!linkTo(FPartialPath)) return Fail("cannot name the finished output file");
        FNamed = true;
        if (std::rename(FPartialPath.c_str(), FPath.c_str()) != 0)
            return Fail("cannot rename the finished output file");
        FNamed = false;
    }
    if (!StillOurs(kept, FPath))
        return FailWith("the output file \"" + FPath + "\" was replaced by another file during its naming",
                        EEXIST);
    return true;
#endif
}

void TWavWriter::Discard() {
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
    FFinished = false;
    if (FNamed) std::remove(FPartialPath.c_str());
    FNamed = false;
}
