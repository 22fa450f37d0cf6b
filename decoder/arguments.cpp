#include "decoder/arguments.h"

#include "decoder/outputargs.h"

#include <utility>

namespace {

// A count of threads: digits only, at most a few thousand.
bool ReadThreads(const std::string& text, unsigned& threads) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    threads = static_cast<unsigned>(std::stoul(text));
    return true;
}

TArguments Wrong(std::string problem) {
    TArguments wrong;
    wrong.Problem = std::move(problem);
    return wrong;
}

} // namespace

// The options stand before --decode or after its two names, in any order. The two words after
// --decode are the names whatever they look like, so a file may be named like an option.
TArguments ParseArguments(const std::vector<std::string>& args) {
    TArguments result;
    if (args.empty()) return Wrong("no arguments given");
    const bool alone = args.size() == 1;
    if (alone && (args[0] == "--help" || args[0] == "-h")) result.Command = TCommand::Help;
    if (alone && args[0] == "--version") result.Command = TCommand::Version;
    if (result.Command != TCommand::UsageError) return result;
    TOutputChoice output;
    bool decode = false;
    for (std::size_t at = 0; at < args.size();) {
        const std::string& arg = args[at];
        std::string problem;
        if (arg == "--decode") {
            if (decode) return Wrong("--decode is given twice");
            if (args.size() - at < 3) return Wrong("--decode needs an input file and an output file");
            result.InputPath = args[at + 1];
            result.OutputPath = args[at + 2];
            if (result.InputPath.empty() || result.OutputPath.empty()) return Wrong("a file name is empty");
            decode = true;
            at += 3;
        } else if (arg == "--threads") {
            if (at + 1 == args.size() || !ReadThreads(args[at + 1], result.Threads))
                return Wrong("--threads needs a number of threads (0: one per processor)");
            at += 2;
        } else if (arg == "--no-tags" || arg == "--overwrite" || arg == "--mark-source") {
            (arg == "--no-tags" ? result.NoTags : arg == "--overwrite" ? result.Overwrite : result.MarkSource) = true;
            ++at;
        } else if (ReadOutputOption(args, at, output, problem)) {
            if (!problem.empty()) return Wrong(problem);
        } else if (arg == "--help" || arg == "-h" || arg == "--version") {
            return Wrong(arg + " goes alone");
        } else {
            return Wrong(decode ? "\"" + arg + "\" after the two file names is no option"
                                : "unknown option \"" + arg + "\"");
        }
    }
    if (!decode) return Wrong("nothing to decode: --decode <input> <output> is missing");
    std::string problem;
    if (!SettleOutput(output, result.Output, problem)) return Wrong(problem);
    result.Command = TCommand::Decode;
    return result;
}

unsigned ThreadsToUse(const TArguments& args, unsigned processors) {
    return args.Threads == 0 ? processors : args.Threads;
}

std::string UsageText() {
    return "usage: utils.exe --decode <input.mp3> <output.wav>\n"
           "       utils.exe [options] --decode <input.mp3> <output.wav> [options]\n"
           "       options, in any order: --threads N, --no-tags, --overwrite, --mark-source,\n"
           "                 --cd | --format s16|s24|f32, --rate N, --channels 1|2\n"
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
           "--mark-source ends the file with a \"wsrc\" chunk holding the input's name as given,\n"
           "so a later run can tell which source a WAV file was made from.\n"
           "--format: s16 (default), s24 or f32 (IEEE float, keeps what a loud source decodes\n"
           "past full scale); 24-bit is rounded from float samples. --rate N (8000 to 192000) and\n"
           "--channels 1|2 convert with libsoxr from float samples, then round to the format\n"
           "(mono to stereo: two equal channels; stereo to mono: their mean). --cd is the\n"
           "audio CD's --format s16 --rate 44100 --channels 2.\n"
           "Exit codes: 0 done, 1 input file problem or input changed, 2 usage, 3 stream that\n"
           "cannot go whole into one WAV file (the audio before the problem is kept), 4 output\n"
           "could not be written, 5 output disk full, 6 output file exists and was not\n"
           "replaced, 7 output folder cannot be written,\n"
           "8 decoded, with damage passed over (junk or broken frames inside the stream, or a file\n"
           "cut inside its last frame: each named in a warning line, the rest of the audio kept).\n"
           "A change of sample rate mid-stream is exit code 3.\n";
}

std::string VersionText() {
    return "utils.exe 2.6\n";
}
