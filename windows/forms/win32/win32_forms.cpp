// The forms layer on Win32: Windows' own controls, Unicode W functions only.
#include <windows.h>
// Those that need windows.h before them.
#include <ole2.h>
#include <oleacc.h>
#include <olectl.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "windows/forms/form_reference.h"
#include "windows/forms/forms.h"
#include "windows/forms/picture.h"
#include "windows/forms/run_state.h"
#include "windows/forms/text_limit.h"

namespace forms {
namespace {

std::string failure;  // the run-time error that ended the run, for a message box if need be
bool withIcon = false;
bool comStarted = false;

constexpr int DesignDpi = 96;
constexpr UINT DestroyDoomed = WM_APP;
constexpr UINT PressControl = WM_APP + 1;  // posted to a control that assistive technology pressed
constexpr WORD ApplicationIconId = 1;      // the icon group of the executable's resource script
constexpr LPARAM KeyWasDown = 1 << 30;     // of a key's message: a held key's repeat

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }

std::wstring ToWide(std::string_view utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), size);
    return wide;
}

std::u16string ToUtf16(std::wstring_view text) { return {text.begin(), text.end()}; }

std::wstring WindowText(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// A failed Windows call is the toolkit's run-time error.
template <class Result>
Result Check(Result result, std::string_view call) {
    if (!result) {
        throw RunTimeError(std::string(call) + " failed with error " + std::to_string(GetLastError()));
    }
    return result;
}

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class Interface>
using ComPtr = std::unique_ptr<Interface, ComReleaser>;

// Windows 10 (from 1607) gives each window the dpi of its monitor; older Windows has one for all.
int DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        return int(getDpiForWindow(window));
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Lengths of the design are pixels at 96 dpi; denser screens scale picture, controls and fonts alike.
int Scale(int pixels, int dpi) { return MulDiv(pixels, dpi, DesignDpi); }

RECT PixelRect(const TwipRect& rect, int dpi) {
    return {Scale(ToPixels(rect.left), dpi), Scale(ToPixels(rect.top), dpi),
            Scale(ToPixels(rect.left + rect.width), dpi), Scale(ToPixels(rect.top + rect.height), dpi)};
}

// Whole pixels at 96 dpi, as the design was laid out, then scaled.
Font CreateDesignFont(const FontDesign& design, int dpi) {
    const int pixels = Scale(FontPixels(design), dpi);
    return Font(Check(
        CreateFontW(-pixels, 0, 0, 0, design.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, ToWide(design.name).c_str()),
        "CreateFontW"));
}

// OLE decodes the JPEG; the window keeps a bitmap of its own.
Bitmap DecodePicture(const WindowDesign& design) {
    const auto image = ReadPicture(design.picture);
    if (!image.damage.empty()) {
        throw RunTimeError(image.damage);
    }
    const ComPtr<IStream> stream(SHCreateMemStream(image.bytes.data(), UINT(image.bytes.size())));
    IPicture* decoded = nullptr;
    if (!stream || FAILED(OleLoadPicture(stream.get(), LONG(image.bytes.size()), FALSE, IID_IPicture,
                                         reinterpret_cast<void**>(&decoded)))) {
        throw RunTimeError("invalid picture: the picture of " + std::string(design.name) + " does not decode");
    }
    const ComPtr<IPicture> picture(decoded);
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle))) {
        throw RunTimeError("invalid picture: the picture of " + std::string(design.name) + " is not a bitmap");
    }
    auto* const bitmap = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle));
    return Bitmap(static_cast<HBITMAP>(Check(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), "CopyImage")));
}

using run::Raise;

// Registers a window class; its name comes back, for use once it is registered.
const wchar_t* RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = Instance();
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = name;
    Check(RegisterClassExW(&type), "RegisterClassExW");
    return name;
}

