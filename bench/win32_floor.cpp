// The floor for the program's start: a bare Win32 window that shows the main picture, decoded the
// same way (OLE, from the JPEG bytes the program embeds), and nothing else. It closes on WM_CLOSE.
#include <windows.h>
// Those that need windows.h before them.
#include <ole2.h>
#include <olectl.h>
#include <shlwapi.h>

#include <cstddef>
#include <span>

#include "windows/pictures/main_picture.h"

namespace {

constexpr int Width = 400;
constexpr int Height = 499;
HBITMAP picture = nullptr;

HBITMAP DecodePicture() {
    constexpr std::size_t Header = 8;  // "lt", two zero bytes, the length
    const auto image = std::span(tablinor::pictures::MainPicture).subspan(Header);
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

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ previous = SelectObject(source, picture);
            BitBlt(dc, 0, 0, Width, Height, source, 0, 0, SRCCOPY);
            SelectObject(source, previous);
            DeleteDC(source);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    picture = DecodePicture();
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = Procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = L"Tablinor - Verdusk floor";
    RegisterClassExW(&type);
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND window = CreateWindowExW(
        0, type.lpszClassName, type.lpszClassName, WS_POPUP, area.left + (area.right - area.left - Width) / 2,
        area.top + (area.bottom - area.top - Height) / 2, Width, Height, nullptr, nullptr, type.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(picture);
    CoUninitialize();
    return 0;
}
