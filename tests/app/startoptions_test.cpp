// Both programs' command lines as real processes: --help and --version answer without a display,
// an unknown option is refused with the usage, and a name that looks like an option stays a name.
#include "app/singleinstance.h"
#include "tests/support/tempdir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct TRow {
    const char* Program;
    QStringList Args;
    bool NeedsDisplay; // false: the xcb platform without a display, which aborts any window
    int Exit;
    const char* Out; // what standard output starts with
    const char* Err; // what standard error contains
};

TEST(StartOptions, HelpVersionUnknownOptionsAndNamesAfterTheOptionsEnd) {
    TTempDir dir, runtime;
    // A portable copy of its own, so its settings and its socket are the test's.
    std::filesystem::copy_file(BinaryPath("wavesmith"), dir.Path() + "wavesmith");
    std::filesystem::copy_file(BinaryPath("utils.exe"), dir.Path() + "utils.exe");
    std::filesystem::copy_file(WAVESMITH_FIXTURES "/cbr_stereo_44k.mp3", dir.Path() + "--help.mp3");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.Path()));
    TSingleInstance running(InstanceSocketPath(dir.Path() + "wavesmith.ini"));
    ASSERT_FALSE(running.HandOver({}));
    std::vector<TStartArgs> received;
    running.OnStart = [&](const TStartArgs& args) { received.push_back(args); };

    const TRow rows[] = {
        {"wavesmith", {"--help"}, false, 0, "Usage: wavesmith [-C | -c]", ""},
        {"wavesmith", {"-c", "--version", "a.mp3"}, false, 0, "wavesmith 2.6\n", ""},
        {"wavesmith", {"--bogus", "--help"}, false, 2, "", "unknown option \"--bogus\"\nUsage: wavesmith"},
        // Handed to the running program as names: neither ours nor Qt's options after "--".
        {"wavesmith", {"--", "--help", "-platform", "-C"}, true, 0, "", ""},
        {"utils.exe", {"--help"}, false, 0, "usage: utils.exe --decode", ""},
        {"utils.exe", {"--version"}, false, 0, "utils.exe 2.6\n", ""},
        {"utils.exe", {"--bogus"}, false, 2, "", "unknown option \"--bogus\"\nusage: utils.exe"},
        {"utils.exe", {"--decode", "--help.mp3", "-o.wav"}, false, 0, "", "input:  --help.mp3  (44.1 kHz"},
    };
    for (const TRow& row : rows) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", row.NeedsDisplay ? "offscreen" : "xcb");
        env.insert("DESKTOP_STARTUP_ID", "launch-1_TIME42");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(dir.Path()));
        process.start(QString::fromStdString(dir.Path() + row.Program), row.Args);
        // The event loop runs meanwhile, so the running program can take a hand-over.
        ASSERT_TRUE(WaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000))
            << row.Args.join(' ').toStdString();
        const std::string what = std::string(row.Program) + " " + row.Args.join(' ').toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(process.exitCode(), row.Exit) << what;
        const std::string out = process.readAllStandardOutput().toStdString();
        const std::string err = process.readAllStandardError().toStdString();
        // Nothing on standard output where nothing is expected there.
        EXPECT_EQ(*row.Out ? out.substr(0, std::string(row.Out).size()) : out, row.Out) << what;
        EXPECT_NE(err.find(row.Err), std::string::npos) << what << ": " << err;
    }
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].FirstArgument, "");
    EXPECT_EQ(received[0].Paths,
              (std::vector<std::string>{dir.Path() + "--help", dir.Path() + "-platform", dir.Path() + "-C"}));
    EXPECT_EQ(received[0].Launch.StartupId, "launch-1_TIME42") << "the launch id travels with the names";
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "-o.wav"));
    running.OnStart = nullptr;
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

} // namespace
