// Feeds arbitrary bytes to the decoder's scan and decode loop, as a file's contents would reach
// them, split across threads where they hold enough frames: it must never crash and never hang
// (libFuzzer's -timeout catches a loop), and it must end with one of its own exit codes.
#include "decoder/arguments.h"
#include "decoder/bytesource.h"
#include "decoder/decodeloop.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* const console = std::fopen("/dev/null", "w");
    static const std::string output =
        (std::filesystem::temp_directory_path() / ("decoder_fuzz_" + std::to_string(::getpid()) + ".wav"))
            .string();
    TMemorySource source(data, size);
    // Chunks of a few frames on three threads, so inputs of a dozen frames are split too.
    const int code = DecodeSource(source, "fuzz.mp3", output, console, TDecodeOptions{3, 4});
    std::remove(output.c_str());
    if (code != ExitOk && code != ExitFileError && code != ExitBitstream && code != ExitWriteFailed &&
        code != ExitDiskFull && code != ExitDamagePassed)
        std::abort();
    return 0;
}
