// Kill rounds: batches of real MP3 files with Delete on, through the window in a process of its
// own, whose decoders and window are killed with SIGKILL at random moments. Afterwards every file
// must still be there as its MP3 file or as a WAV file identical to the one an undisturbed decoder
// writes, and no file under a WAV name may be anything but such a whole WAV file. Prints the rounds,
// the kills, the sources lost and the WAV files that are not whole (both must be 0).
//   bench_kill_rounds [rounds=40] [decoders=2] [corpus folder=/tmp/wavesmith-kill-corpus]
// The corpus (8 files of 20 s, Layer III and Layer II) is made once with sox and ffmpeg.
//   bench_kill_rounds list [rounds=100] [entries=20000] [decoders=2]
// runs the rounds over a saved list of that many 1-s files (hard links of 8 files, in the corpus
// folder's "-short" sibling) that the window restores at its start; the window is always killed,
// at a random moment of its start or its batch. A fresh window then restores the list, which must
// hold every source still there exactly once and nothing else; it also prints the list errors
// (entries lost, entries back, entries twice), which must be 0. 5-7 s a round.
#include "app/formmain.h"
#include "decoder/partname.h"
#include "filelist/filelistmodel.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int FileCount = 8;
constexpr int PerFolder = 1000;

std::vector<std::string> MakeCorpus(const std::string& folder, int seconds = 20) {
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<std::string> files;
    for (int i = 0; i < FileCount; ++i) {
        const bool layer2 = i % 2 == 1;
        const std::string mp3 = folder + "/take" + std::to_string(i) + ".mp3";
        files.push_back(mp3);
        if (FileExists(mp3)) continue;
        const std::string make =
            "sox -n -r 44100 -c 2 '" + folder + "/s.wav' synth " + std::to_string(seconds) + " sine " +
            std::to_string(200 + 90 * i) + " pinknoise vol 0.5 && ffmpeg -nostdin " +
            "-loglevel error -y -i '" + folder + "/s.wav' -c:a " +
            (layer2 ? "libtwolame -b:a 256k -f mp2" : "libshine -b:a 160k -f mp3") + " '" + mp3 +
            ".tmp' && mv '" + mp3 + ".tmp' '" + mp3 + "' && rm -f '" + folder + "/s.wav'";
        if (std::system(make.c_str()) != 0) {
            std::fprintf(stderr, "cannot make %s (are sox and ffmpeg installed?)\n", mp3.c_str());
            std::exit(2);
        }
    }
    return files;
}

std::string ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The window's side: one batch over the MP3 files in `folder` (or over its saved list, which the
// start restores), Delete on, then the process ends.
int RunWindow(const std::string& folder, int decoders, bool savedList) {
    SetExecutablePath(folder + "/wavesmith");
    TFormMain form;
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP);
    GlobalVars.DecoderPath = folder + "/utils.exe";
    GlobalVars.Decoders = decoders;
    GlobalVars.OutDir.clear();
    GlobalVars.Delete = true;
    GlobalVars.PlaySound = false;
    GlobalVars.AutoOpen = false;
    for (const QString& name :
         savedList ? QStringList() : QDir(QString::fromStdString(folder + "/music")).entryList({"*.mp3"})) {
        TFileItem item;
        item.Path = folder + "/music/";
        item.FileName = name.toStdString();
        item.Size = FileSizeOf(item.FullPath());
        form.FileList->Append(item);
    }
    form.RunBatch();
    return 0;
}

// The decoders that the window runs now: its children, by their parent in /proc.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number) continue;
        const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 2, "%*c %d", &ppid) == 1 && ppid == parent)
            children.push_back(pid);
    }
    return children;
}

struct TTally {
    int Rounds = 0, DecoderKills = 0, WindowKills = 0, Lost = 0, NotWhole = 0, Decoded = 0, Partials = 0;
    int EntriesLost = 0, EntriesBack = 0, EntriesTwice = 0;
};

