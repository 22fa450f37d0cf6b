#pragma once
// The options that choose what the WAV file holds: `--format s16|s24|f32`, `--rate N`,
// `--channels 1|2` and `--cd` (the same as `--format s16 --rate 44100 --channels 2`).
#include "decoder/sampleformat.h"

#include <string>
#include <vector>

// Takes them out of the command line, from before "--decode" and from after its two file names,
// so a file named like one of them stays a name. False, with `problem` set, for a wrong value.
bool TakeOutputOptions(std::vector<std::string>& args, TOutputSpec& spec, std::string& problem);