LRESULT CALLBACK MessageWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == DestroyDoomed) {
        run::DestroyDoomed();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Receives what the program posts to itself; unlike a thread message, a message to a window is
// not lost while a modal loop (a message box, a menu) runs.
HWND MessageWindow() {
    static HWND window = [] {
        const wchar_t* type = RegisterWindowClass(L"Tablinor - Verdusk messages", MessageWindowProcedure);
        return Check(CreateWindowExW(0, type, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr),
                     "CreateWindowExW");
    }();
    return window;
}

// Where a control is made: in which window, with which id, at which dpi.
struct ChildOf {
    HWND parent;
    int id;
    int dpi;
};

class AccessibleControl;

// Whether the window of a control takes a key before the control does (see Window::Impl::TakeKey).
bool WindowTakesKey(HWND window, UINT message, WPARAM key, LPARAM flags);

// What every control shares: its design, its child window, made where the design puts it, and
// the font it is drawn in, which its window owns; and what it tells screen readers.
struct Control {
    Control(const ControlDesign& controlDesign, const ChildOf& at, const wchar_t* type, DWORD style,
            DWORD extendedStyle, std::wstring_view text)
        : design(controlDesign), window(Create(controlDesign, at, type, style, extendedStyle, text)) {}
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Control(Control&&) = delete;
    Control& operator=(Control&&) = delete;

    // A WM_COMMAND notification from the control.
    virtual void Notify(WORD /*code*/) {}

    // For screen readers: the control's role; a push button can be pressed, which does what a
    // click does.
    [[nodiscard]] virtual LONG Role() const = 0;
    [[nodiscard]] bool Pressable() const { return Role() == ROLE_SYSTEM_PUSHBUTTON; }
    virtual void Press() {}

    void SetFont(HFONT next) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(next), FALSE);
        font = next;
    }

    // Where the design puts the control when the window's dpi has changed.
    void Place(int dpi) const {
        const RECT rect = PixelRect(design.rect, dpi);
        SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    const ControlDesign& design;
    HWND window;
    HFONT font = nullptr;
    HWND labelledBy = nullptr;  // the label whose text names the control for screen readers, if any

protected:
    // From here on the control's messages go to Handle first, which hands on what it leaves to the
    // window class's own procedure with CallOriginal.
    void Subclass() {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        original_ = reinterpret_cast<WNDPROC>(
            Check(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)), "SetWindowLongPtrW"));
    }

    virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) { return CallOriginal(message, wParam, lParam); }

    [[nodiscard]] LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) const {
        return CallWindowProcW(original_, window, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto& control = *reinterpret_cast<Control*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_GETOBJECT && static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
            return control.AnswerScreenReader(wParam);
        }
        if (message == PressControl) {
            control.Press();
            return 0;
        }
        if ((message == WM_KEYDOWN || message == WM_CHAR) &&
            WindowTakesKey(GetParent(window), message, wParam, lParam)) {
            return 0;
        }
        return control.Handle(message, wParam, lParam);
    }

    LRESULT AnswerScreenReader(WPARAM flags);

    static HWND Create(const ControlDesign& design, const ChildOf& at, const wchar_t* type, DWORD style,
                       DWORD extendedStyle, std::wstring_view text) {
        const RECT rect = PixelRect(design.rect, at.dpi);
        return Check(CreateWindowExW(extendedStyle, type, std::wstring(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                     rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, at.parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(at.id)), Instance(), nullptr),
                     "CreateWindowExW");
    }

    WNDPROC original_ = nullptr;
    ComPtr<AccessibleControl> accessible_;  // made when a screen reader first asks
};

