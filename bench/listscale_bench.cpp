// The file list at collection scale, with the real window, model and view (offscreen), for a list of
// 1,000 entries and one of the size given (200,000 by default): restoring the saved list at start-up,
// the list's own work per decoded file (finding the entry, removing it, saving the change) and per
// failed file (moving it to the bottom), a "-C" start with that many paths up to its first decoder,
// and the memory held after each. Exits with 1 when a target is missed.
//
//   bench_listscale_bench [entries]     (files are made under TMPDIR; /dev/shm spares the disk)
#include "app/formmain.h"
#include "bench/procstatus.h"
#include "filelist/filelistmodel.h"
#include "filelist/savedlist.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/qtservices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> MakeFiles(const std::string& folder, int count) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        // Twelve tracks an album, 166 albums an artist.
        const std::string artist = folder + "Artist " + std::to_string(i / 1992) + "/";
        const std::string sub = artist + "Album " + std::to_string(i / 12) + "/";
        if (i % 1992 == 0) ::mkdir(artist.c_str(), 0755);
        if (i % 12 == 0) ::mkdir(sub.c_str(), 0755);
        char name[64];
        std::snprintf(name, sizeof name, "%02d - Track number %d.mp3", i % 12 + 1, i);
        names.push_back(sub + name);
        std::ofstream(names.back()) << "ID3";
    }
    return names;
}

// The window thread's processor time: on a shared machine it says more than the wall clock.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class TStopwatch {
public:
    TStopwatch() { Restart(); }
    void Restart() {
        FWall.start();
        FCpu = ThreadSeconds();
    }
    // Wall-clock and processor seconds since the start.
    std::pair<double, double> Seconds() const {
        return {static_cast<double>(FWall.nsecsElapsed()) / 1e9, ThreadSeconds() - FCpu};
    }

private:
    QElapsedTimer FWall;
    double FCpu = 0;
};

using TTimes = std::pair<double, double>; // wall, processor

struct TFigures {
    TTimes Restore, FirstSave, RemovePerFile, MovePerFile, ImportToDecoder;
    long RestoredMb = 0, ImportedMb = 0, PeakMb = 0;
};

// The time of one file's step, over 400 files or 20 seconds, whichever ends first.
TTimes PerFile(const std::function<void()>& step) {
    TStopwatch timer;
    int files = 0;
    while (files < 400 && timer.Seconds().first < 20) {
        step();
        QCoreApplication::processEvents();
        ++files;
    }
    const TTimes times = timer.Seconds();
    return {times.first / files, times.second / files};
}

