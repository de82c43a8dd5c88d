// Starts the program and the floor as whole processes, alternately, and prints their figures side
// by side as rows of a Markdown table: launch to the first frame (cold and warm), the result
// window's conversions and Ok, and resident memory. The launches are also set against the floor
// with the main window's texts, to tell what Qt's text costs from what the program adds to it.
// bench/README.md tells how each is measured.
//
//   tablinor-process-bench --program=PATH --floor=PATH --probe=PATH [--launches=N] [--runs=N] [--cycles=N]
//
// The platform is the one QT_QPA_PLATFORM names: on xcb the launches are watched from outside,
// through the X server; on offscreen the frame probe reports them from inside.
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "bench/child_process.h"
#include "bench/statistics.h"
#include "bench/table.h"
#include "bench/x_frame_watch.h"
#include "windows/pictures/main_picture.h"

namespace {

struct Options {
    std::string program;
    std::string floor;
    std::string probe;
    int launches = 20;  // cold and warm, for each side
    int runs = 3;       // processes going through the conversions, for each side
    int cycles = 500;   // two conversions and Ok each, so 1,000 conversions a run
};

Options ParseOptions(std::span<char*> arguments) {
    Options options;
    for (const std::string_view argument : arguments.subspan(1)) {
        const auto equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const std::string value(argument.substr(equals == std::string_view::npos ? argument.size() : equals + 1));
        if (name == "--program") {
            options.program = value;
        } else if (name == "--floor") {
            options.floor = value;
        } else if (name == "--probe") {
            options.probe = value;
        } else if (name == "--launches") {
            options.launches = std::stoi(value);
        } else if (name == "--runs") {
            options.runs = std::stoi(value);
        } else if (name == "--cycles") {
            options.cycles = std::stoi(value);
        } else {
            throw std::invalid_argument("unknown option " + std::string(argument));
        }
    }
    if (options.program.empty() || options.floor.empty() || options.probe.empty()) {
        throw std::invalid_argument("--program, --floor and --probe are needed");
    }
    return options;
}

// The program or a floor, with everything measured of it.
struct Contender {
    std::string executable;
    std::vector<std::string> environment;                            // added to the bench's own
    std::set<std::string> files;                                     // what a cold launch finds evicted
    std::vector<double> coldLaunch, warmLaunch, create, update, ok;  // milliseconds
    std::vector<double> startMemory, convertedMemory;                // megabytes
};

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Megabytes(const std::string& kilobytes) { return std::stod(kilobytes) / 1024; }

Clock::time_point FromNanoseconds(const std::string& nanoseconds) {
    return Clock::time_point(std::chrono::nanoseconds(std::stoll(nanoseconds)));
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// Pixels of the main picture outside the controls, neither black nor alike, so that neither an
// empty window nor a window filled with one colour passes for the first frame.
std::vector<ExpectedPixel> MainPicturePixels() {
    constexpr std::size_t HeaderSize = 8;  // of a persisted picture
    const auto image = std::span(tablinor::pictures::MainPicture).subspan(HeaderSize);
    const QImage picture = QImage::fromData(image.data(), int(image.size()));
    if (picture.isNull()) {
        throw std::runtime_error("the main picture does not decode");
    }
    std::vector<ExpectedPixel> pixels;
    for (const auto& [x, y] : {std::pair{20, 200}, {100, 30}, {200, 420}, {60, 460}}) {
        pixels.push_back({x, y, picture.pixel(x, y) & 0xFFFFFFU});
    }
    return pixels;
}

class Bench {
public:
    explicit Bench(const Options& options) : options_(options) {
        program_.executable = options.program;
        floor_.executable = options.floor;
        textFloor_.executable = options.floor;
        textFloor_.environment = {"FLOOR_WITH_TEXT=1"};
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("xcb")) {
            watch_.emplace(MainPicturePixels());
        }
    }

    void MeasureLaunches() {
        const std::array sides{&program_, &floor_, &textFloor_};
        for (Contender* side : sides) {
            Launch(*side);  // fills the page cache and learns which files a cold launch must miss
        }
        for (int i = 0; i < options_.launches; ++i) {
            for (Contender* side : InTurn(sides, i)) {
                EvictFromPageCache(side->files);
                side->coldLaunch.push_back(Launch(*side));
                side->warmLaunch.push_back(Launch(*side));
            }
        }
    }

    void MeasureConversions() {
        for (int i = 0; i < options_.runs; ++i) {
            for (Contender* side : InTurn(std::array{&program_, &floor_, &textFloor_}, i)) {
                Converse(*side, side == &textFloor_ ? 0 : options_.cycles);  // the floor with text converts nothing
            }
        }
    }

    void PrintRows() const {
        const std::string platform = watch_ ? "Xvfb" : "offscreen";
        const auto row = [&](const std::string& figure, const std::string& unit,
                             const std::vector<double> Contender::*samples, const Contender& against,
                             const Target& target = {}) {
            PrintRow(figure, platform, unit, program_.*samples, against.*samples, target);
        };
        if (!program_.coldLaunch.empty()) {
            row("Launch to first frame, cold", "ms", &Contender::coldLaunch, floor_, WithinTenPercent());
            row("Launch to first frame, warm", "ms", &Contender::warmLaunch, floor_, WithinTenPercent());
            row("Launch to first frame, cold, against the floor with text", "ms", &Contender::coldLaunch, textFloor_);
            row("Launch to first frame, warm, against the floor with text", "ms", &Contender::warmLaunch, textFloor_);
        }
        if (!program_.create.empty()) {
            row("Click to result window created and painted", "ms", &Contender::create, floor_, Under(16));
            row("Click to open result window painted", "ms", &Contender::update, floor_, Under(4));
            row("Ok to result window gone", "ms", &Contender::ok, floor_);
            row("Resident memory after start", "MB", &Contender::startMemory, floor_, WithinMemoryBudget());
            row("Resident memory after " + std::to_string(2 * options_.cycles) + " conversions", "MB",
                &Contender::convertedMemory, floor_, WithinMemoryBudget());
            row("Resident memory after start, against the floor with text", "MB", &Contender::startMemory, textFloor_);
        }
    }

private:
    // Each round starts with another side, so that drift falls on all alike.
    template <std::size_t N>
    static std::array<Contender*, N> InTurn(std::array<Contender*, N> sides, int round) {
        std::rotate(sides.begin(), sides.begin() + round % int(N), sides.end());
        return sides;
    }

    [[nodiscard]] std::vector<std::string> ProbeEnvironment(const Contender& side, int cycles) const {
        std::vector<std::string> environment{"LD_PRELOAD=" + options_.probe,
                                             "BENCH_REPORT_FD=" + std::to_string(ChildProcess::ReportFd),
                                             "BENCH_CYCLES=" + std::to_string(cycles)};
        environment.insert(environment.end(), side.environment.begin(), side.environment.end());
        return environment;
    }

    // Milliseconds from asking for the process to its first frame.
    double Launch(Contender& side) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        std::optional<Clock::time_point> frame;
        if (watch_) {
            watch_->Arm();
            const ChildProcess child(side.executable, side.environment);
            frame = watch_->WaitForFrame(deadline);
            side.files.merge(child.MappedFiles());
            return Elapsed(side, child, frame);
        }
        ChildProcess child(side.executable, ProbeEnvironment(side, 0));
        if (const auto line = child.ReadLine(deadline)) {
            frame = FromNanoseconds(Words(*line).at(1));
        }
        side.files.merge(child.MappedFiles());
        return Elapsed(side, child, frame);
    }

