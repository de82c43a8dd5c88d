// Times the Windows program against the floor (win32_floor.cpp) under wine, alternately, and prints
// the figures as rows of the Markdown table that scripts/bench writes:
//   win32_bench LAUNCHES RUNS CYCLES PROGRAM FLOOR
// Each side is launched LAUNCHES times, as a double-click would, and timed to the first paint of
// its picture. Then RUNS processes of each side go through CYCLES times two conversions and Ok,
// driven with SendInput as a person would: type 8294015 into the entry, click the head (created);
// double-click the entry and type 1357926 over it, every digit another, and click the head again
// (open); click Ok (gone). The floor has no entry, so it gets the clicks on the head and Ok only.
// Resident memory is the working set after the first paint and after the conversions.
// bench/README.md tells more.
#include <windows.h>
// Those that need windows.h before them.
#include <psapi.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bench/table.h"
#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

constexpr std::wstring_view FirstNumber = L"8294015";
constexpr std::wstring_view SecondNumber = L"1357926";
constexpr DWORD Timeout = 10000;  // milliseconds

using Clock = std::chrono::steady_clock;  // QueryPerformanceCounter
using Image = std::vector<std::uint32_t>;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] void Fail(const std::string& what) {
    std::cerr << "win32_bench: " << what << '\n';
    std::exit(EXIT_FAILURE);
}

// Waits, polling every millisecond, until `done` holds; fails after ten seconds.
template <class Condition>
void WaitFor(const char* what, Condition done) {
    for (DWORD tries = 0; tries < Timeout; ++tries) {
        if (done()) {
            return;
        }
        Sleep(1);
    }
    Fail(std::string("timed out waiting for ") + what);
}

COLORREF PixelAt(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF pixel = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return pixel;
}

// What the screen shows of a window.
Image Capture(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(copy, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const std::span pixels(static_cast<const std::uint32_t*>(bits), std::size_t(width) * std::size_t(height));
    Image image(pixels.begin(), pixels.end());
    SelectObject(copy, previous);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return image;
}

POINT InWindow(HWND window, POINT offset) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.left + offset.x, rect.top + offset.y};
}

POINT Centre(const forms::TwipRect& rect) {
    return {forms::ToPixels(rect.left + rect.width / 2), forms::ToPixels(rect.top + rect.height / 2)};
}

void Send(std::span<INPUT> inputs) {
    if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
        Fail("SendInput refused the input");
    }
}

// Each press and release carries the point: wine may still move the cursor where the X pointer
// was, on a motion that X reported before.
void Click(POINT at, int times = 1) {
    // The smallest absolute coordinates, in 65,536ths of the screen, that land on that pixel.
    const auto absolute = [](LONG pixel, int screen) { return LONG(((pixel << 16) + screen - 1) / screen); };
    const LONG x = absolute(at.x, GetSystemMetrics(SM_CXSCREEN));
    const LONG y = absolute(at.y, GetSystemMetrics(SM_CYSCREEN));
    std::vector<INPUT> inputs;
    for (int i = 0; i < times; ++i) {
        for (const int button : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
            const auto flags = DWORD(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button);
            inputs.push_back({INPUT_MOUSE, {.mi = MOUSEINPUT{x, y, 0, flags, 0, 0}}});
        }
    }
    Send(inputs);
}

INPUT Key(wchar_t character, DWORD flags) {
    return {INPUT_KEYBOARD, {.ki = KEYBDINPUT{0, character, KEYEVENTF_UNICODE | flags, 0, 0}}};
}

std::wstring TextOf(HWND control) {
    std::array<wchar_t, 32> text{};
    SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

HWND ShownResult() {
    HWND window = FindWindowW(nullptr, L"Form2");
    return window != nullptr && IsWindowVisible(window) != FALSE ? window : nullptr;
}

bool HasFocus(HWND control) {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    return GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &thread) != FALSE &&
           thread.hwndFocus == control && GetForegroundWindow() == GetAncestor(control, GA_ROOT);
}

