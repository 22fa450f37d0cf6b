#include "decoder/wavwriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {
// Large writes: the decoder's speed is bounded by the decoding, not by system calls.
constexpr std::size_t BufferBytes = 1 << 20;
} // namespace

TWavWriter::TWavWriter(std::string path, TWavFormat format, TWavLayout layout)
    : FPath(std::move(path)), FFormat(format), FLayout(layout) {}

TWavWriter::~TWavWriter() {
    if (FFile) std::fclose(FFile);
}

bool TWavWriter::Fail(const std::string& what) {
    FError = what + " \"" + FPath + "\": " + std::strerror(errno);
    return false;
}

bool TWavWriter::Create() {
    FFile = std::fopen(FPath.c_str(), "wb");
    if (!FFile) return Fail("cannot create output file");
    std::setvbuf(FFile, nullptr, _IONBF, 0);
    FBuffer = std::make_unique<std::uint8_t[]>(BufferBytes);
    const auto header = BuildWavHeader(FFormat, FLayout, UnknownLength);
    if (std::fwrite(header.data(), 1, header.size(), FFile) != header.size())
        return Fail("cannot write output file");
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

bool TWavWriter::Finish() {
    if (!FError.empty() || !FFile) return FError.empty();
    if (!Flush()) return false;
    const auto header = BuildWavHeader(FFormat, FLayout, FDataBytes);
    if (header.empty()) {
        errno = EFBIG;
        return Fail("audio too long for the WAV header of output file");
    }
    if (std::fseek(FFile, 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), FFile) != header.size())
        return Fail("cannot write output file");
    std::FILE* file = FFile;
    FFile = nullptr;
    FFinished = true;
    if (std::fclose(file) != 0) return Fail("cannot close output file");
    return true;
}

void TWavWriter::Discard() {
    const bool existed = Created();
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
    FFinished = false;
    if (existed) std::remove(FPath.c_str());
}