TFigures Run(int count) {
    QTemporaryDir dir;
    const std::string folder = QFile::encodeName(dir.path()).toStdString() + "/";
    SetExecutablePath(folder + "wavesmith");
    // The window looks for the decoder beside itself.
    QFile::link(QStringLiteral(WAVESMITH_BIN_DIR "/utils.exe"), QString::fromStdString(folder + "utils.exe"));
    GlobalVars.Decoders = 1;
    GlobalVars.OutDir.clear();
    GlobalVars.Delete = false;
    GlobalVars.PlaySound = false;
    GlobalVars.AutoOpen = false;
    {
        // Only the list file keeps the names: the memory measured is the window's.
        const std::vector<std::string> names = MakeFiles(folder, count);
        WriteLinesFile(SavedListPath(), names);
    }
    TFigures figures;

    // The start-up load, with the window shown as a start shows it.
    {
        auto form = std::make_unique<TFormMain>();
        QCoreApplication::removePostedEvents(form.get(), WM_STARTUP);
        form->show();
        QCoreApplication::processEvents();
        TStopwatch timer;
        form->LoadFileList();
        QCoreApplication::processEvents();
        figures.Restore = timer.Seconds();
        figures.RestoredMb = StatusKilobytes("VmRSS:") / 1024;
        if (form->FileList->Count() != count)
            std::printf("restored %d of %d\n", form->FileList->Count(), count);

        // What the window does to the list per file of a batch, the decoder left out: a decoded
        // file leaves the top, a failed one goes to the bottom; each change is saved. The first save
        // after a start writes the list whole, as a batch's start does; it is timed on its own.
        timer.Restart();
        form->SaveFileList();
        figures.FirstSave = timer.Seconds();
        figures.RemovePerFile = PerFile([&] { form->RemoveEntry(form->FileList->Item(0).FullPath()); });
        figures.MovePerFile = PerFile([&] { form->MoveEntryToEnd(form->FileList->Item(0).FullPath()); });
    }

    // The first window's memory goes back to the system, and the peak is counted afresh.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";

    // "-C": the clipboard's paths become the list, and the batch starts its first decoder.
    // The desktop's clipboard, as the offscreen platform has none of its own.
    struct TClipboardServices : TQtServices {
        std::string Text;
        std::optional<std::string> ClipboardText() override { return Text; }
    } services;
    ReadWholeFile(SavedListPath(), services.Text); // what the first part left: 800 entries fewer
    TServices* const previous = &Services();
    SetServices(&services);
    TStopwatch timer;
    TFormMain form("-C");
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!form.DecoderRunning() || figures.ImportToDecoder.first > 0) return;
        figures.ImportToDecoder = timer.Seconds();
        // The stand-in clipboard's text (the paths, one copy) counts here too.
        figures.ImportedMb = StatusKilobytes("VmRSS:") / 1024;
        GlobalVars.BatchState = bsStopNow;
    });
    poll.start(0);
    QCoreApplication::sendPostedEvents(&form, WM_STARTUP);
    if (figures.ImportToDecoder.first == 0)
        std::printf("-C listed %d entries and started no decoder (state %d, decoder %s)\n",
                    form.FileList->Count(), GlobalVars.BatchState, GlobalVars.DecoderPath.c_str());
    figures.PeakMb = StatusKilobytes("VmHWM:") / 1024;
    SetServices(previous);
    SetExecutablePath({});
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BuildAcceptedTypes();
    const int large = argc > 1 ? std::atoi(argv[1]) : 200000;

    const TFigures small = Run(1000);
    const TFigures big = Run(large);
    std::printf("%-36s %19s %19s\n", "wall / window thread's processor", "1,000",
                std::to_string(large).c_str());
    const auto row = [](const char* what, TTimes a, TTimes b, double scale) {
        std::printf("%-36s %9.3f %9.3f %9.3f %9.3f\n", what, a.first * scale, a.second * scale,
                    b.first * scale, b.second * scale);
    };
    row("restore (s)", small.Restore, big.Restore, 1);
    row("first save, the list whole (s)", small.FirstSave, big.FirstSave, 1);
    row("per decoded file: remove, save (ms)", small.RemovePerFile, big.RemovePerFile, 1e3);
    row("per failed file: move, save (ms)", small.MovePerFile, big.MovePerFile, 1e3);
    row("-C import to first decoder (s)", small.ImportToDecoder, big.ImportToDecoder, 1);
    std::printf("%-36s %19ld %19ld\n", "memory after restore (MB)", small.RestoredMb, big.RestoredMb);
    std::printf("%-36s %19ld %19ld\n", "memory, -C batch running (MB)", small.ImportedMb, big.ImportedMb);
    std::printf("%-36s %19ld %19ld\n", "peak memory of the -C start (MB)", small.PeakMb, big.PeakMb);
    // Held against the processor time, which the other work on a shared machine disturbs least.
    const double ratio = big.RemovePerFile.second / std::max(small.RemovePerFile.second, 1e-9);
    const bool met = big.Restore.second <= 1.0 && big.ImportToDecoder.second <= 1.5 &&
                     big.RestoredMb <= 100 && big.ImportedMb <= 100 && ratio <= 1.5;
    std::printf(
        "per-file ratio %.2f (target <= 1.5); restore <= 1 s, import <= 1.5 s, memory <= 100 MB: %s\n", ratio,
        met ? "met" : "target missed");
    return met ? 0 : 1;
}
