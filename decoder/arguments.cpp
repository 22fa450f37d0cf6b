#include "decoder/arguments.h"

#include "decoder/outputargs.h"

#include <algorithm>

namespace {

// A count of threads: digits only, at most a few thousand.
bool ReadThreads(const std::string& text, unsigned& threads) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    threads = static_cast<unsigned>(std::stoul(text));
    return true;
}

TArguments ParseCommand(const std::vector<std::string>& given);
TArguments ParseWithTagOption(const std::vector<std::string>& given);

} // namespace

TArguments ParseArguments(const std::vector<std::string>& line) {
    std::vector<std::string> given = line;
    TOutputSpec output;
    std::string problem;
    if (!TakeOutputOptions(given, output, problem)) {
        TArguments wrong;
        wrong.Problem = problem;
        return wrong;
    }
    TArguments result = ParseWithTagOption(given);
    if (given.size() != line.size() && result.Command != TCommand::Decode &&
        result.Command != TCommand::UsageError) {
        result.Command = TCommand::UsageError;
        result.Problem = "the output's options go with --decode";
    }
    result.Output = output;
    return result;
}

namespace {

// --no-tags and --overwrite go first or last. Only a line that means nothing without such a flag
// loses it, so a file named "--no-tags" stays a name wherever it is one.
TArguments ParseWithTagOption(const std::vector<std::string>& given) {
    TArguments result = ParseCommand(given);
    if (result.Command != TCommand::UsageError || given.empty()) return result;
    if (given.front() == "--overwrite" || given.back() == "--overwrite") {
        const bool first = given.front() == "--overwrite";
        TArguments rest = ParseWithTagOption(
            std::vector<std::string>(given.begin() + (first ? 1 : 0), given.end() - (first ? 0 : 1)));
        if (rest.Command == TCommand::Decode) {
            rest.Overwrite = true;
            return rest;
        }
    }
    const bool first = given.front() == "--no-tags", last = given.back() == "--no-tags";
    if (!first && !last) return result;
    TArguments plain = ParseWithTagOption(first ? std::vector<std::string>(given.begin() + 1, given.end())
                                            : std::vector<std::string>(given.begin(), given.end() - 1));
    if (plain.Command != TCommand::Decode) return result;
    plain.NoTags = true;
    return plain;
}

TArguments ParseCommand(const std::vector<std::string>& given) {
    TArguments result;
    // --threads N goes before the other arguments or after them, so the batch window's line keeps
    // the input in the third place and the output in the fourth.
    // Only those two places are looked at, so a file named "--threads" stays a name where the
    // count is given as well; three arguments without it are `--decode <in> <out>`, whatever the
    // names.
    std::vector<std::string> args = given;
    auto at = args.end();
    if (!args.empty() && args.front() == "--threads")
        at = args.begin();
    else if (args.size() >= 2 && args.size() != 3 && args[args.size() - 2] == "--threads")
        at = args.end() - 2;
    if (at != args.end()) {
        if (!ReadThreads(*(at + 1), result.Threads)) {
            result.Problem = "--threads needs a number of threads (0: one per processor)";
            return result;
        }
        args.erase(at, at + 2);
    } else if (std::find(args.begin(), args.end(), "--threads") != args.end() && args.size() != 3) {
        result.Problem = "--threads goes before or after the other arguments";
        return result;
    }
    if (args.empty()) {
        result.Problem = "no arguments given";
        return result;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        result.Command = args.size() == 1 ? TCommand::Help : TCommand::UsageError;
        if (args.size() != 1) result.Problem = "--help takes no arguments";
        return result;
    }
    if (args[0] == "--version") {
        result.Command = args.size() == 1 ? TCommand::Version : TCommand::UsageError;
        if (args.size() != 1) result.Problem = "--version takes no arguments";
        return result;
    }
    if (args[0] != "--decode") {
        result.Problem = "unknown option \"" + args[0] + "\"";
        return result;
    }
    if (args.size() != 3) {
        result.Problem = "--decode needs an input file and an output file";
        return result;
    }
    if (args[1].empty() || args[2].empty()) {
        result.Problem = "a file name is empty";
        return result;
    }
    result.Command = TCommand::Decode;
    result.InputPath = args[1];
    result.OutputPath = args[2];
    return result;
}

} // namespace

unsigned ThreadsToUse(const TArguments& args, unsigned processors) {
    return args.Threads == 0 ? processors : args.Threads;
}

std::string UsageText() {
    return "usage: utils.exe --decode <input.mp3> <output.wav>\n"
           "       utils.exe --decode <input.mp3> <output.wav> [--threads N] [--no-tags] [--overwrite]\n"
           "                 [--cd | --format s16|s24|f32 [--rate N] [--channels 1|2]]\n"
           "       utils.exe --help\n"
           "       utils.exe --version\n"
           "Decodes one MPEG audio file (layer I, II or III), by default to a 16-bit PCM WAV\n"
           "file with the source's sample rate and channels, without the encoder's delay and\n"
           "padding.\n"
           "The WAV file is written without a name (or, where the file system cannot do that, as\n"
           ".<output.wav>.<pid>.part) in the output's folder and named when it is finished; an\n"
           "input that changes while it is decoded gives no output. An existing output file is\n"
           "never replaced (exit code 6) unless --overwrite is given.\n"
           "A long file is decoded on N threads at once (default 0: one per processor), with the\n"
           "same result as on one thread.\n"
           "The source's tags follow the audio: its ID3v2 tag as it is, pictures and all (or one\n"
           "made from its APEv2 or ID3v1 tag), in an \"id3 \" chunk, and title, artist, album,\n"
           "track, year, genre and comment in a LIST/INFO chunk. A tag that cannot be read, or\n"
           "is over 16 MiB, is left out with a warning. --no-tags writes the audio alone.\n"
           "--format: s16 (default), s24 or f32 (IEEE float, keeps what a loud source decodes\n"
           "past full scale), taken from the decoder as they are. --rate N (8000 to 192000) and\n"
           "--channels 1|2 convert with libsoxr from float samples, then round to the format\n"
           "(mono to stereo: two equal channels; stereo to mono: their mean). --cd is the\n"
           "audio CD's --format s16 --rate 44100 --channels 2. These go before --decode or\n"
           "after the two file names.\n"
           "Exit codes: 0 done, 1 input file problem or input changed, 2 usage, 3 damaged stream\n"
           "(the audio before the damage is kept), 4 output could not be written, 5 output disk\n"
           "full, 6 output file exists and was not replaced, 7 output folder cannot be written.\n";
}

std::string VersionText() {
    return "utils.exe 2.6\n";
}
