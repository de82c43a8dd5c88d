// The forms layer on real Windows controls, driven with the messages that Windows itself sends:
// WM_CHAR for typed keys, WM_PASTE, WM_SETTEXT, mouse buttons, WM_CLOSE.
#include <windows.h>
// Those that need windows.h before them.
#include <oleacc.h>

#include <gtest/gtest.h>

#include "row_name.h"

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "probe_design.h"
#include "windows/forms/form_reference.h"
#include "windows/forms/forms.h"
#include "windows/forms/text_limit.h"
#include "windows/main_window_design.h"
#include "windows/pictures/result_picture.h"
#include "windows/result_window_design.h"

namespace forms {
namespace {

constexpr ControlDesign Box{.name = "Box", .kind = ControlKind::TextBox, .rect = {150, 150, 1500, 375}, .maxLength = 7};
constexpr ControlDesign Caption{.name = "Caption",
                                .kind = ControlKind::Label,
                                .rect = {150, 600, 1500, 300},
                                .text = u"Caption",
                                .font = FontDesign{.name = "Tahoma", .points = 9, .weight = Bold},
                                .transparent = true,
                                .tabIndex = 1};
constexpr ControlDesign Press{
    .name = "Press", .kind = ControlKind::Button, .rect = {150, 1200, 1200, 375}, .text = u"Press", .tabIndex = 2};
constexpr std::array<const ControlDesign*, 3> Controls{&Box, &Caption, &Press};
constexpr WindowDesign Probe{.name = "Probe",
                             .caption = u"Probe",
                             .width = 3750,
                             .height = 2265,
                             .start = StartPosition::CentreScreen,
                             .picture = tablinor::pictures::ResultPicture,
                             .controls = Controls};

constexpr WindowDesign Undecodable = probe::Undecodable(Controls);

std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

std::u16string WindowText(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return {text.begin(), text.end()};
}

// Handles whatever is waiting, as the event loop would.
void Settle() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The child windows of a top-level window, in tab order.
std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// A probe window with handles on its controls, as the program and as Windows know them.
struct ProbeWindow {
    ProbeWindow() : form(FindWindowW(nullptr, L"Probe")), edit(Children(form).at(0)), label(Children(form).at(1)) {}

    Window window{Probe};
    TextBox box{window, Box};
    Label caption{window, Caption};
    Button press{window, Press};
    HWND form;
    HWND edit;
    HWND label;
};

class Win32Forms : public testing::Test {
protected:
    void SetUp() override { BeginRun(); }
    void TearDown() override {
        FinishRun();
        Settle();
    }
};

TEST_F(Win32Forms, SettingATextRaisesTheChangeBeforeItReturns) {
    ProbeWindow probe;
    std::vector<std::u16string> seen;
    probe.box.OnChange([&] { seen.push_back(probe.box.Text()); });
    probe.box.SetText(u"12");
    EXPECT_EQ(seen, std::vector<std::u16string>{u"12"});
    // A change handler that sets the text again nests inside the first change.
    probe.box.OnChange([&] {
        seen.push_back(probe.box.Text());
        if (probe.box.Text() == u"9") {
            probe.box.SetText(u"");
        }
    });
    probe.box.SetText(u"9");
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"12", u"9", u""}));
}

TEST_F(Win32Forms, NoHandlerRunsAfterTheEnd) {
    ProbeWindow probe;
    int changes = 0;
    probe.box.OnChange([&] { ++changes; });
    probe.window.Show();
    End();
    probe.box.SetText(u"1");
    SendMessageW(probe.edit, WM_CHAR, L'2', 1);
    EXPECT_EQ(changes, 0);
}

using Edit = std::function<void(HWND edit)>;

// Each unit as Windows delivers a typed key: a wide character comes as two WM_CHAR.
Edit Typing(const std::u16string& text) {
    return [text](HWND edit) {
        for (const char16_t unit : text) {
            SendMessageW(edit, WM_CHAR, WPARAM(unit), 1);
        }
    };
}

Edit Pasting(const std::u16string& text) {
    return [text](HWND edit) {
        const std::wstring wide = Wide(text);
        const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        ASSERT_NE(memory, nullptr);
        CopyMemory(GlobalLock(memory), wide.c_str(), bytes);
        GlobalUnlock(memory);
        ASSERT_NE(OpenClipboard(edit), FALSE);
        EmptyClipboard();
        ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
        CloseClipboard();
        SendMessageW(edit, WM_PASTE, 0, 0);
    };
}

