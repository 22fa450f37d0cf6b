#pragma once
// The bytes that the test program floods a stream with, so a reader can check every byte and its
// order: a pseudo-random block per stream, repeated. The two streams use blocks of different
// prime lengths, so a piece of one stream never matches the other or a shifted position.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

inline const std::string& ChildPatternBlock(int stream) { // 1 = standard output, 2 = standard error
    static const auto make = [](uint64_t seed, size_t length) {
        std::string block((length + 7) / 8 * 8, '\0');
        uint64_t x = seed;
        for (size_t i = 0; i < block.size(); i += 8) {
            x = x * 6364136223846793005ull + 1442695040888963407ull;
            const uint64_t word = x ^ (x >> 29);
            std::memcpy(&block[i], &word, 8);
        }
        block.resize(length);
        return block;
    };
    static const std::string out = make(1, 131071);
    static const std::string err = make(2, 131063);
    return stream == 2 ? err : out;
}

// True when bytes [data, data+size) are the pattern of stream from position pos onwards.
inline bool MatchesChildPattern(int stream, uint64_t pos, const char* data, size_t size) {
    const std::string& block = ChildPatternBlock(stream);
    while (size > 0) {
        const size_t at = static_cast<size_t>(pos % block.size());
        const size_t n = std::min(size, block.size() - at);
        if (block.compare(at, n, data, n) != 0) return false;
        pos += n, data += n, size -= n;
    }
    return true;
}
