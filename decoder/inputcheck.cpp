#include "decoder/inputcheck.h"

#include "decoder/mpegheader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace

TInputCheck CheckInput(const std::string& inputPath, const std::string& outputPath) {
    TInputCheck result;
    std::error_code ec;
    // Refused before anything is opened, so the input can never be overwritten by its own output.
    if (inputPath == outputPath || fs::equivalent(fs::path(inputPath), fs::path(outputPath), ec)) {
        result.Problem = "output file must differ from the input file " + Quoted(inputPath);
        return result;
    }
    // Only a regular file is ever written, and so ever deleted after a failed write: never a
    // device, pipe or folder that happens to carry the output's name.
    const fs::file_status outputStatus = fs::status(fs::path(outputPath), ec);
    if (!ec && fs::exists(outputStatus) && !fs::is_regular_file(outputStatus)) {
        result.Problem = "output " + Quoted(outputPath) + " exists and is not a regular file";
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
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(inputPath.c_str(), "rb"));
    if (!file) {
        result.Problem = "cannot open input file " + Quoted(inputPath) + ": " + std::strerror(errno);
        return result;
    }
    const std::uint64_t size = fs::file_size(fs::path(inputPath), ec);
    if (ec || size == 0) {
        result.Problem = "input file " + Quoted(inputPath) + " is empty";
        return result;
    }
    std::uint8_t head[4096];
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (IsNonMpegWav(head, got)) {
        result.Problem = "input file " + Quoted(inputPath) + " is a WAV file, not MPEG audio";
        return result;
    }
    result.Scan = ScanStream(file.get(), size);
    return result;
}
