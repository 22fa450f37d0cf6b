#pragma once
// The WAV header, written before the audio and rewritten with the real sizes at the end. 16-bit
// PCM has the canonical 16-byte format chunk; 32-bit float has format tag 3 and a fact chunk with
// the sample frames; more than 16 integer bits use the extensible format chunk, as readers ask.
#include <cstddef>
#include <cstdint>
#include <vector>

struct TWavFormat {
    std::uint32_t SampleRate = 44100;
    std::uint16_t Channels = 2;
    std::uint16_t BitsPerSample = 16;
    bool Float = false; // IEEE float samples (32 bits)
    std::uint32_t BlockAlign() const { return Channels * (BitsPerSample / 8u); }
};

// Plain: the 44-byte canonical header, enough when the audio surely stays under 4 GiB.
// Extensible: 80 bytes with a JUNK chunk that becomes a ds64 chunk (RF64) if the audio passes
// the RIFF limit, so a long file never has to be moved to make room.
enum class TWavLayout { Plain, Extensible };

inline constexpr std::size_t PlainHeaderSize = 44;
inline constexpr std::size_t ExtensibleHeaderSize = 80;
// For 16-bit PCM; other formats have longer format chunks.
std::size_t HeaderSize(TWavLayout layout);
std::size_t HeaderSize(const TWavFormat& format, TWavLayout layout);

// Sizes that the header cannot express in 32 bits in any layout mark an unknown length.
inline constexpr std::uint64_t UnknownLength = ~std::uint64_t(0);

// The layout for an expected amount of audio: Plain with a wide margin below the RIFF limit.
TWavLayout ChooseLayout(std::uint64_t expectedDataBytes);

// True when a RIFF header of this layout cannot describe dataBytes of audio followed by
// trailingBytes of other chunks (the tags).
bool NeedsRf64(TWavLayout layout, std::uint64_t dataBytes, std::uint64_t trailingBytes = 0);
bool NeedsRf64(const TWavFormat& format, TWavLayout layout, std::uint64_t dataBytes,
               std::uint64_t trailingBytes = 0);

// The header bytes. dataBytes == UnknownLength gives the "up to end of file" sizes (0xFFFFFFFF)
// that readers accept for a file still being written. Returns an empty vector when the Plain
// layout cannot hold dataBytes. The RIFF size counts trailingBytes of chunks after the audio.
std::vector<std::uint8_t> BuildWavHeader(const TWavFormat& format, TWavLayout layout, std::uint64_t dataBytes,
                                         std::uint64_t trailingBytes = 0);
