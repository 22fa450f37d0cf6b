#include "decoder/wavheader.h"

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
    void Zeros(std::size_t n) { FBytes.insert(FBytes.end(), n, 0); }
    std::vector<std::uint8_t> Take() { return std::move(FBytes); }

private:
    std::vector<std::uint8_t> FBytes;
};

void AppendFormatChunk(THeaderBytes& out, const TWavFormat& format) {
    out.Tag("fmt ");
    out.U32(16);
    out.U16(1); // PCM
    out.U16(format.Channels);
    out.U32(format.SampleRate);
    out.U32(format.SampleRate * format.BlockAlign());
    out.U16(static_cast<std::uint16_t>(format.BlockAlign()));
    out.U16(format.BitsPerSample);
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > RiffLimit ? static_cast<std::uint32_t>(RiffLimit) : static_cast<std::uint32_t>(v);
}

} // namespace

std::size_t HeaderSize(TWavLayout layout) {
    return layout == TWavLayout::Plain ? PlainHeaderSize : ExtensibleHeaderSize;
}

TWavLayout ChooseLayout(std::uint64_t expectedDataBytes) {
    // Half the limit: a stream longer than its header says still fits the plain header.
    return expectedDataBytes < RiffLimit / 2 ? TWavLayout::Plain : TWavLayout::Extensible;
}

bool NeedsRf64(TWavLayout layout, std::uint64_t dataBytes, std::uint64_t trailingBytes) {
    return dataBytes != UnknownLength && dataBytes + trailingBytes + HeaderSize(layout) - 8 > RiffLimit;
}

std::vector<std::uint8_t> BuildWavHeader(const TWavFormat& format, TWavLayout layout, std::uint64_t dataBytes,
                                         std::uint64_t trailingBytes) {
    const bool unknown = dataBytes == UnknownLength;
    const bool rf64 = NeedsRf64(layout, dataBytes, trailingBytes);
    if (rf64 && layout == TWavLayout::Plain) return {};
    const std::uint64_t riffSize =
        unknown ? UnknownLength : dataBytes + trailingBytes + HeaderSize(layout) - 8;
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
    out.Tag("data");
    out.U32(rf64 ? 0xFFFFFFFFu : Clamp32(dataBytes));
    return out.Take();
}
