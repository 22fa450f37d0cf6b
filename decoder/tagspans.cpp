#include "decoder/tagspans.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t ApeBytes = 32; // header and footer alike
constexpr std::uint32_t ApeHasHeader = 0x80000000u;
constexpr std::uint32_t ApeIsHeader = 0x20000000u;
// A Lyrics3 block of the first version ends within this many bytes of its start.
constexpr std::uint64_t MaxLyrics3v1Bytes = 5100 + 11 + 9;

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

bool Holds(TSourceWindow& window, std::uint64_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    const std::uint8_t* p = window.At(at, n);
    return p && std::memcmp(p, text, n) == 0;
}

// The decimal number of `digits` digits at `at`, or -1.
std::int64_t Digits(TSourceWindow& window, std::uint64_t at, std::size_t digits) {
    const std::uint8_t* p = window.At(at, digits);
    if (!p) return -1;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

// The APEv2 header or footer at `at`: its size field (items and footer), or 0.
std::uint64_t ApeBlock(TSourceWindow& window, std::uint64_t at, std::uint32_t& flags) {
    const std::uint8_t* p = window.At(at, ApeBytes);
    if (!p || std::memcmp(p, "APETAGEX", 8) != 0) return 0;
    const std::uint32_t version = Little32(p + 8), size = Little32(p + 12);
    flags = Little32(p + 20);
    if ((version != 1000 && version != 2000) || size < ApeBytes) return 0;
    return size;
}

// True when the items between `from` and the footer at `footer` are `count` whole items.
bool ApeItemsFill(TSourceWindow& window, std::uint64_t from, std::uint64_t footer, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = window.At(from, 8);
        if (!p || from + 8 > footer) return false;
        const std::uint64_t value = Little32(p);
        std::uint64_t key = from + 8;
        for (;; ++key) {
            const std::uint8_t* c = key < footer ? window.At(key, 1) : nullptr;
            if (!c) return false;
            if (*c == 0) break;
            if (*c < 0x20 || *c > 0x7E) return false;
        }
        from = key + 1 + value;
    }
    return from == footer;
}

// Start of the APEv2 tag whose footer ends at `end`, or `end` when there is none.
std::uint64_t ApeTagBefore(TSourceWindow& window, std::uint64_t end) {
    if (end < ApeBytes) return end;
    const std::uint64_t footer = end - ApeBytes;
    std::uint32_t flags = 0;
    const std::uint64_t size = ApeBlock(window, footer, flags);
    if (size == 0 || (flags & ApeIsHeader) || size > end) return end;
    const std::uint64_t items = end - size;
    if (flags & ApeHasHeader) {
        std::uint32_t headerFlags = 0;
        if (items < ApeBytes || ApeBlock(window, items - ApeBytes, headerFlags) != size) return end;
        return items - ApeBytes;
    }
    const std::uint8_t* p = window.At(footer, ApeBytes);
    return p && ApeItemsFill(window, items, footer, Little32(p + 16)) ? items : end;
}

// Start of the Lyrics3 block that ends at `end`, or `end` when there is none.
std::uint64_t Lyrics3Before(TSourceWindow& window, std::uint64_t end) {
    if (end >= 15 && Holds(window, end - 9, "LYRICS200")) {
        const std::int64_t size = Digits(window, end - 15, 6);
        if (size >= 11 && static_cast<std::uint64_t>(size) + 15 <= end &&
            Holds(window, end - 15 - static_cast<std::uint64_t>(size), "LYRICSBEGIN"))
            return end - 15 - static_cast<std::uint64_t>(size);
    }
    if (end >= 20 && Holds(window, end - 9, "LYRICSEND")) {
        for (std::uint64_t at = end - 20; at + MaxLyrics3v1Bytes >= end; --at) {
            if (Holds(window, at, "LYRICSBEGIN")) return at;
            if (at == 0) break;
        }
    }
    return end;
}

} // namespace

bool ApeHeaderAt(TSourceWindow& window, std::uint64_t at, std::uint64_t& claimed) {
    std::uint32_t flags = 0;
    const std::uint64_t size = ApeBlock(window, at, flags);
    const std::uint8_t* p = window.At(at, ApeBytes);
    if (size == 0 || Little32(p + 8) != 2000 ||
        !std::all_of(p + 24, p + 32, [](std::uint8_t b) { return b == 0; }))
        return false;
    claimed = size;
    return true;
}

std::uint64_t TagSpanAt(TSourceWindow& window, std::uint64_t at) {
    std::uint64_t claimed = 0;
    if (ApeHeaderAt(window, at, claimed)) {
        std::uint32_t flags = 0;
        return ApeBlock(window, at + claimed, flags) == claimed && !(flags & ApeIsHeader) ? ApeBytes + claimed
                                                                                          : 0;
    }
    return Holds(window, at, "TAG") && window.At(at, 128) ? 128 : 0;
}

std::uint64_t TrailingTagsStart(TSourceWindow& window) {
    std::uint64_t end = window.Size();
    for (;;) {
        std::uint64_t start = end >= 128 && Holds(window, end - 128, "TAG") ? end - 128 : end;
        if (start == end) start = ApeTagBefore(window, end);
        if (start == end) start = Lyrics3Before(window, end);
        if (start == end) return end;
        end = start;
    }
}

bool Id3v2FramesFill(TSourceWindow& window, std::uint64_t at, std::uint64_t length) {
    const std::uint8_t* h = window.At(at, 10);
    if (!h || length < 10 || at + length > window.Size()) return false;
    const int version = h[3];
    // Unsynchronised or with an extended header, its frames are not where their sizes say.
    if (version < 2 || version > 4 || (h[5] & 0xC0) != 0) return false;
    const std::uint64_t end = at + length - ((h[5] & 0x10) ? 10 : 0);
    const std::size_t headerBytes = version == 2 ? 6 : 10, idBytes = version == 2 ? 3 : 4;
    std::uint64_t frame = at + 10;
    while (frame < end) {
        const std::uint8_t* f = window.At(frame, std::min<std::uint64_t>(headerBytes, end - frame));
        if (!f) return false;
        if (f[0] == 0) { // padding: zeros to the end
            for (; frame < end; ++frame)
                if (*window.At(frame, 1) != 0) return false;
            return true;
        }
        if (end - frame < headerBytes) return false;
        for (std::size_t i = 0; i < idBytes; ++i)
            if (!((f[i] >= 'A' && f[i] <= 'Z') || (f[i] >= '0' && f[i] <= '9'))) return false;
        std::uint64_t size = 0;
        for (std::size_t i = idBytes; i < (version == 2 ? 6u : 8u); ++i)
            size = version == 4 ? (size << 7) | (f[i] & 0x7F) : (size << 8) | f[i];
        frame += headerBytes + size;
    }
    return frame == end;
}
