#include "tests/support/tempdir.h"

#include "settings/filesystem.h"
#include "settings/paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

TTempDir::TTempDir() : FPath(QFile::encodeName(FDir.path()).toStdString() + "/") {
    if (!FDir.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

// Removed by the names' bytes: QTemporaryDir's own removal goes through text and leaves a name that
// is not valid text behind, with its folder.
TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

// Names go to the file system as bytes: a name that is not valid text is made as given.
std::string TTempDir::WriteFile(const std::string& relative, const std::string& bytes) const {
    const std::string full = FPath + relative;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ignored);
    std::ofstream file(full, std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TTempDir::ReadFile(const std::string& relative) const {
    std::ifstream file(FPath + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string TTempDir::MakeDir(const std::string& relative) const {
    const std::string full = FPath + relative;
    std::error_code ignored;
    std::filesystem::create_directories(full, ignored);
    return full.back() == '/' ? full : full + "/";
}

TExecutableIn::TExecutableIn(const std::string& folder, const std::string& name) : FPrevious(ExecutablePath()) {
    SetExecutablePath(folder + name);
}

TExecutableIn::~TExecutableIn() { SetExecutablePath(FPrevious); }

bool WaitForImpl(const std::function<bool()>& pred, int boundMs) {
    QDeadlineTimer deadline(boundMs);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Beside the running test program, so that a copy of the programs runs from another folder too.
std::string BinaryPath(const std::string& name) {
    const std::string self = RunningProgramPath();
    return (self.empty() ? std::string(WAVESMITH_BIN_DIR) + "/" : ExtractFilePath(self)) + name;
}
