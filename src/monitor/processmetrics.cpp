#include "processmetrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace {

// The fields of /proc/self/stat from the third (the state) on, so that
// field N of proc(5) is at N - 3; empty if it cannot be read. The second
// field, the program's name in parentheses, may itself hold spaces and
// parentheses: the fields after it begin after the last ')'.
std::vector<double> statFields()
{
    std::ifstream file("/proc/self/stat");
    std::string text;
    std::getline(file, text);
    const std::size_t name = text.rfind(')');
    if (name == std::string::npos)
        return {};
    std::istringstream rest(text.substr(name + 1));
    std::string state;
    rest >> state;
    std::vector<double> fields{0};
    for (double value = 0; rest >> value;)
        fields.push_back(value);
    return fields;
}

enum Stat { UserTicks = 14, SystemTicks = 15, StartTicks = 22, VirtualBytes = 23, ResidentPages = 24 };

double field(const std::vector<double> &fields, Stat which)
{
    return fields.at(std::size_t(which) - 3);
}

// Descriptors open now, less the one that reads them.
int openDescriptors()
{
    DIR *folder = ::opendir("/proc/self/fd");
    if (!folder)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(folder))
        count += entry->d_name[0] != '.';
    ::closedir(folder);
    return count - 1;
}

double seconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

MetricFamily family(const char *name, const char *help, MetricType type, double value)
{
    ClientMetric metric;
    (type == MetricType::Counter ? metric.counter.value : metric.gauge.value) = value;
    return {name, help, type, {metric}};
}

} // namespace

// The start is counted in clock ticks since boot (CLOCK_BOOTTIME, which
// runs on through a suspension); the boot's own Unix time is the difference
// of the two clocks. /proc/stat, where client libraries read it, is hidden
// from the service (ProcSubset=pid).
ProcessMetrics::ProcessMetrics()
{
    const std::vector<double> fields = statFields();
    if (fields.size() > std::size_t(StartTicks) - 3)
        m_startTime = seconds(CLOCK_REALTIME) - seconds(CLOCK_BOOTTIME) + field(fields, StartTicks) / double(::sysconf(_SC_CLK_TCK));
}

std::vector<MetricFamily> ProcessMetrics::Collect() const
{
    std::vector<MetricFamily> families;
    const std::vector<double> fields = statFields();
    if (fields.size() > std::size_t(ResidentPages) - 3) {
        families.push_back(family("process_cpu_seconds_total", "User and system CPU time the process used, in seconds",
                                  MetricType::Counter,
                                  (field(fields, UserTicks) + field(fields, SystemTicks)) / double(::sysconf(_SC_CLK_TCK))));
        families.push_back(family("process_resident_memory_bytes", "Resident memory of the process, in bytes", MetricType::Gauge,
                                  field(fields, ResidentPages) * double(::sysconf(_SC_PAGESIZE))));
        families.push_back(family("process_virtual_memory_bytes", "Virtual memory of the process, in bytes", MetricType::Gauge,
                                  field(fields, VirtualBytes)));
    }
    if (const int open = openDescriptors(); open >= 0)
        families.push_back(family("process_open_fds", "File descriptors the process has open", MetricType::Gauge, open));
    if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0)
        families.push_back(family("process_max_fds", "The most file descriptors the process may open (its soft limit)",
                                  MetricType::Gauge, double(limit.rlim_cur)));
    if (m_startTime >= 0)
        families.push_back(family("process_start_time_seconds", "Unix time at which the process started, in seconds",
                                  MetricType::Gauge, m_startTime));
    return families;
}
