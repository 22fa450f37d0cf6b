#include "decoder/mpegheader.h"

#include <cstring>

namespace {

// Bitrates in kbps by [MPEG-1 ? 0 : 1][layer - 1][index].
constexpr int Bitrates[2][3][15] = {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
                                    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

constexpr long SampleRates[3] = {44100, 48000, 32000};

// Bytes per frame for one kbps, scaled by 1000 / sample rate: layer I counts 4-byte slots.
std::size_t SlotFactor(const TMpegHeader& h) {
    if (h.Layer == 1) return 12;
    if (h.Layer == 3 && h.Version != 1) return 72;
    return 144;
}

} // namespace

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::optional<TMpegHeader> ParseMpegHeader(std::uint32_t word) {
    if ((word & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
    const unsigned versionBits = (word >> 19) & 3, layerBits = (word >> 17) & 3;
    const unsigned bitrateIndex = (word >> 12) & 15, rateIndex = (word >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    TMpegHeader h;
    h.Version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.Layer = 4 - static_cast<int>(layerBits);
    h.Crc = ((word >> 16) & 1) == 0;
    h.BitrateKbps = Bitrates[h.Version == 1 ? 0 : 1][h.Layer - 1][bitrateIndex];
    h.SampleRate = SampleRates[rateIndex] / (h.Version == 1 ? 1 : h.Version == 2 ? 2 : 4);
    h.Padding = ((word >> 9) & 1) != 0;
    h.Channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    h.SamplesPerFrame = h.Layer == 1 ? 384 : (h.Layer == 3 && h.Version != 1) ? 576 : 1152;
    if (h.BitrateKbps > 0) {
        const std::size_t slots =
            SlotFactor(h) * std::size_t(h.BitrateKbps) * 1000 / std::size_t(h.SampleRate);
        h.FrameBytes = (h.Layer == 1 ? slots * 4 : slots) + h.PaddingBytes();
    }
    return h;
}

std::optional<std::uint64_t> InfoHeaderFrames(const TMpegHeader& header, const std::uint8_t* frame,
                                              std::size_t size) {
    if (header.Layer == 3) {
        const std::size_t sideInfo =
            header.Version == 1 ? (header.Channels == 1 ? 17 : 32) : (header.Channels == 1 ? 9 : 17);
        const std::size_t at = 4 + sideInfo;
        if (size >= at + 12 &&
            (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0)) {
            if ((ReadBigEndian32(frame + at + 4) & 1) == 0) return std::nullopt;
            return ReadBigEndian32(frame + at + 8);
        }
    }
    // VBRI sits 32 bytes after the header; its frame count follows version, delay, quality, bytes.
    if (size >= 36 + 18 && std::memcmp(frame + 36, "VBRI", 4) == 0) return ReadBigEndian32(frame + 36 + 14);
    return std::nullopt;
}

std::size_t Id3v2TagSize(const std::uint8_t* data, std::size_t size) {
    if (size < 10 || std::memcmp(data, "ID3", 3) != 0 || data[3] == 0xFF || data[4] == 0xFF) return 0;
    for (int i = 6; i < 10; ++i)
        if (data[i] & 0x80) return 0;
    const std::size_t body =
        (std::size_t(data[6]) << 21) | (std::size_t(data[7]) << 14) | (std::size_t(data[8]) << 7) | data[9];
    const bool footer = (data[5] & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

bool IsNonMpegWav(const std::uint8_t* data, std::size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return false;
    std::size_t at = 12;
    while (at + 10 <= size) {
        const std::uint32_t chunk = std::uint32_t(data[at + 4]) | (std::uint32_t(data[at + 5]) << 8) |
                                    (std::uint32_t(data[at + 6]) << 16) | (std::uint32_t(data[at + 7]) << 24);
        if (std::memcmp(data + at, "fmt ", 4) == 0) {
            const unsigned formatTag = data[at + 8] | (unsigned(data[at + 9]) << 8);
            return formatTag != 0x50 && formatTag != 0x55; // MPEG, MPEG layer III
        }
        at += 8 + chunk + (chunk & 1);
    }
    return true; // a RIFF/WAVE without a format in its first bytes is no MPEG stream either
}
