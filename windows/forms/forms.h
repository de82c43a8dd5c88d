// The forms layer: windows built from design data, their controls, events and the run itself.
// Each toolkit backend defines these classes and functions; the windows see nothing else.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "windows/forms/design.h"

namespace forms {

using Handler = std::function<void()>;

// A toolkit operation that failed: damaged design data, a picture that does not decode.
class RunTimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A top-level window with its background picture and every control of its design.
class Window {
public:
    explicit Window(const WindowDesign& design);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    Window(Window&&) = delete;
    Window& operator=(Window&&) = delete;

    // Shows the window without blocking, or brings it to the front when it is already shown.
    void Show();
    void Hide();
    // Raised when the desktop asks the window to close (Alt+F4, the task bar, the window manager).
    void OnCloseRequest(Handler handler);

    struct Impl;
    [[nodiscard]] Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// Controls are handles on the controls that their window created from its design.
class Label {
public:
    Label(const Window& window, const ControlDesign& design);
    void SetText(std::u16string_view text);
    [[nodiscard]] std::u16string Text() const;
    void OnClick(Handler handler);

    struct Impl;

private:
    Impl* impl_;
};

class TextBox {
public:
    TextBox(const Window& window, const ControlDesign& design);
    // Raises the change event before it returns.
    void SetText(std::u16string_view text);
    [[nodiscard]] std::u16string Text() const;
    // Raised after every change of the text, the user's and the program's.
    void OnChange(Handler handler);

    struct Impl;

private:
    Impl* impl_;
};

class Button {
public:
    Button(const Window& window, const ControlDesign& design);
    void OnClick(Handler handler);

    struct Impl;

private:
    Impl* impl_;
};

// How the program introduces itself to the desktop.
struct ApplicationDesign {
    // The desktop entry's id, so the desktop can match windows to it (Windows matches them to the
    // executable itself).
    std::string_view desktopEntry = {};
    // Whether every window carries the program's icon: the images that the executable embeds
    // under /icons, or on Windows its application icon (group 1).
    bool icon = false;
    // Where faces metric-compatible with the design's fonts are, for systems without those fonts
    // (Windows has them, through its font mapper).
    std::string_view fontFolder = {};
    // The window that `start` shows first, whose picture the toolkit may decode while it starts.
    const WindowDesign* firstWindow = nullptr;
    // The windows the program may show later, whose pictures a toolkit that decodes pictures only
    // in a later turn of its event loop (a browser) decodes ahead, so that they show at once.
    std::span<const WindowDesign* const> laterWindows = {};
};

// Runs the program: `start` shows the first window, then events are handled until End.
// Returns the exit status.
int Run(const ApplicationDesign& application, const Handler& start);

// Ends the run at once: every window vanishes, no further handler runs, and Run returns `status`.
void End(int status = 0);

// Reports a failed toolkit operation and ends the run with a non-zero status.
void Fail(std::string_view message);

// The two halves of Run around its event loop, for tests that drive the windows themselves.
void BeginRun(const ApplicationDesign& application = {});
int FinishRun();

// Destroys `object` once control is back in the event loop, so that a window can be unloaded
// from inside one of its own handlers.
void DestroyLater(std::shared_ptr<void> object);

}  // namespace forms
