// Measuring helpers the whole-job benchmarks share: CPU time of the process
// or the calling thread, and the resident-memory figures of /proc.
#pragma once

#include <sys/resource.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

// User and system time of the whole process, seconds.
inline double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU time of the calling thread, seconds: steadier than wall time on a
// busy machine.
inline double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// kB of a /proc/self/status field ("VmRSS:", "VmHWM:"); -1 when unreadable.
inline long status_kb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::strtol(line.c_str() + length, nullptr, 10);
    }
    return -1;
}

// Resets VmHWM to the current resident size (Linux 4.0 and later), so each
// run's peak can be read on its own.
inline bool reset_peak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// The peak resident size of the process so far, kB.
inline long peak_resident_kb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Profiles only the timed span: run under
//   mkfifo /tmp/ctl && BENCH_PERF_CONTROL=/tmp/ctl perf record -D -1 --control fifo:/tmp/ctl ./bench_x
// and the span between profile_span(true) and profile_span(false) is all
// perf samples. Without the variable these do nothing.
inline void profile_span(bool on) {
    const char* control = std::getenv("BENCH_PERF_CONTROL");
    if (control == nullptr || *control == '\0') return;
    std::ofstream fifo(control);
    fifo << (on ? "enable\n" : "disable\n");
}

}  // namespace bench
