// Times programs from launch to the first paint of their picture, side by side in one run:
//   win32_first_paint RUNS PROGRAM...
// Every program shows the main picture centred on the work area. A run starts each program in
// turn, as a double-click would, and watches the screen 150 pixels below the work area's middle,
// on the drawn head, until it shows the picture's colour there; then it closes the window and
// waits for the program to end and the screen to clear. Prints, for each program, the median,
// fastest and slowest time in milliseconds, then each median over the last program's.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <span>
#include <string>
#include <vector>

namespace {

struct Screen {
    POINT sample;
    COLORREF background;
    COLORREF picture;  // what the picture shows at `sample`, learnt from a first start
};

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

COLORREF PixelAt(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF pixel = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return pixel;
}

// JPEG decoders may differ by a step or two per channel.
bool Near(COLORREF a, COLORREF b) {
    constexpr int Tolerance = 8;
    return std::abs(GetRValue(a) - GetRValue(b)) <= Tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= Tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= Tolerance;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

PROCESS_INFORMATION Launch(const std::wstring& program) {
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == FALSE) {
        std::wcerr << L"cannot start " << program << L'\n';
        std::exit(1);
    }
    return process;
}

// Waits, polling every millisecond, until `done` holds; false after ten seconds.
template <class Condition>
bool WaitFor(Condition done) {
    for (int tries = 0; tries < 10000; ++tries) {
        if (done()) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

void CloseAndWait(const Screen& screen, const PROCESS_INFORMATION& process) {
    PostMessageW(GetAncestor(WindowFromPoint(screen.sample), GA_ROOT), WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    WaitFor([&] { return PixelAt(screen.sample) == screen.background; });
}

// Milliseconds from launch until the picture shows.
double TimeToFirstPaint(const Screen& screen, const std::wstring& program) {
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    const PROCESS_INFORMATION process = Launch(program);
    if (!WaitFor([&] { return Near(PixelAt(screen.sample), screen.picture); })) {
        std::wcerr << program << L" never showed its picture\n";
        std::exit(1);
    }
    LARGE_INTEGER painted{};
    QueryPerformanceCounter(&painted);
    CloseAndWait(screen, process);
    return Milliseconds(start, painted);
}

// Starts a program once, untimed, and learns from it what the picture shows at the sample point.
Screen LearnScreen(const std::wstring& program) {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    Screen screen{{(area.left + area.right) / 2, (area.top + area.bottom) / 2 + 150}, 0, 0};
    screen.background = PixelAt(screen.sample);
    const PROCESS_INFORMATION process = Launch(program);
    WaitFor([&] { return PixelAt(screen.sample) != screen.background; });
    Sleep(1000);
    screen.picture = PixelAt(screen.sample);
    CloseAndWait(screen, process);
    return screen;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::span<wchar_t*> arguments(argv, std::size_t(argc));
    if (arguments.size() < 3) {
        std::wcerr << L"usage: win32_first_paint RUNS PROGRAM...\n";
        return 1;
    }
    const int runs = _wtoi(arguments[1]);
    const std::vector<std::wstring> programs(arguments.begin() + 2, arguments.end());
    const Screen screen = LearnScreen(programs.front());
    for (const std::wstring& program : programs) {
        TimeToFirstPaint(screen, program);  // once untimed, so that every program starts warm
    }
    std::vector<std::vector<double>> times(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < programs.size(); ++i) {
            times[i].push_back(TimeToFirstPaint(screen, programs[i]));
        }
    }
    std::vector<double> medians;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::sort(times[i].begin(), times[i].end());
        medians.push_back(times[i][times[i].size() / 2]);
        std::wcout << FileName(programs[i]) << L": median " << std::lround(medians.back()) << L" ms (fastest "
                   << std::lround(times[i].front()) << L", slowest " << std::lround(times[i].back()) << L") over "
                   << runs << L" runs\n";
    }
    for (std::size_t i = 0; i + 1 < programs.size(); ++i) {
        std::wcout << FileName(programs[i]) << L" / " << FileName(programs.back()) << L": " << std::fixed
                   << std::setprecision(2) << medians[i] / medians.back() << L'\n';
    }
    return 0;
}
