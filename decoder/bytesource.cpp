#include "decoder/bytesource.h"

#include <algorithm>
#include <cstring>

namespace {

bool SeekFile(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

std::size_t TFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= FSize) return 0;
    if (offset != FPosition && !SeekFile(FFile, offset)) {
        FPosition = ~std::uint64_t(0);
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, count, FFile);
    FPosition = got == count ? offset + got : ~std::uint64_t(0);
    return got;
}

std::size_t TMemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= FSize) return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FSize - offset));
    std::memcpy(buffer, FData + offset, n);
    return n;
}
