#include "decoder/inputcheck.h"

#include "decoder/mpegheader.h"
#include "decoder/partname.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Opens without waiting: should the path have become a pipe since it was looked at, the open
// must not block for a writer. `regular` turns false for anything but a regular file.
std::unique_ptr<std::FILE, TFileCloser> OpenRegularFile(const std::string& path, bool& regular) {
#ifdef _WIN32
    return std::unique_ptr<std::FILE, TFileCloser>(std::fopen(path.c_str(), "rb"));
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        regular = false;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::unique_ptr<std::FILE, TFileCloser> file(::fdopen(fd, "rb"));
    if (!file) ::close(fd);
    return file;
#endif
}

} // namespace

TInputFile OpenInput(const std::string& inputPath, const std::string& outputPath) {
    TInputFile result;
    std::error_code ec;
    // Refused before anything is opened, so the input can never be overwritten by its own output,
    // nor be taken for a partial file of it that a dead decoder left behind and be removed.
    const auto isInput = [&](const std::string& path) {
        return inputPath == path || fs::equivalent(fs::path(inputPath), fs::path(path), ec);
    };
    // A partial file is known by its name in the output's folder: no listing of that folder.
    const std::string inputName = inputPath.substr(PartialNameStart(inputPath));
    const std::string outputFolder = outputPath.substr(0, PartialNameStart(outputPath));
    const bool partialOfOutput =
        PartialOwner(inputName, outputPath.substr(PartialNameStart(outputPath))) != 0 &&
        fs::equivalent(fs::path(outputFolder.empty() ? "." : outputFolder),
                       fs::path(inputPath).parent_path().empty() ? fs::path(".")
                                                                 : fs::path(inputPath).parent_path(),
                       ec);
    if (isInput(outputPath) || partialOfOutput) {
        result.Problem = "output file must differ from the input file " + Quoted(inputPath);
        return result;
    }
    // Only a regular file is ever written, and so ever deleted after a failed write: never a
    // device, pipe or folder that happens to carry the output's name.
    const fs::file_status outputStatus = fs::status(fs::path(outputPath), ec);
    if (!ec && fs::exists(outputStatus) && !fs::is_regular_file(outputStatus)) {
        result.Problem = "output " + Quoted(outputPath) + " exists and is not a regular file";
        result.OfOutput = true;
        return result;
    }
    const fs::file_status status = fs::status(fs::path(inputPath), ec);
    if (ec || !fs::exists(status)) {
        result.Problem = "cannot open input file " + Quoted(inputPath) + ": " +
                         (ec ? ec.message() : std::string(std::strerror(ENOENT)));
        return result;
    }
    if (fs::is_directory(status)) {
        result.Problem = "input " + Quoted(inputPath) + " is a folder, not a file";
        return result;
    }
    // A pipe, socket or device would block the read (and the batch with it) or never end.
    const std::string notRegular = "input " + Quoted(inputPath) + " is not a regular file";
    if (!fs::is_regular_file(status)) {
        result.Problem = notRegular;
        return result;
    }
    bool regular = true;
    result.File = OpenRegularFile(inputPath, regular);
    if (!regular) {
        result.Problem = notRegular;
        return result;
    }
    if (!result.File) {
        result.Problem = "cannot open input file " + Quoted(inputPath) + ": " + std::strerror(errno);
        return result;
    }
    return result;
}

TInputCheck CheckContent(TByteSource& source, const std::string& inputPath) {
    TInputCheck result;
    if (source.Size() == 0) {
        result.Problem = "input file " + Quoted(inputPath) + " is empty";
        return result;
    }
    std::uint8_t head[4096];
    const std::size_t got = source.ReadAt(0, head, sizeof head);
    if (IsNonMpegWav(head, got)) {
        result.Problem = "input file " + Quoted(inputPath) + " is a WAV file, not MPEG audio";
        return result;
    }
    result.Scan = ScanStream(source);
    return result;
}
