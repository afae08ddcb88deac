// Start-up: the program (brenvo-qa) from its start to its first window
// mapped, against an empty Qt 6 window (bench_startup_empty) the same way,
// in alternating pairs (Pairs.h), under an Xvfb server of the benchmark's
// own. A window counts as mapped when the X server reports the MapNotify of
// a top-level window of the started process. Also the resident memory of
// each at that moment. Each run gets an empty settings store and data
// directory, as on a first start without a stored connection.
//
// Usage: bench_startup [pairs]   (not a test)

#include "bench/common/Pairs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDefaultPairs = 7;
constexpr int kMapTimeoutMs = 20000;

// An Xvfb server on a free display number, stopped on destruction.
class TXvfb {
public:
    TXvfb()
    {
        for (int display = 90 + getpid() % 40; display < 200; ++display) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display))
                || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
                continue;
            m_name = ":" + std::to_string(display);
            const std::string screen = "1920x1080x24";
            std::vector<char*> args = {const_cast<char*>("Xvfb"), m_name.data(), const_cast<char*>("-screen"),
                                       const_cast<char*>("0"), const_cast<char*>(screen.c_str()),
                                       const_cast<char*>("-nolisten"), const_cast<char*>("tcp"), nullptr};
            if (posix_spawnp(&m_pid, "Xvfb", nullptr, nullptr, args.data(), environ) != 0)
                throw std::runtime_error("Xvfb could not start");
            for (int i = 0; i < 100; ++i) {
                if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            throw std::runtime_error("Xvfb did not come up");
        }
        throw std::runtime_error("no free display number");
    }
    ~TXvfb()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    TXvfb(const TXvfb&) = delete;
    TXvfb& operator=(const TXvfb&) = delete;
    [[nodiscard]] const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    pid_t m_pid = -1;
};

// Watches the root window for top-level windows being mapped.
class TMapWatch {
public:
    explicit TMapWatch(const std::string& display)
    {
        m_conn = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_conn))
            throw std::runtime_error("cannot connect to " + display);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_conn);
    }
    ~TMapWatch() { xcb_disconnect(m_conn); }
    TMapWatch(const TMapWatch&) = delete;
    TMapWatch& operator=(const TMapWatch&) = delete;

    // Drops the events seen so far.
    void Drain()
    {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_conn))
            std::free(e);
    }

    // Waits for a top-level window to be mapped; false on time-out.
    bool WaitForMap(int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_conn)) {
                const bool map = (e->response_type & 0x7f) == XCB_MAP_NOTIFY
                    && reinterpret_cast<xcb_map_notify_event_t*>(e)->event == m_root
                    && !reinterpret_cast<xcb_map_notify_event_t*>(e)->override_redirect;
                std::free(e);
                if (map)
                    return true;
            }
            pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return false;
    }

private:
    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
};

double ResidentMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return -1;
}

struct TStart {
    double seconds = 0;
    double rssMiB = 0;
};

// Starts `program` with a fresh store, waits for its first window, stops it.
TStart StartOnce(const std::string& program, const std::string& display, TMapWatch& watch)
{
    QTemporaryDir home;
    const std::string config = home.filePath(QStringLiteral("config")).toStdString();
    const std::string data = home.filePath(QStringLiteral("data")).toStdString();
    std::vector<std::string> env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + config,
                                    "XDG_DATA_HOME=" + data, "HOME=" + home.path().toStdString(),
                                    "XDG_RUNTIME_DIR=" + home.path().toStdString()};
    for (const char* keep : {"PATH", "LANG", "LC_ALL", "LD_LIBRARY_PATH"})
        if (const char* v = std::getenv(keep))
            env.push_back(std::string(keep) + "=" + v);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args = {const_cast<char*>(program.c_str()), nullptr};

    watch.Drain();
    pid_t pid = -1;
    const auto t0 = Clock::now();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), envp.data()) != 0)
        throw std::runtime_error("cannot start " + program);
    const bool mapped = watch.WaitForMap(kMapTimeoutMs);
    const auto t1 = Clock::now();
    TStart s{std::chrono::duration<double>(t1 - t0).count(), ResidentMiB(pid)};
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (!mapped)
        throw std::runtime_error(program + " showed no window");
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int pairs = argc > 1 ? std::atoi(argv[1]) : kDefaultPairs;
    const QDir here(QCoreApplication::applicationDirPath());
    const std::string program = here.absoluteFilePath(QStringLiteral("../../app/brenvo-qa")).toStdString();
    const std::string empty = here.absoluteFilePath(QStringLiteral("bench_startup_empty")).toStdString();
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        std::printf("start-up: skipped (no Xvfb)\n");
        return 0;
    }
    try {
        const TXvfb xvfb;
        TMapWatch watch(xvfb.Name());
        std::vector<double> ourRss, emptyRss;
        const bench::TPairs result = bench::RunPairs(
            pairs, [] {},
            [&] {
                const TStart s = StartOnce(program, xvfb.Name(), watch);
                ourRss.push_back(s.rssMiB);
                return s.seconds;
            },
            [&] {
                const TStart s = StartOnce(empty, xvfb.Name(), watch);
                emptyRss.push_back(s.rssMiB);
                return s.seconds;
            });
        bench::PrintPairs("start-up to the first window mapped", "brenvo-qa", "empty Qt window", result, 1.3);
        // The untimed first pair's figures go too.
        ourRss.erase(ourRss.begin());
        emptyRss.erase(emptyRss.begin());
        const bench::TSpread a = bench::SpreadOf(ourRss), b = bench::SpreadOf(emptyRss);
        std::printf("resident memory at the first window mapped: brenvo-qa median %.1f MiB, empty Qt window median "
                    "%.1f MiB (%.2f x)\n", a.median, b.median, a.median / b.median);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
