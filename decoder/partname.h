#pragma once
// The name a WAV file is written under until it is finished: a hidden ".part" file beside it that
// carries the decoder's process id, ".<name>.<pid>.part", so a half-written file never carries the
// final name, a file manager shows it as unfinished, and two decoders of one output never share
// (or rename) each other's file. Used only where the file system cannot make a file without a
// name. The batch window includes this too, to remove what a decoder it stopped left behind.
// No libmpg123.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/types.h>
#endif

inline std::size_t PartialNameStart(const std::string& outputPath) {
#ifdef _WIN32
    const std::size_t slash = outputPath.find_last_of("\\/:");
#else
    const std::size_t slash = outputPath.find_last_of('/');
#endif
    return slash == std::string::npos ? 0 : slash + 1;
}

inline std::string PartialOutputPath(const std::string& outputPath, long long pid) {
    const std::size_t nameStart = PartialNameStart(outputPath);
    return outputPath.substr(0, nameStart) + "." + outputPath.substr(nameStart) + "." + std::to_string(pid) +
           ".part";
}

// The process id in the name of a partial file of the output named `outputName`, or 0 when
// `fileName` is no such name.
inline long long PartialOwner(const std::string& fileName, const std::string& outputName) {
    const std::string head = "." + outputName + ".", tail = ".part";
    if (fileName.size() <= head.size() + tail.size() || fileName.compare(0, head.size(), head) != 0 ||
        fileName.compare(fileName.size() - tail.size(), tail.size(), tail) != 0)
        return 0;
    const std::string digits = fileName.substr(head.size(), fileName.size() - head.size() - tail.size());
    if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoll(digits);
}

// The partial files of `outputPath` in its folder, whoever wrote them.
inline std::vector<std::string> FindPartialOutputs(const std::string& outputPath) {
    namespace fs = std::filesystem;
    const std::size_t nameStart = PartialNameStart(outputPath);
    const std::string folder = outputPath.substr(0, nameStart), name = outputPath.substr(nameStart);
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(folder.empty() ? "." : folder), ec), end; !ec && it != end;
         it.increment(ec))
        if (const std::string entry = it->path().filename().string(); PartialOwner(entry, name) != 0)
            found.push_back(folder + entry);
    return found;
}

// The process id in `fileName` when it is the partial file of any output, else 0.
inline long long PartialFileOwner(const std::string& fileName) {
    const std::size_t tail = fileName.size() >= 5 ? fileName.size() - 5 : 0;
    const std::size_t dot = tail > 0 ? fileName.rfind('.', tail - 1) : std::string::npos;
    if (fileName.empty() || fileName[0] != '.' || dot == std::string::npos || dot < 2) return 0;
    return PartialOwner(fileName, fileName.substr(1, dot - 1));
}

// Removes the partial files in `folder` whose decoder no longer runs on this machine. Decoders
// leave one only where the file system cannot make a file without a name, and only when killed:
// the batch calls this at most once per folder and batch, after a decoder that did not succeed.
inline void RemoveStalePartialFiles(const std::string& folder) {
#ifndef _WIN32
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(folder.empty() ? "." : folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const auto pid = static_cast<pid_t>(PartialFileOwner(it->path().filename().string()));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) std::remove(it->path().string().c_str());
    }
#else
    (void)folder; // no cheap test of another process's life: each decoder clears its own
#endif
}
