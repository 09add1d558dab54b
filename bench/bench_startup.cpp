// Start-up of the panel against the two floors it is held to: a bare Qt
// Widgets program and the panel's window with no behaviour.
//
//   bench_startup [--runs N] PANEL FORM BARE
//
// Starts the three programs in turn, N times each (after one start of each
// that is not counted), and for every start measures from just before the
// process is created to the moment it reports its window painted and the
// event loop idle (each prints "idle <CLOCK_MONOTONIC ns> rss <kB>" then),
// and separately until the process has ended. They run with the environment
// given to this program (platform plugin, settings folder).
//
// Prints a Markdown table: median, quartiles and extremes per program, the
// resident memory at that moment, and the ratios the panel is held to.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Start
{
    double toIdleMs = 0;
    double toExitMs = 0;
    long rssKb = 0;
    bool ok = false;
};

Start runOnce(const char *program)
{
    Start start;
    int out[2];
    if (pipe(out) != 0)
        return start;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    char *argv[] = {const_cast<char *>(program), nullptr};

    const long long before = monotonicNs();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::fprintf(stderr, "bench_startup: cannot start %s: %s\n", program, std::strerror(spawned));
        return start;
    }

    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, std::size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const long long ended = monotonicNs();

    long long idle = 0;
    long rss = 0;
    if (std::sscanf(text.c_str(), "idle %lld rss %ld", &idle, &rss) == 2 && WIFEXITED(status)
        && WEXITSTATUS(status) == 0) {
        start.toIdleMs = (idle - before) / 1e6;
        start.toExitMs = (ended - before) / 1e6;
        start.rssKb = rss;
        start.ok = true;
    } else {
        std::fprintf(stderr, "bench_startup: %s did not report idle (output \"%s\", status %d)\n", program,
                     text.c_str(), status);
    }
    return start;
}

// Value at fraction q of the sorted samples, by nearest rank.
template <class T>
T quantile(std::vector<T> values, double q)
{
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(q * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Summary
{
    const char *name;
    std::vector<double> idle, exit;
    std::vector<long> rss;
};

} // namespace

int main(int argc, char *argv[])
{
    int runs = 21;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (argc - first != 3) {
        std::fprintf(stderr, "usage: bench_startup [--runs N] PANEL FORM BARE\n");
        return 2;
    }
    Summary programs[3] = {{"panel", {}, {}, {}}, {"window only", {}, {}, {}}, {"bare Qt", {}, {}, {}}};

    // Not counted: brings the libraries, fonts and plugins into the page
    // cache, as they are for any start but the first after boot.
    for (int p = 0; p < 3; ++p)
        runOnce(argv[first + p]);

    // In turn, so that a passing load on the machine falls on all three alike.
    for (int r = 0; r < runs; ++r) {
        for (int p = 0; p < 3; ++p) {
            const Start start = runOnce(argv[first + p]);
            if (!start.ok)
                return 1;
            programs[p].idle.push_back(start.toIdleMs);
            programs[p].exit.push_back(start.toExitMs);
            programs[p].rss.push_back(start.rssKb);
        }
    }

    std::printf("| program | start to idle, median | quartiles | min to max | start to exit, median | resident at idle, median |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (const Summary &s : programs) {
        std::printf("| %s | %.1f ms | %.1f to %.1f ms | %.1f to %.1f ms | %.1f ms | %.1f MiB |\n", s.name,
                    quantile(s.idle, 0.5), quantile(s.idle, 0.25), quantile(s.idle, 0.75), quantile(s.idle, 0.0),
                    quantile(s.idle, 1.0), quantile(s.exit, 0.5), quantile(s.rss, 0.5) / 1024.0);
    }
    const double panel = quantile(programs[0].idle, 0.5);
    const double form = quantile(programs[1].idle, 0.5);
    const double bare = quantile(programs[2].idle, 0.5);
    const double rssPanel = quantile(programs[0].rss, 0.5);
    const double rssForm = quantile(programs[1].rss, 0.5);
    const double rssBare = quantile(programs[2].rss, 0.5);
    std::printf("\n%d starts of each, in turn.\n\n", runs);
    std::printf("- start-up, panel / window only: **%.3f** (goal at most 1.1: %s)\n", panel / form,
                panel / form <= 1.1 ? "met" : "missed");
    std::printf("- start-up, panel / bare Qt: **%.3f**; window only / bare Qt: %.3f\n", panel / bare, form / bare);
    std::printf("- resident at idle, panel / window only: **%.3f**; panel / bare Qt: %.3f\n", rssPanel / rssForm,
                rssPanel / rssBare);
    std::printf("RESULT startup_ratio_form %.4f\nRESULT startup_ratio_bare %.4f\nRESULT rss_start_panel_kb %.0f\n"
                "RESULT rss_start_form_kb %.0f\nRESULT rss_start_bare_kb %.0f\nRESULT startup_panel_ms %.1f\n",
                panel / form, panel / bare, rssPanel, rssForm, rssBare, panel);
    return 0;
}
