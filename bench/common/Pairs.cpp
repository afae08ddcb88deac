#include "bench/common/Pairs.h"

#include "bench/common/ProcessMemory.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#endif

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace bench {

namespace {

constexpr char kPeakTag[] = "BQA_CHILD_PEAK";

#ifdef RUSAGE_CHILDREN
double CpuSeconds(const rusage& u)
{
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
#endif

// User and system time of this process's threads and of its children that
// have been waited for (0 where the system does not say).
double ProcessCpuSeconds()
{
#ifdef RUSAGE_CHILDREN
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return CpuSeconds(self) + CpuSeconds(children);
#else
    return 0;
#endif
}

} // namespace

TSpread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

TPairs RunPairs(int pairs, const std::function<void()>& reset, const std::function<double()>& a,
                const std::function<double()>& b)
{
    pairs = std::max(pairs, kMinPairs);
    reset();
    (void)a();
    reset();
    (void)b();
    TPairs out;
    const auto side = [](const std::function<double()>& work, std::vector<double>& wall, std::vector<double>& cpu) {
        const double cpu0 = ProcessCpuSeconds();
        wall.push_back(work());
        cpu.push_back(ProcessCpuSeconds() - cpu0);
    };
    for (int i = 0; i < pairs; ++i) {
        reset();
        side(a, out.a, out.cpuA);
        reset();
        side(b, out.b, out.cpuB);
        out.ratios.push_back(out.a.back() / out.b.back());
        out.cpuRatios.push_back(out.cpuA.back() / out.cpuB.back());
    }
    reset();
    return out;
}

void PrintCpuPairs(const char* what, const TPairs& pairs)
{
    const TSpread a = SpreadOf(pairs.cpuA), b = SpreadOf(pairs.cpuB), r = SpreadOf(pairs.cpuRatios);
    std::printf("%s: process CPU median %.3f s against %.3f s, ratio median %.3f (%.3f-%.3f over %zu pairs)\n", what,
                a.median, b.median, r.median, r.min, r.max, pairs.cpuRatios.size());
}

void PrintPairs(const char* what, const char* aName, const char* bName, const TPairs& pairs, double target)
{
    const TSpread a = SpreadOf(pairs.a), b = SpreadOf(pairs.b), r = SpreadOf(pairs.ratios);
    // Short work reads in milliseconds.
    const bool ms = std::max(a.median, b.median) < 0.1;
    const double k = ms ? 1000 : 1;
    const char* unit = ms ? "ms" : "s";
    std::printf("%s: %s median %.3f %s (%.3f-%.3f); %s median %.3f %s (%.3f-%.3f)\n", what, aName, a.median * k, unit,
                a.min * k, a.max * k, bName, b.median * k, unit, b.min * k, b.max * k);
    std::printf("%s: ratio median %.3f (%.3f-%.3f over %zu alternating pairs)", what, r.median, r.min, r.max,
                pairs.ratios.size());
    if (target > 0)
        std::printf(", target <= %.2f: %s", target, r.median <= target ? "met" : "MISSED");
    std::printf("\n");
}

void ReturnFreeHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void PrintChildPeak(double baseBytes, double heldBytes)
{
    std::printf("%s %.0f %.0f %.0f\n", kPeakTag, baseBytes, static_cast<double>(PeakResidentBytes()), heldBytes);
    std::fflush(stdout);
}

TChildPeak PeakInChild(const QStringList& args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error("the peak child failed: " + args.join(QLatin1Char(' ')).toStdString());
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        TChildPeak p;
        char tag[32] = {};
        if (std::sscanf(line.constData(), "%31s %lf %lf %lf", tag, &p.base, &p.peak, &p.held) == 4
            && QByteArray(tag) == kPeakTag)
            return p;
    }
    throw std::runtime_error("the peak child printed no figures: " + args.join(QLatin1Char(' ')).toStdString());
}

struct TResidentSampler::TState {
    std::atomic<bool> stop{false};
    std::atomic<long long> max{0};
    long long hwmAtStart = 0;
    std::thread thread;
};

TResidentSampler::TResidentSampler() : m_state(std::make_unique<TState>())
{
    m_state->hwmAtStart = PeakResidentBytes();
    m_start = static_cast<double>(ResidentBytes());
    m_state->max = static_cast<long long>(m_start);
    m_state->thread = std::thread([s = m_state.get()] {
        while (!s->stop) {
            const long long now = ResidentBytes();
            if (now > s->max)
                s->max = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

TResidentSampler::~TResidentSampler()
{
    (void)Stop();
}

double TResidentSampler::Stop()
{
    if (m_state->thread.joinable()) {
        m_state->stop = true;
        m_state->thread.join();
        const long long hwm = PeakResidentBytes();
        if (hwm > m_state->hwmAtStart)
            m_state->max = std::max<long long>(m_state->max, hwm);
    }
    return static_cast<double>(m_state->max.load());
}

} // namespace bench
