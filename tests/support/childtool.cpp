// A small scripted console program that stands in for a real child: it writes, pauses, floods,
// exits, crashes or hangs on command. Commands run in order, one per argument:
//
//   out:TEXT            write TEXT to standard output (escapes: \n \r \t \\ \xHH)
//   err:TEXT            the same on standard error
//   out-file:PATH       copy a file's bytes to standard output
//   err-file:PATH       the same on standard error
//   sleep:MS            pause
//   wait-file:PATH      pause until the file exists (another run has written it); exit 126 after 60 s
//   flood-out:BYTES     write BYTES of the stream's pattern (childpattern.h) to standard output
//   flood-err:BYTES     the same on standard error
//   flood-both:BYTES    BYTES on each stream, interleaved in pieces of varying size
//   pieces:COUNT:SIZE   COUNT pieces of SIZE bytes on standard output, each written only once
//                       the reader has taken the one before out of the pipe
//   stdin-state         write "open-empty", "eof" or "data" for what standard input holds
//   cwd                 write the current folder
//   env:NAME            write the value of an environment variable
//   fds                 write the open file descriptors, blank-separated, in ascending order
//   signals             write the blocked and the ignored signals as /proc shows them: "BLOCKED IGNORED"
//   write-arg:N:TEXT    write TEXT into the file named by argument N (e.g. a decoder's output)
//   write-part:N:TEXT   the same into the partial file of that name, as the decoder writes first
//   echo-args           write every argument after this one followed by a NUL byte, and stop
//                       (in script mode: every argument of the program)
//   exit:CODE           end with that exit code
//   hang                wait until killed
//   crash               die of SIGSEGV;   abort: die of SIGABRT
//
// Script mode, to stand in for another program (such as the decoder): when the environment
// variable WAVESMITH_CHILDTOOL_SCRIPT names a file, or a file "<this program>.script" exists beside
// the program, the commands are that file's lines (empty lines and lines starting with '#'
// skipped) instead of the arguments; write-arg and echo-args still see the real arguments. A file
// "<argument 2>.script" (a decoder run's input) comes before both, so that several runs at once
// can each follow a script of their own.
// Without a command the program ends at once with exit code 0.
#include "childpattern.h"
#include "decoder/partname.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) std::_Exit(120); // the reader is gone
        data += done;
        size -= static_cast<size_t>(done);
    }
}

void WriteAll(int fd, const std::string& text) {
    WriteAll(fd, text.data(), text.size());
}

std::string Unescape(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            result += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'n')
            result += '\n';
        else if (c == 'r')
            result += '\r';
        else if (c == 't')
            result += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            result += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            result += c;
    }
    return result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) std::_Exit(121);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint64_t Position[3]; // how far each stream's pattern has been written

void Flood(int fd, uint64_t bytes) {
    const std::string& block = ChildPatternBlock(fd);
    while (bytes > 0) {
        const size_t at = static_cast<size_t>(Position[fd] % block.size());
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, block.size() - at));
        WriteAll(fd, block.data() + at, n);
        Position[fd] += n;
        bytes -= n;
    }
}

void FloodBoth(uint64_t bytes) {
    uint64_t left[3] = {0, bytes, bytes};
    uint32_t seed = 12345;
    while (left[1] > 0 || left[2] > 0) {
        for (int fd = 1; fd <= 2; ++fd) {
            seed = seed * 1103515245u + 12345u;
            const uint64_t piece = std::min<uint64_t>(left[fd], 1 + (seed >> 8) % 70000);
            Flood(fd, piece);
            left[fd] -= piece;
        }
    }
}

// Small pieces one at a time: each waits until the reader has emptied the pipe.
void Pieces(long count, long size) {
    const std::string piece(static_cast<size_t>(size), 'p');
    for (long i = 0; i < count; ++i) {
        WriteAll(1, piece);
        int waiting = 1;
        while (::ioctl(1, FIONREAD, &waiting) == 0 && waiting > 0)
            sched_yield();
    }
}

std::string StdinState() {
    pollfd wait{0, POLLIN, 0};
    if (::poll(&wait, 1, 50) == 0) return "open-empty";
    char c;
    return ::read(0, &c, 1) == 0 ? "eof" : "data";
}

