#pragma once
// Starts a child process that shares the program's memory until it runs its own program, so that
// a start costs the same however large the program has grown: none of its memory is copied or
// marked copy-on-write. The calling thread waits while the child sets itself up.
#include <sys/types.h>

// Everything the child needs, prepared by the caller: the child may not allocate.
struct TSpawnPlan {
    int In = -1, Out = -1, Err = -1; // become the child's fd 0, 1 and 2; each above 2
    const char* Directory = nullptr; // the child's working folder; null: the caller's
    // The program's paths, tried in turn as execvp tries PATH (null-terminated).
    const char* const* Programs = nullptr;
    char* const* Argv = nullptr;
    // "/bin/sh", a free slot, then Argv[1...]: runs a program file that the system does not take
    // for one (no #! line) through the shell, as execvp does. Null: never.
    char** Script = nullptr;
    char* const* Environment = nullptr;
    pid_t Parent = 0;   // the caller's pid: a child whose parent has already gone does not run
    int ChildError = 0; // set by the child when it could not run the program
};

// Returns the child's pid, or -1 with errno set when no child could be made or the child could not
// run the program (that child is reaped). The child asks to be killed when the calling thread ends,
// has the default action for every signal the program handles (and for SIGPIPE, SIGINT, SIGQUIT,
// SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1 and SIGUSR2 even when ignored), no blocked signal, and
// no file descriptor above 2 that it would keep across its exec.
pid_t SpawnProcess(TSpawnPlan& plan);
