// Kill rounds: batches of real MP3 files with Delete on, through the window in a process of its
// own, whose decoders and window are killed with SIGKILL at random moments. Afterwards every file
// must still be there as its MP3 file or as a WAV file identical to the one an undisturbed decoder
// writes, and no file under a WAV name may be anything but such a whole WAV file. Prints the rounds,
// the kills, the sources lost and the WAV files that are not whole (both must be 0).
//   bench_kill_rounds [rounds=40] [decoders=2] [corpus folder=/tmp/wavesmith-kill-corpus]
// The corpus (8 files of 20 s, Layer III and Layer II) is made once with sox and ffmpeg.
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
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int FileCount = 8;

std::vector<std::string> MakeCorpus(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<std::string> files;
    for (int i = 0; i < FileCount; ++i) {
        const bool layer2 = i % 2 == 1;
        const std::string mp3 = folder + "/take" + std::to_string(i) + ".mp3";
        files.push_back(mp3);
        if (FileExists(mp3)) continue;
        const std::string make =
            "sox -n -r 44100 -c 2 '" + folder + "/s.wav' synth 20 sine " + std::to_string(200 + 90 * i) +
            " pinknoise vol 0.5 && ffmpeg -nostdin " + "-loglevel error -y -i '" + folder + "/s.wav' -c:a " +
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

// The window's side: one batch over the MP3 files in `folder`, Delete on, then the process ends.
int RunWindow(const std::string& folder, int decoders) {
    SetExecutablePath(folder + "/wavesmith");
    TFormMain form;
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP);
    GlobalVars.DecoderPath = folder + "/utils.exe";
    GlobalVars.Decoders = decoders;
    GlobalVars.OutDir.clear();
    GlobalVars.Delete = true;
    GlobalVars.PlaySound = false;
    GlobalVars.AutoOpen = false;
    for (const QString& name : QDir(QString::fromStdString(folder + "/music")).entryList({"*.mp3"})) {
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
};

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

    const pid_t window = ::fork();
    if (window == 0) {
        ::execl(self.c_str(), self.c_str(), "--window", work.c_str(), std::to_string(decoders).c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    // Up to three kills, each after a random pause: a decoder, the window, or both at once.
    std::uniform_int_distribution<int> pause(0, 1500), kind(0, 2), count(1, 3);
    bool windowAlive = true;
    for (int k = count(rng); k > 0 && windowAlive; --k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
        if (::waitpid(window, nullptr, WNOHANG) == window) {
            windowAlive = false;
            break;
        }
        const int what = kind(rng);
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

    for (size_t i = 0; i < corpus.size(); ++i) {
        const std::string source = work + "/music/" + ExtractFileName(corpus[i]);
        const std::string wav = ChangeFileExt(source, ".wav");
        const bool whole = FileExists(wav) && ReadAll(wav) == reference[i];
        if (FileExists(wav) && !whole) ++tally.NotWhole;
        if (!FileExists(source) && !whole) ++tally.Lost;
        if (!FileExists(source) && whole) ++tally.Decoded;
        if (!FindPartialOutputs(wav).empty()) ++tally.Partials;
    }
    ++tally.Rounds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::string(argv[1]) == "--window") {
        QApplication app(argc, argv);
        return RunWindow(argv[2], std::atoi(argv[3]));
    }
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const int decoders = argc > 2 ? std::max(0, std::atoi(argv[2])) : 2;
    const std::vector<std::string> corpus = MakeCorpus(argc > 3 ? argv[3] : "/tmp/wavesmith-kill-corpus");
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    QTemporaryDir temp;
    const std::string base = QFile::encodeName(temp.path()).toStdString();
    // What an undisturbed decoder writes for each file.
    std::vector<std::string> reference;
    for (const std::string& file : corpus) {
        const std::string out = base + "/reference.wav";
        const std::string call = "'" + std::string(WAVESMITH_BIN_DIR) + "/utils.exe' --decode '" + file +
                                 "' '" + out + "' 2>/dev/null";
        if (std::system(call.c_str()) != 0) std::fprintf(stderr, "cannot decode %s\n", file.c_str());
        reference.push_back(ReadAll(out));
    }

    std::mt19937 rng(20261207);
    TTally tally;
    const std::string self = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    for (int round = 0; round < rounds; ++round)
        RunRound(self, corpus, reference, base + "/round", decoders, rng, tally);
    std::printf("%d rounds of %d files with Delete on, decoders at once: %d; %d decoder kills, %d window "
                "kills; %d files decoded and deleted, %d partial files left\n",
                tally.Rounds, FileCount, DecodersAtOnce(decoders), tally.DecoderKills, tally.WindowKills,
                tally.Decoded, tally.Partials);
    std::printf("sources lost: %d (target 0); WAV files under their final name that are not whole: %d "
                "(target 0)\n",
                tally.Lost, tally.NotWhole);
    return tally.Lost == 0 && tally.NotWhole == 0 ? 0 : 1;
}
