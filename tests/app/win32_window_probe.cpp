// Reads a window of another program as a screen reader and a test tool see it, or asks it to close
// or to minimize; or copies a text, as any program does, for a test to paste into one.
//   win32_window_probe show TITLE            prints the window, then each control: class, text,
//                                            rectangle
//   win32_window_probe accessible TITLE      prints each control as MSAA tells it: accessible name,
//                                            role, default action, value
//   win32_window_probe do TITLE NAME         does the default action of the control with that name
//                                            (the first in tab order, as the entry comes before its
//                                            caption)
//   win32_window_probe end TITLE NAME        does it where the press ends the program
//   win32_window_probe set TITLE NAME TEXT   puts the text as the value of the control with that name
//   win32_window_probe close TITLE           posts WM_CLOSE, as the desktop's close does
//   win32_window_probe minimize TITLE        posts SC_MINIMIZE, as the desktop's minimize button does
//   win32_window_probe copy TEXT             puts the text on the clipboard as CF_UNICODETEXT
//   win32_window_probe held COUNT            prints a line once it watches the keyboard, and ends
//                                            once a key held down has repeated COUNT times
//   win32_window_probe type TEXT             types the text into the focused window as an on-screen
//                                            keyboard or an input method does, unit by unit
// Exits with 2 when no window has that title, with 3 when the clipboard cannot be had, with 4 when
// no control has that accessible name, with 5 when the control refuses the action or the value and
// with 6 when the keyboard cannot be watched, with 7 when the keys cannot be sent.
#include <windows.h>
// Those that need windows.h before them.
#include <oleacc.h>

#include <cstring>
#include <span>
#include <string>
#include <utility>
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

// The control's object for screen readers, as they find it: what the control answers to
// WM_GETOBJECT, or else the standard one that oleacc makes for its window class.
struct Accessible {
    explicit Accessible(HWND control) {
        AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
    }
    ~Accessible() {
        if (object != nullptr) {
            object->Release();
        }
    }
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;
    Accessible(Accessible&&) = delete;
    Accessible& operator=(Accessible&&) = delete;

    using Property = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);

    // A text property of the object itself; empty when it has none.
    [[nodiscard]] std::wstring Text(Property property) const {
        BSTR text = nullptr;
        if (object == nullptr || FAILED((object->*property)(Self(), &text)) || text == nullptr) {
            return {};
        }
        std::wstring copy(text, SysStringLen(text));
        SysFreeString(text);
        return copy;
    }

    // The role as screen readers say it, in the system's language.
    [[nodiscard]] std::wstring Role() const {
        VARIANT role{};
        if (object == nullptr || FAILED(object->get_accRole(Self(), &role))) {
            return {};
        }
        const DWORD number = RoleNumber(role);
        VariantClear(&role);
        std::wstring text(std::size_t(GetRoleTextW(number, nullptr, 0)) + 1, L'\0');
        text.resize(GetRoleTextW(number, text.data(), UINT(text.size())));
        return text;
    }

    // MSAA hands values over in VARIANTs, tagged unions; these are the only places that read or write one.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-union-access)
    static VARIANT Self() {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        return self;
    }

    static DWORD RoleNumber(const VARIANT& role) { return role.vt == VT_I4 ? DWORD(role.lVal) : 0; }
    // NOLINTEND(cppcoreguidelines-pro-type-union-access)

    IAccessible* object = nullptr;
};

// A line per control: its accessible name, role, default action and value.
void ShowAccessible(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const Accessible control(child);
        Print(control.Text(&IAccessible::get_accName) + L"\t" + control.Role() + L"\t" +
              control.Text(&IAccessible::get_accDefaultAction) + L"\t" + control.Text(&IAccessible::get_accValue));
    }
}

// The first control of the window with that accessible name.
HWND ControlNamed(HWND window, const std::wstring& name) {
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (Accessible(child).Text(&IAccessible::get_accName) == name) {
            return child;
        }
    }
    return nullptr;
}

