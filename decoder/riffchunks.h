#pragma once
// The chunks that follow the audio in a tagged WAV file: a LIST/INFO chunk with the text fields and
// an "id3 " chunk with the ID3v2 tag, and on request a "wsrc" chunk naming the source. Each chunk is padded
// to an even length, as RIFF asks.
#include "decoder/tags.h"
#include "decoder/wavwriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Empty for a source without tags, so its WAV file is the plain one.
std::vector<std::uint8_t> BuildTagChunks(const TSourceTags& tags);

// Reads the source's tags into the writer's trailer; each warning goes to `console` as a line.
void AttachTags(TByteSource& source, const std::string& inputName, TWavWriter& writer, std::FILE* console);

// The "wsrc" chunk: the source's name as the decoder was given it, so that a later batch can tell a
// WAV file made from this source from one that another source of the same name left in the folder.
std::vector<std::uint8_t> SourceMarkChunk(const std::string& inputName);
