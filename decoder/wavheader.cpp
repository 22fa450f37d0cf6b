#include "decoder/wavheader.h"

#include <initializer_list>
#include <utility>

namespace {

constexpr std::uint64_t RiffLimit = 0xFFFFFFFFull;

class THeaderBytes {
public:
    void Tag(const char* fourcc) { FBytes.insert(FBytes.end(), fourcc, fourcc + 4); }
    void U16(std::uint16_t v) {
        for (int i = 0; i < 2; ++i)
            FBytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            FBytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            FBytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void Bytes(std::initializer_list<std::uint8_t> bytes) { FBytes.insert(FBytes.end(), bytes); }
    void Zeros(std::size_t n) { FBytes.insert(FBytes.end(), n, 0); }
    std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
    std::vector<std::uint8_t> FBytes;
};

enum class TFormatChunk { Pcm, Float, Extensible };

TFormatChunk FormatChunkOf(const TWavFormat& format) {
    return format.Float                ? TFormatChunk::Float
           : format.BitsPerSample > 16 ? TFormatChunk::Extensible
                                       : TFormatChunk::Pcm;
}

std::uint32_t FormatChunkBytes(TFormatChunk kind) {
    return kind == TFormatChunk::Pcm ? 16 : kind == TFormatChunk::Float ? 18 : 40;
}

void AppendFormatChunk(THeaderBytes& out, const TWavFormat& format) {
    const TFormatChunk kind = FormatChunkOf(format);
    out.Tag("fmt ");
    out.U32(FormatChunkBytes(kind));
    out.U16(kind == TFormatChunk::Pcm ? 1 : kind == TFormatChunk::Float ? 3 : 0xFFFE);
    out.U16(format.Channels);
    out.U32(format.SampleRate);
    out.U32(format.SampleRate * format.BlockAlign());
    out.U16(static_cast<std::uint16_t>(format.BlockAlign()));
    out.U16(format.BitsPerSample);
    if (kind == TFormatChunk::Float) out.U16(0); // no extension
    if (kind != TFormatChunk::Extensible) return;
    out.U16(22);
    out.U16(format.BitsPerSample);                                        // every bit is valid
    out.U32(format.Channels == 1 ? 0x4 : format.Channels == 2 ? 0x3 : 0); // centre; left and right
    // The PCM subformat GUID, 00000001-0000-0010-8000-00aa00389b71.
    out.U32(1);
    out.U16(0);
    out.U16(0x10);
    out.Bytes({0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71});
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > RiffLimit ? static_cast<std::uint32_t>(RiffLimit) : static_cast<std::uint32_t>(v);
}

} // namespace

std::size_t HeaderSize(TWavLayout layout) {
    return HeaderSize(TWavFormat{}, layout);
}

std::size_t HeaderSize(const TWavFormat& format, TWavLayout layout) {
    const TFormatChunk kind = FormatChunkOf(format);
    const std::size_t fact = kind == TFormatChunk::Float ? 12 : 0;
    return (layout == TWavLayout::Plain ? PlainHeaderSize : ExtensibleHeaderSize) + FormatChunkBytes(kind) -
           16 + fact;
}

TWavLayout ChooseLayout(std::uint64_t expectedDataBytes) {
    // Half the limit: a stream longer than its header says still fits the plain header.
    return expectedDataBytes < RiffLimit / 2 ? TWavLayout::Plain : TWavLayout::Extensible;
}

bool NeedsRf64(TWavLayout layout, std::uint64_t dataBytes, std::uint64_t trailingBytes) {
    return NeedsRf64(TWavFormat{}, layout, dataBytes, trailingBytes);
}

bool NeedsRf64(const TWavFormat& format, TWavLayout layout, std::uint64_t dataBytes,
               std::uint64_t trailingBytes) {
    return dataBytes != UnknownLength &&
           dataBytes + trailingBytes + HeaderSize(format, layout) - 8 > RiffLimit;
}

std::vector<std::uint8_t> BuildWavHeader(const TWavFormat& format, TWavLayout layout, std::uint64_t dataBytes,
                                         std::uint64_t trailingBytes) {
    const bool unknown = dataBytes == UnknownLength;
    const bool rf64 = NeedsRf64(format, layout, dataBytes, trailingBytes);
    if (rf64 && layout == TWavLayout::Plain) return {};
    const std::uint64_t riffSize =
        unknown ? UnknownLength : dataBytes + trailingBytes + HeaderSize(format, layout) - 8;
    THeaderBytes out;
    out.Tag(rf64 ? "RF64" : "RIFF");
    out.U32(rf64 ? 0xFFFFFFFFu : Clamp32(riffSize));
    out.Tag("WAVE");
    if (layout == TWavLayout::Extensible) {
        if (rf64) {
            const std::uint32_t blockAlign = format.BlockAlign();
            out.Tag("ds64");
            out.U32(28);
            out.U64(riffSize);
            out.U64(dataBytes);
            out.U64(blockAlign ? dataBytes / blockAlign : 0);
            out.U32(0); // no table of other chunk sizes
        } else {
            out.Tag("JUNK");
            out.U32(28);
            out.Zeros(28);
        }
    }
    AppendFormatChunk(out, format);
    if (FormatChunkOf(format) == TFormatChunk::Float) {
        // Sample frames; in RF64 the ds64 chunk holds them and this says so.
        const std::uint64_t frames = unknown ? UnknownLength : dataBytes / format.BlockAlign();
        out.Tag("fact");
        out.U32(4);
        out.U32(rf64 ? 0xFFFFFFFFu : Clamp32(frames));
    }
    out.Tag("data");
    out.U32(rf64 ? 0xFFFFFFFFu : Clamp32(dataBytes));
    return out.Take();
}