    static double Elapsed(const Contender& side, const ChildProcess& child, std::optional<Clock::time_point> frame) {
        if (!frame) {
            throw std::runtime_error(side.executable + " showed no frame within 20 s");
        }
        return Milliseconds(*frame - child.StartTime());
    }

    void Converse(Contender& side, int cycles) const {
        ChildProcess child(side.executable, ProbeEnvironment(side, cycles));
        const auto deadline = Clock::now() + std::chrono::seconds(20 + cycles / 5);
        while (const auto line = child.ReadLine(deadline)) {
            const auto words = Words(*line);
            const std::string& what = words.at(0);
            if (what == "started") {
                side.startMemory.push_back(Megabytes(words.at(2)));
            } else if (what == "finished") {
                side.convertedMemory.push_back(Megabytes(words.at(1)));
                return;
            } else {
                auto& samples = what == "create" ? side.create : what == "update" ? side.update : side.ok;
                samples.push_back(Milliseconds(std::chrono::nanoseconds(std::stoll(words.at(1)))));
            }
        }
        throw std::runtime_error(side.executable + " did not finish its conversions in time");
    }

    Options options_;
    Contender program_;
    Contender floor_;
    Contender textFloor_;  // the floor with the main window's texts
    std::optional<XFrameWatch> watch_;
};

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = ParseOptions(std::span(argv, std::size_t(argc)));
        Bench bench(options);
        if (options.launches > 0) {
            bench.MeasureLaunches();
        }
        if (options.runs > 0) {
            bench.MeasureConversions();
        }
        bench.PrintRows();
        return EXIT_SUCCESS;
    } catch (const std::exception& error) {
        std::cerr << "tablinor-process-bench: " << error.what() << '\n';
        return EXIT_FAILURE;
    }
}
