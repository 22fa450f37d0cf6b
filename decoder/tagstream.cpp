#include "decoder/tagstream.h"

#include <algorithm>

TTagStream::TTagStream(TByteSource& source, std::uint64_t maxRead)
    : FSource(source), FSize(source.Size()), FMaxRead(maxRead) {}

TagLib::ByteVector TTagStream::readBlock(unsigned long length) {
    if (length > FMaxRead) {
        FRefused = true;
        return {};
    }
    if (FPosition >= FSize) return {};
    const auto count = static_cast<unsigned int>(std::min<std::uint64_t>(length, FSize - FPosition));
    TagLib::ByteVector block(count, '\0');
    const std::size_t got = FSource.ReadAt(FPosition, block.data(), count);
    block.resize(static_cast<unsigned int>(got));
    FPosition += got;
    return block;
}

void TTagStream::seek(long offset, Position from) {
    const std::int64_t base = from == Beginning ? 0
                              : from == Current ? static_cast<std::int64_t>(FPosition)
                                                : static_cast<std::int64_t>(FSize);
    FPosition = static_cast<std::uint64_t>(std::max<std::int64_t>(0, base + offset));
}