// Does the control's default action, or puts its value when a text is given.
int Act(HWND window, const std::vector<std::wstring>& arguments) {
    HWND control = ControlNamed(window, arguments[3]);
    if (control == nullptr) {
        return 4;
    }
    const Accessible accessible(control);
    if (accessible.object == nullptr) {
        return 5;
    }
    HRESULT result = S_OK;
    if (arguments.size() > 4) {
        BSTR value = SysAllocStringLen(arguments[4].data(), UINT(arguments[4].size()));
        result = accessible.object->put_accValue(Accessible::Self(), value);
        SysFreeString(value);
    } else {
        result = accessible.object->accDoDefaultAction(Accessible::Self());
    }
    const int status = result == S_OK ? 0 : 5;
    if (arguments[1] == L"end") {
        // The press ends the program, and wine's RPC thread there can crash on a release that
        // arrives as the program exits: the probe sends none, its references ending with it.
        TerminateProcess(GetCurrentProcess(), UINT(status));
    }
    return status;
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

// The repeats still to come of the key held down, and which key is down (0 when none).
int repeatsLeft = 0;
DWORD keyDown = 0;

// The keyboard repeats a held key as more presses with no release between them.
LRESULT CALLBACK CountRepeats(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        if (message == WM_KEYUP || message == WM_SYSKEYUP) {
            keyDown = 0;
        } else if (std::exchange(keyDown, key.vkCode) == key.vkCode && --repeatsLeft == 0) {
            PostQuitMessage(0);
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// Watches every key the keyboard delivers, to whichever program, until a held key has repeated.
int WatchHeldKey(int repeats) {
    repeatsLeft = repeats;
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, CountRepeats, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        return 6;
    }
    Print(L"watching");
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    return 0;
}

// Each UTF-16 unit as a key of its own (VK_PACKET), so that a character no key has is typed
// without remapping a key, which X would have to pass on to wine before the key comes.
int Type(const std::wstring& text) {
    std::vector<INPUT> keys;
    for (const wchar_t unit : text) {
        for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            const KEYBDINPUT key{
                .wVk = 0, .wScan = WORD(unit), .dwFlags = KEYEVENTF_UNICODE | up, .time = 0, .dwExtraInfo = 0};
            keys.push_back({.type = INPUT_KEYBOARD, .ki = key});
        }
    }
    return SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT)) == keys.size() ? 0 : 7;
}

// How many arguments the command takes, the program's name and the command's included.
std::size_t ArgumentCount(const std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2) {
        return 0;
    }
    if (arguments[1] == L"do" || arguments[1] == L"end") {
        return 4;
    }
    return arguments[1] == L"set" ? 5 : 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::span<wchar_t*> given(argv, std::size_t(argc));
    const std::vector<std::wstring> arguments(given.begin(), given.end());
    if (arguments.size() != ArgumentCount(arguments)) {
        Print(
            L"usage: win32_window_probe show|accessible|close|minimize TITLE, do|end TITLE NAME, set TITLE NAME TEXT, "
            L"copy TEXT, held COUNT, type TEXT");
        return 1;
    }
    if (arguments[1] == L"copy") {
        return Copy(arguments[2]) ? 0 : 3;
    }
    if (arguments[1] == L"held") {
        return WatchHeldKey(std::stoi(arguments[2]));
    }
    if (arguments[1] == L"type") {
        return Type(arguments[2]);
    }
    HWND window = FindWindowW(nullptr, arguments[2].c_str());
    if (window == nullptr || IsWindowVisible(window) == FALSE) {
        return 2;
    }
    if (arguments[1] == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (arguments[1] == L"minimize") {
        PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
    }
    if (arguments[1] == L"show") {
        Show(window);
        return 0;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    if (arguments[1] == L"accessible") {
        ShowAccessible(window);
    } else {
        status = Act(window, arguments);
    }
    CoUninitialize();
    return status;
}