pid_t StartWindow(const std::string& self, const std::string& mode, const std::string& work, int decoders) {
    const pid_t window = ::fork();
    if (window == 0) {
        ::execl(self.c_str(), self.c_str(), mode.c_str(), work.c_str(), std::to_string(decoders).c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    return window;
}

// Kills a decoder, the window, or both, up to three times after random pauses; with `lastIsWindow`
// the window is killed last if it still runs.
void KillAtRandom(pid_t window, int longestPauseMs, bool lastIsWindow, std::mt19937& rng, TTally& tally) {
    std::uniform_int_distribution<int> pause(0, longestPauseMs), kind(0, 2), count(1, 3);
    bool windowAlive = true;
    for (int k = count(rng); k > 0 && windowAlive; --k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
        if (::waitpid(window, nullptr, WNOHANG) == window) {
            windowAlive = false;
            break;
        }
        const int what = lastIsWindow && k == 1 ? 1 : kind(rng);
        if (what != 1) {
            const std::vector<pid_t> running = ChildrenOf(window);
            if (!running.empty()) {
                ::kill(running[rng() % running.size()], SIGKILL);
                ++tally.DecoderKills;
            }
        }
        if (what != 0) {
            ::kill(window, SIGKILL);
            ++tally.WindowKills;
            ::waitpid(window, nullptr, 0);
            windowAlive = false;
        }
    }
    if (windowAlive) ::waitpid(window, nullptr, 0);
    // Decoders left by a killed window run on as this process's children (it is their subreaper).
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
}

// Counts a file whose source is gone without a whole WAV file, or whose WAV file is not whole.
void CheckOutput(const std::string& source, const std::string& reference, TTally& tally) {
    const std::string wav = ChangeFileExt(source, ".wav");
    const bool exists = FileExists(wav);
    const bool whole = exists && ReadAll(wav) == reference;
    if (exists && !whole) ++tally.NotWhole;
    if (!FileExists(source) && !whole) ++tally.Lost;
    if (!FileExists(source) && whole) ++tally.Decoded;
    if (!FindPartialOutputs(wav).empty()) ++tally.Partials;
}

void RunRound(const std::string& self, const std::vector<std::string>& corpus,
              const std::vector<std::string>& reference, const std::string& work, int decoders,
              std::mt19937& rng, TTally& tally) {
    QDir(QString::fromStdString(work)).removeRecursively();
    QDir().mkpath(QString::fromStdString(work + "/music"));
    QFile::copy(QString::fromStdString(std::string(WAVESMITH_BIN_DIR) + "/utils.exe"),
                QString::fromStdString(work + "/utils.exe"));
    for (const std::string& file : corpus)
        QFile::copy(QString::fromStdString(file),
                    QString::fromStdString(work + "/music/" + ExtractFileName(file)));

    KillAtRandom(StartWindow(self, "--window", work, decoders), 1500, false, rng, tally);

    for (size_t i = 0; i < corpus.size(); ++i)
        CheckOutput(work + "/music/" + ExtractFileName(corpus[i]), reference[i], tally);
    ++tally.Rounds;
}

std::string EntryPath(const std::string& music, int index) {
    char name[64];
    std::snprintf(name, sizeof name, "/f%03d/track%06d.mp3", index / PerFolder, index);
    return music + name;
}

// The window's list as a fresh start restores it from `folder`, one full path a line, into `out`.
int RestoreList(const std::string& folder, const std::string& out) {
    SetExecutablePath(folder + "/wavesmith");
    TFormMain form;
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP);
    std::ofstream file(out, std::ios::binary);
    for (int row = 0; row < form.FileList->Count(); ++row)
        file << form.FileList->Item(row).FullPath() << '\n';
    return file.good() ? 0 : 1;
}

void RunListRound(const std::string& self, const std::vector<std::string>& corpus,
                  const std::vector<std::string>& reference, const std::string& work, int entries,
                  int decoders, std::mt19937& rng, TTally& tally) {
    QDir(QString::fromStdString(work)).removeRecursively();
    QDir().mkpath(QString::fromStdString(work));
    QFile::copy(QString::fromStdString(std::string(WAVESMITH_BIN_DIR) + "/utils.exe"),
                QString::fromStdString(work + "/utils.exe"));
    {
        std::ofstream list(work + "/wavesmith.lst", std::ios::binary);
        for (int i = 0; i < entries; ++i) {
            const std::string path = EntryPath(work + "/music", i);
            if (i % PerFolder == 0) QDir().mkpath(QString::fromStdString(ExtractFilePath(path)));
            if (::link(corpus[static_cast<size_t>(i) % corpus.size()].c_str(), path.c_str()) != 0)
                std::perror(path.c_str());
            list << path << "\r\n";
        }
    }

    KillAtRandom(StartWindow(self, "--list-window", work, decoders), 3000, true, rng, tally);
    const pid_t restore = StartWindow(self, "--list-restore", work, 0);
    int status = 0;
    ::waitpid(restore, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "the restoring window failed\n");

    std::unordered_map<std::string, int> restored;
    std::ifstream file(work + "/restored.txt", std::ios::binary);
    for (std::string line; std::getline(file, line);)
        ++restored[line];
    for (int i = 0; i < entries; ++i) {
        const std::string source = EntryPath(work + "/music", i);
        const auto found = restored.find(source);
        const int times = found == restored.end() ? 0 : found->second;
        if (found != restored.end()) restored.erase(found);
        const bool there = FileExists(source);
        if (there && times == 0) ++tally.EntriesLost;
        if (!there && times > 0) ++tally.EntriesBack;
        if (times > 1) ++tally.EntriesTwice;
        CheckOutput(source, reference[static_cast<size_t>(i) % reference.size()], tally);
    }
    tally.EntriesBack += static_cast<int>(restored.size()); // paths that were never in the list
    ++tally.Rounds;
}

// What an undisturbed decoder writes for each file.
std::vector<std::string> References(const std::vector<std::string>& corpus, const std::string& base) {
    std::vector<std::string> reference;
    for (const std::string& file : corpus) {
        const std::string out = base + "/reference.wav";
        const std::string call = "'" + std::string(WAVESMITH_BIN_DIR) + "/utils.exe' --decode '" + file +
                                 "' '" + out + "' 2>/dev/null";
        if (std::system(call.c_str()) != 0) std::fprintf(stderr, "cannot decode %s\n", file.c_str());
        reference.push_back(ReadAll(out));
    }
    return reference;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && (mode == "--window" || mode == "--list-window")) {
        QApplication app(argc, argv);
        return RunWindow(argv[2], std::atoi(argv[3]), mode == "--list-window");
    }
    if (argc == 4 && mode == "--list-restore") {
        QApplication app(argc, argv);
        return RestoreList(argv[2], std::string(argv[2]) + "/restored.txt");
    }
    QApplication app(argc, argv);
    // bench_kill_rounds [rounds] [decoders] [corpus], or list [rounds] [entries] [decoders]
    const bool list = mode == "list";
    const auto option = [&](int index, int fallback, int least) {
        return argc > index ? std::max(least, std::atoi(argv[index])) : fallback;
    };
    const int rounds = list ? option(2, 100, 1) : option(1, 40, 1);
    const int entries = list ? option(3, 20000, 1) : FileCount;
    const int decoders = list ? option(4, 2, 0) : option(2, 2, 0);
    const std::vector<std::string> corpus =
        list ? MakeCorpus("/tmp/wavesmith-kill-corpus-short", 1)
             : MakeCorpus(argc > 3 ? argv[3] : "/tmp/wavesmith-kill-corpus");
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    QTemporaryDir temp;
    const std::string base = QFile::encodeName(temp.path()).toStdString();
    const std::vector<std::string> reference = References(corpus, base);

    std::mt19937 rng(20261207);
    TTally tally;
    const std::string self = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    for (int round = 0; round < rounds; ++round) {
        if (list)
            RunListRound(self, corpus, reference, base + "/round", entries, decoders, rng, tally);
        else
            RunRound(self, corpus, reference, base + "/round", decoders, rng, tally);
    }
    std::printf("%d rounds of %d files%s with Delete on, decoders at once: %d; %d decoder kills, %d window "
                "kills; %d files decoded and deleted, %d partial files left\n",
                tally.Rounds, entries, list ? " (a saved list of 1-s files)" : "", DecodersAtOnce(decoders),
                tally.DecoderKills, tally.WindowKills, tally.Decoded, tally.Partials);
    const int listErrors = tally.EntriesLost + tally.EntriesBack + tally.EntriesTwice;
    if (list)
        std::printf("list errors: %d (target 0): entries lost %d, back %d, twice %d\n", listErrors,
                    tally.EntriesLost, tally.EntriesBack, tally.EntriesTwice);
    std::printf("sources lost: %d (target 0); WAV files under their final name that are not whole: %d "
                "(target 0)\n",
                tally.Lost, tally.NotWhole);
    return tally.Lost == 0 && tally.NotWhole == 0 && listErrors == 0 ? 0 : 1;
}
