#pragma once
// TagLib reads the source through this: read-only, the size fixed when it is made, and no single
// read larger than the tag bound, so a tag that claims a huge size never fills the memory.
#include "decoder/bytesource.h"

#include <taglib/tiostream.h>

#include <cstdint>

class TTagStream : public TagLib::IOStream {
public:
    TTagStream(TByteSource& source, std::uint64_t maxRead);

    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }
    void seek(long offset, Position from = Beginning) override;
    long tell() const override { return static_cast<long>(FPosition); }
    long length() override { return static_cast<long>(FSize); }
    void truncate(long) override {}

    // A read was refused for its size: what asked for it is left out.
    bool Refused() const { return FRefused; }

private:
    TByteSource& FSource;
    std::uint64_t FSize;
    std::uint64_t FMaxRead;
    std::uint64_t FPosition = 0;
    bool FRefused = false;
};