// MSAA hands values over in VARIANTs, tagged unions; these are the only places that read or write one.
// NOLINTBEGIN(cppcoreguidelines-pro-type-union-access)
VARIANT Long(LONG value) {
    VARIANT variant{};
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
// NOLINTEND(cppcoreguidelines-pro-type-union-access)

// The control's object for screen readers, through MSAA, which the control answers to WM_GETOBJECT
// (OBJID_CLIENT). Windows' standard object for the control's window (CreateStdAccessibleObject)
// answers everything but what only the design knows: that a label with a click handler is a
// button that can be pressed, and which label names a text box (Windows would take the static
// control just before it in z-order, but the caption comes after the entry). Dynamic Annotation
// (IAccPropServices) could set a name, a role and an action's name, but not do the action, and
// wine's oleacc ignores annotations; hence an object of our own that hands the rest on to the
// standard one. Once its control is gone it answers every call with an error. Like every COM
// object it deletes itself on its last Release, never through an interface, which therefore has
// no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AccessibleControl final : public IAccessible {
public:
    AccessibleControl(Control& control, ComPtr<IAccessible> standard)
        : control_(&control), standard_(std::move(standard)) {}
    AccessibleControl(const AccessibleControl&) = delete;
    AccessibleControl& operator=(const AccessibleControl&) = delete;
    AccessibleControl(AccessibleControl&&) = delete;
    AccessibleControl& operator=(AccessibleControl&&) = delete;

    void Forget() {
        control_ = nullptr;
        standard_.reset();
        CoDisconnectObject(this, 0);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id != __uuidof(IUnknown) && id != __uuidof(IDispatch) && id != __uuidof(IAccessible)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const auto left = ULONG(InterlockedDecrement(&references_));
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Screen readers call IAccessible's methods themselves; late binding would bypass this object.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* /*count*/) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT /*index*/, LCID /*locale*/, ITypeInfo** /*info*/) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID /*id*/, LPOLESTR* /*names*/, UINT /*count*/, LCID /*locale*/,
                                            DISPID* /*ids*/) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID /*member*/, REFIID /*id*/, LCID /*locale*/, WORD /*flags*/,
                                     DISPPARAMS* /*parameters*/, VARIANT* /*result*/, EXCEPINFO* /*exception*/,
                                     UINT* /*wrong*/) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (control_ == nullptr || control_->labelledBy == nullptr || !IsSelf(child)) {
            return Standard(&IAccessible::get_accName, child, name);
        }
        *name = SysAllocString(WindowText(control_->labelledBy).c_str());
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (control_ == nullptr || !IsSelf(child)) {
            return Standard(&IAccessible::get_accRole, child, role);
        }
        *role = Long(control_->Role());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!Pressable(child)) {
            return Standard(&IAccessible::get_accDefaultAction, child, action);
        }
        *action = SysAllocString(L"Press");  // as Windows names a push button's action
        return *action != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    // The press comes back through the event loop, as a click does, after the caller has its
    // answer: the handler may open a window or end the run, which it should not do inside another
    // program's call, and the standard object of a button posts its click too.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!Pressable(child)) {
            return Standard(&IAccessible::accDoDefaultAction, child);
        }
        return PostMessageW(control_->window, PressControl, 0, 0) != FALSE ? S_OK : E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Standard(&IAccessible::get_accParent, parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return Standard(&IAccessible::get_accChildCount, count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return Standard(&IAccessible::get_accChild, child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Standard(&IAccessible::get_accValue, child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return Standard(&IAccessible::get_accDescription, child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return Standard(&IAccessible::get_accState, child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return Standard(&IAccessible::get_accHelp, child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return Standard(&IAccessible::get_accHelpTopic, file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return Standard(&IAccessible::get_accKeyboardShortcut, child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return Standard(&IAccessible::get_accFocus, child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return Standard(&IAccessible::get_accSelection, children);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return Standard(&IAccessible::accSelect, flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return Standard(&IAccessible::accLocation, left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return Standard(&IAccessible::accNavigate, direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return Standard(&IAccessible::accHitTest, left, top, child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return Standard(&IAccessible::put_accName, child, name);
    }
    // A text box's value is set with WM_SETTEXT, which keeps the seven-unit rule as the program's
    // own SetText does.
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return Standard(&IAccessible::put_accValue, child, value);
    }

protected:
    ~AccessibleControl() = default;  // only its last Release deletes it

private:
    [[nodiscard]] bool Pressable(const VARIANT& child) const {
        return control_ != nullptr && IsSelf(child) && control_->Pressable();
    }

    template <class Method, class... Arguments>
    [[nodiscard]] HRESULT Standard(Method method, Arguments... arguments) const {
        return standard_ ? (standard_.get()->*method)(arguments...) : CO_E_OBJNOTCONNECTED;
    }

    Control* control_;
    ComPtr<IAccessible> standard_;
    LONG references_ = 1;
};
#pragma GCC diagnostic pop

Control::~Control() {
    if (accessible_) {
        accessible_->Forget();
    }
}

LRESULT Control::AnswerScreenReader(WPARAM flags) {
    if (!accessible_) {
        IAccessible* standard = nullptr;
        if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&standard)))) {
            return CallOriginal(WM_GETOBJECT, flags, OBJID_CLIENT);
        }
        accessible_.reset(new AccessibleControl(*this, ComPtr<IAccessible>(standard)));
    }
    return LresultFromObject(__uuidof(IAccessible), flags, accessible_.get());
}

// What a screen reader says for a control: its accessible name, or else its text.
std::wstring SpokenText(const ControlDesign& design) {
    return design.accessibleName.empty() ? ToWide(design.text) : ToWide(design.accessibleName);
}

}  // namespace

// A static control whose text the window draws in its own paint, with the picture under it,
// wrapped at spaces and, as designed, transparent over the picture: painting fourteen child
// windows one by one would cost more than drawing their texts. The control takes the clicks, and
// its window text is what screen readers say, so a label that shows nothing (the click area over
// the picture) can still be named.
struct Label::Impl final : Control {
    Impl(const ControlDesign& label, const ChildOf& at)
        : Control(label, at, L"STATIC", SS_NOTIFY, 0, SpokenText(label)), text(label.text) {
        Subclass();
    }

    // A label that takes clicks does something rather than lead somewhere: a push button to
    // screen readers, which they offer to press, not a link.
    [[nodiscard]] LONG Role() const override { return click ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_STATICTEXT; }
    void Press() override { Raise(click); }

    void SetText(std::u16string_view newText) {
        text = newText;
        if (design.accessibleName.empty()) {
            Check(SetWindowTextW(window, ToWide(text).c_str()), "SetWindowTextW");
        }
        // Nothing of the old text may stay: the window draws the picture under the label again.
        const RECT area = Area();
        InvalidateRect(GetParent(window), &area, FALSE);
    }

    // Where the label lies in its window.
    [[nodiscard]] RECT Area() const {
        RECT area{};
        GetWindowRect(window, &area);
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&area), 2);
        return area;
    }

    // Into the window's paint, over the picture, where the paint reaches.
    void Draw(HDC dc) const {
        RECT area = Area();
        if (RectVisible(dc, &area) == FALSE) {
            return;
        }
        if (!design.transparent) {
            FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        }
        const std::wstring shown = ToWide(text);
        const UINT alignment = design.alignment == Alignment::Centre ? DT_CENTER : DT_LEFT;
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, design.colour.value_or(GetSysColor(COLOR_WINDOWTEXT)));
        DrawTextW(dc, shown.c_str(), int(shown.size()), &area, DT_WORDBREAK | DT_NOPREFIX | alignment);
        SelectObject(dc, previous);
    }

    std::u16string text;
    Handler click;

private:
    // A click is a press and a release of the left button over the same label.
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                pressed_ = true;
                SetCapture(window);
                return 0;
            case WM_LBUTTONUP:
                if (std::exchange(pressed_, false)) {
                    ReleaseCapture();
                    RECT area{};
                    GetClientRect(window, &area);
                    if (PtInRect(&area, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE) {
                        Press();
                    }
                }
                return 0;
            case WM_CAPTURECHANGED:
                pressed_ = false;
                break;
            case WM_SETTEXT:
                // The static control would draw the new text at once; the text is only kept here,
                // for screen readers, and the window draws what SetText gave.
                return DefWindowProcW(window, message, wParam, lParam);
            case WM_PAINT:  // drawn by the window
                ValidateRect(window, nullptr);
                return 0;
            case WM_ERASEBKGND:
                return TRUE;
            case WM_SETCURSOR:
                if (design.pointer == Pointer::Hand) {
                    SetCursor(LoadCursorW(nullptr, IDC_HAND));
                    return TRUE;
                }
                break;
            default:
                break;
        }
        return CallOriginal(message, wParam, lParam);
    }

    bool pressed_ = false;
};

// An edit control that keeps the seven-unit rule for typing, pasting and setting alike, and
// reports every change of its text, the program's too, before the change returns.
struct TextBox::Impl final : Control {
    Impl(const ControlDesign& box, const ChildOf& at)
        : Control(box, at, L"EDIT",
                  WS_TABSTOP | ES_AUTOHSCROLL | (box.alignment == Alignment::Centre ? ES_CENTER : ES_LEFT),
                  WS_EX_CLIENTEDGE, ToWide(box.text)) {
        if (design.maxLength > 0) {
            // Typing and pasting stop at the limit; setting the text does not (see Changed).
            SendMessageW(window, EM_LIMITTEXT, WPARAM(design.maxLength), 0);
        }
        Subclass();
    }

    [[nodiscard]] LONG Role() const override { return ROLE_SYSTEM_TEXT; }

    void Notify(WORD code) override {
        if (code == EN_CHANGE) {
            Changed();
        }
    }

    void SetText(std::u16string_view text) { Check(SetWindowTextW(window, ToWide(text).c_str()), "SetWindowTextW"); }

    [[nodiscard]] std::u16string Text() const { return ToUtf16(WindowText(window)); }

    Handler change;

private:
    // Windows reports every change, WM_SETTEXT's too, with EN_CHANGE. An edit that broke the rule
    // (a text set past the limit, a paste that cut a wide character in half) is put right first,
    // and the change event sees only the corrected text.
    void Changed() {
        if (design.maxLength > 0) {
            DWORD cursor = 0;
            SendMessageW(window, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&cursor));
            const std::u16string text = Text();
            const auto kept = KeepWholeCharacters(text, cursor, std::size_t(design.maxLength));
            if (kept.text != text) {
                SetText(kept.text);
                SendMessageW(window, EM_SETSEL, kept.cursor, LPARAM(kept.cursor));
                return;
            }
        }
        Raise(change);
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CHAR) {
            // A wide character comes as two WM_CHAR, one per half; it goes in whole or not at all.
            const auto unit = wchar_t(wParam);
            const wchar_t high = std::exchange(highHalf_, 0);
            if (IS_HIGH_SURROGATE(unit)) {
                highHalf_ = unit;
                return 0;
            }
            if (IS_LOW_SURROGATE(unit) && high != 0) {
                const std::array<wchar_t, 3> character{high, unit, 0};
                return SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(character.data()));
            }
        }
        return CallOriginal(message, wParam, lParam);
    }

    wchar_t highHalf_ = 0;  // the first half of a wide character being typed
};