// Double-clicks the entry, which selects its number, and once it has the keyboard focus types the
// new number key by key; then waits until the entry shows it, so that no typing is left for the
// timed click. The floor has no entry.
void Type(HWND main, std::wstring_view number) {
    HWND entry = FindWindowExW(main, nullptr, L"Edit", nullptr);
    if (entry == nullptr) {
        return;
    }
    Click(InWindow(main, Centre(tablinor::form1::Text1.rect)), 2);
    WaitFor("the entry's focus", [&] { return HasFocus(entry); });
    std::vector<INPUT> keys;
    for (const wchar_t digit : number) {
        keys.push_back(Key(digit, 0));
        keys.push_back(Key(digit, KEYEVENTF_KEYUP));
    }
    Send(keys);
    WaitFor("the typed number", [&] { return TextOf(entry) == number; });
}

// Painted is seen from outside, in three steps. WaitForInputIdle: the program's thread has dealt
// with the click and waits for messages with none left, paint messages included (wine lets a timer
// message count as idle too, and may answer before the click has arrived, hence the other steps).
// A message round trip with the window: wine flushes a thread's painted windows to the X server
// before it waits, so that has been done. And the screen shows what the window shows once settled,
// learnt in an untimed cycle: the program's new digits, or the floor's picture, inverted on every
// other repaint, are seen there; that last step is the one that ends the wait.
bool ResultPainted(HANDLE process, const Image& settled) {
    WaitForInputIdle(process, Timeout);
    HWND window = ShownResult();
    DWORD_PTR ignored = 0;
    return window != nullptr && SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, Timeout, &ignored) != 0 &&
           Capture(window) == settled;
}

double WorkingSetMegabytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return double(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

// The program or the floor, with everything measured of it.
struct Contender {
    std::wstring executable;
    std::vector<double> launch, create, update, ok;  // milliseconds
    std::vector<double> startMemory, convertedMemory;
};

class Bench {
public:
    Bench(std::wstring program, std::wstring floor) : sample_(Sample()), background_(PixelAt(sample_)) {
        program_.executable = std::move(program);
        floor_.executable = std::move(floor);
    }

    void MeasureLaunches(int launches) {
        for (Contender* side : {&program_, &floor_}) {
            Close(Launch(*side));  // once untimed, so that every launch finds the files cached
        }
        for (int i = 0; i < launches; ++i) {
            for (Contender* side : Alternately(i)) {
                const Clock::time_point start = Clock::now();
                const PROCESS_INFORMATION process = Launch(*side);
                side->launch.push_back(MillisecondsSince(start));
                Close(process);
            }
        }
    }

    void MeasureConversions(int runs, int cycles) {
        for (int i = 0; i < runs; ++i) {
            for (Contender* side : Alternately(i)) {
                Converse(*side, cycles);
            }
        }
    }

    void PrintRows(int cycles) const {
        const std::string platform = "Wine";
        const auto row = [&](const std::string& figure, const std::string& unit,
                             const std::vector<double> Contender::*samples, const Target& target = {}) {
            PrintRow(figure, platform, unit, program_.*samples, floor_.*samples, target);
        };
        row("Launch to first frame, warm", "ms", &Contender::launch, WithinTenPercent());
        row("Click to result window created and painted", "ms", &Contender::create, Under(16));
        row("Click to open result window painted", "ms", &Contender::update, Under(4));
        row("Ok to result window gone", "ms", &Contender::ok);
        row("Resident memory after start", "MB", &Contender::startMemory, WithinMemoryBudget());
        row("Resident memory after " + std::to_string(2 * cycles) + " conversions", "MB", &Contender::convertedMemory,
            WithinMemoryBudget());
        const DWORD program = FileSize(program_.executable);
        const DWORD floor = FileSize(floor_.executable);
        std::cout << "| Executable size | Windows | " << program << " bytes | " << floor << " bytes | "
                  << double(program) / double(floor) << " | – | – |\n";
    }

private:
    // Program first in even rounds, floor first in odd ones, so that drift falls on both alike.
    std::array<Contender*, 2> Alternately(int round) {
        return round % 2 == 0 ? std::array{&program_, &floor_} : std::array{&floor_, &program_};
    }

    static DWORD FileSize(const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return data.nFileSizeLow;
    }

    // 150 pixels below the work area's middle, on the drawn head, where both sides show the picture.
    static POINT Sample() {
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        return {(area.left + area.right) / 2, (area.top + area.bottom) / 2 + 150};
    }

    // Starts a side and waits until its picture shows at the sample point: any colour but the bare
    // screen's.
    [[nodiscard]] PROCESS_INFORMATION Launch(const Contender& side) const {
        std::wstring command = L"\"" + side.executable + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(side.executable.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process) == FALSE) {
            Fail("cannot start the program or the floor: error " + std::to_string(GetLastError()));
        }
        WaitFor("the first paint", [&] { return PixelAt(sample_) != background_; });
        return process;
    }

    [[nodiscard]] HWND MainWindow() const { return GetAncestor(WindowFromPoint(sample_), GA_ROOT); }

    // Closes the main window and waits for the process to end and the screen to clear.
    void Close(const PROCESS_INFORMATION& process) const {
        PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
        WaitForSingleObject(process.hProcess, Timeout);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        WaitFor("the screen to clear", [&] { return PixelAt(sample_) == background_; });
    }

    // A cycle untimed first, to learn what the result window shows settled with each number, then
    // the timed ones.
    void Converse(Contender& side, int cycles) const {
        const PROCESS_INFORMATION process = Launch(side);
        side.startMemory.push_back(WorkingSetMegabytes(process.hProcess));
        HWND main = MainWindow();
        // Low on the head, below the result window, which opens over its middle.
        const forms::TwipRect& headRect = tablinor::form1::Label2.rect;
        const POINT head = InWindow(main, {forms::ToPixels(headRect.left + headRect.width / 2),
                                           forms::ToPixels(headRect.top + 3 * headRect.height / 4)});
        const auto settle = [&] {
            WaitFor("the result window", [] { return ShownResult() != nullptr; });
            Sleep(500);
            return Capture(ShownResult());
        };
        Type(main, FirstNumber);
        Click(head);
        const Image first = settle();
        Type(main, SecondNumber);
        Click(head);
        const Image second = settle();
        HWND result = ShownResult();
        Click(InWindow(result, Centre(tablinor::form2::Command1.rect)));
        WaitFor("the result window to go", [&] { return IsWindow(result) == FALSE; });
        for (int cycle = 0; cycle < cycles; ++cycle) {
            Type(main, FirstNumber);
            side.create.push_back(TimeClick(head, [&] { return ResultPainted(process.hProcess, first); }));
            Type(main, SecondNumber);
            side.update.push_back(TimeClick(head, [&] { return ResultPainted(process.hProcess, second); }));
            result = ShownResult();
            side.ok.push_back(TimeClick(InWindow(result, Centre(tablinor::form2::Command1.rect)),
                                        [&] { return IsWindow(result) == FALSE; }));
        }
        side.convertedMemory.push_back(WorkingSetMegabytes(process.hProcess));
        Close(process);
    }

    template <class Condition>
    static double TimeClick(POINT at, Condition done) {
        const Clock::time_point start = Clock::now();
        Click(at);
        WaitFor("the clicked window", done);
        return MillisecondsSince(start);
    }

    Contender program_;
    Contender floor_;
    POINT sample_;
    COLORREF background_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::span<wchar_t*> arguments(argv, std::size_t(argc));
    if (arguments.size() != 6) {
        std::cerr << "usage: win32_bench LAUNCHES RUNS CYCLES PROGRAM FLOOR\n";
        return EXIT_FAILURE;
    }
    const int launches = _wtoi(arguments[1]);
    const int runs = _wtoi(arguments[2]);
    const int cycles = _wtoi(arguments[3]);
    Bench bench(arguments[4], arguments[5]);
    bench.MeasureLaunches(launches);
    bench.MeasureConversions(runs, cycles);
    bench.PrintRows(cycles);
    return EXIT_SUCCESS;
}
