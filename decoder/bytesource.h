#pragma once
// Where the decoder reads its input from: an opened file, or bytes already in memory (the fuzz
// target feeds those). The scan and the decoding both read through this, so both inputs take the
// same path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to `count` bytes from `offset` into `buffer`; returns how many were copied. Safe to
    // call from several threads at once.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    // True when the input is no longer what it was when decoding began (grown, cut or rewritten).
    virtual bool Changed() const { return false; }
};

// Reads a file opened by the caller, who also closes it. The file may still be written by someone
// else: reads go to its real end and Size() is the size now, so what was appended is decoded too,
// and Changed() tells that it happened.
class TFileSource : public TByteSource {
public:
    explicit TFileSource(std::FILE* file);
    std::uint64_t Size() const override;
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    bool Changed() const override;

    struct TStamp {
        std::uint64_t Size = 0;
        std::int64_t ModifiedNs = 0;
        bool operator==(const TStamp&) const = default;
    };

private:
    TStamp Stamp() const;

    std::FILE* FFile;
    TStamp FOpened;
#ifdef _WIN32
    std::mutex FLock;                            // no positioned read: one reader at a time
    std::uint64_t FPosition = ~std::uint64_t(0); // where the stream stands, so reads in a row skip the seek
#endif
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

// The source from `start` on, as if it began there: the audio of a file whose leading tag claims
// more than it holds.
class TSourceFrom : public TByteSource {
public:
    TSourceFrom(TByteSource& source, std::uint64_t start) : FSource(source), FStart(start) {}
    std::uint64_t Size() const override {
        const std::uint64_t size = FSource.Size();
        return size > FStart ? size - FStart : 0;
    }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        return FSource.ReadAt(FStart + offset, buffer, count);
    }
    bool Changed() const override { return FSource.Changed(); }

private:
    TByteSource& FSource;
    std::uint64_t FStart;
};

// The source without some of its bytes, as if they had never been there: a stream whose damaged
// spans the decode passes over. Reads the source as it is now, like TSourceFrom.
class TSplicedSource : public TByteSource {
public:
    struct TLeftOut {
        std::uint64_t From = 0, To = 0;
    };
    // `leftOut` in order, apart from one another, within the source.
    TSplicedSource(TByteSource& source, const std::vector<TLeftOut>& leftOut);
    std::uint64_t Size() const override;
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    bool Changed() const override { return FSource.Changed(); }

private:
    TByteSource& FSource;
    std::vector<TLeftOut> FLeftOut;
    std::uint64_t FLeftOutBytes = 0;
};
