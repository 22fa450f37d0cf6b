#include "engine/batchpaths.h"

#include "engine/commandline.h"

#include "settings/errors.h"
#include "settings/paths.h"

#include <QThread>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

namespace {

// A folder string ends with the separator, so that the file name can simply follow it.
std::string AsFolder(const std::string& folder) {
    return IncludeTrailingPathDelimiter(folder);
}

int ProcessorCountOverride = 0;

bool IsBlank(const std::string& text) {
    return Trim(text).empty();
}

} // namespace

std::string DecoderCommandLine(const std::string& decoderPath, const std::string& source,
                               const std::string& output, int threads, bool keepTags, bool overwrite) {
    const bool needsQuotes = decoderPath.find_first_of(" \t\"") != std::string::npos;
    return (needsQuotes ? QuoteArgument(decoderPath) : decoderPath) + " --decode" + " " +
           QuoteArgument(source) + " " + QuoteArgument(output) +
           (threads > 0 ? " --threads " + std::to_string(threads) : std::string()) +
           (keepTags ? std::string() : std::string(" --no-tags")) +
           (overwrite ? std::string(" --overwrite") : std::string());
}

std::string DecoderFormatOptions(const std::string& wavFormat, int rate, int channels,
                                 const std::string& sample) {
    if (wavFormat == "custom")
        return " --format " + sample + (rate > 0 ? " --rate " + std::to_string(rate) : std::string()) +
               (channels > 0 ? " --channels " + std::to_string(channels) : std::string());
    if (wavFormat == "cd") return " --cd";
    if (wavFormat == "s24" || wavFormat == "f32") return " --format " + wavFormat;
    return {};
}

int ThreadsForDecoder(int cores, int threadsInUse, int starting) {
    return std::max(1, (cores - threadsInUse) / std::max(1, starting));
}

int ProcessorCount() {
    return ProcessorCountOverride > 0 ? ProcessorCountOverride : QThread::idealThreadCount();
}

void SetProcessorCountOverride(int count) {
    ProcessorCountOverride = count;
}

std::string OutputFileName(const std::string& fileName, const std::string& ext) {
    const size_t dot = fileName.rfind('.');
    return (dot == std::string::npos ? fileName : fileName.substr(0, dot)) + ext;
}

std::string PlannedOutputFolder(const std::string& outDir, const std::string& sourceFolder) {
    return IsBlank(outDir) ? sourceFolder : AsFolder(outDir);
}

std::string StartOutputFolder(const std::string& outDir, const std::string& sourceFolder) {
    if (!IsBlank(outDir) && !DirectoryExists(outDir)) {
#ifdef _WIN32
        const int result = ::_mkdir(outDir.c_str());
#else
        const int result = ::mkdir(outDir.c_str(), 0777);
#endif
        const int err = errno;
        if (result != 0 && !(err == EEXIST && DirectoryExists(outDir)))
            throw EInOutError(InOutCodeFromErrno(err), err);
    }
    return PlannedOutputFolder(outDir, sourceFolder);
}

std::string CheckOutputFolder(const std::string& outDir, const std::string& sourceFolder) {
    if (!IsBlank(outDir) && DirectoryExists(outDir)) return AsFolder(outDir);
    return sourceFolder;
}

std::string CheckOutputPath(const std::string& source, const std::string& outDir, const std::string& ext) {
    return CheckOutputFolder(outDir, ExtractFilePath(source)) + OutputFileName(ExtractFileName(source), ext);
}

std::string FileNameKey(const std::string& path) {
#ifdef _WIN32
    return LowerCase(path);
#else
    return path;
#endif
}

std::string TreeSubfolder(const std::string& sourceFolder, const std::string& base) {
    if (IsBlank(base)) return {};
    const std::string root = AsFolder(base), folder = AsFolder(sourceFolder);
    if (folder.size() <= root.size() || FileNameKey(folder.substr(0, root.size())) != FileNameKey(root))
        return {};
    return folder.substr(root.size());
}

std::string NumberedFileName(const std::string& fileName, int number) {
    const size_t dot = fileName.rfind('.');
    const std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    return stem + " (" + std::to_string(number) + ")" +
           (dot == std::string::npos ? "" : fileName.substr(dot));
}

void ForceFolders(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder), ec);
    if (ec && !DirectoryExists(folder)) throw EInOutError(InOutCodeFromErrno(ec.value()), ec.value());
}