// As another program or a screen reader sets the text, past the box's limit.
Edit SettingByMessage(const std::u16string& text) {
    return [text](HWND edit) {
        const std::wstring wide = Wide(text);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    };
}

const Edit Home = [](HWND edit) { SendMessageW(edit, EM_SETSEL, 0, 0); };

struct EntryCase {
    const char* name;
    std::vector<Edit> edits;
    std::u16string kept;
};

class SevenUnitEntry : public Win32Forms, public testing::WithParamInterface<EntryCase> {};

// The box never holds more than seven units or half a character, and the change event only ever
// sees text that keeps that rule, ending with the text the box holds.
TEST_P(SevenUnitEntry, KeepsWholeCharactersWithinSevenUnits) {
    ProbeWindow probe;
    std::vector<std::u16string> seen;
    probe.box.OnChange([&] { seen.push_back(probe.box.Text()); });
    probe.window.Show();
    for (const Edit& edit : GetParam().edits) {
        edit(probe.edit);
    }
    EXPECT_EQ(probe.box.Text(), GetParam().kept);
    EXPECT_EQ(WindowText(probe.edit), GetParam().kept);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), GetParam().kept);
    for (const std::u16string& text : seen) {
        EXPECT_EQ(KeepWholeCharacters(text, 0, 7).text, text);
    }
}

const std::u16string Smile = u"\U0001F600";

INSTANTIATE_TEST_SUITE_P(
    Edits, SevenUnitEntry,
    testing::Values(
        EntryCase{"EighthKeyRefused", {Typing(u"12345678")}, u"1234567"},
        EntryCase{"TypedWideCharacterThatDoesNotFitRefusedWhole", {Typing(u"123456" + Smile)}, u"123456"},
        EntryCase{"TypedWideCharacterThatFitsKept", {Typing(u"12345" + Smile)}, u"12345" + Smile},
        EntryCase{"TypedWideCharacterAtTheStart", {Typing(u"12"), Home, Typing(Smile)}, Smile + u"12"},
        EntryCase{"TypedLoneHalfDropped",
                  {Typing(u"1\xDE00"
                          u"2")},
                  u"12"},
        EntryCase{"PasteCutAtSeven", {Pasting(u"123456789")}, u"1234567"},
        EntryCase{"PasteCutBeforeAWideCharacter", {Typing(u"1234"), Pasting(Smile + Smile)}, u"1234" + Smile},
        EntryCase{"PasteAtTheStartKeepsWhatWasTyped", {Typing(u"123"), Home, Pasting(u"abcdef")}, u"abcd123"},
        EntryCase{"SetTextCutAtSeven", {SettingByMessage(u"1234567890")}, u"1234567"},
        EntryCase{"SetTextWideCharacterAtTheLimit", {SettingByMessage(u"123456" + Smile)}, u"123456"},
        EntryCase{"SetTextWideCharacterWithin", {SettingByMessage(u"12345" + Smile)}, u"12345" + Smile},
        EntryCase{"SetTextLoneHalf",
                  {SettingByMessage(u"1\xD83D"
                                    u"2")},
                  u"12"}),
    RowName{});

struct ClickCase {
    const char* name;
    UINT press;
    POINT at;
    UINT release;
    POINT releasedAt;
    int clicks;
};

class LabelClick : public Win32Forms, public testing::WithParamInterface<ClickCase> {};

TEST_P(LabelClick, IsAPressAndAReleaseOverTheLabel) {
    ProbeWindow probe;
    int clicks = 0;
    probe.caption.OnClick([&] { ++clicks; });
    probe.window.Show();
    const auto& gesture = GetParam();
    SendMessageW(probe.label, gesture.press, MK_LBUTTON, MAKELPARAM(gesture.at.x, gesture.at.y));
    SendMessageW(probe.label, gesture.release, 0, MAKELPARAM(gesture.releasedAt.x, gesture.releasedAt.y));
    EXPECT_EQ(clicks, gesture.clicks);
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, LabelClick,
    testing::Values(ClickCase{"Inside", WM_LBUTTONDOWN, {5, 5}, WM_LBUTTONUP, {20, 10}, 1},
                    ClickCase{"SecondOfADoubleClick", WM_LBUTTONDBLCLK, {5, 5}, WM_LBUTTONUP, {5, 5}, 1},
                    ClickCase{"ReleasedOutside", WM_LBUTTONDOWN, {5, 5}, WM_LBUTTONUP, {5, 50}, 0},
                    ClickCase{"ReleasedWithoutAPress", WM_MOUSEMOVE, {5, 5}, WM_LBUTTONUP, {5, 5}, 0},
                    ClickCase{"RightButton", WM_RBUTTONDOWN, {5, 5}, WM_RBUTTONUP, {5, 5}, 0}),
    RowName{});