// A push button. Windows' standard object for it tells screen readers what this one does; wine's
// tells neither its role nor its action.
struct Button::Impl final : Control {
    Impl(const ControlDesign& button, const ChildOf& at)
        : Control(button, at, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, ToWide(button.text)) {
        Subclass();
    }

    void Notify(WORD code) override {
        if (code == BN_CLICKED) {
            Press();
        }
    }

    [[nodiscard]] LONG Role() const override { return ROLE_SYSTEM_PUSHBUTTON; }
    void Press() override { Raise(click); }

    Handler click;

private:
    // Enter presses the focused button as Space does, as in a dialog box; outside one, Windows'
    // button ignores it. Held down, it presses once.
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN && wParam == VK_RETURN) {
            if ((lParam & KeyWasDown) == 0) {
                Press();
            }
            return 0;
        }
        return CallOriginal(message, wParam, lParam);
    }
};

namespace {

struct WindowDestroyer {
    void operator()(HWND window) const {
        // The window's procedure must not reach its half-destroyed form.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

OwnedWindow CreateForm(const WindowDesign& design) {
    static const wchar_t* const type = RegisterWindowClass(L"Tablinor - Verdusk form", FormProcedure);
    return OwnedWindow(Check(CreateWindowExW(0, type, ToWide(design.caption).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                             nullptr, Instance(), nullptr),
                             "CreateWindowExW"));
}

}  // namespace

// A borderless popup window, its picture drawn under every control.
struct Window::Impl {
    explicit Impl(const WindowDesign& windowDesign)
        : design(windowDesign), picture_(DecodePicture(windowDesign)), window_(CreateForm(windowDesign)) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        Resize(DpiOf(window_.get()));
        for (const ControlDesign* control : design.controls) {
            controls_.push_back(CreateControl(*control, {window_.get(), int(controls_.size()) + 1, dpi_}));
            controls_.back()->SetFont(FontFor(*control));
            // The first control in tab order that takes the focus has it when the window opens.
            if (focus_ == nullptr && (GetWindowLongPtrW(controls_.back()->window, GWL_STYLE) & WS_TABSTOP) != 0) {
                focus_ = controls_.back()->window;
            }
        }
        for (const auto& control : controls_) {
            if (control->design.labelledBy != nullptr) {
                control->labelledBy = Find<Label::Impl>(*control->design.labelledBy)->window;
            }
        }
        if (design.enterClicks != nullptr) {
            enterClicks_ = Find<Control>(*design.enterClicks);
        }
        if (withIcon) {
            SetIcons();
        }
    }

