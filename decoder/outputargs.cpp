#include "decoder/outputargs.h"

namespace {

bool ReadWhole(const std::string& text, unsigned low, unsigned high, unsigned& value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<unsigned>(std::stoul(text));
    return value >= low && value <= high;
}

} // namespace

bool ReadOutputOption(const std::vector<std::string>& args, std::size_t& at, TOutputChoice& choice,
                      std::string& problem) {
    const std::string& option = args[at];
    if (option == "--cd") {
        choice.Cd = true;
        ++at;
        return true;
    }
    if (option != "--format" && option != "--rate" && option != "--channels") return false;
    const std::string value = at + 1 < args.size() ? args[at + 1] : std::string();
    TOutputSpec& spec = choice.Spec;
    if (option == "--format" && !ParseSampleFormat(value, spec.Format))
        problem = "--format needs s16, s24 or f32";
    else if (option == "--rate" && !ReadWhole(value, LowestRate, HighestRate, spec.Rate))
        problem = "--rate needs a sample rate from " + std::to_string(LowestRate) + " to " +
                  std::to_string(HighestRate);
    else if (option == "--channels" && !ReadWhole(value, 1, 2, spec.Channels))
        problem = "--channels needs 1 or 2";
    choice.Other = true;
    at += 2;
    return true;
}

bool SettleOutput(const TOutputChoice& choice, TOutputSpec& spec, std::string& problem) {
    if (choice.Cd && choice.Other) {
        problem = "--cd chooses the format, rate and channels itself";
        return false;
    }
    spec = choice.Cd ? TOutputSpec{TSampleFormat::S16, 44100, 2} : choice.Spec;
    return true;
}
