#pragma once
// Runs the built decoder as a child process and reads the WAV files it writes.
#include <cstdint>
#include <string>
#include <vector>

struct TDecoderRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
    // Standard error cut at "\n" (the progress rewrites, joined by "\r", stay in one element).
    std::vector<std::string> ErrLines() const;
};

// `fileSizeLimit` > 0 caps the size of every file the decoder writes (a write past it fails);
// `environment` adds NAME=value settings to the decoder's environment.
TDecoderRun RunDecoder(const std::vector<std::string>& args, long fileSizeLimit = 0,
                       const std::vector<std::string>& environment = {});

struct TWavInfo {
    bool Valid = false;
    std::string Problem;
    std::uint32_t SampleRate = 0;
    std::uint16_t Channels = 0;
    std::uint16_t Bits = 0;
    std::uint16_t FormatTag = 0;   // 1 PCM, 3 IEEE float, 0xFFFE extensible
    std::uint32_t FactFrames = 0;  // of a fact chunk, if any
    std::uint32_t ChannelMask = 0; // of the extensible format chunk
    std::uint64_t DataBytes = 0;
    std::uint64_t DataOffset = 0;             // of the first byte of audio
    std::vector<std::string> ChunksAfterData; // their identifiers, in order
    std::uint64_t Samples() const { return Channels && Bits ? DataBytes / (Bits / 8u * Channels) : 0; }
};

// Parses a RIFF/WAVE file and checks that its size fields agree with the file's length: the chunks
// after the audio, each padded to an even length, end exactly where the file ends.
TWavInfo ReadWav(const std::string& bytes);

std::string FixturePath(const std::string& name);
std::string ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path);
