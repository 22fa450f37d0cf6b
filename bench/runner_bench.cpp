// How fast the child process runner hands a child's output to its handler on the UI thread:
// megabytes per second in large pieces, and pieces per second when every piece is small.
// A real child (the test program childtool) writes; the handler runs under a QCoreApplication.
//   bench_runner_bench [megabytes=512] [small-pieces=100000]
#include "engine/commandline.h"
#include "engine/redirect.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TResult {
    double Seconds = 0;
    uint64_t Bytes = 0;
    uint64_t Pieces = 0;
};

TResult Run(QCoreApplication& app, const std::vector<std::string>& commands) {
    std::vector<std::string> arguments = {std::string(WAVESMITH_BIN_DIR) + "/childtool"};
    arguments.insert(arguments.end(), commands.begin(), commands.end());
    TRedirector runner;
    TResult result;
    auto count = [&](TRedirector*, const char*, int32_t size) {
        result.Bytes += static_cast<uint64_t>(size);
        ++result.Pieces;
    };
    runner.OnData = count;
    runner.OnErrorData = count;
    runner.OnTerminated = [&](TRedirector*) { app.quit(); };
    runner.SetCommandLine(JoinCommandLine(arguments));
    QElapsedTimer timer;
    QTimer::singleShot(0, [&] {
        timer.start();
        runner.Execute();
    });
    app.exec();
    result.Seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return result;
}

void ReportLarge(const char* what, const TResult& result) {
    std::printf("%-31s%.1f MB/s (%llu MB in %llu pieces, %.2f s)\n", what,
                static_cast<double>(result.Bytes) / 1048576.0 / result.Seconds,
                static_cast<unsigned long long>(result.Bytes >> 20),
                static_cast<unsigned long long>(result.Pieces), result.Seconds);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    const uint64_t smallPieces = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    const uint64_t bytes = megabytes << 20;

    ReportLarge("large pieces, standard output:", Run(app, {"flood-out:" + std::to_string(bytes)}));
    ReportLarge("large pieces, both streams:", Run(app, {"flood-both:" + std::to_string(bytes / 2)}));

    // Each piece is written only after the one before has left the pipe, so none are merged.
    const TResult small = Run(app, {"pieces:" + std::to_string(smallPieces) + ":64"});
    std::printf("small pieces (64 bytes):       %.0f pieces/s (%llu pieces, %.2f s)\n",
                static_cast<double>(small.Pieces) / small.Seconds,
                static_cast<unsigned long long>(small.Pieces), small.Seconds);
    return 0;
}
