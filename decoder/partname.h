#pragma once
// The name a WAV file is written under until it is finished: a hidden ".part" file beside it, so a
// half-written file never carries the final name and a file manager shows it as unfinished. The
// batch window includes this too, to remove what a decoder it stopped left behind. No libmpg123.
#include <string>

inline std::string PartialOutputPath(const std::string& outputPath) {
#ifdef _WIN32
    const std::size_t slash = outputPath.find_last_of("\\/:");
#else
    const std::size_t slash = outputPath.find_last_of('/');
#endif
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return outputPath.substr(0, nameStart) + "." + outputPath.substr(nameStart) + ".part";
}
