// How fast the decoder's text is read: recorded utils.exe output (a test file's standard error),
// its progress part repeated to about two million lines, fed in pieces as the runner hands them
// on. Prints lines per second for the line cutter alone and for HandleDecoderOutput in the main
// window (offscreen), with one piece per decoder write and with 4 KiB pieces.
//   bench_output_bench [lines=2000000]
#include "app/formmain.h"
#include "engine/decoderoutput.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef WAVESMITH_FIXTURES_DIR
#define WAVESMITH_FIXTURES_DIR WAVESMITH_BIN_DIR "/../../../tests/fixtures"
#endif

namespace {

// The decoder's standard error for one file, as it wrote it.
std::string Record(const std::string& folder) {
    QProcess decoder;
    decoder.start(QString::fromStdString(std::string(WAVESMITH_BIN_DIR) + "/utils.exe"),
                  {"--decode",
                   QString::fromStdString(std::string(WAVESMITH_FIXTURES_DIR) + "/vbr_stereo_44k.mp3"),
                   QString::fromStdString(folder + "/out.wav")});
    decoder.waitForFinished(60000);
    return decoder.readAllStandardError().toStdString();
}

// Pieces as the decoder writes them: each progress rewrite (starting with CR) is one write.
std::vector<std::string> WritesOf(const std::string& progress) {
    std::vector<std::string> writes;
    size_t start = 0;
    while (start < progress.size()) {
        size_t next = progress.find('\r', start + 1);
        if (next == std::string::npos) next = progress.size();
        writes.push_back(progress.substr(start, next - start));
        start = next;
    }
    return writes;
}

struct TFeed {
    std::string Preamble;
    std::vector<std::string> Pieces; // one round of the progress part
    size_t LinesPerRound = 0;
    size_t Rounds = 0;
};

template <typename Sink> double Time(const TFeed& feed, Sink&& sink) {
    QElapsedTimer timer;
    timer.start();
    sink(feed.Preamble);
    for (size_t round = 0; round < feed.Rounds; ++round)
        for (const std::string& piece : feed.Pieces)
            sink(piece);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void Report(const char* what, size_t lines, double seconds) {
    std::printf("%-44s %9.0f lines/s  (%zu lines, %.3f s)\n", what, static_cast<double>(lines) / seconds,
                lines, seconds);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const size_t wanted = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
    QTemporaryDir work;
    const std::string dir = QFile::encodeName(work.path()).toStdString();

    const std::string recorded = Record(dir);
    const size_t header = recorded.find("\rFrame#");
    const size_t end = recorded.find_last_of('\n');
    if (header == std::string::npos || end == std::string::npos || end < header) {
        std::fprintf(stderr, "the decoder's output has no progress lines\n");
        return 2;
    }
    // The header and the first progress line stay in the preamble; the rounds repeat the rest.
    const size_t firstLine = recorded.find('\r', header + 1);
    TFeed lineWrites;
    lineWrites.Preamble = recorded.substr(0, firstLine);
    const std::string progress = recorded.substr(firstLine, end - firstLine);
    lineWrites.Pieces = WritesOf(progress);
    lineWrites.LinesPerRound = lineWrites.Pieces.size();
    lineWrites.Rounds = wanted / lineWrites.LinesPerRound + 1;
    TFeed bigPieces = lineWrites;
    bigPieces.Pieces.clear();
    std::string all;
    for (size_t i = 0; i < 64; ++i)
        all += progress; // 64 rounds per block, cut in 4 KiB pieces
    for (size_t at = 0; at < all.size(); at += 4096)
        bigPieces.Pieces.push_back(all.substr(at, 4096));
    bigPieces.Rounds = lineWrites.Rounds / 64 + 1;
    const size_t lineWriteLines = lineWrites.Rounds * lineWrites.LinesPerRound;
    const size_t bigPieceLines = bigPieces.Rounds * 64 * lineWrites.LinesPerRound;
    std::printf("recorded: %zu bytes, %zu progress lines per file\n", recorded.size(),
                lineWrites.LinesPerRound + 1);

    size_t counted = 0;
    std::string pending;
    const auto cutter = [&](const std::string& piece) {
        CutLines(pending, piece.data(), piece.size(),
                 [&](std::string_view line) { counted += line.size() != 0; });
    };
    Report("line cutter, one piece per decoder write", lineWriteLines, Time(lineWrites, cutter));
    Report("line cutter, 4 KiB pieces", bigPieceLines, Time(bigPieces, cutter));
    if (counted == 0) return 3;

    SetExecutablePath(dir + "/wavesmith");
    TFormMain form;
    const auto start = [&] {
        auto& g = GlobalVars;
        g.BatchState = bsRunning;
        g.FilesTotal = 30;
        g.FilesDecoded = 3;
        g.BytesTotal = 30 * 2'000'000LL;
        g.BytesFinished = 3 * 2'000'000LL;
        g.CurrentFileName = "track13.mp3";
        g.BatchStart = Now() - 1.0 / 1440;
        TDecoderRun& run = form.Runs[0];
        run.Busy = true;
        run.FileName = "track13.mp3";
        run.Size = 2'000'000;
        run.ProgressPhase = false;
    };
    const auto handler = [&](const std::string& piece) {
        form.HandleDecoderOutput(form.Redirector.get(), piece.data(), static_cast<int32_t>(piece.size()));
    };
    start();
    Report("HandleDecoderOutput, one piece per write", lineWriteLines, Time(lineWrites, handler));
    start();
    Report("HandleDecoderOutput, 4 KiB pieces", bigPieceLines, Time(bigPieces, handler));
    std::printf("target: above 1000000 lines/s\n");
    return GlobalVars.ProgressPhase ? 0 : 4;
}
