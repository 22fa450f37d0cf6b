// What the window costs a batch: 30 real MP3 files of about a minute each decoded through RunBatch
// (offscreen) with one decoder and with one per core, against the same utils.exe calls from a
// plain shell loop and from `xargs -P <cores>`. Prints the times and ratios of each round, and the
// median ratios. All of them run the decoder in the idle class.
//   bench_batch_bench [rounds=3] [corpus folder=/tmp/wavesmith-batch-cbr] [decoders]
// Given a decoder count it runs only RunBatch with that many, once, and prints the peak memory.
//   bench_batch_bench long <file.mp3> [rounds=3]
// times a one-decoder batch of that one (long) file with the decoder as it starts by default
// against the same batch with the file decoded in one piece on one thread, as every file was
// before the decoder could split one.
// The corpus is made once with sox and ffmpeg's libshine (synthesized sound, 192 kbps CBR) and
// kept for later runs.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int FileCount = 30;

std::string Shell(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> MakeCorpus(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<std::string> files;
    for (int i = 0; i < FileCount; ++i) {
        const std::string mp3 = folder + "/track" + std::to_string(i + 10) + ".mp3";
        files.push_back(mp3);
        if (FileExists(mp3)) continue;
        // A minute of a sweep and noise under a tremolo, different for each file.
        const std::string wav = folder + "/source.wav";
        const std::string make =
            "sox -n -r 44100 -c 2 " + Shell(wav) + " synth 60 sine " + std::to_string(100 + 20 * i) + "-" +
            std::to_string(3000 + 50 * i) +
            " pinknoise tremolo 0.3 40 vol 0.6 && ffmpeg -nostdin -loglevel error -y -i " + Shell(wav) +
            " -c:a libshine -b:a 192k -f mp3 " + Shell(mp3 + ".part") + " && mv " + Shell(mp3 + ".part") +
            " " + Shell(mp3) + " && rm -f " + Shell(wav);
        if (std::system(make.c_str()) != 0) {
            std::fprintf(stderr, "cannot make %s (are sox and ffmpeg installed?)\n", mp3.c_str());
            std::exit(2);
        }
    }
    return files;
}

// Empties the output folder and writes back what earlier phases left dirty, so that one phase's
// hundreds of megabytes of WAV data are not flushed on the next phase's time.
void EmptyFolder(const std::string& folder) {
    QDir(QString::fromStdString(folder)).removeRecursively();
    QDir().mkpath(QString::fromStdString(folder));
    ::sync();
}

// Runs a shell command in the idle class when it can (the batch runs its decoders there), so that
// other load on the machine weighs on both alike; returns the seconds it took.
double TimedShell(const std::string& command, const char* what) {
    const bool idle = std::system("chrt --idle 0 true 2>/dev/null") == 0;
    QElapsedTimer timer;
    timer.start();
    if (std::system(((idle ? "chrt --idle 0 sh -c " : "sh -c ") + Shell(command)).c_str()) != 0)
        std::fprintf(stderr, "the %s failed\n", what);
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// One decoder call for the file in $1. Its standard error goes through a pipe that cat drains (as a
// terminal would show it), or to /dev/null.
std::string DecodeCall(const std::string& decoder, const std::string& out, bool piped) {
    return Shell(decoder) + " --decode \"$1\" " + Shell(out) + "/\"$(basename \"$1\" .mp3)\".wav " +
           (piped ? "2>&1 | cat >/dev/null" : "2>/dev/null || exit 1");
}

double ShellLoop(const std::string& decoder, const std::string& corpus, const std::string& out, bool piped) {
    EmptyFolder(out);
    return TimedShell("for f in " + Shell(corpus) + "/*.mp3; do set -- \"$f\"; " +
                          DecodeCall(decoder, out, piped) + "; done",
                      "shell loop");
}

// The same calls, `jobs` at a time.
double Xargs(const std::string& decoder, const std::string& corpus, const std::string& out, int jobs) {
    EmptyFolder(out);
    return TimedShell("printf '%s\\0' " + Shell(corpus) + "/*.mp3 | xargs -0 -n 1 -P " +
                          std::to_string(jobs) + " sh -c " + Shell(DecodeCall(decoder, out, true)) + " _",
                      "xargs run");
}

double Batch(const std::vector<std::string>& files, const std::string& out, int decoders,
             int expected = FileCount) {
    EmptyFolder(out);
    TFormMain form;
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP); // start-up done before timing
    GlobalVars.Decoders = decoders;
    GlobalVars.OutDir = out + "/";
    GlobalVars.PlaySound = false;
    GlobalVars.AutoOpen = false;
    GlobalVars.Delete = false;
    for (const std::string& file : files) {
        TFileItem item;
        SplitFullPath(file, item.Path, item.FileName);
        item.Size = FileSizeOf(file);
        form.FileList->Append(item);
    }
    QElapsedTimer timer;
    timer.start();
    form.RunBatch();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (GlobalVars.FilesDecoded != expected)
        std::fprintf(stderr, "the batch decoded %d of %d files\n", GlobalVars.FilesDecoded, expected);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One-decoder batches of one file, split (the default) against in one piece, in turn.
int LongFile(const std::string& file, int rounds, const std::string& dir) {
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        qputenv("UTILS_MIN_CHUNK_FRAMES", "1000000000");
        const double whole = Batch({file}, dir + "/batch", 1, 1);
        qunsetenv("UTILS_MIN_CHUNK_FRAMES");
        const double split = Batch({file}, dir + "/batch", 1, 1);
        ratios.push_back(split / whole);
        std::printf("round %d: RunBatch 1 decoder, file in one piece %.2f s, split (default) %.2f s (%.3f)\n",
                    round, whole, split, split / whole);
        std::fflush(stdout);
    }
    std::printf("Median split / one piece %.3f, target <= 0.6\n", Median(ratios));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool longFile = argc > 2 && std::string(argv[1]) == "long";
    const int rounds = longFile ? (argc > 3 ? std::max(1, std::atoi(argv[3])) : 3)
                                : (argc > 1 ? std::max(1, std::atoi(argv[1])) : 3);
    const std::string corpus = argc > 2 ? argv[2] : "/tmp/wavesmith-batch-cbr";
    const std::vector<std::string> files = longFile ? std::vector<std::string>{} : MakeCorpus(corpus);

    // Outputs go to memory where the system offers it (/dev/shm): both sides write the same 300 MB
    // per phase, and the disk's writeback would otherwise decide the figures, not the window.
    const QString memoryFolder = QStringLiteral("/dev/shm");
    QTemporaryDir work(QDir(memoryFolder).exists() ? memoryFolder + QStringLiteral("/wavesmith-bench-XXXXXX")
                                                   : QString());
    const std::string dir = QFile::encodeName(work.path()).toStdString();
    const std::string decoder = dir + "/utils.exe";
    QFile::copy(QString::fromStdString(std::string(WAVESMITH_BIN_DIR) + "/utils.exe"),
                QString::fromStdString(decoder));
    SetExecutablePath(dir + "/wavesmith");
    GlobalVars.DecoderPath = decoder;

    if (longFile) return LongFile(argv[2], rounds, dir);
    if (argc > 3) {
        // Peak memory of a process that ran one batch with this many decoders.
        const int decoders = std::max(0, std::atoi(argv[3]));
        const double seconds = Batch(files, dir + "/batch", decoders);
        std::printf("RunBatch with %d decoders at once: %.2f s, peak memory %ld KiB\n",
                    DecodersAtOnce(decoders), seconds, PeakMemoryKiB());
        return 0;
    }

    const int cores = DecodersAtOnce(0);
    std::vector<double> single;   // RunBatch, one decoder / the loop
    std::vector<double> quiet;    // the same against the loop with stderr to /dev/null
    std::vector<double> parallel; // RunBatch, one decoder per core / the loop
    std::vector<double> versusXargs;
    for (int round = 1; round <= rounds; ++round) {
        const double quietLoop = ShellLoop(decoder, corpus, dir + "/loop", false);
        const double loop = ShellLoop(decoder, corpus, dir + "/loop", true);
        const double xargs = Xargs(decoder, corpus, dir + "/loop", cores);
        const double one = Batch(files, dir + "/batch", 1);
        const double many = Batch(files, dir + "/batch", 0);
        single.push_back(one / loop);
        quiet.push_back(one / quietLoop);
        parallel.push_back(many / loop);
        versusXargs.push_back(many / xargs);
        std::printf(
            "round %d: shell loop %.2f s (stderr to /dev/null %.2f s), xargs -P %d %.2f s, "
            "RunBatch 1 decoder %.2f s (%.3f x loop), %d decoders %.2f s (%.3f x loop, %.3f x xargs)\n",
            round, loop, quietLoop, cores, xargs, one, one / loop, cores, many, many / loop, many / xargs);
        std::fflush(stdout);
    }
    std::printf("%d files of 60 s, %d cores. Medians: RunBatch 1 decoder / shell loop %.3f (against stderr "
                "to /dev/null: %.3f), target <= 1.05\n",
                FileCount, cores, Median(single), Median(quiet));
    std::printf(
        "RunBatch %d decoders / shell loop %.3f, target <= %.2f; / xargs -P %d %.3f, target <= 1.05\n", cores,
        Median(parallel), 1.1 / cores, cores, Median(versusXargs));
    return 0;
}
