#include "decoder/riffchunks.h"

#include "decoder/progress.h"

#include <cstring>

namespace {

void AppendChunk(std::vector<std::uint8_t>& out, const char* id, const std::uint8_t* data, std::size_t size) {
    out.insert(out.end(), id, id + 4);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    out.insert(out.end(), data, data + size);
    if (size & 1) out.push_back(0);
}

} // namespace

std::vector<std::uint8_t> BuildTagChunks(const TSourceTags& tags) {
    std::vector<std::uint8_t> out;
    if (!tags.Info.empty()) {
        std::vector<std::uint8_t> list{'I', 'N', 'F', 'O'};
        for (const auto& [id, text] : tags.Info) {
            // Each value is a NUL-terminated string.
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
            AppendChunk(list, id.c_str(), bytes, text.size() + 1);
        }
        AppendChunk(out, "LIST", list.data(), list.size());
    }
    if (!tags.Id3v2.empty()) AppendChunk(out, "id3 ", tags.Id3v2.data(), tags.Id3v2.size());
    return out;
}

void AttachTags(TByteSource& source, const std::string& inputName, TWavWriter& writer, std::FILE* console) {
    const TSourceTags tags = ReadSourceTags(source, inputName);
    for (const std::string& warning : tags.Warnings)
        Say(console, warning + "\n");
    writer.SetTrailer(BuildTagChunks(tags));
}

std::vector<std::uint8_t> SourceMarkChunk(const std::string& inputName) {
    std::vector<std::uint8_t> out;
    AppendChunk(out, "wsrc", reinterpret_cast<const std::uint8_t*>(inputName.data()), inputName.size());
    return out;
}
