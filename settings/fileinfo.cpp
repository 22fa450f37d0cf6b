#include "settings/fileinfo.h"

#include "settings/filesystem.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

int64_t SizeOf(const TPathInfo& info) {
    switch (info.Kind) {
    case TPathKind::Missing:
        return -1;
    case TPathKind::File:
        return info.Size;
    default:
        return 0; // a folder, device or pipe has no size of its own
    }
}

TDateTime DateOf(const TPathInfo& info) {
    if (info.Kind == TPathKind::Missing) return 0;
    // An odd second of local time rounds down.
    const int second = QDateTime::fromSecsSinceEpoch(info.ModifiedSeconds).time().second();
    return UnixTimeToDateTime(info.ModifiedSeconds - second % 2);
}

} // namespace

bool FileExists(const std::string& path) {
    return LookUpPath(path).Kind == TPathKind::File;
}

bool DirectoryExists(const std::string& path) {
    return LookUpPath(path).Kind == TPathKind::Folder;
}

int64_t FileSizeOf(const std::string& path) {
    return SizeOf(LookUpPath(path));
}

TDateTime FileDateOf(const std::string& path) {
    return DateOf(LookUpPath(path));
}

void FileSizeAndDateOf(const std::string& path, int64_t& size, TDateTime& date) {
    const TPathInfo info = LookUpPath(path);
    size = SizeOf(info);
    date = DateOf(info);
}

bool FileSizeAndDateIfFile(const std::string& path, int64_t& size, TDateTime& date) {
    const TPathInfo info = LookUpPath(path);
    if (info.Kind != TPathKind::File) return false;
    size = SizeOf(info);
    date = DateOf(info);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    struct TCloser {
        void operator()(FILE* f) const {
            const int error = errno; // the reason for a failed read, not the close's
            std::fclose(f);
            errno = error;
        }
    };
    std::unique_ptr<FILE, TCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, got);
    return !std::ferror(file.get());
}

bool DeleteIfEmpty(const std::string& path) {
    const TPathInfo info = LookUpPath(path);
    if (info.Kind != TPathKind::File || info.Size != 0) return false;
    return std::remove(path.c_str()) == 0;
}
