#include "tests/support/tempdir.h"

#include "settings/paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

TTempDir::TTempDir() : FPath(QFile::encodeName(FDir.path()).toStdString() + "/") {
    if (!FDir.isValid()) throw std::runtime_error("cannot create a temporary folder");
}

std::string TTempDir::WriteFile(const std::string& relative, const std::string& bytes) const {
    const std::string full = FPath + relative;
    const QString name = QFile::decodeName(QByteArray::fromStdString(full));
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + full);
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return full;
}

std::string TTempDir::ReadFile(const std::string& relative) const {
    QFile file(QFile::decodeName(QByteArray::fromStdString(FPath + relative)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

std::string TTempDir::MakeDir(const std::string& relative) const {
    const std::string full = FPath + relative;
    QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(full)));
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

std::string BinaryPath(const std::string& name) { return std::string(WAVESMITH_BIN_DIR) + "/" + name; }
