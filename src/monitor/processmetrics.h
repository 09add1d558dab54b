#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <vector>

// The monitor's own health, as every Prometheus client library exports a
// process's, read from /proc each time it is collected:
//
//   process_cpu_seconds_total        counter, user and system CPU time
//   process_resident_memory_bytes    gauge
//   process_virtual_memory_bytes     gauge
//   process_open_fds                 gauge, descriptors open now
//   process_max_fds                  gauge, the soft limit on them
//   process_start_time_seconds       gauge, Unix time at which the process
//                                    started: a restart shows as a change
//
// A family whose source cannot be read is left out rather than given a
// value that is not true.
class ProcessMetrics final : public prometheus::Collectable
{
public:
    // Reads the start time, which stays what it is.
    ProcessMetrics();

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    double m_startTime = -1;  // -1: unknown
};
