// utils.exe: decodes one MPEG audio file to a WAV file for the batch window.
#include "decoder/arguments.h"
#include "decoder/decodeloop.h"
#include "decoder/splitdecode.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // Past a file-size limit a write fails with its own message instead of killing the decoder.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const TArguments args = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (args.Command) {
    case TCommand::Help:
        std::fputs(UsageText().c_str(), stdout);
        return ExitOk;
    case TCommand::Version:
        std::fputs(VersionText().c_str(), stdout);
        return ExitOk;
    case TCommand::UsageError:
        std::fprintf(stderr, "utils.exe: %s\n%s", args.Problem.c_str(), UsageText().c_str());
        return ExitUsage;
    case TCommand::Decode:
        break;
    }
    TDecodeOptions options{ThreadsToUse(args, AvailableCores()), MinChunkFrames(), !args.NoTags,
                           nullptr, args.Output};
    options.MayReplace = args.Overwrite;
    return DecodeFile(args.InputPath, args.OutputPath, stderr, options);
}
