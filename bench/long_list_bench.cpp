// What one file of a batch costs the window as its list grows: lists of 1,000 to 200,000 one-second
// MP3 files (hard links of eight files, on the disk), restored from the saved list at start-up, then
// a batch with Delete off. Over files 50 to 450 it prints the window's CPU time (its own process,
// decoders not counted) and the wall time per file, with 1 and 2 decoders; besides them the restore
// time, the memory after the restore and the peak memory. Each list runs in a process of its own.
//   bench_long_list_bench [entries...]   default 1000 10000 (about 2 minutes)
//   bench_long_list_bench full           1000 10000 100000 200000 (or WAVESMITH_BENCH_FULL=1; 15-30 minutes)
// The corpus is made once with sox and ffmpeg's libshine in /tmp/wavesmith-list-corpus.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int CorpusCount = 8;
constexpr int FirstTimed = 50, LastTimed = 450;
constexpr int PerFolder = 1000;

std::vector<std::string> MakeCorpus(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<std::string> files;
    for (int i = 0; i < CorpusCount; ++i) {
        const std::string mp3 = folder + "/second" + std::to_string(i) + ".mp3";
        files.push_back(mp3);
        if (FileExists(mp3)) continue;
        const std::string make = "sox -n -r 44100 -c 2 '" + folder + "/s.wav' synth 1 sine " +
                                 std::to_string(300 + 70 * i) +
                                 " pinknoise vol 0.5 && ffmpeg -nostdin -loglevel error -y -i '" + folder +
                                 "/s.wav' -c:a libshine -b:a 128k -f mp3 '" + mp3 + ".tmp' && mv '" + mp3 +
                                 ".tmp' '" + mp3 + "' && rm -f '" + folder + "/s.wav'";
        if (std::system(make.c_str()) != 0) {
            std::fprintf(stderr, "cannot make %s (are sox and ffmpeg installed?)\n", mp3.c_str());
            std::exit(2);
        }
    }
    return files;
}

std::string EntryPath(const std::string& music, int index) {
    char name[64];
    std::snprintf(name, sizeof name, "/f%03d/track%06d.mp3", index / PerFolder, index);
    return music + name;
}

// Hard links to the corpus, spread over folders of a thousand, as a collection is.
void MakeEntries(const std::vector<std::string>& corpus, const std::string& music, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string path = EntryPath(music, i);
        if (i % PerFolder == 0) QDir().mkpath(QString::fromStdString(ExtractFilePath(path)));
        if (::link(corpus[static_cast<size_t>(i) % corpus.size()].c_str(), path.c_str()) != 0 &&
            errno != EEXIST) {
            std::perror(path.c_str());
            std::exit(2);
        }
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// One list of `count` entries in this process; prints one line of figures.
int RunList(const std::string& work, const std::string& music, int count, int decoders) {
    {
        std::ofstream list(work + "/wavesmith.lst", std::ios::binary | std::ios::trunc);
        for (int i = 0; i < count; ++i)
            list << EntryPath(music, i) << "\r\n";
    }
    QDir(QString::fromStdString(work + "/out")).removeRecursively();
    QDir().mkpath(QString::fromStdString(work + "/out"));
    SetExecutablePath(work + "/wavesmith");
    TFormMain form;
    QElapsedTimer restore;
    restore.start();
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP);
    const double restoreSeconds = static_cast<double>(restore.nsecsElapsed()) / 1e9;
    if (form.FileList->Count() != count)
        std::fprintf(stderr, "restored %d of %d entries\n", form.FileList->Count(), count);
    const long restKiB = ResidentKiB();

    GlobalVars.DecoderPath = work + "/utils.exe";
    GlobalVars.Decoders = decoders;
    GlobalVars.OutDir = work + "/out/";
    GlobalVars.Delete = false;
    GlobalVars.PlaySound = false;
    GlobalVars.AutoOpen = false;
    int removed = 0;
    double cpuFirst = 0, cpuLast = 0;
    QElapsedTimer wall;
    qint64 wallLast = 0;
    QObject::connect(form.FileList, &TFileListModel::EntryDeleted, [&] {
        ++removed;
        if (removed == FirstTimed) {
            cpuFirst = CpuSeconds();
            wall.start();
        } else if (removed == LastTimed) {
            cpuLast = CpuSeconds();
            wallLast = wall.nsecsElapsed();
            // "When done": the running files end, no further one starts.
            if (GlobalVars.BatchState == bsRunning) GlobalVars.BatchState = bsStopWhenDone;
            GlobalVars.StopWhenDone = true;
        }
    });
    form.RunBatch();
    if (removed < LastTimed) {
        std::fprintf(stderr, "the batch ended after %d files\n", removed);
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const int files = LastTimed - FirstTimed;
    std::printf("%9d %8d %10.2f %9.1f %9.1f %12.2f %13.2f\n", count, decoders, restoreSeconds,
                static_cast<double>(restKiB) / 1024.0, static_cast<double>(usage.ru_maxrss) / 1024.0,
                (cpuLast - cpuFirst) * 1e3 / files, static_cast<double>(wallLast) / 1e6 / files);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 6 && std::string(argv[1]) == "--list") {
        QApplication app(argc, argv);
        return RunList(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    }
    QApplication app(argc, argv);
    std::vector<int> sizes;
    const bool full =
        (argc > 1 && std::string(argv[1]) == "full") || qEnvironmentVariableIntValue("WAVESMITH_BENCH_FULL");
    if (full)
        sizes = {1000, 10000, 100000, 200000};
    else
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::max(LastTimed + 10, std::atoi(argv[i])));
    if (sizes.empty()) sizes = {1000, 10000};

    const std::vector<std::string> corpus = MakeCorpus("/tmp/wavesmith-list-corpus");
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/wavesmith-list-XXXXXX"));
    const std::string work = QFile::encodeName(temp.path()).toStdString();
    QFile::copy(QString::fromStdString(std::string(WAVESMITH_BIN_DIR) + "/utils.exe"),
                QString::fromStdString(work + "/utils.exe"));
    MakeEntries(corpus, work + "/music", *std::max_element(sizes.begin(), sizes.end()));

    std::printf("Window time per file over files %d-%d of a batch of 1-s files (decoders not counted)\n",
                FirstTimed, LastTimed);
    std::printf("  entries decoders  restore s   rest MB   peak MB  CPU ms/file  wall ms/file\n");
    std::fflush(stdout);
    const std::string self = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    for (const int size : sizes)
        for (const int decoders : {1, 2}) {
            const std::string call = "'" + self + "' --list '" + work + "' '" + work + "/music' " +
                                     std::to_string(size) + " " + std::to_string(decoders);
            if (std::system(call.c_str()) != 0) std::fprintf(stderr, "the run of %d entries failed\n", size);
            std::fflush(stdout);
        }
    return 0;
}
