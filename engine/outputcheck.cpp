#include "engine/outputcheck.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

std::uint64_t Little(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// Bounds the walk through a file whose chunk sizes are nonsense.
constexpr int MaxChunks = 64;
// A source's name is a path: anything longer is not our mark.
constexpr std::uint64_t MaxMark = 1 << 16;

} // namespace

bool IsWholeWavFile(const std::string& path) {
    return CheckWavFile(path).Whole;
}

TWavFileCheck CheckWavFile(const std::string& path) {
    namespace fs = std::filesystem;
    TWavFileCheck check;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(fs::path(path), ec);
    check.Exists = !ec && fs::exists(status) && !fs::is_directory(status);
    if (!fs::is_regular_file(status) || ec) return check;
    check.Modified = fs::last_write_time(fs::path(path), ec);
    std::ifstream in(path, std::ios::binary);
    const std::uint64_t size = fs::file_size(fs::path(path), ec);
    unsigned char head[12];
    if (ec || !in.read(reinterpret_cast<char*>(head), sizeof head) || std::memcmp(head + 8, "WAVE", 4) != 0)
        return check;
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!rf64 && std::memcmp(head, "RIFF", 4) != 0) return check;
    std::uint64_t riffSize = Little(head + 4, 4), dataSize64 = 0;
    std::uint64_t at = 12;
    bool dataSeen = false;
    for (int i = 0; i < MaxChunks && at + 8 <= size; ++i) {
        unsigned char chunk[36];
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(chunk), 8)) return check;
        std::uint64_t length = Little(chunk + 4, 4);
        if (rf64 && i == 0) { // ds64 first: the sizes the 32-bit fields cannot hold
            if (std::memcmp(chunk, "ds64", 4) != 0 || length < 28 ||
                !in.read(reinterpret_cast<char*>(chunk + 8), 28))
                return check;
            riffSize = Little(chunk + 8, 8);
            dataSize64 = Little(chunk + 16, 8);
        }
        if (std::memcmp(chunk, "data", 4) == 0 && !dataSeen) {
            if (rf64 && length == 0xFFFFFFFFu) length = dataSize64;
            check.Whole = riffSize + 8 == size && at + 8 + length <= size;
            dataSeen = true; // the mark after the audio is read from a file cut short too
        } else if (dataSeen && std::memcmp(chunk, "wsrc", 4) == 0 && length <= MaxMark &&
                   at + 8 + length <= size) {
            check.Source.resize(length);
            check.Marked =
                static_cast<bool>(in.read(check.Source.data(), static_cast<std::streamsize>(length)));
            if (!check.Marked) check.Source.clear();
            return check;
        }
        at += 8 + length + (length & 1);
    }
    return check;
}
