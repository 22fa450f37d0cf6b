#include "filelist/listjournal.h"

#include "settings/atomicfile.h"
#include "settings/fileinfo.h"
#include "settings/filesystem.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char Magic[4] = {'W', 'S', 'L', 'J'};
constexpr uint32_t Version = 1;
constexpr size_t HeaderSize = TListJournal::HeaderSize;

void PutNumber(std::string& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
}

uint64_t GetNumber(const std::string& bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]))
                 << (8 * i);
    return value;
}

// What tells this version of the list file from any other: the file, its size and its time.
std::string Identity(const std::string& listPath) {
    const TPathInfo info = LookUpPath(listPath);
    std::string bytes;
    if (info.Kind != TPathKind::File) return bytes;
    for (const uint64_t value :
         {info.Volume, info.Node, static_cast<uint64_t>(info.Size),
          static_cast<uint64_t>(info.ModifiedSeconds), static_cast<uint64_t>(info.ModifiedNanoseconds)})
        PutNumber(bytes, value, 8);
    return bytes;
}

std::string Header(const std::string& identity) {
    std::string bytes(Magic, sizeof Magic);
    PutNumber(bytes, Version, 4);
    bytes += identity;
    PutNumber(bytes, Crc32(bytes.data(), bytes.size()), 4);
    return bytes;
}

void PutRecord(std::string& bytes, const TListChange& change) {
    std::string payload(1, static_cast<char>(change.Kind));
    payload += change.Path;
    if (change.Kind == TListChange::Moved) {
        payload += '\0'; // no listed path holds one
        payload += change.Before;
    }
    PutNumber(bytes, payload.size(), 4);
    PutNumber(bytes, Crc32(payload.data(), payload.size()), 4);
    bytes += payload;
}

bool ParsePayload(const std::string& payload, TListChange& change) {
    if (payload.empty()) return false;
    const char kind = payload[0];
    const std::string rest = payload.substr(1);
    const size_t nul = rest.find('\0');
    if (kind == TListChange::Moved) {
        if (nul == std::string::npos) return false;
        change = {TListChange::Moved, rest.substr(0, nul), rest.substr(nul + 1)};
        return true;
    }
    if ((kind != TListChange::Added && kind != TListChange::Removed) || nul != std::string::npos)
        return false;
    change = {static_cast<TListChange::TKind>(kind), rest, {}};
    return true;
}

} // namespace

uint32_t Crc32(const void* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320U ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    uint32_t crc = 0xffffffffU;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffU;
}

std::string ListJournalPath(const std::string& listPath) {
    return listPath + "-journal";
}

std::vector<TListChange> ReadListJournal(const std::string& listPath) {
    std::vector<TListChange> changes;
    std::string bytes;
    if (!ReadWholeFile(ListJournalPath(listPath), bytes) || bytes.size() < HeaderSize) return changes;
    const std::string identity = Identity(listPath);
    if (identity.empty() || bytes.compare(0, HeaderSize, Header(identity)) != 0) return changes;
    size_t at = HeaderSize;
    while (bytes.size() - at >= 8) {
        const uint64_t length = GetNumber(bytes, at, 4);
        const auto crc = static_cast<uint32_t>(GetNumber(bytes, at + 4, 4));
        if (length > bytes.size() - at - 8) break; // torn: the rest never reached the disk
        const std::string payload = bytes.substr(at + 8, length);
        TListChange change;
        if (Crc32(payload.data(), payload.size()) != crc || !ParsePayload(payload, change)) break;
        changes.push_back(std::move(change));
        at += 8 + length;
    }
    return changes;
}

TListJournal::TListJournal(std::string listPath) : FListPath(std::move(listPath)) {}

TListJournal::~TListJournal() {
    Close();
}

void TListJournal::Close() {
    if (FFile >= 0) ::close(FFile);
    FFile = -1;
    FSize = 0;
}

bool TListJournal::Restart() {
    Close();
    const std::string identity = Identity(FListPath);
    if (identity.empty()) return false;
    // Truncated in place: a crash before the new header is whole leaves a journal that is ignored,
    // which is right, since the list file already holds every change.
    const int fd = ::open(ListJournalPath(FListPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const std::string header = Header(identity);
    if (!WriteAllBytes(fd, header) || ::fdatasync(fd) != 0) {
        ::close(fd);
        return false;
    }
    FFile = fd;
    FSize = header.size();
    FIdentity = identity;
    FListSize = GetNumber(identity, 16, 8);
    return true;
}

bool TListJournal::StillContinuesList() const {
    return FFile >= 0 && Identity(FListPath) == FIdentity;
}

bool TListJournal::Append(const std::vector<TListChange>& changes) {
    if (FFile < 0) return false;
    if (changes.empty()) return true;
    std::string bytes;
    for (const TListChange& change : changes)
        PutRecord(bytes, change);
    if (WriteAllBytes(FFile, bytes) && ::fdatasync(FFile) == 0) {
        FSize += bytes.size();
        return true;
    }
    // What was written of these is cut off, so that no later record follows a torn one; the
    // journal stops, and the next save writes the list whole.
    (void)!::ftruncate(FFile, static_cast<off_t>(FSize));
    Close();
    return false;
}