std::string OpenFds() {
    std::vector<int> fds;
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder) return "?";
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(folder))
            fds.push_back(std::atoi(entry->d_name));
    ::closedir(folder);
    std::sort(fds.begin(), fds.end());
    std::string text;
    for (const int fd : fds)
        text += (text.empty() ? "" : " ") + std::to_string(fd);
    return text;
}

std::string SignalState() {
    std::ifstream status("/proc/self/status");
    std::string line, blocked, ignored;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) == 0) blocked = line.substr(line.find_first_not_of(" \t", 7));
        if (line.rfind("SigIgn:", 0) == 0) ignored = line.substr(line.find_first_not_of(" \t", 7));
    }
    return blocked + " " + ignored;
}

void Die(int signal) {
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none); // no core file for a planned crash
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(122);
}

// Runs one command; returns false when the remaining commands are to be skipped.
bool Run(const std::string& command, int argc, char** argv, int next) {
    std::string rest; // what follows the prefix that matched
    auto starts = [&](std::string_view prefix) {
        if (command.rfind(prefix, 0) != 0) return false;
        rest = command.substr(prefix.size());
        return true;
    };
    if (starts("out:"))
        WriteAll(1, Unescape(rest));
    else if (starts("err:"))
        WriteAll(2, Unescape(rest));
    else if (starts("out-file:"))
        WriteAll(1, ReadFile(rest));
    else if (starts("err-file:"))
        WriteAll(2, ReadFile(rest));
    else if (starts("sleep:"))
        ::usleep(static_cast<useconds_t>(std::stol(rest) * 1000));
    else if (starts("wait-file:")) {
        for (int waited = 0; ::access(rest.c_str(), F_OK) != 0; waited += 10) {
            if (waited >= 60000) std::_Exit(126);
            ::usleep(10000);
        }
    } else if (starts("flood-out:"))
        Flood(1, std::stoull(rest));
    else if (starts("flood-err:"))
        Flood(2, std::stoull(rest));
    else if (starts("flood-both:"))
        FloodBoth(std::stoull(rest));
    else if (starts("pieces:")) {
        Pieces(std::stol(rest), std::stol(rest.substr(rest.find(':') + 1)));
    } else if (command == "stdin-state")
        WriteAll(1, StdinState());
    else if (command == "cwd") {
        char folder[4096];
        WriteAll(1, ::getcwd(folder, sizeof folder) ? folder : "?");
    } else if (starts("env:")) {
        const char* value = std::getenv(rest.c_str());
        WriteAll(1, value ? value : "");
    } else if (command == "fds")
        WriteAll(1, OpenFds());
    else if (command == "signals")
        WriteAll(1, SignalState());
    else if (starts("write-arg:") || starts("write-part:")) {
        const int index = std::stoi(rest);
        if (index >= argc) std::_Exit(123);
        const std::string path = command[6] == 'a' ? argv[index] : PartialOutputPath(argv[index], ::getpid());
        std::ofstream(path, std::ios::binary) << Unescape(rest.substr(rest.find(':') + 1));
    } else if (command == "echo-args") {
        for (int i = next; i < argc; ++i)
            WriteAll(1, argv[i], std::strlen(argv[i]) + 1);
        return false;
    } else if (starts("exit:"))
        std::_Exit(std::stoi(rest));
    else if (command == "hang") {
        for (;;)
            ::pause();
    } else if (command == "crash")
        Die(SIGSEGV);
    else if (command == "abort")
        Die(SIGABRT);
    else {
        WriteAll(2, "childtool: unknown command " + command + "\n");
        std::_Exit(124);
    }
    return true;
}

std::string ScriptPath(int argc, char** argv) {
    if (const char* named = std::getenv("WAVESMITH_CHILDTOOL_SCRIPT"); named && *named) return named;
    if (argc > 2) {
        const std::string own = std::string(argv[2]) + ".script";
        if (::access(own.c_str(), R_OK) == 0) return own;
    }
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return {};
    const std::string side = std::string(self, static_cast<size_t>(length)) + ".script";
    return ::access(side.c_str(), R_OK) == 0 ? side : std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (const std::string script = ScriptPath(argc, argv); !script.empty()) {
        std::ifstream file(script, std::ios::binary);
        if (!file) return 125;
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            if (!Run(line, argc, argv, 1)) break;
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        if (!Run(argv[i], argc, argv, i + 1)) break;
    return 0;
}
