// The question before a batch for a whole collection sent to one output folder: the search for
// entries that would write one output name (one hashed pass), and the numbering of the later ones,
// over a list of the size given (200,000 by default) in two shapes: every name its own, and albums
// of twelve tracks that all share their track names. Prints wall and processor seconds and the
// memory the pass took on top of the list.
//
//   bench_clash_bench [entries]
#include "app/formmain.h"
#include "bench/answeringservices.h"
#include "bench/procstatus.h"
#include "filelist/filelistmodel.h"
#include "settings/globals.h"
#include "settings/services.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

namespace {

double ProcessSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Answers the clash question (Cancel: the search alone; Yes, the default: numbering and the check
// for existing files follow) and counts the questions.
using TAnswering = TAnsweringServices;

void Run(int count, bool sharedNames, int answer) {
    QTemporaryDir out;
    TAnswering answers;
    answers.Answer = answer;
    TServices* const previous = &Services();
    SetServices(&answers);
    auto form = std::make_unique<TFormMain>();
    QCoreApplication::removePostedEvents(form.get(), WM_STARTUP);
    // After the window's start, which loads the settings.
    GlobalVars.OutDir = QFile::encodeName(out.path()).toStdString() + "/";
    GlobalVars.KeepTree = false;
    for (int i = 0; i < count; ++i) {
        TFileItem item;
        item.Path = "/music/Artist " + std::to_string(i / 1992) + "/Album " + std::to_string(i / 12) + "/";
        char name[64];
        if (sharedNames)
            std::snprintf(name, sizeof name, "%02d - Track.mp3", i % 12 + 1);
        else
            std::snprintf(name, sizeof name, "%02d - Track number %d.mp3", i % 12 + 1, i);
        item.FileName = name;
        item.Size = 1;
        form->FileList->Append(item);
    }
    const long before = StatusKilobytes("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";
    QElapsedTimer wall;
    wall.start();
    const double cpu = ProcessSeconds();
    const bool passed = form->ConfirmOverwrite(".wav");
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9, processor = ProcessSeconds() - cpu;
    std::printf("%-28s %9d %9.3f %9.3f %9d %9ld %s\n",
                !sharedNames      ? "every name its own"
                : answer == mrYes ? "shared names, numbered"
                                  : "shared names, search alone",
                count, seconds, processor, answers.Questions, (StatusKilobytes("VmHWM:") - before) / 1024,
                passed ? "" : "(refused)");
    form.reset();
    SetServices(previous);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::printf("%-28s %9s %9s %9s %9s %9s\n", "list", "entries", "wall s", "cpu s", "questions", "+MB");
    Run(count, false, mrYes);
    Run(count, true, mrCancel);
    Run(count, true, mrYes);
    return 0;
}
