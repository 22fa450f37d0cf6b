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

#ifndef _WIN32
// Takes the lock that orders the decoders' look-up-and-rename in `folder`: a lock on the folder
// itself, so no lock file is left on the user's drive. Locks on a folder are kept by this machine's
// kernel whatever the file system, so they work on FUSE mounts and shares too. -1 when none can be
// had; the rename then goes on unlocked.
int LockFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc == 0) return fd;
    ::close(fd);
    return -1;
}

// True where `path` still names the file open as `fd`.
bool Names(const std::string& path, int fd) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}
#endif

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
    // A few tries: each fails only when another decoder renamed or removed the file just then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(shared.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) break;
        struct stat opened {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_nlink != 1) {
            ::close(fd);
            break; // held by a running decoder, no lock here, or not a file to write through
        }
        if (!Names(shared, fd)) {
            ::close(fd);
            continue;
        }
        std::FILE* file = ::ftruncate(fd, 0) == 0 ? ::fdopen(fd, "wb") : nullptr;
        if (!file) {
            ::close(fd);
            break;
        }
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
