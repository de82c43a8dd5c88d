// Reads a window of another program as a screen reader and a test tool see it, or asks it to close
// or to minimize; or copies a text, as any program does, for a test to paste into one.
//   win32_window_probe show TITLE       prints the window, then each control: class, text, rectangle
//   win32_window_probe close TITLE      posts WM_CLOSE, as the desktop's close does
//   win32_window_probe minimize TITLE   posts SC_MINIMIZE, as the desktop's minimize button does
//   win32_window_probe copy TEXT        puts the text on the clipboard as CF_UNICODETEXT
// Exits with 2 when no window has that title, with 3 when the clipboard cannot be had.
#include <windows.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), utf8.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), DWORD(utf8.size()), &written, nullptr);
}

// Asked of the control itself: GetWindowTextW would give another process's edit control's
// caption, not what it holds.
std::wstring Text(HWND window) {
    std::wstring text(std::size_t(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(std::size_t(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring ClassOf(HWND window) {
    std::wstring name(256, L'\0');
    name.resize(std::size_t(GetClassNameW(window, name.data(), int(name.size()))));
    return name;
}

std::wstring Numbers(std::initializer_list<LONG> numbers) {
    std::wstring text;
    for (const LONG number : numbers) {
        text += (text.empty() ? L"" : L" ") + std::to_wstring(number);
    }
    return text;
}

// "window", its rectangle, whether it is the active window and whether it is minimized, then a
// line per control: its class, its rectangle in the window, whether it has the focus, and its text.
void Show(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
    Print(L"window\t" + Numbers({bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top}) +
          L"\t" + (thread.hwndActive == window ? L"active" : L"-") + L"\t" +
          (IsIconic(window) != FALSE ? L"minimized" : L"-"));
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        Print(ClassOf(child) + L"\t" + Numbers({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}) +
              L"\t" + (thread.hwndFocus == child ? L"focus" : L"-") + L"\t" + Text(child));
    }
}

// Another program may hold the clipboard open for a moment: wine's own, passing it between X and
// Windows, or one pasting.
bool OpenClipboardSoon() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (OpenClipboard(nullptr) != FALSE) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

// The clipboard takes the memory over, so the text stays to be pasted after the probe has ended.
bool Copy(const std::wstring& text) {
    const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr || !OpenClipboardSoon()) {
        GlobalFree(memory);
        return false;
    }
    std::memcpy(GlobalLock(memory), text.c_str(), size);
    GlobalUnlock(memory);
    const bool copied = EmptyClipboard() != FALSE && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!copied) {
        GlobalFree(memory);
    }
    return copied;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::span<wchar_t*> given(argv, std::size_t(argc));
    const std::vector<std::wstring> arguments(given.begin(), given.end());
    if (arguments.size() != 3) {
        Print(L"usage: win32_window_probe show|close|minimize TITLE, or win32_window_probe copy TEXT");
        return 1;
    }
    if (arguments[1] == L"copy") {
        return Copy(arguments[2]) ? 0 : 3;
    }
    HWND window = FindWindowW(nullptr, arguments[2].c_str());
    if (window == nullptr || IsWindowVisible(window) == FALSE) {
        return 2;
    }
    if (arguments[1] == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (arguments[1] == L"minimize") {
        PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else {
        Show(window);
    }
    return 0;
}
