// Feeds arbitrary bytes to the .m3u reader: it must never crash and never hand on an entry that
// holds a line end or a NUL, or a relative entry outside the playlist's folder.
#include "filelist/playlists.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string folder = "/lists/";
    for (const std::string& entry : ParseM3uText(text, folder + "list.m3u")) {
        if (entry.empty() || entry.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            std::abort();
        // An entry starts at the root, in the folder, or with the blanks it was read with.
        if (entry[0] != '/' && static_cast<unsigned char>(entry[0]) > ' ') std::abort();
    }
    return 0;
}
