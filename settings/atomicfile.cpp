#include "settings/atomicfile.h"

#include "settings/filesystem.h"
#include "settings/paths.h"

#include <algorithm>
#include <cstdio>

namespace {

// Temporaries are hidden names beside the target: ".<name>.<number>.tmp".
std::string TemporaryPrefix(const std::string& target) {
    // Appended piece by piece: GCC 12 reports a false -Wrestrict for "." + std::string&&.
    std::string prefix(1, '.');
    prefix += ExtractFileName(target);
    prefix += '.';
    return prefix;
}

bool IsTemporaryOf(const std::string& target, const std::string& name) {
    const std::string prefix = TemporaryPrefix(target);
    const std::string suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const auto first = name.begin() + static_cast<std::ptrdiff_t>(prefix.size());
    const auto last = name.end() - static_cast<std::ptrdiff_t>(suffix.size());
    return std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void RemoveLeftTemporaries(const std::string& path) {
    if (path.empty()) return;
    const std::string target = FinalPath(path);
    const std::string folder = ExtractFilePath(target);
    for (const TFolderEntry& entry : ListFolder(folder.empty() ? std::string(".") : folder))
        if (IsTemporaryOf(target, entry.Name)) std::remove((folder + entry.Name).c_str());
}

#ifdef _WIN32
#include <QFile>
#include <QSaveFile>

// QSaveFile names its temporaries its own way: RemoveLeftTemporaries does not find them.
bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly)) return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

#else
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A new temporary beside the target, created exclusively; the umask applies to a new file.
int CreateTemporary(const std::string& target, std::string& temporary) {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = ExtractFilePath(target) + TemporaryPrefix(target) +
                    std::to_string(generator() % 1000000000ULL) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

bool WriteAllBytes(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const std::string target = FinalPath(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;

    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) return false;
    bool ok = WriteAllBytes(fd, bytes);
    if (ok && exists) {
        (void)!::fchown(fd, existing.st_uid, existing.st_gid); // only root may; a refusal is harmless
        ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
    }
    return ok;
}
#endif
