#pragma once
// Helpers for the runner's tests: a recorder of every event and the test program's command line.
#include "engine/commandline.h"
#include "engine/redirect.h"
#include "settings/errors.h"
#include "tests/support/tempdir.h"

#include <dirent.h>

#include <string>
#include <vector>

// Records what a runner delivers, in order: 'o' standard output, 'e' standard error, 't' the end.
struct TRunRecorder {
    std::string Out, Err;
    std::vector<std::string> OutPieces, ErrPieces;
    std::string Order;
    int Ended = 0;
    bool DataAfterEnd = false;

    void Attach(TRedirector& runner) {
        runner.OnData = [this](TRedirector*, const char* buffer, int32_t size) {
            Piece(Out, OutPieces, 'o', buffer, size);
        };
        runner.OnErrorData = [this](TRedirector*, const char* buffer, int32_t size) {
            Piece(Err, ErrPieces, 'e', buffer, size);
        };
        runner.OnTerminated = [this](TRedirector*) {
            ++Ended;
            Order += 't';
        };
    }
    bool WaitEnded(int count = 1, int boundMs = 20000) {
        return WaitFor([&] { return Ended >= count; }, boundMs);
    }

private:
    void Piece(std::string& all, std::vector<std::string>& pieces, char tag, const char* buffer,
               int32_t size) {
        if (Ended) DataAfterEnd = true;
        all.append(buffer, static_cast<size_t>(size));
        pieces.emplace_back(buffer, static_cast<size_t>(size));
        Order += tag;
    }
};

// The test program's command line with the given commands, every argument quoted.
inline std::string ChildLine(std::vector<std::string> commands) {
    commands.insert(commands.begin(), BinaryPath("childtool"));
    return JoinCommandLine(commands);
}

// Number of open file descriptors of this process.
inline int OpenFdCount() {
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(folder))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(folder);
    }
    return count - 1; // the listing's own descriptor
}

// The message of the EWavesmithError (or other exception) that action throws; empty when none.
template <typename Action> std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const EWavesmithError& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("wrong error type: ") + e.what();
    }
    return {};
}
