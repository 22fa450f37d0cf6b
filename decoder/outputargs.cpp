#include "decoder/outputargs.h"

#include <algorithm>
#include <cstddef>

namespace {

bool ReadWhole(const std::string& text, unsigned low, unsigned high, unsigned& value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<unsigned>(std::stoul(text));
    return value >= low && value <= high;
}

struct TTaken {
    bool Cd = false;
    bool Other = false; // --format, --rate or --channels
};

// The options in args[from, to); returns the index where the region now ends, or npos on a problem.
std::size_t TakeFrom(std::vector<std::string>& args, std::size_t from, std::size_t to, TOutputSpec& spec,
                     TTaken& taken, std::string& problem) {
    std::size_t i = from;
    while (i < to) {
        const std::string& option = args[i];
        if (option == "--cd") {
            taken.Cd = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            --to;
            continue;
        }
        if (option != "--format" && option != "--rate" && option != "--channels") {
            i += option == "--threads" ? 2 : 1; // its count is no option of ours
            continue;
        }
        const std::string value = i + 1 < to ? args[i + 1] : std::string();
        bool good = false;
        if (option == "--format") {
            good = ParseSampleFormat(value, spec.Format);
            if (!good) problem = "--format needs s16, s24 or f32";
        } else if (option == "--rate") {
            good = ReadWhole(value, LowestRate, HighestRate, spec.Rate);
            if (!good)
                problem = "--rate needs a sample rate from " + std::to_string(LowestRate) + " to " +
                          std::to_string(HighestRate);
        } else {
            good = ReadWhole(value, 1, 2, spec.Channels);
            if (!good) problem = "--channels needs 1 or 2";
        }
        if (!good) return std::string::npos;
        taken.Other = true;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        to -= 2;
    }
    return to;
}

} // namespace

bool TakeOutputOptions(std::vector<std::string>& args, TOutputSpec& spec, std::string& problem) {
    TTaken taken;
    const auto decode = std::find(args.begin(), args.end(), "--decode");
    const std::size_t front = static_cast<std::size_t>(decode - args.begin());
    const std::size_t at = TakeFrom(args, 0, front, spec, taken, problem);
    if (at == std::string::npos) return false;
    // After "--decode" and the two names.
    if (at < args.size() && at + 3 < args.size() &&
        TakeFrom(args, at + 3, args.size(), spec, taken, problem) == std::string::npos)
        return false;
    if (taken.Cd && taken.Other) {
        problem = "--cd chooses the format, rate and channels itself";
        return false;
    }
    if (taken.Cd) spec = TOutputSpec{TSampleFormat::S16, 44100, 2};
    return true;
}
