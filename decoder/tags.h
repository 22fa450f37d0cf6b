#pragma once
// The source's tags, as the WAV file carries them: its ID3v2 tag byte for byte (or one built from
// its APEv2 or ID3v1 fields) and the common text fields. TagLib reads them; a tag that cannot be
// read, or that is too large, is left out with a warning and never stops the audio.
#include "decoder/bytesource.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Tag data past this size is left out: a tag is read into memory whole.
inline constexpr std::uint64_t MaxTagBytes = 16u << 20;

struct TSourceTags {
    std::vector<std::uint8_t> Id3v2; // a whole ID3v2 tag, header included, or nothing
    // Text fields under their RIFF INFO identifiers (INAM, IART...), UTF-8, in the order written.
    std::vector<std::pair<std::string, std::string>> Info;
    std::vector<std::string> Warnings; // one line each, without the newline
};

TSourceTags ReadSourceTags(TByteSource& source, const std::string& inputName);
