// Times the file list with the real window, model and view (offscreen): adding files, saving the
// list, restoring it as start-up does, removing every other entry and clearing, for 2,000 and
// 20,000 real files (best of three runs each); then the peak memory. Exits with 1 when a target is missed.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "filelist/savedlist.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const Steps[] = {"file look-ups only", "add", "save", "restore", "remove every other", "clear"};

std::vector<std::string> MakeFiles(const std::string& folder, int count) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string sub = folder + "album" + std::to_string(i / 500) + "/";
        if (i % 500 == 0) QDir().mkpath(QString::fromStdString(sub));
        char name[64];
        std::snprintf(name, sizeof name, "Track %05d.mp3", i);
        names.push_back(sub + name);
        if (FILE* file = std::fopen(names.back().c_str(), "wb")) {
            std::fwrite("ID3", 1, 3 + static_cast<size_t>(i % 2), file);
            std::fclose(file);
        }
    }
    return names;
}

std::unique_ptr<TFormMain> NewWindow() {
    auto form = std::make_unique<TFormMain>();
    // The start-up load is timed below, step by step, instead.
    QCoreApplication::removePostedEvents(form.get(), WM_STARTUP);
    form->ConnectListView();
    form->resize(452, 261);
    form->show();
    QCoreApplication::processEvents();
    return form;
}

double Milliseconds(const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    step();
    QCoreApplication::processEvents(); // the view's layout and the posted save requests
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void AddAll(TFormMain& form, const std::vector<std::string>& names) {
    // A bulk add holds the list's repainting and saves nothing itself.
    form.ListViewFiles->setUpdatesEnabled(false);
    for (const std::string& name : names)
        form.AddFile(name);
    form.ListViewFiles->setUpdatesEnabled(true);
}

std::map<std::string, double> Run(int count) {
    QTemporaryDir dir;
    const std::string folder = QFile::encodeName(dir.path()).toStdString() + "/";
    SetExecutablePath(folder + "wavesmith");
    const std::vector<std::string> names = MakeFiles(folder, count);
    ::sync(); // writing back the fresh files must not overlap the timed steps
    std::map<std::string, double> times;

    // Reference, not a target: what the file system alone takes for the look-ups that adding a
    // file makes (exists, then size and date together), so the list's own share can be told apart.
    times["file look-ups only"] = Milliseconds([&] {
        for (const std::string& name : names) {
            int64_t size = -1;
            TDateTime date = 0;
            if (FileExists(name)) FileSizeAndDateOf(name, size, date);
            if (size < 0 || date == 0) std::printf("missing %s\n", name.c_str());
        }
    });
    auto form = NewWindow();
    times["add"] = Milliseconds([&] { AddAll(*form, names); });
    times["save"] = Milliseconds([&] { form->SaveFileList(); });
    form.reset();

    form = NewWindow();
    times["restore"] = Milliseconds([&] { AddAll(*form, ReadLinesFile(SavedListPath())); });
    if (form->FileList->Count() != count)
        std::printf("restore listed %d of %d files\n", form->FileList->Count(), count);

    times["remove every other"] = Milliseconds([&] {
        QItemSelection every;
        for (int row = 0; row < form->FileList->Count(); row += 2)
            every.select(form->FileList->index(row, 0),
                         form->FileList->index(row, TFileListModel::ColumnCount - 1));
        form->ListViewFiles->selectionModel()->select(every, QItemSelectionModel::ClearAndSelect);
        form->ActionRemoveExecute();
    });
    if (form->FileList->Count() != count / 2)
        std::printf("removal left %d entries\n", form->FileList->Count());
    times["clear"] = Milliseconds([&] { form->ActionClearListExecute(); });
    form.reset();
    SetExecutablePath({});
    return times;
}

long PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024; // kilobytes on Linux
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BuildAcceptedTypes();

    // The best of three runs per step, the sizes taking turns: the machine is shared, and the
    // least disturbed runs are the ones that show how each step scales.
    std::map<std::string, double> small;
    std::map<std::string, double> large;
    const auto keepBest = [](std::map<std::string, double>& best, const std::map<std::string, double>& run) {
        for (const auto& [step, ms] : run)
            best[step] = best.count(step) ? std::min(best[step], ms) : ms;
    };
    for (int round = 0; round < 3; ++round) {
        keepBest(small, Run(2000));
        keepBest(large, Run(20000));
    }
    bool met = true;
    std::printf("%-20s %12s %12s %8s\n", "step", "2,000 (ms)", "20,000 (ms)", "ratio");
    for (const char* step : Steps) {
        const double ratio = large.at(step) / std::max(small.at(step), 0.01);
        const bool withinRatio = ratio <= 12;
        const bool withinTime =
            (std::string(step) != "add" && std::string(step) != "restore") || large.at(step) < 2000;
        if (std::string(step) == "file look-ups only") {
            std::printf("%-20s %12.1f %12.1f %8.1f  (reference)\n", step, small.at(step), large.at(step),
                        ratio);
            continue;
        }
        met = met && withinRatio && withinTime;
        std::printf("%-20s %12.1f %12.1f %8.1f%s\n", step, small.at(step), large.at(step), ratio,
                    withinRatio && withinTime ? "" : "  target missed");
    }
    const long peak = PeakMegabytes();
    met = met && peak < 150;
    std::printf("peak memory: %ld MB%s\n", peak, peak < 150 ? "" : "  target missed");
    return met ? 0 : 1;
}
