#pragma once
// MPEG audio frame headers and the Xing/Info/VBRI header that carries a stream's frame count.
#include <cstddef>
#include <cstdint>
#include <optional>

struct TMpegHeader {
    int Version = 1; // 1, 2, or 25 for MPEG-2.5
    int Layer = 3;
    int BitrateKbps = 0; // 0: free format
    long SampleRate = 0;
    bool Padding = false;
    bool Crc = false;
    int Channels = 2;
    int SamplesPerFrame = 1152;
    // The frame's length in bytes, header included; 0 for free format (the length is not in the header).
    std::size_t FrameBytes = 0;
    // The padding a frame of this header carries: one slot (4 bytes in layer I, else 1) when set.
    std::size_t PaddingBytes() const { return Padding ? (Layer == 1 ? 4 : 1) : 0; }
    // Length of a free-format frame of this header, given the length of one without padding.
    std::size_t FreeFormatBytes(std::size_t unpadded) const { return unpadded + PaddingBytes(); }
};

// The parts of a header that stay the same through a stream: sync, version, layer, sample rate.
inline constexpr std::uint32_t StreamHeaderMask = 0xFFFE0C00u;

std::optional<TMpegHeader> ParseMpegHeader(std::uint32_t word);
std::uint32_t ReadBigEndian32(const std::uint8_t* p);

// The frame count stored in a Xing/Info or VBRI header inside the first frame, if it has one.
// `frame` holds the frame's bytes from its header on.
std::optional<std::uint64_t> InfoHeaderFrames(const TMpegHeader& header, const std::uint8_t* frame,
                                              std::size_t size);

// Size of an ID3v2 tag starting at `data` (header, footer included), or 0 when there is none.
std::size_t Id3v2TagSize(const std::uint8_t* data, std::size_t size);

// True for a RIFF/WAVE file whose audio is not MPEG (PCM and the like): not ours to decode.
bool IsNonMpegWav(const std::uint8_t* data, std::size_t size);
