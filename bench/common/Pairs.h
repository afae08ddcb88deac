#pragma once
// The comparison every ratio benchmark makes: the program's side (A) and its
// baseline (B) run in alternating pairs, A B A B ..., each side started from
// the same state by one reset that runs before every side alike (results
// closed, free heap handed back). The figure is the median of the per-pair
// ratios A/B with their minimum and maximum; never a best-of.
//
// Peaks: a side's peak resident memory is measured in a child process of the
// same benchmark that runs that side once, so the whole process's peak
// counter (VmHWM) is never reset by a benchmark.

#include "platform/core/Failure.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace bench {

inline constexpr int kMinPairs = 5;

struct TPairs {
    std::vector<double> a, b;   // seconds of each side, pair by pair
    std::vector<double> ratios; // a[i] / b[i]
    // CPU seconds of the whole process (every thread, and children waited
    // for during the side) over each side's call, and their ratios: less
    // swayed than the wall clock by other work on a shared machine.
    std::vector<double> cpuA, cpuB, cpuRatios;
};

struct TSpread {
    double median = 0, min = 0, max = 0;
};

[[nodiscard]] TSpread SpreadOf(std::vector<double> values);

// One untimed pair first (code paths, file cache, first-use heap), then
// `pairs` (at least kMinPairs) timed pairs. `reset` runs before every side,
// untimed; each side returns the seconds of the work it times.
[[nodiscard]] TPairs RunPairs(int pairs, const std::function<void()>& reset, const std::function<double()>& a,
                              const std::function<double()>& b);

// "<what>: <A name> median 1.234 s (min-max), <B name> median ...", then
// "ratio median 1.10 (1.05-1.20) over N pairs", with the target when one is
// given (> 0).
void PrintPairs(const char* what, const char* aName, const char* bName, const TPairs& pairs, double target = 0);
// "<what>: process CPU A median 1.234 s, B median ..., ratio median 1.10
// (min-max)": for sides whose work is all in this process or its waited
// children.
void PrintCpuPairs(const char* what, const TPairs& pairs);

// glibc's malloc_trim(0): the free heap of every arena back to the system.
void ReturnFreeHeap();

// A side's memory as measured in its own process: resident bytes just before
// the side ran, the process's peak (VmHWM, never reset) after it, and what
// the side's result holds by its own count (0 for a bare loop).
struct TChildPeak {
    double base = 0, peak = 0, held = 0;
    [[nodiscard]] double Above() const { return peak - base; }
};

// The child's half: the line PeakInChild reads, on stdout.
void PrintChildPeak(double baseBytes, double heldBytes);

// The parent's half: runs this benchmark's executable with `args` (which the
// benchmark's main recognises and answers with PrintChildPeak) and returns
// what it printed. Throws std::runtime_error when the child fails.
[[nodiscard]] TChildPeak PeakInChild(const QStringList& args);

// Samples this process's resident memory every millisecond on a thread of
// its own from construction until Stop(): the peak of work whose process had
// a larger peak before it (VmHWM cannot show it and is never reset). A spike
// shorter than the interval can be missed; Stop() also reports VmHWM when
// it rose, which is exact.
class TResidentSampler {
public:
    TResidentSampler();
    ~TResidentSampler();
    TResidentSampler(const TResidentSampler&) = delete;
    TResidentSampler& operator=(const TResidentSampler&) = delete;
    // The highest resident bytes seen; the work's peak above the start.
    [[nodiscard]] double Stop();
    [[nodiscard]] double Start() const { return m_start; }

private:
    struct TState;
    std::unique_ptr<TState> m_state;
    double m_start = 0;
};

// A benchmark's main body: its exit status, or 1 with the failure's message
// on stderr.
template <class F>
int Guarded(F&& body)
{
    try {
        return body();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}

} // namespace bench
