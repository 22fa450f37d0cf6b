#include "settings/filesystem.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TPathInfo LookUpPath(const std::string& path) {
    TPathInfo info;
    struct stat found {};
    if (path.empty() || ::stat(path.c_str(), &found) != 0) return info;
    info.Kind = S_ISREG(found.st_mode)   ? TPathKind::File
                : S_ISDIR(found.st_mode) ? TPathKind::Folder
                                         : TPathKind::Other;
    info.Size = static_cast<int64_t>(found.st_size);
    info.ModifiedSeconds = static_cast<int64_t>(found.st_mtim.tv_sec);
    info.ModifiedNanoseconds = static_cast<int64_t>(found.st_mtim.tv_nsec);
    info.Volume = static_cast<uint64_t>(found.st_dev);
    info.Node = static_cast<uint64_t>(found.st_ino);
    return info;
}

bool IsSymbolicLink(const std::string& path) {
    struct stat found {};
    return !path.empty() && ::lstat(path.c_str(), &found) == 0 && S_ISLNK(found.st_mode);
}

std::string FinalPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::vector<TFolderEntry> ListFolder(const std::string& folder) {
    std::vector<TFolderEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") entries.push_back({name, entry->d_type == DT_REG});
    }
    ::closedir(dir);
    return entries;
}

bool FlushFileToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    // The folder too, so that a name given by a rename reaches the disk with the data; a file
    // system that cannot flush a folder keeps its names safe by other means.
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return flushed;
}

std::string RunningProgramPath() {
#ifdef __linux__
    const std::string link = "/proc/self/exe";
    const std::string found = FinalPath(link);
    return found == link ? std::string() : found;
#else
    return {};
#endif
}
