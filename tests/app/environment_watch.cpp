// Preloaded into the program by its tests (LD_PRELOAD), never linked into it. glibc's setenv may
// move the environment to a larger array and free the old one while another thread's getenv walks
// it; this library watches for every write that could do that, and can make the race happen.
//
//   ENVIRONMENT_WATCH_LOG=FILE  every setenv, putenv, unsetenv and clearenv is appended to FILE as
//                               one line: the call, the variable and the threads the process had
//                               then, "setenv DBUS_SESSION_BUS_ADDRESS threads=1"
//   ENVIRONMENT_WATCH_STRESS=1  getenv on a thread other than the main one walks the environment
//                               slowly and stops after its first entry, the part of a freed array
//                               that the allocator overwrites; a write on the main thread while
//                               other threads exist waits, a little, until such a walk stops there,
//                               and the walk goes on only once the write is done
//
// A crash writes its signal and backtrace to standard error before the process dies of it.
#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace std::chrono_literals;

// How long a walk lingers after its first entry, and the most that a write and a walk wait for
// each other: long enough to meet fontconfig's few hundred lookups, short enough for 200 starts.
constexpr auto SlowWalk = 20us;
constexpr auto MeetingWait = 30ms;

template <class Function>
Function* Real(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

bool OnMainThread() { return gettid() == getpid(); }

int Threads() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:")) {
            return std::stoi(line.substr(line.find_first_of("0123456789")));
        }
    }
    return 0;
}

struct Settings {
    int log = -1;
    bool stress = false;
};

const Settings& Watch() {
    static const Settings settings = [] {
        auto* const getenv = Real<char*(const char*)>("getenv");
        Settings read;
        if (const char* log = getenv("ENVIRONMENT_WATCH_LOG"); log != nullptr) {
            if (std::FILE* file = std::fopen(log, "ae"); file != nullptr) {  // appended to, closed on exec
                read.log = fileno(file);
            }
        }
        const char* stress = getenv("ENVIRONMENT_WATCH_STRESS");
        read.stress = stress != nullptr && std::string_view(stress) == "1";
        return read;
    }();
    return settings;
}

// The meeting of a write on the main thread and a walk on another.
std::atomic<int> waitingWrites{0};
std::atomic<int> stoppedWalks{0};
std::atomic<int> finishedWrites{0};

template <class Done>
void WaitUntil(Done done) {
    for (const auto deadline = std::chrono::steady_clock::now() + MeetingWait;
         !done() && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(SlowWalk);
    }
}

void StopAfterFirstEntry() {
    std::this_thread::sleep_for(SlowWalk);
    if (waitingWrites.load() > 0) {
        const int before = finishedWrites.load();
        ++stoppedWalks;
        WaitUntil([before] { return finishedWrites.load() != before; });
        --stoppedWalks;
    }
}

// Records a write, and in a stress run holds it until a walk on another thread is under way.
template <class Write>
auto Written(std::string_view call, std::string_view variable, Write write) {
    const int threads = Threads();
    const Settings& watch = Watch();
    if (watch.log >= 0) {
        const std::string line = std::string(call) + ' ' + std::string(variable.substr(0, variable.find('='))) +
                                 " threads=" + std::to_string(threads) + '\n';
        [[maybe_unused]] const ssize_t written = ::write(watch.log, line.data(), line.size());
    }
    if (!watch.stress || threads <= 1 || !OnMainThread()) {
        return write();
    }
    ++waitingWrites;
    WaitUntil([] { return stoppedWalks.load() > 0; });
    const auto result = write();
    ++finishedWrites;
    --waitingWrites;
    return result;
}

// The environment walked as glibc walks it: each entry read only when its turn comes.
char* SlowGetenv(const char* name) {
    const std::string_view wanted(name);
    char** entries = environ;
    for (std::size_t i = 0; entries != nullptr && entries[i] != nullptr; ++i) {  // NOLINT: a C array
        const std::string_view entry(entries[i]);                                // NOLINT: a C array
        if (entry.size() > wanted.size() && entry.starts_with(wanted) && entry[wanted.size()] == '=') {
            return entries[i] + wanted.size() + 1;  // NOLINT: into the entry, as getenv returns
        }
        if (i == 0) {
            StopAfterFirstEntry();
        }
    }
    return nullptr;
}

// Only what is safe in a signal handler: the heap may be what broke.
void WriteError(std::string_view text) {
    [[maybe_unused]] const auto written = write(STDERR_FILENO, text.data(), text.size());
}

void WriteError(long number) {
    std::array<char, 24> digits{};
    auto* const end = std::to_chars(digits.begin(), digits.end(), number).ptr;
    WriteError(std::string_view(digits.data(), std::size_t(end - digits.data())));
}

void ReportCrash(int signal) {
    constexpr int Frames = 64;
    std::array<void*, Frames> frames{};
    WriteError("environment watch: signal ");
    WriteError(signal);
    WriteError(" on thread ");
    WriteError(gettid());
    WriteError(OnMainThread() ? " (the main one)" : " (not the main one)");
    WriteError(" of process ");
    WriteError(getpid());
    WriteError(", backtrace:\n");
    backtrace_symbols_fd(frames.data(), backtrace(frames.data(), Frames), STDERR_FILENO);
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // the process dies of the signal, with its status
}

[[gnu::constructor]] void ReportCrashes() {
    std::array<void*, 1> warmUp{};
    backtrace(warmUp.data(), 1);  // loads what backtrace needs now, not inside a crash
    struct sigaction action {};
    action.sa_handler = ReportCrash;
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        sigaction(signal, &action, nullptr);
    }
    Watch();
}

}  // namespace

extern "C" {

char* getenv(const char* name) noexcept {
    static auto* const real = Real<char*(const char*)>("getenv");
    return Watch().stress && !OnMainThread() ? SlowGetenv(name) : real(name);
}

int setenv(const char* name, const char* value, int replace) noexcept {
    static auto* const real = Real<int(const char*, const char*, int)>("setenv");
    return Written("setenv", name, [&] { return real(name, value, replace); });
}

int putenv(char* string) noexcept {
    static auto* const real = Real<int(char*)>("putenv");
    return Written("putenv", string, [&] { return real(string); });
}

int unsetenv(const char* name) noexcept {
    static auto* const real = Real<int(const char*)>("unsetenv");
    return Written("unsetenv", name, [&] { return real(name); });
}

int clearenv() noexcept {
    static auto* const real = Real<int()>("clearenv");
    return Written("clearenv", "*", [&] { return real(); });
}
}
