// The floor for the Windows program: bare Win32 windows that show its pictures, decoded the same
// way (OLE, from the JPEG bytes the program embeds), and nothing else. The main window is a
// borderless 400 x 499 window with the main picture; a click on it opens "Form2", a borderless
// 250 x 151 window with the result picture, or, when that is open, brings it in front and repaints
// it, as the program does, inverted every other time so that the screen shows the repaint as it
// shows the program's new digits; a click on Form2 closes it. The windows carry the program's titles, so
// that the bench finds both programs' windows alike. The main window closes on WM_CLOSE.
#include <windows.h>
// Those that need windows.h before them.
#include <ole2.h>
#include <olectl.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "windows/pictures/main_picture.h"
#include "windows/pictures/result_picture.h"

namespace {

constexpr const wchar_t* WindowType = L"Tablinor - Verdusk floor";
HWND form2 = nullptr;
bool inverted = false;  // how Form2 shows its picture

HBITMAP DecodePicture(std::span<const std::uint8_t> persisted) {
    constexpr std::size_t Header = 8;  // "lt", two zero bytes, the length
    const auto image = persisted.subspan(Header);
    IStream* stream = SHCreateMemStream(image.data(), UINT(image.size()));
    IPicture* decoded = nullptr;
    OleLoadPicture(stream, LONG(image.size()), FALSE, IID_IPicture, reinterpret_cast<void**>(&decoded));
    OLE_HANDLE handle = 0;
    decoded->get_Handle(&handle);
    auto* bitmap = static_cast<HBITMAP>(
        CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    decoded->Release();
    stream->Release();
    return bitmap;
}

// A borderless window of the picture's size, centred on the work area. Like the program, each
// window decodes its picture when it is made.
HWND ShowPicture(const wchar_t* title, std::span<const std::uint8_t> persisted) {
    HBITMAP picture = DecodePicture(persisted);
    BITMAP size{};
    GetObjectW(picture, sizeof size, &size);
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND window =
        CreateWindowExW(0, WindowType, title, WS_POPUP, area.left + (area.right - area.left - size.bmWidth) / 2,
                        area.top + (area.bottom - area.top - size.bmHeight) / 2, size.bmWidth, size.bmHeight, nullptr,
                        nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(picture));
    ShowWindow(window, SW_SHOW);
    return window;
}

void Paint(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    auto* picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(window, GWLP_USERDATA));
    BITMAP size{};
    GetObjectW(picture, sizeof size, &size);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(source, picture);
    BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, window == form2 && inverted ? NOTSRCCOPY : SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    EndPaint(window, &paint);
}

void Click(HWND window) {
    if (window == form2) {
        DestroyWindow(form2);
    } else if (form2 != nullptr) {
        SetForegroundWindow(form2);
        inverted = !inverted;
        InvalidateRect(form2, nullptr, FALSE);
    } else {
        inverted = false;
        form2 = ShowPicture(L"Form2", tablinor::pictures::ResultPicture);
    }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_LBUTTONUP:
            Click(window);
            return 0;
        case WM_DESTROY:
            DeleteObject(reinterpret_cast<HBITMAP>(GetWindowLongPtrW(window, GWLP_USERDATA)));
            if (window == form2) {
                form2 = nullptr;
            } else {
                PostQuitMessage(0);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = Procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = WindowType;
    RegisterClassExW(&type);
    ShowPicture(L"Tablinor - Verdusk", tablinor::pictures::MainPicture);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoUninitialize();
    return 0;
}
