// How fast the child process runner hands a child's output to its handler on the UI thread:
// megabytes per second in large pieces, and pieces per second when every piece is small.
// A real child (the test program childtool) writes; the handler runs under a QCoreApplication.
//   bench_runner_bench [megabytes=512] [small-pieces=100000]
// What starting a child costs the program as it grows: `starts` times Execute to the end of a child
// that exits at once, in a process that holds 0 and then `heap` MB of written memory, and the
// parent's first write to every page of that memory after a start against the same sweep without one.
//   bench_runner_bench starts [heap-megabytes=2048] [starts=50]
#include "engine/commandline.h"
#include "engine/redirect.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

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

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Writes one byte in every page, as a program that goes on working after a start does.
double WriteEveryPage(std::vector<char>& heap) {
    QElapsedTimer timer;
    timer.start();
    const long page = ::sysconf(_SC_PAGESIZE);
    for (size_t at = 0; at < heap.size(); at += static_cast<size_t>(page))
        heap[at] = static_cast<char>(heap[at] + 1);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// `count` children of /bin/true one after the other; prints the wall and CPU time per start.
void TimeStarts(QCoreApplication& app, std::vector<char>& heap, int count) {
    TRedirector runner;
    runner.SetCommandLine("/bin/true");
    int left = count;
    runner.OnTerminated = [&](TRedirector*) {
        if (--left == 0)
            app.quit();
        else
            QTimer::singleShot(0, [&] { runner.Execute(); });
    };
    WriteEveryPage(heap); // pages that an earlier start left shared are the program's own again
    const double untouched = WriteEveryPage(heap);
    QElapsedTimer timer;
    const double cpuBefore = CpuSeconds();
    QTimer::singleShot(0, [&] {
        timer.start();
        runner.Execute();
    });
    app.exec();
    const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e6 / count;
    const double cpu = (CpuSeconds() - cpuBefore) * 1e3 / count;
    const double afterStart = [&] {
        left = 1;
        QTimer::singleShot(0, [&] { runner.Execute(); });
        app.exec();
        return WriteEveryPage(heap);
    }();
    std::printf("heap %5zu MB: %.3f ms per start (wall), %.3f ms CPU of this process; writing every page "
                "%.2f ms, right after a start %.2f ms\n",
                heap.size() >> 20, wall, cpu, untouched, afterStart);
}

int Starts(QCoreApplication& app, size_t heapMegabytes, int count) {
    std::vector<char> heap;
    TimeStarts(app, heap, count);
    heap.assign(heapMegabytes << 20, 1);
    TimeStarts(app, heap, count);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "starts") == 0)
        return Starts(app, argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2048,
                      argc > 3 ? std::max(1, std::atoi(argv[3])) : 50);
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
