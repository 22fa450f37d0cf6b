// The command line's names, and a later start handing them to the running program over a real
// local socket.
#include "app/formmain.h"
#include "app/launchfeedback.h"
#include "app/singleinstance.h"
#include "app/trayicon.h"
#include "filelist/filelistmodel.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

// The later start runs on a thread of its own, as it would in its own process: it blocks on the
// socket while this thread's event loop lets the running program answer.
bool HandOverFromAnotherStart(const std::string& socket, const TStartArgs& args) {
    auto later = std::async(std::launch::async, [&] { return TSingleInstance(socket).HandOver(args); });
    const bool ended =
        WaitFor([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return ended && later.get();
}

// A socket file with nobody listening, as a crashed program leaves it.
void LeaveStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST(StartArgs, CommandLineNamesBecomeFullPathsByteForByte) {
    struct TRow {
        std::vector<const char*> Argv;
        std::string First;
        Strings Paths;
    };
    const TRow rows[] = {
        {{"wavesmith"}, "", {}},
        {{"wavesmith", "-C"}, "-C", {}},
        {{"wavesmith", "-c", "a.mp3"}, "-c", {"/cwd/a.mp3"}},
        {{"wavesmith", "a.mp3", "-C"}, "", {"/cwd/a.mp3", "/cwd/-C"}}, // only the first argument switches
        {{"wavesmith", "b c.m3u", "./folder/", "../up/x.mp3", "/abs//y.mp3"},
         "",
         {"/cwd/b c.m3u", "/cwd/folder/", "/up/x.mp3", "/abs/y.mp3"}},
        {{"wavesmith", "caf\xE9.mp3", ""}, "", {"/cwd/caf\xE9.mp3"}}, // Latin-1: not valid UTF-8
        // After the first "--" every argument is a name, a second "--" and "-C" included.
        {{"wavesmith", "--", "-C", "--", "--x.mp3"}, "", {"/cwd/-C", "/cwd/--", "/cwd/--x.mp3"}},
        {{"wavesmith", "-c", "--", "-c"}, "-c", {"/cwd/-c"}},
    };
    for (const TRow& row : rows) {
        const TStartArgs args = ParseStartArgs(static_cast<int>(row.Argv.size()), row.Argv.data(), "/cwd");
        EXPECT_EQ(args.FirstArgument, row.First) << row.Argv.size();
        EXPECT_EQ(args.Paths, row.Paths) << row.Argv.back();
    }
}

// The id's time lets the window manager raise the window; the remove message must name the id exactly.
TEST(LaunchFeedback, StartupIdTimeAndRemoveMessage) {
    struct TRow {
        std::string Id;
        std::uint32_t Time;
        std::string Remove;
    };
    const TRow rows[] = {
        {"gtk-launch-1-host-app-0_TIME4711", 4711, "remove: ID=gtk-launch-1-host-app-0_TIME4711"},
        {"a b\"c\\_TIME7", 7, "remove: ID=\"a b\\\"c\\\\_TIME7\""},
        {"no-time", 0, "remove: ID=no-time"},
        {"x_TIME12y", 0, "remove: ID=x_TIME12y"},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(StartupIdTime(row.Id), row.Time) << row.Id;
        EXPECT_EQ(StartupRemoveMessage(row.Id), row.Remove) << row.Id;
    }
    // Wayland activates with the token; a launcher that gives only the startup id gives it as one.
    EXPECT_EQ(WaylandActivationToken({"x11-id", "token"}), "token");
    EXPECT_EQ(WaylandActivationToken({"x11-id", ""}), "x11-id");
}

TEST(SingleInstance, ALaterStartHandsItsNamesToTheRunningWindow) {
    TScriptedServices::Current().Reset();
    TTrayIcon::SetAvailableOverride(true);
    TTempDir app, data;
    TExecutableIn exe{app.Path()};
    TFormMain form;
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    TSingleInstance running(app.Path() + "socket");
    ASSERT_FALSE(running.HandOver({})) << "nobody runs yet";
    ASSERT_TRUE(running.Listening());
    running.OnStart = [&form](const TStartArgs& args) { form.AnotherStart(args); };
    form.ImgTrayClick();
    ASSERT_TRUE(form.InTray());

    const std::string odd = data.Path() + "caf\xE9 one.mp3"; // not valid text: made byte for byte
    const int fd = ::open(odd.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string inFolder = data.WriteFile("folder/two.mp3", "ID3");
    // "-c" passes on too: the clipboard's files join the list (without decoding, as at start-up).
    const std::string clipped = data.WriteFile("clip.mp3", "ID3");
    TScriptedServices::Current().ClipboardContent = clipped + "\n";
    EXPECT_TRUE(HandOverFromAnotherStart(app.Path() + "socket", {"-c", {odd, data.Path() + "folder/"}, {}}));
    EXPECT_TRUE(WaitFor([&] { return form.FileList->Count() == 3; }, 5000));
    EXPECT_EQ(form.FileList->FullPaths(), (Strings{clipped, odd, inFolder}));
    EXPECT_EQ(app.ReadFile("wavesmith.lst"), clipped + "\r\n" + odd + "\r\n" + inFolder + "\r\n");
    EXPECT_TRUE(form.isVisible()) << "the running window comes to the front";
    EXPECT_FALSE(form.InTray());
    TTrayIcon::SetAvailableOverride(std::nullopt);
}

TEST(SingleInstance, ASocketLeftByACrashedProgramDoesNotBlockTheStart) {
    TTempDir dir;
    const std::string socket = dir.Path() + "socket";
    LeaveStaleSocket(socket);
    TSingleInstance first(socket);
    EXPECT_FALSE(first.HandOver({}));
    ASSERT_TRUE(first.Listening());
    Strings received;
    first.OnStart = [&](const TStartArgs& args) { received = args.Paths; };
    EXPECT_TRUE(HandOverFromAnotherStart(socket, {"-C", {"/a.mp3"}, {}}));
    EXPECT_TRUE(WaitFor([&] { return !received.empty(); }, 5000));
    EXPECT_EQ(received, Strings{"/a.mp3"});

    // Two portable copies keep two settings files, so they are two programs.
    EXPECT_NE(InstanceSocketPath("/one/wavesmith.ini"), InstanceSocketPath("/two/wavesmith.ini"));
    EXPECT_EQ(InstanceSocketPath("/one/wavesmith.ini"), InstanceSocketPath("/one/wavesmith.ini"));
}

// A running program from before the launch id knew only the first form of the request: it closes the
// connection on anything else. The later start still hands its names over, in that form.
TEST(SingleInstance, AProgramFromBeforeTheLaunchIdStillTakesTheNames) {
    TTempDir dir;
    const QString socketPath = QString::fromStdString(dir.Path() + "socket");
    QLocalServer older;
    ASSERT_TRUE(older.listen(socketPath));
    quint32 accepted = 0;
    QObject::connect(&older, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = older.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, &accepted] {
            QDataStream in(socket);
            quint32 magic = 0;
            in >> magic;
            if (magic != 0x57534d31) return socket->abort();
            accepted = magic;
            socket->write("1");
        });
    });
    TStartArgs args{"", {"/a.mp3"}, {"launch_TIME1", ""}};
    EXPECT_TRUE(HandOverFromAnotherStart(dir.Path() + "socket", args));
    EXPECT_EQ(accepted, 0x57534d31u);
}

} // namespace
