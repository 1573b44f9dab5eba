// Small helpers shared by the micro-benchmarks: wall and processor clocks,
// medians, running another program as a whole process, and the result lines.
//
// Each figure is kept twice: the wall time, and the processor time (user and
// system) of this process or of the program run. On a machine that other
// work shares, the processor time is the steadier of the two and the
// verdict is taken on it; on an idle machine the two agree.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

struct Sample {
    double wall = 0;  // seconds
    double cpu = 0;   // seconds
};

inline double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

inline double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Measures this process from construction to Stop().
class Timer {
public:
    Timer() : wall_(WallSeconds()), cpu_(ProcessCpuSeconds()) {}
    // The time since construction divided by count (a per-item figure).
    Sample Stop(int count = 1) const {
        return {(WallSeconds() - wall_) / count, (ProcessCpuSeconds() - cpu_) / count};
    }

private:
    double wall_;
    double cpu_;
};

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

inline std::vector<double> Walls(const std::vector<Sample>& samples) {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(s.wall);
    return values;
}

inline std::vector<double> Cpus(const std::vector<Sample>& samples) {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(s.cpu);
    return values;
}

inline double MedianCpu(const std::vector<Sample>& samples) { return Median(Cpus(samples)); }
inline double MedianWall(const std::vector<Sample>& samples) { return Median(Walls(samples)); }

// Runs a program with its standard output and error sent to /dev/null: the
// wall time from spawn to exit and the program's own processor time. Exits
// the benchmark when the program cannot be started or fails.
inline Sample TimeProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double start = WallSeconds();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s\n", args[0]);
        std::exit(2);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    Sample sample;
    sample.wall = WallSeconds() - start;
    sample.cpu = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) * 1e-6 +
                 double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0]);
        std::exit(2);
    }
    return sample;
}

// The median of the ratios of paired figures taken one right after the
// other, which a changing load disturbs less than the ratio of two medians.
inline double PairedRatio(const std::vector<double>& ours, const std::vector<double>& peer) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < peer.size(); ++i) ratios.push_back(ours[i] / peer[i]);
    return Median(ratios);
}

// The closing lines of a comparison: medians of both clocks, the paired
// ratios and the target, judged on processor time; true when it is met.
inline bool Report(const char* what, const char* unit, double scale, const std::vector<Sample>& ours,
                   const std::vector<Sample>& peer, const char* peerName, double target) {
    const double wallRatio = PairedRatio(Walls(ours), Walls(peer));
    const double cpuRatio = PairedRatio(Cpus(ours), Cpus(peer));
    const bool met = cpuRatio <= target;
    std::printf("%-9s wall: ours %9.3f %s | %-16s %9.3f %s | ratio %.2fx\n", what, MedianWall(ours) * scale, unit,
                peerName, MedianWall(peer) * scale, unit, wallRatio);
    std::printf("%-9s cpu:  ours %9.3f %s | %-16s %9.3f %s | ratio %.2fx | target <= %.2fx | %s\n", what,
                MedianCpu(ours) * scale, unit, peerName, MedianCpu(peer) * scale, unit, cpuRatio, target,
                met ? "PASS" : "GAP");
    return met;
}

}  // namespace bench
