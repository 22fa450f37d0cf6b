// Times the bulk adds: dropping a folder tree onto the main window, and opening an .m3u playlist
// through AddFiles, each at full size and at a tenth of it (best of three runs each).
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "settings/paths.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    if (::write(fd, "ID3", 3) != 3) std::perror(path.c_str());
    ::close(fd);
}

// files spread evenly over folders under root; every fifth one an MP3. Returns the MP3 count.
int MakeTree(const std::string& root, int files, int folders) {
    ::mkdir(root.c_str(), 0755);
    int mp3 = 0;
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/folder" + std::to_string(f);
        ::mkdir(folder.c_str(), 0755);
        for (int i = f; i < files; i += folders) {
            const bool isMp3 = i % 5 == 0;
            mp3 += isMp3;
            Touch(folder + "/file" + std::to_string(i) + (isMp3 ? ".mp3" : ".txt"));
        }
    }
    return mp3;
}

// A playlist of `entries` MP3 files, named relative to the playlist as a Windows player writes them.
std::string MakePlaylist(const std::string& root, int entries) {
    ::mkdir(root.c_str(), 0755);
    const int folders = entries / 40 > 0 ? entries / 40 : 1;
    std::ofstream list(root + "/list.m3u", std::ios::binary);
    list << "#EXTM3U\r\n";
    for (int f = 0; f < folders; ++f)
        ::mkdir((root + "/album" + std::to_string(f)).c_str(), 0755);
    for (int i = 0; i < entries; ++i) {
        const std::string relative =
            "album" + std::to_string(i % folders) + "/track" + std::to_string(i) + ".mp3";
        Touch(root + "/" + relative);
        list << "#EXTINF:180,Artist - Track " << i << "\r\nalbum" << i % folders << "\\track" << i
             << ".mp3\r\n";
    }
    return root + "/list.m3u";
}

// A window that starts with an empty list: the previous run's saved list is removed first.
std::unique_ptr<TFormMain> FreshWindow() {
    std::remove(SavedListPath().c_str());
    auto form = std::make_unique<TFormMain>();
    QCoreApplication::sendPostedEvents(form.get(), WM_STARTUP);
    QCoreApplication::processEvents();
    return form;
}

double TimeDrop(const std::string& folder, int& listed) {
    auto form = FreshWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder)))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::sendEvent(form.get(), &enter); // the drop goes to whoever accepted the entry
    QCoreApplication::sendEvent(form.get(), &drop);
    QCoreApplication::processEvents(); // the repaint that follows
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    listed = form->FileList->Count();
    return ms;
}

double TimePlaylist(const std::string& playlist, int& listed) {
    auto form = FreshWindow();
    QElapsedTimer timer;
    timer.start();
    form->AddFiles({playlist});
    QCoreApplication::processEvents();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    listed = form->FileList->Count();
    return ms;
}

// The best of three runs, so that a busy machine does not decide the figures.
template <typename F> double Best(F run) {
    double best = run();
    for (int i = 0; i < 2; ++i)
        best = std::min(best, run());
    return best;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const std::string root = QFile::encodeName(temp.path()).toStdString();
    SetExecutablePath(root + "/wavesmith"); // settings and saved list land in the temporary folder

    MakeTree(root + "/full", 20000, 500);
    MakeTree(root + "/tenth", 2000, 50);
    const std::string bigList = MakePlaylist(root + "/plfull", 20000);
    const std::string smallList = MakePlaylist(root + "/pltenth", 2000);

    int listedFull = 0, listedTenth = 0;
    const double dropTenth = Best([&] { return TimeDrop(root + "/tenth", listedTenth); });
    const double dropFull = Best([&] { return TimeDrop(root + "/full", listedFull); });
    std::printf("drop folder tree: 20000 files in 500 folders -> %d listed: %8.1f ms\n", listedFull,
                dropFull);
    std::printf("drop folder tree:  2000 files in  50 folders -> %d listed: %8.1f ms (ratio %.1f)\n",
                listedTenth, dropTenth, dropFull / dropTenth);

    const double listTenth = Best([&] { return TimePlaylist(smallList, listedTenth); });
    const double listFull = Best([&] { return TimePlaylist(bigList, listedFull); });
    std::printf("m3u playlist: 20000 entries -> %d listed: %8.1f ms\n", listedFull, listFull);
    std::printf("m3u playlist:  2000 entries -> %d listed: %8.1f ms (ratio %.1f)\n", listedTenth, listTenth,
                listFull / listTenth);

    const bool ok =
        dropFull < 2000 && listFull < 2000 && dropFull < 12 * dropTenth && listFull < 12 * listTenth;
    std::printf("targets (each under 2 s, within 12x the tenth): %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
