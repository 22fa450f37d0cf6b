// A collection run again with "Skip it": a list of `entries` sources (20,000 by default) whose WAV
// files exist in the output folder, whole and newer, plus `new` (20) copies of the MP3 file given.
// Prints the time from Decode to the first new file's decoder (the checks of every existing WAV file
// and the skipped entries leaving the list), the whole batch, and a batch of the 20 new files alone.
//
//   bench_rerun_bench <file.mp3> [entries] [new]
#include "app/formmain.h"
#include "bench/answeringservices.h"
#include "filelist/filelistmodel.h"
#include "settings/globals.h"
#include "settings/services.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

int NewFiles = 20;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Le32(size_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// A short 16-bit mono WAV file that names its source, as the decoder writes one into an output folder.
std::string MarkedWav(const std::string& source) {
    const std::string fmt = "fmt " + Le32(16) + std::string("\x01\x00\x01\x00", 4) + Le32(44100) +
                            Le32(88200) + std::string("\x02\x00\x10\x00", 4);
    const std::string body = "WAVE" + fmt + "data" + Le32(4) + std::string(4, '\0') + "wsrc" +
                             Le32(source.size()) + source + (source.size() % 2 ? "\0" : "");
    return "RIFF" + Le32(body.size()) + body;
}

// Decodes the list with every setting as a re-run has them; returns the batch's seconds and, in
// `firstDecoder`, the seconds until the first decoder started (the wrapper's stamp file).
double RunBatch(TFormMain& form, const std::string& stamps, double& firstDecoder) {
    std::filesystem::remove(stamps);
    QElapsedTimer wall;
    wall.start();
    const qint64 startNs = QDateTime::currentMSecsSinceEpoch();
    form.ActionDecodeExecute();
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    long long firstMs = 0;
    std::ifstream(stamps) >> firstMs;
    firstDecoder = static_cast<double>(firstMs - startNs) / 1e3;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_rerun_bench <file.mp3> [entries] [new]\n");
        return 2;
    }
    const std::string mp3 = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 20000;
    if (argc > 3) NewFiles = std::atoi(argv[3]);
    QTemporaryDir temp;
    const std::string root = QFile::encodeName(temp.path()).toStdString() + "/";
    const std::string out = root + "out/", stamps = root + "stamps";
    std::filesystem::create_directories(out);
    // The decoder behind a wrapper that notes when it starts, in milliseconds.
    const std::string wrapper = root + "utils.exe";
    WriteFile(wrapper, "#!/bin/sh\n[ -e '" + stamps + "' ] || date +%s%3N > '" + stamps + "'\nexec '" +
                           std::string(WAVESMITH_BIN_DIR) + "/utils.exe' \"$@\"\n");
    std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);

    TAnsweringServices answers;
    SetServices(&answers);
    auto form = std::make_unique<TFormMain>();
    QCoreApplication::removePostedEvents(form.get(), WM_STARTUP);
    const auto settings = [&] {
        GlobalVars.DecoderPath = wrapper;
        GlobalVars.OutDir = out;
        GlobalVars.ExistingWav = "skip";
        GlobalVars.Delete = false;
        GlobalVars.KeepTree = false;
        GlobalVars.Decoders = 1;
        GlobalVars.PlaySound = GlobalVars.AutoOpen = false;
    };
    settings();
    const auto addNew = [&](const std::string& folder, const std::string& prefix) {
        std::filesystem::create_directories(root + folder);
        for (int i = 0; i < NewFiles; ++i) {
            const std::string path = root + folder + prefix + std::to_string(i) + ".mp3";
            std::filesystem::copy_file(mp3, path, std::filesystem::copy_options::overwrite_existing);
            form->AddFile(path);
        }
    };
    QElapsedTimer made;
    made.start();
    for (int i = 0; i < count; ++i) {
        const std::string folder = root + "music/Album " + std::to_string(i / 12) + "/";
        if (i % 12 == 0) std::filesystem::create_directories(folder);
        const std::string name = "Track " + std::to_string(i);
        WriteFile(folder + name + ".mp3", "not decoded: its WAV file exists");
        WriteFile(out + name + ".wav", MarkedWav(folder + name + ".mp3"));
        form->AddFile(folder + name + ".mp3");
    }
    addNew("music/New/", "new ");
    std::printf("made %d sources and WAV files in %.1f s\n", count,
                static_cast<double>(made.elapsed()) / 1e3);

    double first = 0;
    const double whole = RunBatch(*form, stamps, first);
    const int decoded = GlobalVars.FilesDecoded;
    for (size_t i = GlobalVars.RunLog.size() >= 3 ? GlobalVars.RunLog.size() - 3 : 0;
         i < GlobalVars.RunLog.size(); ++i)
        std::printf("log: %s\n", GlobalVars.RunLog[i].c_str());
    for (const std::string& line : GlobalVars.RunLog)
        if (line.rfind("Reason", 0) == 0) std::printf("%s\n", line.c_str());
    const int questions = answers.Questions;
    addNew("music/Alone/", "alone ");
    double aloneFirst = 0;
    const double alone = RunBatch(*form, stamps, aloneFirst);
    std::printf("%-34s %10s %12s %10s %10s\n", "batch", "entries", "1st decoder", "whole s", "questions");
    std::printf("%-34s %10d %12.3f %10.3f %10d\n", "re-run, Skip it", count + NewFiles, first, whole,
                questions);
    std::printf("%-34s %10d %12.3f %10.3f %10d\n", "the new files alone", NewFiles, aloneFirst, alone,
                answers.Questions - questions);
    std::printf("decoded %d of %d; whole re-run / new files alone: %.2f\n", decoded, count + NewFiles,
                whole / alone);
    form.reset();
    SetServices(nullptr);
    return decoded == NewFiles ? 0 : 1;
}
