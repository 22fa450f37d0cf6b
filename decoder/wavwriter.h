#pragma once
// Writes the decoded audio to a WAV file. The file is created on the first samples, so an input
// that yields no audio leaves nothing behind; until Finish() the header says "length unknown",
// which readers take as "up to the end of the file" should the decoder be killed.
#include "decoder/wavheader.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class TWavWriter {
public:
    TWavWriter(std::string path, TWavFormat format, TWavLayout layout);
    ~TWavWriter();
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    // Each returns false after a failure; Error() then says what went wrong.
    bool Append(const std::uint8_t* data, std::size_t bytes);
    // Writes the remaining audio and the final header, and closes the file.
    bool Finish();
    // Closes and deletes the file (after a write failure: a broken file is no use to anybody).
    void Discard();

    bool Created() const { return FFile != nullptr || FFinished; }
    std::uint64_t DataBytes() const { return FDataBytes; }
    const std::string& Error() const { return FError; }

private:
    bool Create();
    bool Flush();
    bool Fail(const std::string& what);

    std::string FPath;
    TWavFormat FFormat;
    TWavLayout FLayout;
    std::FILE* FFile = nullptr;
    bool FFinished = false;
    std::uint64_t FDataBytes = 0;
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::size_t FFill = 0;
    std::string FError;
};
