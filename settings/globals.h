#pragma once
// The one global record: the user's settings, the decoder's path, the running batch's state and
// the run log; and the settings file, accepted types and file functions that go with it.
#include "settings/datetime.h"
#include "settings/fileinfo.h" // the file functions that go with the settings

#include <cstdint>
#include <string>
#include <vector>

enum TBatchState : int32_t {
    bsIdle = 0,
    bsRunning = -1,
    bsStopNow = 6,      // the "Stop now" button's modal result (mrYes)
    bsStopWhenDone = 7, // the "When done" button's modal result (mrNo)
    bsFinished = 99,
};

inline constexpr const char* WavFormats[] = {"mp3", "cd", "s24", "f32", "custom"};
// The custom format's samples, the rates offered for it (0: the MP3's own) and what a batch does
// with an output that exists already.
inline constexpr const char* WavSamples[] = {"s16", "s24", "f32"};
inline constexpr int32_t WavRates[] = {0,     8000,  11025, 16000, 22050,  24000, 32000,
                                       44100, 48000, 88200, 96000, 176400, 192000};
inline constexpr const char* ExistingWavChoices[] = {"ask", "skip", "replace"};

struct TGlobalVars {
    // Settings (section General, and System for LastOpenDir).
    std::string OutDir;
    std::string tmpOutDir;
    bool Delete = false;
    bool PlaySound = false;
    bool ExitWhenDone = false;
    bool AutoOpen = false;
    bool Stayontop = false;
    std::string LastOpenDir;
    // Decoders run at once: 0 means one per core. Written to the settings file only once the user
    // has chosen it or the file already holds it, so a first start's file keeps its eight keys.
    int32_t Decoders = 1;
    bool DecodersStored = false;
    // The source's tags go into the WAV files (the decoder's default); stored like Decoders.
    bool KeepTags = true;
    bool KeepTagsStored = false;
    // What the WAV files hold, one of WavFormats: "mp3" the decoder's default (16-bit at the MP3's
    // rate and channels), "cd" for an audio CD, "s24" and "f32" for editing; stored like Decoders.
    std::string WavFormat = "mp3";
    bool WavFormatStored = false;
    // The "custom" format: rate in Hz and channels (0 for the MP3's own) and one of WavSamples;
    // the three are stored together once the user has changed one of them.
    int32_t WavRate = 0;
    int32_t WavChannels = 0;
    std::string WavSample = "s16";
    bool WavCustomStored = false;
    // An output that exists before a batch: "ask" (the overwrite question), "skip" (a whole WAV
    // file not older than its source is left alone) or "replace"; stored like Decoders.
    std::string ExistingWav = "ask";
    bool ExistingWavStored = false;
    // With a chosen output folder, each WAV goes into its source's folder below TreeBase, mirrored
    // below OutDir. Both are stored like Decoders (TreeStored) once the user has changed them.
    bool KeepTree = false;
    std::string TreeBase; // a folder ending in the separator; empty: the user's music folder
    bool TreeStored = false;

    std::string DecoderPath;

    // The running batch.
    int32_t BatchState = bsIdle;
    bool StopWhenDone = false;
    int32_t FilesTotal = 0;
    int32_t FilesDecoded = 0;
    int32_t FilesFailed = 0;
    bool AnyError = false;
    bool FileFailed = false;
    bool ProgressPhase = false;
    std::string CurrentSource;
    std::string CurrentFileName;
    int64_t CurrentFileSize = 0;
    int32_t FilePercent = 0;
    int32_t BatchPercent = 0;
    int64_t BytesTotal = 0;
    int64_t BytesFinished = 0;
    int64_t BytesDone = 0;
    TDateTime BatchStart = 0;

    std::vector<std::string> RunLog;
    // Rows "description=patterns".
    std::vector<std::string> AcceptedTypes;
};

extern TGlobalVars GlobalVars;

// Settings file. LoadSettings returns whether the file existed (a missing one is created).
bool LoadSettings();
void SaveSettings();
void WriteSetting(const std::string& section, const std::string& key, const std::string& value);

// Accepted input types and the add dialog's filter.
void BuildAcceptedTypes();
std::string BuildDialogFilter(const std::vector<std::string>& rows);
bool IsAcceptedFileType(const std::string& ext);

// The base folder of the kept folder tree: TreeBase, or the user's music folder (else home).
std::string TreeBaseFolder();

// A batch is running: decoding, or finishing the files that run when it was asked to stop then.
bool BatchRunning();

// Bounds of the Decoders setting; DecodersAtOnce resolves 0 ("one per core") to the core count.
inline constexpr int32_t MaxDecoders = 64;
int32_t DecodersAtOnce(int32_t setting);
