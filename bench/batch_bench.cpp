// What the window costs a batch: 30 real MP3 files of about a minute each decoded through RunBatch
// (offscreen), against the same utils.exe calls from a plain shell loop. Prints both times and
// their ratio for each round, and the median ratio. Both run the decoder in the idle class.
//   bench_batch_bench [rounds=3] [corpus folder=/tmp/wavesmith-batch-cbr]
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

// The loop's standard error goes through a pipe that cat drains (as a terminal would show it),
// or to /dev/null.
double ShellLoop(const std::string& decoder, const std::string& corpus, const std::string& out, bool piped) {
    EmptyFolder(out);
    const std::string loop = "for f in " + Shell(corpus) + "/*.mp3; do " + Shell(decoder) +
                             " --decode \"$f\" " + Shell(out) + "/\"$(basename \"$f\" .mp3)\".wav " +
                             (piped ? "2>&1 | cat >/dev/null" : "2>/dev/null || exit 1") + "; done";
    // The batch runs its decoder in the idle class; the loop runs in the same class when it can,
    // so that other load on the machine weighs on both alike.
    const bool idle = std::system("chrt --idle 0 true 2>/dev/null") == 0;
    QElapsedTimer timer;
    timer.start();
    if (std::system(((idle ? "chrt --idle 0 sh -c " : "sh -c ") + Shell(loop)).c_str()) != 0)
        std::fprintf(stderr, "the shell loop failed\n");
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double Batch(const std::vector<std::string>& files, const std::string& out) {
    EmptyFolder(out);
    TFormMain form;
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP); // start-up done before timing
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
    if (GlobalVars.FilesDecoded != FileCount)
        std::fprintf(stderr, "the batch decoded %d of %d files\n", GlobalVars.FilesDecoded, FileCount);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string corpus = argc > 2 ? argv[2] : "/tmp/wavesmith-batch-cbr";
    const std::vector<std::string> files = MakeCorpus(corpus);

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

    std::vector<double> ratios;
    std::vector<double> quietRatios;
    for (int round = 1; round <= rounds; ++round) {
        const double quiet = ShellLoop(decoder, corpus, dir + "/loop", false);
        const double loop = ShellLoop(decoder, corpus, dir + "/loop", true);
        const double batch = Batch(files, dir + "/batch");
        ratios.push_back(batch / loop);
        quietRatios.push_back(batch / quiet);
        std::printf(
            "round %d: shell loop %.2f s (stderr to /dev/null %.2f s), RunBatch %.2f s, ratio %.3f (%.3f)\n",
            round, loop, quiet, batch, batch / loop, batch / quiet);
        std::fflush(stdout);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(quietRatios.begin(), quietRatios.end());
    std::printf(
        "%d files of 60 s; median ratio RunBatch / shell loop: %.3f (against stderr to /dev/null: %.3f); "
        "target <= 1.05\n",
        FileCount, ratios[ratios.size() / 2], quietRatios[quietRatios.size() / 2]);
    return 0;
}
