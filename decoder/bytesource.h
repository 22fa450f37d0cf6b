#pragma once
// Where the decoder reads its input from: an opened file, or bytes already in memory (the fuzz
// target feeds those). The scan and the decoding both read through this, so both inputs take the
// same path.
#include <cstddef>
#include <cstdint>
#include <cstdio>

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to `count` bytes from `offset` into `buffer`; returns how many were copied.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// Reads a file opened by the caller, who also closes it.
class TFileSource : public TByteSource {
public:
    TFileSource(std::FILE* file, std::uint64_t size) : FFile(file), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    std::FILE* FFile;
    std::uint64_t FSize;
    std::uint64_t FPosition = ~std::uint64_t(0); // where the stream stands, so reads in a row skip the seek
};

class TMemorySource : public TByteSource {
public:
    TMemorySource(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    const std::uint8_t* FData;
    std::size_t FSize;
};
