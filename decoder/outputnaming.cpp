#include "decoder/outputnaming.h"

#include "decoder/partname.h"

#include <cerrno>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <process.h>
#endif

namespace {

int SystemRenameNoReplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

int SystemLink(const char* from, const char* to) {
#ifndef _WIN32
    return ::link(from, to);
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

int SystemRename(const char* from, const char* to) {
    return std::rename(from, to);
}

std::FILE* OpenFresh(const std::string& path) {
    std::remove(path.c_str());
#ifdef _WIN32
    return std::fopen(path.c_str(), "wb");
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (fd >= 0 && !file) ::close(fd);
    return file;
#endif
}

} // namespace

const TNamingCalls& SystemNamingCalls() {
    static const TNamingCalls calls{&SystemRenameNoReplace, &SystemLink, &SystemRename};
    return calls;
}

bool CallUnsupported(int error) {
    return error == EINVAL || error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

int RenameIfFree(const std::string& from, const std::string& to, const TNamingCalls& calls) {
#ifndef _WIN32
    const int lock = LockFolder(to.substr(0, PartialNameStart(to)));
    struct stat existing {};
    int rc = -1;
    if (::lstat(to.c_str(), &existing) == 0)
        errno = EEXIST;
    else if (errno == ENOENT)
        rc = calls.Rename(from.c_str(), to.c_str());
    const int error = errno;
    if (lock >= 0) ::close(lock);
    errno = error;
    return rc;
#else
    return calls.Rename(from.c_str(), to.c_str()); // never replaces here
#endif
}

std::FILE* OpenPartialFile(const std::string& outputPath, const std::string& ownPath, std::string& used) {
    used = ownPath;
#ifndef _WIN32
    const std::string shared = SharedPartialPath(outputPath);
    // A killed decoder's file is removed, never written through (some FUSE drives cannot shorten
    // a file and write it again); the new one is created and locked before the folder's lock goes.
    const int lock = LockFolder(outputPath.substr(0, PartialNameStart(outputPath)));
    RemoveUnheldPartialLocked(shared);
    const int fd = ::open(shared.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = nullptr;
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) file = ::fdopen(fd, "wb");
    if (fd >= 0 && !file) {
        ::close(fd);
        ::unlink(shared.c_str());
    }
    if (lock >= 0) ::close(lock);
    if (file) {
        used = shared;
        return file;
    }
#else
    (void)outputPath;
#endif
    return OpenFresh(ownPath);
}

bool FolderTakesNewFiles(const std::string& outputPath, std::FILE* (*open)(const std::string& path)) {
#ifdef _WIN32
    const long long pid = _getpid();
#else
    const long long pid = ::getpid();
#endif
    const std::string probe =
        outputPath.substr(0, PartialNameStart(outputPath)) + ".wavesmith-" + std::to_string(pid) + ".probe";
    std::FILE* file = (open ? open : &OpenFresh)(probe);
    if (!file) return false;
    std::fclose(file);
    std::remove(probe.c_str());
    return true;
}
