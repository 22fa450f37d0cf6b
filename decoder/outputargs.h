#pragma once
// The options that choose what the WAV file holds: `--format s16|s24|f32`, `--rate N`,
// `--channels 1|2` and `--cd` (the same as `--format s16 --rate 44100 --channels 2`).
#include "decoder/sampleformat.h"

#include <cstddef>
#include <string>
#include <vector>

struct TOutputChoice {
    TOutputSpec Spec;
    bool Cd = false;
    bool Other = false; // --format, --rate or --channels
};

// Reads the option at args[at], with its value, into `choice` and moves `at` past it. False when
// args[at] is none of these options; true with `problem` set when its value is wrong.
bool ReadOutputOption(const std::vector<std::string>& args, std::size_t& at, TOutputChoice& choice,
                      std::string& problem);

// What the options read chose; false, with `problem` set, for --cd with any of the others.
bool SettleOutput(const TOutputChoice& choice, TOutputSpec& spec, std::string& problem);
