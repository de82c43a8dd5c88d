#include "bench/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcessEnvironment>
#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <system_error>

namespace {

[[noreturn]] void ThrowSystemError(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& environment) {
    std::array<int, 2> pipeEnds{};
    if (pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
        ThrowSystemError("pipe2");
    }
    reports_ = pipeEnds[0];

    std::vector<std::string> variables(environment);
    for (const QString& variable : QProcessEnvironment::systemEnvironment().toStringList()) {
        variables.push_back(variable.toStdString());
    }
    std::vector<char*> envp;
    envp.reserve(variables.size() + 1);
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::string path = executable;
    std::array<char*, 2> argv{path.data(), nullptr};

    // The report pipe becomes ReportFd; the child's own output (the offscreen platform's warnings
    // among it) would only clutter the table.
    posix_spawn_file_actions_t actions{};
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], ReportFd);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    startTime_ = Clock::now();
    const int failed = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(reports_);
        throw std::system_error(failed, std::generic_category(), "cannot start " + executable);
    }
}

ChildProcess::~ChildProcess() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(reports_);
}

std::optional<std::string> ChildProcess::ReadLine(Clock::time_point deadline) {
    for (;;) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{.fd = reports_, .events = POLLIN, .revents = 0};
        if (left.count() <= 0 || poll(&readable, 1, int(left.count())) <= 0) {
            return std::nullopt;
        }
        std::array<char, 4096> chunk{};
        const ssize_t count = read(reports_, chunk.data(), chunk.size());
        if (count <= 0) {
            return std::nullopt;
        }
        buffered_.append(chunk.data(), std::size_t(count));
    }
}

std::set<std::string> ChildProcess::MappedFiles() const {
    std::set<std::string> files;
    std::ifstream maps("/proc/" + std::to_string(pid_) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        if (const auto path = line.find('/'); path != std::string::npos) {
            files.insert(line.substr(path));
        }
    }
    return files;
}

void EvictFromPageCache(const std::set<std::string>& files) {
    for (const std::string& file : files) {
        const std::unique_ptr<FILE, decltype(&std::fclose)> opened(std::fopen(file.c_str(), "re"), &std::fclose);
        if (opened) {
            posix_fadvise(fileno(opened.get()), 0, 0, POSIX_FADV_DONTNEED);
        }
    }
}
