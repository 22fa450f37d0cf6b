#pragma once
// A temporary folder for one test, removed with everything in it afterwards.
#include <QTemporaryDir>

#include <functional>

#include <string>

class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    // The folder with a trailing separator.
    const std::string& Path() const { return FPath; }
    // Writes a file (folders created as needed) and returns its full path.
    std::string WriteFile(const std::string& relative, const std::string& bytes) const;
    std::string ReadFile(const std::string& relative) const;
    std::string MakeDir(const std::string& relative) const;

private:
    QTemporaryDir FDir;
    std::string FPath;
};

// Points the executable path into a folder for the test's lifetime, so the settings file, the
// saved list and the log land there; restores the previous path afterwards.
class TExecutableIn {
public:
    explicit TExecutableIn(const std::string& folder, const std::string& name = "wavesmith");
    ~TExecutableIn();

private:
    std::string FPrevious;
};

// Waits, processing events, until pred() holds or the bound (ms) passes; returns pred().
template <typename Pred> bool WaitFor(Pred pred, int boundMs = 20000);
bool WaitForImpl(const std::function<bool()>& pred, int boundMs);
template <typename Pred> bool WaitFor(Pred pred, int boundMs) { return WaitForImpl(pred, boundMs); }

// Path of a built program (utils.exe, childtool) and of a test fixture.
std::string BinaryPath(const std::string& name);
