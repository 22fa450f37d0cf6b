#pragma once
// The name a WAV file is written under until it is finished: a hidden ".part" file beside it,
// ".<name>.part", so a half-written file never carries the final name and a file manager shows it
// as unfinished. The decoder writing it holds a lock on it; a file of that name that nobody holds is
// a killed decoder's, which the next decoder of the output takes over by its name. A second decoder
// of an output being written uses its process id, ".<name>.<pid>.part", so two never share (or
// rename) each other's file. Used only where the file system cannot make a file without a name.
// The batch window includes this too, to remove what a decoder it stopped left behind.
// No libmpg123.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
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

// The partial name that the first decoder of an output uses.
inline std::string SharedPartialPath(const std::string& outputPath) {
    const std::size_t nameStart = PartialNameStart(outputPath);
    return outputPath.substr(0, nameStart) + "." + outputPath.substr(nameStart) + ".part";
}

// The process id in the name of a partial file of the output named `outputName`, -1 for the shared
// partial name (its lock tells whether a decoder holds it), or 0 when `fileName` is no such name.
inline long long PartialOwner(const std::string& fileName, const std::string& outputName) {
    const std::string head = "." + outputName + ".", tail = ".part";
    if (fileName == "." + outputName + tail) return -1;
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

// The process id in `fileName` when it is the partial file of any output, else 0 (-1 for a shared
// partial name).
inline long long PartialFileOwner(const std::string& fileName) {
    const std::size_t tail = fileName.size() >= 5 ? fileName.size() - 5 : 0;
    const std::size_t dot = tail > 0 ? fileName.rfind('.', tail - 1) : std::string::npos;
    if (fileName.empty() || fileName[0] != '.' || dot == std::string::npos || dot < 2) return 0;
    const long long owner = PartialOwner(fileName, fileName.substr(1, dot - 1));
    return owner != 0 ? owner : PartialOwner(fileName, fileName.substr(1, tail - 1));
}

#ifndef _WIN32
// Takes the lock that orders, among the decoders and the window, the steps on names in `folder`:
// a lock on the folder itself, so no lock file is left on the user's drive. Locks on a folder are
// kept by this machine's kernel whatever the file system, so they hold on FUSE drives and shares.
// Returns the descriptor to close, or -1 where no lock can be had (the steps then go unordered).
inline int LockFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc == 0) return fd;
    ::close(fd);
    return -1;
}

// Removes the shared partial file of `outputPath` when no running decoder holds its lock (a killed
// decoder's), by its name: no folder is read. Only a regular file of one link goes. The caller
// holds the folder's lock, so no decoder takes the name over meanwhile.
inline void RemoveUnheldPartialLocked(const std::string& partial) {
    const int fd = ::open(partial.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat opened {};
    const bool stale = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
                       S_ISREG(opened.st_mode) && opened.st_nlink == 1;
    ::close(fd);
    if (stale) ::unlink(partial.c_str());
}
#endif

inline void ClearUnheldPartial(const std::string& outputPath) {
#ifndef _WIN32
    const int lock = LockFolder(outputPath.substr(0, PartialNameStart(outputPath)));
    RemoveUnheldPartialLocked(SharedPartialPath(outputPath));
    if (lock >= 0) ::close(lock);
#else
    (void)outputPath;
#endif
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