// The window's own pixels under a control, as drawn once every paint has run.
std::vector<COLORREF> PixelsUnder(HWND form, HWND control) {
    RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT area{};
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&area), 2);
    HDC dc = GetDC(form);
    std::vector<COLORREF> pixels;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            pixels.push_back(GetPixel(dc, x, y));
        }
    }
    ReleaseDC(form, dc);
    return pixels;
}

// A control's object for screen readers, found as they find it.
using AccessibleObject = std::unique_ptr<IAccessible, decltype([](IAccessible* object) { object->Release(); })>;

AccessibleObject AccessibleOf(HWND control) {
    IAccessible* object = nullptr;
    AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    return AccessibleObject(object);
}

VARIANT Self() {
    VARIANT self{};
    self.vt = VT_I4;           // NOLINT(cppcoreguidelines-pro-type-union-access): MSAA's VARIANT is a tagged union
    self.lVal = CHILDID_SELF;  // NOLINT(cppcoreguidelines-pro-type-union-access)
    return self;
}

// A screen reader's press is answered at once, and the click runs from the event loop as after a
// mouse click, not inside the screen reader's call.
TEST_F(Win32Forms, AScreenReadersPressClicksFromTheEventLoop) {
    ProbeWindow probe;
    int clicks = 0;
    probe.caption.OnClick([&] { ++clicks; });
    const AccessibleObject caption = AccessibleOf(probe.label);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->accDoDefaultAction(Self()), S_OK);
    EXPECT_EQ(clicks, 0);
    Settle();
    EXPECT_EQ(clicks, 1);
}

// A screen reader may keep a control's object after the window has gone.
TEST_F(Win32Forms, AControlsObjectKeptAfterItsWindowAnswersWithAnError) {
    AccessibleObject kept;
    {
        const ProbeWindow probe;
        kept = AccessibleOf(probe.label);
        ASSERT_NE(kept, nullptr);
    }
    VARIANT role{};
    EXPECT_EQ(kept->get_accRole(Self(), &role), CO_E_OBJNOTCONNECTED);
}

TEST_F(Win32Forms, ChangingALabelsTextLeavesNoTraceOfTheOldText) {
    std::vector<COLORREF> rewritten;
    {
        ProbeWindow probe;
        probe.window.Show();
        probe.caption.SetText(u"WWW MMM");
        const auto wide = PixelsUnder(probe.form, probe.label);
        probe.caption.SetText(u"I");
        rewritten = PixelsUnder(probe.form, probe.label);
        EXPECT_NE(rewritten, wide);
        EXPECT_EQ(WindowText(probe.label), u"I");  // what a screen reader reads
    }
    ProbeWindow fresh;
    fresh.window.Show();
    fresh.caption.SetText(u"I");
    EXPECT_EQ(PixelsUnder(fresh.form, fresh.label), rewritten);
}

TEST_F(Win32Forms, AWindowUnloadedFromItsOwnClickGoesWhenBackInTheEventLoop) {
    auto window = std::make_shared<Window>(Probe);
    Button press(*window, Press);
    HWND form = FindWindowW(nullptr, L"Probe");
    bool existedAfterUnload = false;
    press.OnClick([&] {
        window->Hide();
        DestroyLater(std::move(window));
        existedAfterUnload = IsWindow(form) != FALSE;
    });
    window->Show();
    SendMessageW(Children(form).at(2), BM_CLICK, 0, 0);
    EXPECT_TRUE(existedAfterUnload);
    EXPECT_FALSE(IsWindowVisible(form));
    Settle();
    EXPECT_FALSE(IsWindow(form));
}

TEST_F(Win32Forms, TheDesktopsCloseGoesToTheProgram) {
    ProbeWindow probe;
    int requests = 0;
    probe.window.OnCloseRequest([&] { ++requests; });
    probe.window.Show();
    SendMessageW(probe.form, WM_CLOSE, 0, 0);
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(IsWindowVisible(probe.form));
}

TEST_F(Win32Forms, AControlMissingFromTheWindowIsARunTimeError) {
    const Window window(Probe);
    EXPECT_THROW(Label(window, Box), RunTimeError);
}

