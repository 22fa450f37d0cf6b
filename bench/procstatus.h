#pragma once
// What the kernel says of this process's memory, for the benchmarks that print it.
#include <fstream>
#include <string>

// Kilobytes of a /proc/self/status line: VmRSS now, VmHWM the peak; -1 where there is none.
inline long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size() + 1));
    return -1;
}
