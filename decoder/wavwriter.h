#pragma once
// Writes the decoded audio to a WAV file. The audio goes to a file without a name in the output's
// folder (or, where the file system cannot make one, to this process's own partial name beside the
// output, partname.h) and gets the output's name only when Finish() has written its final header
// and found the file still its own, so a decoder killed part-way never leaves a file that looks
// finished. The output's name is given without replacing a file already there, unless the writer
// was told that the user agreed to replace it. The file is created on the first
// samples, so an input that yields no audio leaves nothing behind and an existing output untouched.
// Until Finish() the header says "length unknown".
#include "decoder/outputnaming.h"
#include "decoder/wavheader.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TWavWriter {
public:
    // Opens the partial file (and the probe that tells a refused name from a refused folder); the
    // tests put a device that refuses writes, or a folder that refuses files, in its place.
    using TOpener = std::FILE* (*)(const std::string& path);

    // With an opener the partial file is always the named one.
    TWavWriter(std::string path, TWavFormat format, TWavLayout layout, TOpener open = nullptr,
               bool mayReplace = false);
    ~TWavWriter();
    // The calls that name the finished file; the tests put ones that fail as some drives do.
    void SetNamingCalls(const TNamingCalls& calls) { FCalls = calls; }
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    // Each returns false after a failure; Error() then says what went wrong.
    bool Append(const std::uint8_t* data, std::size_t bytes);
    // Chunks to write after the audio (the tags), counted by the final header.
    void SetTrailer(std::vector<std::uint8_t> chunks) { FTrailer = std::move(chunks); }
    void AddTrailer(const std::vector<std::uint8_t>& chunks) {
        FTrailer.insert(FTrailer.end(), chunks.begin(), chunks.end());
    }
    // Writes the remaining audio, the trailer and the final header, closes the file and gives it
    // its name. Audio that leaves the header no room for the trailer is written without it.
    bool Finish();
    bool TrailerDropped() const { return FTrailerDropped; }
    // Closes and deletes the partial file (after a failure: a broken file is no use to anybody).
    void Discard();

    // For several threads at once, each with its own stretch of the audio: Begin() creates the
    // file; then any thread may WriteAt (offsets count from the first byte of audio); SetDataBytes
    // gives the audio's length before Finish().
    bool Begin();
    bool WriteAt(std::uint64_t dataOffset, const std::uint8_t* data, std::size_t bytes);
    void SetDataBytes(std::uint64_t bytes) { FDataBytes = bytes; }
    bool Failed() const { return FFailed.load(std::memory_order_relaxed); }

    bool Created() const { return FFile != nullptr || FFinished; }
    std::uint64_t DataBytes() const { return FDataBytes; }
    const std::string& Error() const { return FError; }
    // The failure was that the output's disk (or the user's share of it) is full.
    bool DiskFull() const;
    // The failure was that a file of the output's name came in the way and was not replaced.
    bool OutputTaken() const { return FTaken; }
    // The folder refused the file, and a probe file too: no other output can be written there
    // either. A name that the folder's file system refuses is that file's failure alone.
    bool FolderRefused() const { return FFolderRefused; }
    // The audio went to a file without a name (no partial file was ever seen in the folder).
    bool Unnamed() const { return FUnnamed; }

private:
    bool Create();
    bool Flush();
    bool WriteTrailer();
    bool Fail(const std::string& what);
    bool FailWith(const std::string& message, int code);
    bool StillOurs(int fd, const std::string& path) const;
    bool RenameIfOurs(int kept);
    bool LinkIfOurs(int kept);
    bool NameWithoutReplacing();
    bool Taken();

    std::string FPath;
    std::string FPartialPath;
    TWavFormat FFormat;
    TWavLayout FLayout;
    TOpener FOpen;
    TNamingCalls FCalls = SystemNamingCalls();
    bool FMayReplace;
    bool FFolderRefused = false;
    bool FUnnamed = false; // the partial file has no name; FPartialPath is used only to replace
    bool FNamed = false;   // FPartialPath exists as this writer's file
    bool FTaken = false;
    std::FILE* FFile = nullptr;
    bool FFinished = false;
    std::uint64_t FDataBytes = 0;
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::size_t FFill = 0;
    std::vector<std::uint8_t> FTrailer;
    bool FTrailerDropped = false;
    std::string FError;
    int FErrno = 0;
    std::mutex FErrorLock; // the first failure of any thread is the one reported
    std::atomic<bool> FFailed = false;
#ifdef _WIN32
    std::mutex FWriteLock; // no positioned write: one writer at a time
#endif
};
