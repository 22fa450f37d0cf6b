#include "settings/fileinfo.h"

#include "settings/filesystem.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <memory>
#include <unordered_map>

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

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

int LocalOffsetAt(int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).offsetFromUtc();
}

// Local time's offset from UTC at that moment. Asking the system costs microseconds, which a long
// list pays per file; the offset changes only at a time zone's transitions, at most once a day, so
// the answer for a day whose start and end share one offset is kept for the whole day.
int LocalOffset(int64_t seconds) {
    constexpr int Varies = INT32_MIN;
    thread_local std::unordered_map<int64_t, int> days;
    thread_local std::string zone; // a zone set for the process makes the kept answers void
    const char* const now = std::getenv("TZ");
    if (zone != (now ? now : "")) {
        zone = now ? now : "";
        days.clear();
    }
    const int64_t day = FloorDiv(seconds, 86400);
    auto found = days.find(day);
    if (found == days.end()) {
        const int atStart = LocalOffsetAt(day * 86400);
        const int atEnd = LocalOffsetAt(day * 86400 + 86399);
        if (days.size() > 100000) days.clear();
        found = days.emplace(day, atStart == atEnd ? atStart : Varies).first;
    }
    return found->second == Varies ? LocalOffsetAt(seconds) : found->second;
}

TDateTime DateOf(const TPathInfo& info) {
    if (info.Kind == TPathKind::Missing) return 0;
    int64_t local = info.ModifiedSeconds + LocalOffset(info.ModifiedSeconds);
    local -= FloorDiv(local, 2) * 2 == local ? 0 : 1; // an odd second of local time rounds down
    // Days since 30 December 1899 and the time of day, as the date-time conversion gives them.
    constexpr int64_t DaysTo1970 = 25569;
    const int64_t days = FloorDiv(local, 86400);
    return static_cast<double>(days + DaysTo1970) + (local - days * 86400) * 1000 / 86400000.0;
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
