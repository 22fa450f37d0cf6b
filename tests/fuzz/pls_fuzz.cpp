// Feeds arbitrary bytes to the .pls reader: it must never crash, stay quick whatever count the
// file claims, and only hand on entries rooted at "/" without line ends or NUL bytes.
#include "filelist/playlists.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto entries = ParsePlsText(text, "/lists/list.pls");
    if (entries.size() > size) std::abort();
    for (const std::string& entry : entries) {
        if (entry.empty() || entry[0] != '/') std::abort();
        if (entry.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
    }
    return 0;
}
