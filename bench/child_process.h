// The program or the floor, started as a child process of the bench.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

class ChildProcess {
public:
    // Starts `executable` with the bench's environment plus `environment` ("NAME=value" each).
    // The child finds the write end of the report pipe as file descriptor ReportFd.
    ChildProcess(const std::string& executable, const std::vector<std::string>& environment);
    // Ends the child and waits for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&&) = delete;
    ChildProcess& operator=(ChildProcess&&) = delete;

    static constexpr int ReportFd = 3;

    // When the bench asked for the child to be started.
    [[nodiscard]] Clock::time_point StartTime() const { return startTime_; }
    // The next line of the child's reports, without its newline; none when the child ends or
    // stays silent past the deadline.
    std::optional<std::string> ReadLine(Clock::time_point deadline);
    // Every file the child has mapped: its executable, libraries, plugins, fonts and caches.
    [[nodiscard]] std::set<std::string> MappedFiles() const;

private:
    pid_t pid_ = 0;
    int reports_ = -1;
    std::string buffered_;
    Clock::time_point startTime_;
};

// Drops the files' pages from the page cache, as far as no running process maps them.
void EvictFromPageCache(const std::set<std::string>& files);