    template <class Kind>
    [[nodiscard]] Kind* Find(const ControlDesign& wanted) const {
        for (const auto& control : controls_) {
            if (&control->design == &wanted) {
                if (auto* found = dynamic_cast<Kind*>(control.get())) {
                    return found;
                }
            }
        }
        throw RunTimeError("control not found: " + std::string(design.name) + " has no " + std::string(wanted.name) +
                           " of that kind");
    }

    void ShowInFront() {
        if (!placed_) {
            PlaceAtStart();
        }
        // SW_SHOW leaves a minimized window an icon; SW_RESTORE brings it back at its place.
        ShowWindow(window_.get(), IsIconic(window_.get()) != FALSE ? SW_RESTORE : SW_SHOW);
        // Activation alone does not restack a window that a window manager stacks (wine's, on a
        // Linux desktop), so the top of the z-order is asked for first. On Windows, where the
        // program converts on a click into its own window and so has the foreground, activating
        // raises the window anyway and this changes nothing.
        SetWindowPos(window_.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(window_.get());
        // Windows hides the focus rectangle of a window reached by the pointer until a key is
        // pressed; whoever opened it, by a click or by Enter, sees at once where Enter and Space go.
        SendMessageW(window_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }

    // Enter and Escape from whichever control has the focus, as a form's default and cancel
    // buttons: a press raises the design's click or the close request, as a click on that control
    // or the desktop's close does. A held key's repeats and the characters the keys type (WM_CHAR
    // carries Enter and Escape as the same codes) reach no control: the Enter that opened a window
    // whose button then has the focus must not press it as well.
    bool TakeKey(UINT message, WPARAM key, LPARAM flags) {
        const bool enter = key == VK_RETURN && enterClicks_ != nullptr;
        const bool escape = key == VK_ESCAPE && design.escapeCloses;
        if (!enter && !escape) {
            return false;
        }
        if (message == WM_KEYDOWN && (flags & KeyWasDown) == 0) {
            if (enter) {
                enterClicks_->Press();
            } else {
                Raise(closeRequest);
            }
        }
        return true;
    }

    void Hide() const { ShowWindow(window_.get(), SW_HIDE); }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT paint{};
                HDC dc = BeginPaint(window_.get(), &paint);
                Paint(dc);
                EndPaint(window_.get(), &paint);
                return 0;
            }
            case WM_ERASEBKGND:  // the picture covers the window
                return TRUE;
            case WM_COMMAND:
                if (Control* control = ControlWithId(LOWORD(wParam)); control != nullptr && lParam != 0) {
                    control->Notify(HIWORD(wParam));
                }
                return 0;
            case WM_CLOSE:  // the desktop's close goes to the program, which decides what closing means
                Raise(closeRequest);
                return 0;
            case WM_ACTIVATE:  // the control that had the focus gets it back when the window does
                if (LOWORD(wParam) == WA_INACTIVE && IsChild(window_.get(), GetFocus()) != FALSE) {
                    focus_ = GetFocus();
                }
                break;
            case WM_SETFOCUS:
                if (focus_ != nullptr) {
                    SetFocus(focus_);
                }
                return 0;
            case WM_DPICHANGED: {
                const auto& suggested = *reinterpret_cast<const RECT*>(lParam);
                SetWindowPos(window_.get(), nullptr, suggested.left, suggested.top, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                Rescale(HIWORD(wParam));
                return 0;
            }
            default:
                break;
        }
        return DefWindowProcW(window_.get(), message, wParam, lParam);
    }