TEST_F(Win32Forms, APictureThatDoesNotDecodeIsARunTimeError) { EXPECT_THROW(Window{Undecodable}, RunTimeError); }

struct Layout {
    const char* name;
    const WindowDesign* design;
    int width;
    int height;
};

class DesignedLayout : public Win32Forms, public testing::WithParamInterface<Layout> {};

// At 96 dpi every control stands where the design puts it, in its font, and says what a screen
// reader should; the window is a borderless popup centred on the work area, the focus in its
// first control that takes it.
TEST_P(DesignedLayout, MatchesTheDesignTableToThePixel) {
    const WindowDesign& design = *GetParam().design;
    Window window(design);
    window.Show();
    HWND form = FindWindowW(nullptr, Wide(design.caption).c_str());
    ASSERT_NE(form, nullptr);
    RECT bounds{};
    GetWindowRect(form, &bounds);
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = GetParam().width;
    const int height = GetParam().height;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    EXPECT_EQ(std::vector<LONG>({bounds.left, bounds.top, bounds.right, bounds.bottom}),
              std::vector<LONG>({left, top, left + width, top + height}));
    EXPECT_EQ(GetWindowLongPtrW(form, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), LONG_PTR(WS_POPUP));

    const std::vector<HWND> children = Children(form);
    ASSERT_EQ(children.size(), design.controls.size());
    HWND focus = nullptr;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlDesign& control = *design.controls[i];
        SCOPED_TRACE(control.name.data());
        RECT rect{};
        GetWindowRect(children[i], &rect);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(std::vector<LONG>({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
                  std::vector<LONG>({ToPixels(control.rect.left), ToPixels(control.rect.top),
                                     ToPixels(control.rect.width), ToPixels(control.rect.height)}));
        auto* const font = reinterpret_cast<HFONT>(SendMessageW(children[i], WM_GETFONT, 0, 0));
        LOGFONTW logical{};
        ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
        const FontDesign expected = control.font.value_or(FontDesign{"MS Shell Dlg", 8, FW_NORMAL});
        EXPECT_EQ(logical.lfHeight, -std::lround(expected.points * 96 / 72));
        EXPECT_EQ(logical.lfWeight, expected.weight);
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(logical.lfFaceName)),
                  std::wstring(expected.name.begin(), expected.name.end()));
        const std::u16string spoken = control.accessibleName.empty() ? std::u16string(control.text)
                                                                     : std::u16string(control.accessibleName.begin(),
                                                                                      control.accessibleName.end());
        EXPECT_EQ(WindowText(children[i]), spoken);
        if (focus == nullptr && control.kind != ControlKind::Label) {
            focus = children[i];
        }
    }
    EXPECT_EQ(GetFocus(), focus);
}

INSTANTIATE_TEST_SUITE_P(Windows, DesignedLayout,
                         testing::Values(Layout{"Form1", &tablinor::form1::Form1, 400, 499},
                                         Layout{"Form2", &tablinor::form2::Form2, 250, 151}),
                         RowName{});

// A window held by an application-wide reference, as the program's windows are.
struct ProbeForm {
    void Hide() { window.Hide(); }
    Window window{Probe};
};

TEST(Run, EndsOnTheCloseRequestWithTheStatusGivenAndEveryWindowGone) {
    FormReference<ProbeForm> probe;
    HWND form = nullptr;
    int changes = 0;
    const int status = forms::Run({}, [&] {
        probe->window.Show();
        form = FindWindowW(nullptr, L"Probe");
        probe->window.OnCloseRequest([] { End(3); });
        TextBox(probe->window, Box).OnChange([&] { ++changes; });
        PostMessageW(form, WM_CLOSE, 0, 0);
        // Waiting behind the close request: the run has ended by the time it comes.
        PostMessageW(Children(form).at(0), WM_CHAR, L'1', 1);
    });
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(probe.Exists());
    EXPECT_FALSE(IsWindow(form));
    EXPECT_EQ(changes, 0);
}

TEST(Run, EndsWithAClearMessageAndAFailureStatusWhenStartingFails) {
    testing::internal::CaptureStderr();
    const int status = forms::Run({}, [] { const Window window(Undecodable); });
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(message.find("Tablinor - Verdusk: run-time error: invalid picture: the picture of Undecodable does not "
                           "decode"),
              std::string::npos)
        << message;
    EXPECT_EQ(FindWindowW(nullptr, L"Undecodable"), nullptr);
}

}  // namespace
}  // namespace forms
