#pragma once
// Runs a write against a read-only folder and returns the message it failed with ("no error" when
// it did not fail). Root ignores folder permissions, so as root the write runs in a child process
// that has given up its rights first.
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

inline std::string MessageOf(const std::function<void()>& write) {
    try {
        write();
        return "no error";
    } catch (const std::exception& error) {
        return error.what();
    }
}

// folder is made read-only for the call; its parent must be traversable by anyone.
inline std::string RefusedWriteMessage(const std::string& parent, const std::string& folder,
                                       const std::function<void()>& write) {
    ::chmod(parent.c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    std::string message;
    if (::geteuid() != 0) {
        message = MessageOf(write);
    } else {
        int fds[2];
        if (::pipe(fds) != 0) return "pipe failed";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            const std::string text = ::setuid(65534) == 0 ? MessageOf(write) : "setuid failed";
            (void)!::write(fds[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        char buffer[4096];
        for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            message.append(buffer, static_cast<size_t>(got));
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
    }
    ::chmod(folder.c_str(), 0755);
    return message;
}