    const WindowDesign& design;
    Handler closeRequest;

private:
    // The executable's application icon, in the window's title bar size and in the task bar's.
    void SetIcons() const {
        for (const auto& [kind, size] : {std::pair{ICON_BIG, 32}, std::pair{ICON_SMALL, 16}}) {
            const int pixels = Scale(size, dpi_);
            HANDLE icon = Check(
                LoadImageW(Instance(), MAKEINTRESOURCEW(ApplicationIconId), IMAGE_ICON, pixels, pixels, LR_SHARED),
                "LoadImageW");
            SendMessageW(window_.get(), WM_SETICON, WPARAM(kind), reinterpret_cast<LPARAM>(icon));
        }
    }

    [[nodiscard]] static std::unique_ptr<Control> CreateControl(const ControlDesign& control, const ChildOf& at) {
        switch (control.kind) {
            case ControlKind::Label:
                return std::make_unique<Label::Impl>(control, at);
            case ControlKind::TextBox:
                return std::make_unique<TextBox::Impl>(control, at);
            case ControlKind::Button:
                return std::make_unique<Button::Impl>(control, at);
        }
        throw RunTimeError("invalid control kind for " + std::string(control.name));
    }

    [[nodiscard]] Control* ControlWithId(int id) const {
        const auto index = std::size_t(id - 1);
        return index < controls_.size() ? controls_[index].get() : nullptr;
    }

