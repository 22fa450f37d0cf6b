#pragma once
// Where the decoder reads and writes for one list entry, and the command line that tells it so.
#include <string>

// DecoderPath --decode "source" "output", each path quoted so that the runner's splitting gives it
// back intact. The decoder's path goes unquoted unless it holds a blank or a quote.
// With `threads` > 0 the line ends with " --threads K", and without `keepTags` with " --no-tags",
// which leaves the paths in their places.
// With `overwrite` (the user agreed to replace the existing output) it ends with " --overwrite".
std::string DecoderCommandLine(const std::string& decoderPath, const std::string& source,
                               const std::string& output, int threads = 0, bool keepTags = true,
                               bool overwrite = false);

// The decoder's options for the WAV format chosen in the options dialog (WavFormats), each with a
// leading blank, to follow the command line; none for the default, so its line stays as it was.
// "custom" gives `--format sample`, then `--rate rate` and `--channels channels` where not 0 (the MP3's own).
std::string DecoderFormatOptions(const std::string& wavFormat, int rate = 0, int channels = 0,
                                 const std::string& sample = "s16");

// The threads a decoder is given when several run at once: the processors that the running ones do
// not hold, shared among the decoders starting now (`starting`, this one included), at least one.
// So a batch's last files, fewer than the decoders, get the processors the ended ones gave back.
int ThreadsForDecoder(int cores, int threadsInUse, int starting);
// The processors the decoders of a batch share; a test may set its own count (0: the machine's).
int ProcessorCount();
void SetProcessorCountOverride(int count);

// The entry's name with its extension (from the last "." of the name) replaced by ext, or ext
// appended to a name without a ".".
std::string OutputFileName(const std::string& fileName, const std::string& ext);

// The folder the decoder is told to write into: OutDir when not blank, otherwise the source's folder.
std::string PlannedOutputFolder(const std::string& outDir, const std::string& sourceFolder);

// The planned output folder when a file starts, a missing OutDir created first (one level;
// EInOutError when that fails).
std::string StartOutputFolder(const std::string& outDir, const std::string& sourceFolder);

// The output folder the checks look at: OutDir when not blank and existing, otherwise the source's folder.
std::string CheckOutputFolder(const std::string& outDir, const std::string& sourceFolder);

// The output path the checks (and the failure step) use for a source's full path.
std::string CheckOutputPath(const std::string& source, const std::string& outDir, const std::string& ext);

// A key under which two names of one file compare equal, as the platform's file system compares.
std::string FileNameKey(const std::string& path);

// With the folder tree kept: the source's folder relative to `base`, ending in a separator, where
// its output goes below the output folder; empty for a source in `base` itself or outside it.
std::string TreeSubfolder(const std::string& sourceFolder, const std::string& base);

// "name (N).ext": the N-th of several entries that would write one output name.
std::string NumberedFileName(const std::string& fileName, int number);

// Creates `folder` and the folders above it that are missing (EInOutError when that fails).
void ForceFolders(const std::string& folder);
