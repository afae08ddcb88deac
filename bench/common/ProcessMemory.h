#pragma once
// This process's resident memory, from /proc/self/status (Linux), in bytes;
// -1 where it cannot be read.

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// The "<key>:" line of /proc/self/status (given in KiB), in bytes.
inline long long StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::strtoll(line.c_str() + prefix.size(), nullptr, 10) * 1024;
    return -1;
}

[[nodiscard]] inline long long ResidentBytes() { return StatusBytes("VmRSS"); }
// The process's peak resident set. Benchmarks never reset it: a side's peak
// is read in a child process of its own (Pairs.h).
[[nodiscard]] inline long long PeakResidentBytes() { return StatusBytes("VmHWM"); }

} // namespace bench