    void Resize(int newDpi) {
        dpi_ = newDpi;
        SetWindowPos(window_.get(), nullptr, 0, 0, Scale(ToPixels(design.width), dpi_),
                     Scale(ToPixels(design.height), dpi_), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The window, its controls and their fonts at another dpi; the old fonts go once no control
    // uses them.
    void Rescale(int newDpi) {
        Resize(newDpi);
        const auto oldFonts = std::exchange(fonts_, {});
        for (const auto& control : controls_) {
            control->Place(dpi_);
            control->SetFont(FontFor(control->design));
        }
    }

    // One font for each face, size and weight of the design at the window's dpi, shared by the
    // controls drawn in it; a control that the design leaves in the toolkit's font gets Windows'.
    HFONT FontFor(const ControlDesign& control) {
        const FontDesign wanted = control.font.value_or(DialogFont);
        for (const auto& [face, font] : fonts_) {
            if (face.name == wanted.name && face.points == wanted.points && face.weight == wanted.weight) {
                return font.get();
            }
        }
        return fonts_.emplace_back(wanted, CreateDesignFont(wanted, dpi_)).second.get();
    }

    // Centred on the primary monitor's work area. Shown without an owner, a window designed to
    // open over its owner opens there too.
    void PlaceAtStart() {
        RECT area{};
        Check(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0), "SystemParametersInfoW");
        RECT bounds{};
        GetWindowRect(window_.get(), &bounds);
        const int width = bounds.right - bounds.left;
        const int height = bounds.bottom - bounds.top;
        SetWindowPos(window_.get(), nullptr, area.left + (area.right - area.left - width) / 2,
                     area.top + (area.bottom - area.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placed_ = true;
    }

    // The picture at the client origin, unscaled and so pixel for pixel at the design's dpi; where
    // the window is larger than its picture, the colour of a bare form shows.
    void Paint(HDC dc) const {
        BITMAP size{};
        GetObjectW(picture_.get(), sizeof size, &size);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, picture_.get());
        const int width = Scale(int(size.bmWidth), dpi_);
        const int height = Scale(int(size.bmHeight), dpi_);
        if (dpi_ == DesignDpi) {
            BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, 0, 0, width, height, source, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
        }
        SelectObject(source, previous);
        DeleteDC(source);
        RECT client{};
        GetClientRect(window_.get(), &client);
        const RECT right{width, 0, client.right, height};
        const RECT below{0, height, client.right, client.bottom};
        FillRect(dc, &right, GetSysColorBrush(COLOR_BTNFACE));
        FillRect(dc, &below, GetSysColorBrush(COLOR_BTNFACE));
        for (const auto& control : controls_) {
            if (const auto* label = dynamic_cast<const Label::Impl*>(control.get())) {
                label->Draw(dc);
            }
        }
    }

    Bitmap picture_;
    std::vector<std::pair<FontDesign, Font>> fonts_;  // outlive the controls, which draw in them
    std::vector<std::unique_ptr<Control>> controls_;  // in tab order; their windows go before them
    HWND focus_ = nullptr;                            // the control with the focus while the window is active
    Control* enterClicks_ = nullptr;                  // the control whose click Enter raises, if any
    bool placed_ = false;
    int dpi_ = DesignDpi;
    OwnedWindow window_;  // last, so that it is destroyed first
};

namespace {

// The form comes to its window once it is made, and leaves it before the window is destroyed.
LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Window::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return form != nullptr ? form->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

bool WindowTakesKey(HWND window, UINT message, WPARAM key, LPARAM flags) {
    auto* form = reinterpret_cast<Window::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return form != nullptr && form->TakeKey(message, key, flags);
}

}  // namespace

Window::Window(const WindowDesign& design) : impl_(std::make_unique<Impl>(design)) {}

Window::~Window() = default;

void Window::Show() { impl_->ShowInFront(); }

void Window::Hide() { impl_->Hide(); }

void Window::OnCloseRequest(Handler handler) { impl_->closeRequest = std::move(handler); }

Label::Label(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void Label::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string Label::Text() const { return impl_->text; }

void Label::OnClick(Handler handler) { impl_->click = std::move(handler); }

TextBox::TextBox(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void TextBox::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string TextBox::Text() const { return impl_->Text(); }

void TextBox::OnChange(Handler handler) { impl_->change = std::move(handler); }

Button::Button(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void Button::OnClick(Handler handler) { impl_->click = std::move(handler); }

void DestroyLater(std::shared_ptr<void> object) {
    if (run::Doom(std::move(object))) {
        Check(PostMessageW(MessageWindow(), DestroyDoomed, 0, 0), "PostMessageW");
    }
}

void End(int status) {
    if (!run::MarkEnded(status)) {
        return;
    }
    Reference::UnloadAll();
}

namespace {

// A program started from Explorer has no standard error; one started from a console or a script does.
HANDLE StandardError() {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    return error == INVALID_HANDLE_VALUE ? nullptr : error;
}

}  // namespace

void Fail(std::string_view message) {
    const std::string report = "Tablinor - Verdusk: run-time error: " + std::string(message);
    if (HANDLE error = StandardError()) {
        const std::string line = report + "\n";
        DWORD written = 0;
        WriteFile(error, line.data(), DWORD(line.size()), &written, nullptr);
    }
    if (failure.empty()) {
        failure = report;
    }
    End(1);
}

void BeginRun(const ApplicationDesign& application) {
    withIcon = application.icon;
    run::Begin();
    failure.clear();
    // OLE decodes the pictures with the system's codecs, through COM.
    comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

int FinishRun() {
    End(run::ExitStatus());
    run::DestroyDoomed();
    if (!failure.empty() && StandardError() == nullptr) {
        MessageBoxW(nullptr, ToWide(failure).c_str(), L"Tablinor - Verdusk", MB_OK | MB_ICONERROR);
    }
    if (std::exchange(comStarted, false)) {
        CoUninitialize();
    }
    return run::ExitStatus();
}

int Run(const ApplicationDesign& application, const Handler& start) {
    BeginRun(application);
    Raise(start);
    MSG message{};
    while (!run::Ended() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return FinishRun();
}

}  // namespace forms
