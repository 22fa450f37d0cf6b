#pragma once
// Tags that stand between or after the frames of a stream, each found by its own framing, so the
// scan can pass over them and account for every byte it passes over.
#include "decoder/streamscan.h"

#include <cstdint>

// Length of the tag at `at` that libmpg123 passes over and whose framing holds (an APEv2 tag with a
// header and a matching footer, an ID3v1 tag), or 0. An ID3v2 tag is not among them: whether its
// size holds audio is the scan's to check. A Lyrics3 block stops libmpg123: it counts only at the end.
std::uint64_t TagSpanAt(TSourceWindow& window, std::uint64_t at);

// Where the tags that end the file begin (ID3v1, APEv2 with or without a header, Lyrics3), read
// back from its end; the size of the file when none ends it.
std::uint64_t TrailingTagsStart(TSourceWindow& window);

// The APEv2 header at `at`, as libmpg123 takes it (version 2000, reserved bytes zero): the bytes
// it skips after the header's own 32, or nothing.
bool ApeHeaderAt(TSourceWindow& window, std::uint64_t at, std::uint64_t& claimed);

// True when the ID3v2 tag of `length` bytes at `at` is whole by its own framing: its frames follow
// one another to its end, or to padding of zeros that runs to its end. Such a tag is a tag, whatever
// its frames hold (a private frame may well hold copies of audio frames).
bool Id3v2FramesFill(TSourceWindow& window, std::uint64_t at, std::uint64_t length);
