// The forms layer in a web page: each window is a positioned element of the page, each control one
// of the page's own elements, reached through the page's values (page_value.h).
#include <emscripten/em_macros.h>
#include <emscripten/eventloop.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "windows/forms/form_reference.h"
#include "windows/forms/forms.h"
#include "windows/forms/picture.h"
#include "windows/forms/run_state.h"
#include "windows/forms/text_limit.h"
#include "windows/forms/web/page_faces.h"
#include "windows/forms/web/page_style.h"
#include "windows/forms/web/page_value.h"

namespace forms {
namespace {

using run::Raise;
using web::Value;

using CallbackFunction = std::function<void(const Value&)>;

// JavaScript functions that call back into the program, by a number that no other takes. Each
// lives as long as the object that holds it; a call that comes after, from a promise or a queued
// event, finds nothing to call. There are a few dozen at most.
std::vector<std::pair<int, const CallbackFunction*>> callbacks;
int lastCallback = 0;

auto FindCallback(int id) {
    return std::find_if(callbacks.begin(), callbacks.end(),
                        [id](const auto& callback) { return callback.first == id; });
}

}  // namespace
}  // namespace forms

extern "C" EMSCRIPTEN_KEEPALIVE void forms_call_back(int id, int argument) {
    const auto taken = forms::web::Value::Taken(argument);
    if (const auto found = forms::FindCallback(id); found != forms::callbacks.end()) {
        forms::Raise([&taken, function = found->second] { (*function)(taken); });
    }
}

namespace forms {
namespace {

class Callback {
public:
    explicit Callback(CallbackFunction callback) : id_(++lastCallback), callback_(std::move(callback)) {
        callbacks.emplace_back(id_, &callback_);
    }
    ~Callback() { callbacks.erase(FindCallback(id_)); }
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;
    Callback(Callback&&) = delete;
    Callback& operator=(Callback&&) = delete;

    [[nodiscard]] Value Function() const { return Value::Function(id_); }

private:
    int id_;
    CallbackFunction callback_;
};

// An event listener on a page object, taken off again with its holder.
class Listener {
public:
    Listener(Value target, const char* type, CallbackFunction callback)
        : target_(std::move(target)), type_(type), callback_(std::move(callback)), function_(callback_.Function()) {
        target_.Call("addEventListener", type_, function_);
    }
    ~Listener() { target_.Call("removeEventListener", type_, function_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    Listener(Listener&&) = delete;
    Listener& operator=(Listener&&) = delete;

private:
    Value target_;
    const char* type_;
    Callback callback_;
    Value function_;
};

Value Document() { return Value::Global()["document"]; }

Value CreateElement(const char* tag) { return Document().Call("createElement", tag); }

void SetStyle(const Value& element, const char* property, const std::string& value) {
    element["style"].Call("setProperty", property, value);
}

// An element's whole style is written in one call: a call into the page costs more than the
// browser's reading of a longer text.
void SetStyles(const Value& element, const std::string& declarations) { element["style"].Set("cssText", declarations); }

double PixelRatio() { return Value::Global()["devicePixelRatio"].Number(); }

// The run ends with the error, as the design data cannot be what the program was built from.
[[noreturn]] void DesignBroken(const std::string& message) {
    Fail(message);
    std::abort();
}

// The window of this name that the build wrote into the page, which the program takes over once:
// a window made again later, while the one unloaded before is still in the page, is made anew.
Value WrittenWindow(const std::string& name) {
    Value window = Document().Call("getElementById", name);
    return !window.IsNone() && window.Call("hasAttribute", "data-written").Truth() ? window : Value();
}

Value TakeWrittenWindow(const std::string& name) {
    Value window = WrittenWindow(name);
    if (!window.IsNone()) {
        window.Call("removeAttribute", "data-written");
    }
    return window;
}

// The element of a control that the build wrote into the window written into the page, or a new one.
Value ElementOf(const char* tag, const std::string& id, const Value& writtenWindow) {
    if (!writtenWindow.IsNone()) {
        if (Value written = Document().Call("getElementById", id);
            !written.IsNone() && writtenWindow.Call("contains", written).Truth()) {
            return written;
        }
    }
    return CreateElement(tag);
}

// The design common to every kind of control, and what its kind draws.
void ApplyDesign(const Value& element, const std::string& id, const ControlDesign& design) {
    element.Set("id", id);
    SetStyles(element, web::ControlStyle(design, PixelRatio()));
    if (!design.accessibleName.empty()) {
        element.Call("setAttribute", "aria-label", design.accessibleName);
    }
}

// The pictures of the design data, decoded by the browser once a run, as promises of an
// ImageBitmap. A damaged one ends the run.
std::vector<std::pair<std::string_view, Value>> pictures;

Value Picture(const WindowDesign& design) {
    const auto found = std::find_if(pictures.begin(), pictures.end(),
                                    [&design](const auto& picture) { return picture.first == design.name; });
    if (found != pictures.end()) {
        return found->second;
    }
    const auto image = ReadPicture(design.picture);
    if (!image.damage.empty()) {
        Fail(image.damage);
        return {};
    }
    return pictures.emplace_back(design.name, Value::Bytes(image.bytes).Picture()).second;
}

// The control that has the keyboard focus, in the page or in no window.
Value ActiveElement() { return Document()["activeElement"]; }

// How far a finger reaches on a touch screen, in CSS pixels each way: Apple's and WCAG's size of a
// target to tap.
constexpr double TapPixels = 44;

}  // namespace

// Controls share their element and the listeners that go with it.
struct Control {
    Control(std::string id, const ControlDesign& design, const Value& writtenWindow)
        : element(ElementOf(web::ControlTag(design.kind), id, writtenWindow)),
          id(std::move(id)),
          kind(design.kind),
          rect(design.rect) {
        ApplyDesign(element, this->id, design);
    }
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Control(Control&&) = delete;
    Control& operator=(Control&&) = delete;

    void Listen(const char* type, CallbackFunction callback) {
        listeners.push_back(std::make_unique<Listener>(element, type, std::move(callback)));
    }

    // On a touch screen, a control that is pressed takes taps a finger's reach across however
    // small the scene is shown, through a transparent border around it: what it draws stays
    // where the design puts it, and its window still clips it. The page's style insets a
    // button's focus rectangle by the border (--tap).
    void FitTapArea(double scale, bool touch) {
        const int narrowest = ToPixels(std::min(rect.width, rect.height));
        const int border = touch && pressed ? std::max(0, int(std::ceil((TapPixels / scale - narrowest) / 2))) : 0;
        if (std::exchange(tapBorder, border) == border) {
            return;
        }
        SetStyle(element, "left", web::Pixels(ToPixels(rect.left) - border));
        SetStyle(element, "top", web::Pixels(ToPixels(rect.top) - border));
        SetStyle(element, "width", web::Pixels(ToPixels(rect.width) + 2 * border));
        SetStyle(element, "height", web::Pixels(ToPixels(rect.height) + 2 * border));
        SetStyle(element, "border", web::Pixels(border) + " solid transparent");
        SetStyle(element, "background-clip", "padding-box");
        SetStyle(element, "--tap", web::Pixels(border));
    }

    Value element;
    std::string id;
    ControlKind kind;
    TwipRect rect;
    bool pressed = false;  // whether it is a button, or a label with a click handler
    int tapBorder = 0;     // CSS pixels
    std::vector<std::unique_ptr<Listener>> listeners;
};

struct Label::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const Value& writtenWindow)
        : Control(std::move(id), design, writtenWindow) {
        Listen("click", [this](const Value& /*event*/) { Raise(click); });
        SetText(design.text);
    }

    void SetText(std::u16string_view text) {
        text_ = text;
        element.Set("textContent", text_);
    }

    // A label with a click handler, which the design keeps out of the keyboard focus, is a button
    // that a screen reader's user can press.
    void SetClick(Handler handler) {
        click = std::move(handler);
        pressed = true;
        element.Call("setAttribute", "role", "button");
    }

    Handler click;
    std::u16string text_;
};

// A single-line box that keeps its text to one line of whole characters within its maximum
// length, whether typed, pasted, dropped or composed: each insertion is cut here before the
// browser makes it, and whatever the browser changed itself is checked after.
struct TextBox::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const Value& writtenWindow)
        : Control(std::move(id), design, writtenWindow), maxLength_(design.maxLength) {
        element.Set("type", "text");
        if (design.keyboard == Keyboard::Digits) {
            element.Set("inputMode", "numeric");
        }
        element.Set("spellcheck", false);
        element.Set("autocomplete", "off");
        // What a person typed into the box that the page showed before the program ran goes
        // through the box's rule as soon as the window's handlers are in place (TakeTypedEarly).
        if (element["isConnected"].Truth() && Text() != design.text) {
            typedEarly.push_back(this);
        } else {
            element.Set("value", design.text);
        }
        Listen("beforeinput", [this](const Value& event) { Insert(event); });
        Listen("input", [this](const Value& event) {
            if (!event["isComposing"].Truth()) {
                Keep(Text(), Cursor(), true);
            }
        });
        Listen("compositionend", [this](const Value& /*event*/) { Keep(Text(), Cursor(), true); });
    }

    void SetText(std::u16string_view text) {
        element.Set("value", text);
        Raise(change);
    }

    ~Impl() override { std::erase(typedEarly, this); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;

    [[nodiscard]] std::u16string Text() const { return element["value"].Text(); }

    void TakeTyped() { Keep(Text(), Cursor(), true); }

    // The boxes that a person typed into before the program ran.
    static std::vector<Impl*> typedEarly;

    Handler change;

private:
    [[nodiscard]] std::size_t Cursor() const { return std::size_t(element["selectionEnd"].Number()); }

    // Cuts an insertion down to its first line and to the room the box has left, as a Windows box
    // cuts a paste, and inserts what is left through the browser's own editing, which keeps it
    // for undo; the input event that follows raises the change event.
    void Insert(const Value& event) {
        const Value transfer = event["dataTransfer"];
        const Value inserted = event["data"].IsText() ? event["data"]
                               : transfer.IsNone()    ? Value()
                                                      : transfer.Call("getData", "text/plain");
        if (inserting_ || !event["cancelable"].Truth() || !inserted.IsText()) {
            return;
        }
        event.Call("preventDefault");
        // Firefox hands over a wide character typed as one key in two insertions, one for each
        // half: the first half waits for the second, so that the character comes in whole or not
        // at all. A half that nothing completes is dropped with the next insertion.
        auto text = std::exchange(heldHalf_, {}) + inserted.Text();
        if (!text.empty() && IsHighSurrogate(text.back())) {
            heldHalf_ = text.back();
            text.pop_back();
        }
        const std::u16string value = Text();
        const auto start = std::min(std::size_t(element["selectionStart"].Number()), value.size());
        const auto end = std::clamp(Cursor(), start, value.size());
        std::u16string kept = KeepFirstLine(text, text.size()).text;
        if (maxLength_ > 0) {
            const std::size_t left = value.size() - (end - start);
            const std::size_t room = std::size_t(maxLength_) > left ? std::size_t(maxLength_) - left : 0;
            kept = KeepWholeCharacters(kept, kept.size(), room).text;
        }
        if (kept.empty() && start == end) {
            return;
        }
        inserting_ = true;
        const bool insertedByBrowser = Document().Call("execCommand", "insertText", false, kept).Truth();
        inserting_ = false;
        if (!insertedByBrowser) {
            Keep(value.substr(0, start) + kept + value.substr(end), start + kept.size(), false);
        }
    }

    // Sets the box to what the rule keeps of `text`, and raises the change event when the text
    // has changed, or when the browser has changed it already.
    void Keep(std::u16string_view text, std::size_t cursor, bool changed) {
        auto kept = KeepFirstLine(text, cursor);
        if (maxLength_ > 0) {
            kept = KeepWholeCharacters(kept.text, kept.cursor, std::size_t(maxLength_));
        }
        if (kept.text != Text()) {
            element.Set("value", kept.text);
            changed = true;
        }
        element.Call("setSelectionRange", kept.cursor, kept.cursor);
        if (changed) {
            Raise(change);
        }
    }

    int maxLength_;
    bool inserting_ = false;
    std::u16string heldHalf_;
};

std::vector<TextBox::Impl*> TextBox::Impl::typedEarly;

struct Button::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const Value& writtenWindow)
        : Control(std::move(id), design, writtenWindow) {
        pressed = true;
        element.Set("type", "button");
        element.Set("textContent", design.text);
        Listen("click", [this](const Value& /*event*/) { Raise(click); });
    }

    Handler click;
};

namespace {

// The windows there are, from back to front.
std::vector<Window::Impl*> windows;

// The viewport's width and height in CSS pixels.
std::pair<int, int> Viewport() {
    const Value viewport = Document()["documentElement"];
    return {int(viewport["clientWidth"].Number()), int(viewport["clientHeight"].Number())};
}

}  // namespace

struct Window::Impl {
    explicit Impl(const WindowDesign& design)
        : name(design.name),
          start(design.start),
          width(ToPixels(design.width)),
          height(ToPixels(design.height)),
          enterClicks(design.enterClicks),
          escapeCloses(design.escapeCloses),
          element(TakeWrittenWindow(name)) {
        // The first window is written into the page, picture and all, and the browser shows it
        // before the program runs: it stays in view as it is while the program takes it over.
        const Value written = element;
        if (written.IsNone()) {
            element = CreateElement("div");
            canvas = CreateElement("canvas");
            SetStyles(canvas, web::Placed(0, 0, width, height));
            element.Call("append", canvas);
        }
        element.Set("id", design.name);
        element.Call("setAttribute", "role", "group");
        element.Call("setAttribute", "aria-label", design.caption);
        // Otherwise it is hidden until it is shown, and unseen until its picture is drawn. Fixed in
        // the viewport, it never widens the page: a phone's browser would widen its viewport to a
        // window past its edge, for a moment as the phone turns, and the window would be placed in that.
        SetStyles(element, web::WindowStyle(design) +
                               (!written.IsNone() ? "visibility:visible;" : "display:none;visibility:hidden;"));
        // What the page wrote stays where it is: moved, an element would lose a click pressed on it
        // before the program ran and released after.
        for (const ControlDesign* control : design.controls) {
            controls.emplace_back(control, CreateControl(*control, written));
            if (!controls.back().second->element["isConnected"].Truth()) {
                element.Call("append", controls.back().second->element);
            }
        }
        for (const auto& [control, created] : controls) {
            if (control->labelledBy != nullptr) {
                created->element.Call("setAttribute", "aria-labelledby", Find(*control->labelledBy).id);
            }
        }
        DrawPicture(design, written);
        listeners.push_back(std::make_unique<Listener>(element, "mousedown", [this](const Value& event) {
            // A click on a window brings it to the front, and leaves the keyboard focus in it
            // unless it lands on a control that takes the focus.
            if (event["target"]["tabIndex"].Number() < 0) {
                event.Call("preventDefault");
            }
            BringToFront();
            Activate();
        }));
        listeners.push_back(
            std::make_unique<Listener>(element, "focusin", [this](const Value& event) { focused = event["target"]; }));
        listeners.push_back(
            std::make_unique<Listener>(element, "keydown", [this](const Value& event) { Press(event); }));
        listeners.push_back(std::make_unique<Listener>(Value::Global(), "resize", [this](const Value& /*event*/) {
            if (placed) {
                PlaceAtStart();
            }
        }));
        if (written.IsNone()) {
            Document()["body"].Call("append", element);
        }
        windows.insert(windows.begin(), this);
    }

    ~Impl() {
        std::erase(windows, this);
        element.Call("remove");
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;

    [[nodiscard]] Control& Find(const ControlDesign& design) const {
        for (const auto& [control, created] : controls) {
            if (control == &design) {
                return *created;
            }
        }
        DesignBroken("control not found: " + name + " has no " + std::string(design.name));
    }

    // The control of the design, of that kind.
    template <class Kind>
    [[nodiscard]] Kind& Find(const ControlDesign& design, ControlKind kind) const {
        Control& found = Find(design);
        if (found.kind != kind) {
            DesignBroken("control not found: " + name + " has no " + std::string(design.name) + " of that kind");
        }
        return static_cast<Kind&>(found);  // NOLINT(cppcoreguidelines-pro-type-static-cast-downcast): of its kind
    }

    void Show() {
        if (!placed) {
            PlaceAtStart();
        }
        SetStyle(element, "display", "block");
        shown = true;
        BringToFront();
        Activate();
    }

    void Hide() {
        SetStyle(element, "display", "none");
        shown = false;
        // As on a desktop, the window in front of those left takes the keyboard focus.
        const auto front = std::find_if(windows.rbegin(), windows.rend(), [](Impl* window) { return window->shown; });
        if (front != windows.rend() && !(*front)->element.Call("contains", ActiveElement()).Truth()) {
            (*front)->Activate();
        }
    }

    Handler closeRequest;

private:
    // A form's default and cancel keys: Enter (either) clicks the control the design names, as a
    // pointer does, and Escape asks the window to close. A key held down repeats nothing, and a
    // key handled goes no further: its default action would press the button that the click has
    // just given the focus to, Ok.
    void Press(const Value& event) {
        const auto key = event["key"].Text();
        if ((key != u"Enter" && key != u"Escape") || event["isComposing"].Truth()) {
            return;
        }
        if (event["repeat"].Truth()) {
            event.Call("preventDefault");
        } else if (key == u"Enter" && enterClicks != nullptr) {
            event.Call("preventDefault");
            Find(*enterClicks).element.Call("click");
        } else if (key == u"Escape" && escapeCloses) {
            event.Call("preventDefault");
            Raise(closeRequest);
        }
    }

    [[nodiscard]] std::unique_ptr<Control> CreateControl(const ControlDesign& design, const Value& written) const {
        std::string id = name + "." + std::string(design.name);
        switch (design.kind) {
            case ControlKind::Label:
                return std::make_unique<Label::Impl>(design, std::move(id), written);
            case ControlKind::TextBox:
                return std::make_unique<TextBox::Impl>(design, std::move(id), written);
            case ControlKind::Button:
                return std::make_unique<Button::Impl>(design, std::move(id), written);
        }
        DesignBroken("invalid control kind for " + std::string(design.name));
    }

    // The picture is drawn at the origin once the browser has decoded it, and the window appears
    // with it; a window written into the page keeps the picture the page shows, which the browser
    // scales with it. A picture that does not decode ends the run.
    void DrawPicture(const WindowDesign& design, const Value& written) {
        pictureFailed = std::make_unique<Callback>(
            [this](const Value& /*error*/) { Fail("invalid picture: the picture of " + name + " does not decode"); });
        if (!written.IsNone()) {
            written.Call("querySelector", "img").Call("decode").Call("catch", pictureFailed->Function());
            return;
        }
        pictureDrawn = std::make_unique<Callback>([this](const Value& decoded) {
            bitmap = decoded;
            Paint();
            SetStyle(element, "visibility", "visible");
            // A control takes the focus only once it can be seen.
            if (shown && windows.back() == this) {
                Activate();
            }
        });
        const Value picture = Picture(design);
        if (!picture.IsNone()) {
            picture.Call("then", pictureDrawn->Function(), pictureFailed->Function());
        }
    }

    // At 1:1 the picture is drawn unscaled. In a shrunk scene it is drawn again at the size it is
    // shown, in device pixels, smoothed by the canvas: WebKit would shrink the window's own pixels
    // by dropping some, and the picture's thin lines with them.
    void Paint() {
        const double pixels = scale < 1 ? scale * PixelRatio() : 1;
        if (bitmap.IsNone() || pixels == paintedPixels) {
            return;
        }
        paintedPixels = pixels;
        canvas.Set("width", std::lround(width * pixels));
        canvas.Set("height", std::lround(height * pixels));
        const Value context = canvas.Call("getContext", "2d");
        if (pixels == 1) {
            context.Call("drawImage", bitmap, 0, 0);
            return;
        }
        context.Set("imageSmoothingQuality", "high");
        context.Call("drawImage", bitmap, 0, 0, std::lround(bitmap["width"].Number() * pixels),
                     std::lround(bitmap["height"].Number() * pixels));
    }

    void BringToFront() {
        std::erase(windows, this);
        windows.push_back(this);
        for (std::size_t layer = 0; layer < windows.size(); ++layer) {
            SetStyle(windows[layer]->element, "z-index", std::to_string(layer + 1));
        }
    }

    // Gives the keyboard focus back to the control that had it, or to the first that takes it.
    void Activate() const {
        if (element.Call("contains", ActiveElement()).Truth()) {
            return;
        }
        Value target = focused;
        if (target.IsNone() || !element.Call("contains", target).Truth()) {
            target = element.Call("querySelector", "input, button");
        }
        if (!target.IsNone()) {
            target.Call("focus");
        }
    }

    // The main window is centred in the page's viewport, a window centred over its owner over the
    // window in front when it first shows, and both stay so as the viewport changes size, turned
    // or shrunk by a touch screen's keyboard. The whole scene is shown at the same scale.
    void PlaceAtStart() {
        const auto [viewportWidth, viewportHeight] = Viewport();
        scale = SceneScale(viewportWidth, viewportHeight);
        int x = int(std::floor((viewportWidth - width * scale) / 2));
        int y = int(std::floor((viewportHeight - height * scale) / 2));
        if (start == StartPosition::CentreOwner) {
            if (owner == nullptr && !windows.empty() && windows.back() != this && windows.back()->shown) {
                owner = windows.back();
            }
            if (owner != nullptr && std::find(windows.begin(), windows.end(), owner) != windows.end()) {
                x = owner->left + int(std::floor((owner->width - width) * scale / 2));
                y = owner->top + int(std::floor((owner->height - height) * scale / 2));
            }
        }
        left = std::max(x, 0);
        top = std::max(y, 0);
        SetStyle(element, "left", web::Pixels(left));
        SetStyle(element, "top", web::Pixels(top));
        // The page writes the number, as it does where it places the window written into it.
        if (scale < 1) {
            element["style"].Call("setProperty", "scale", scale);
        } else {
            SetStyle(element, "scale", "none");
        }
        const bool touch = Value::Global().Call("matchMedia", "(pointer: coarse)")["matches"].Truth();
        for (const auto& [design, control] : controls) {
            control->FitTapArea(scale, touch);
        }
        Paint();
        placed = true;
    }

    // A viewport smaller than a window centred on the screen with its margin, a phone's, shows
    // the whole scene shrunk to fit, in proportion; a larger one shows it at 1:1, pixel for pixel.
    static double SceneScale(int viewportWidth, int viewportHeight) {
        double scale = 1;
        for (const Impl* window : windows) {
            if (window->start == StartPosition::CentreScreen) {
                scale = std::min({scale, double(viewportWidth - 2 * web::ViewportMargin) / window->width,
                                  double(viewportHeight - 2 * web::ViewportMargin) / window->height});
            }
        }
        return std::max(scale, 0.0);
    }

    std::string name;
    StartPosition start;
    int width;
    int height;
    const ControlDesign* enterClicks;
    bool escapeCloses;
    int left = 0;
    int top = 0;
    bool placed = false;
    bool shown = false;
    const Impl* owner = nullptr;
    double scale = 1;          // of the whole scene, at the last placing
    double paintedPixels = 0;  // device pixels to the picture's pixel, as last drawn
    Value element;
    Value canvas;  // the picture of a window not written into the page
    Value bitmap;
    Value focused;
    std::vector<std::pair<const ControlDesign*, std::unique_ptr<Control>>> controls;
    std::vector<std::unique_ptr<Listener>> listeners;
    std::unique_ptr<Callback> pictureDrawn;
    std::unique_ptr<Callback> pictureFailed;
};

Window::Window(const WindowDesign& design) : impl_(std::make_unique<Impl>(design)) {}

Window::~Window() = default;

void Window::Show() { impl_->Show(); }

void Window::Hide() { impl_->Hide(); }

// A window inside the page has no close box of the desktop's: Escape asks for its closing, where
// its design says so.
void Window::OnCloseRequest(Handler handler) { impl_->closeRequest = std::move(handler); }

Label::Label(const Window& window, const ControlDesign& design)
    : impl_(&window.impl().Find<Impl>(design, ControlKind::Label)) {}

void Label::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string Label::Text() const { return impl_->text_; }

void Label::OnClick(Handler handler) { impl_->SetClick(std::move(handler)); }

TextBox::TextBox(const Window& window, const ControlDesign& design)
    : impl_(&window.impl().Find<Impl>(design, ControlKind::TextBox)) {}

void TextBox::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string TextBox::Text() const { return impl_->Text(); }

void TextBox::OnChange(Handler handler) { impl_->change = std::move(handler); }

Button::Button(const Window& window, const ControlDesign& design)
    : impl_(&window.impl().Find<Impl>(design, ControlKind::Button)) {}

void Button::OnClick(Handler handler) { impl_->click = std::move(handler); }

namespace {

// One quiet line under the windows: how the run ended.
void SayOnThePage(const std::string& text) {
    const Value line = CreateElement("p");
    line.Set("id", "status");
    line.Call("setAttribute", "role", "status");
    line.Set("textContent", text);
    Document()["body"].Call("append", line);
}

void DestroyDoomed(void* /*unused*/) { run::DestroyDoomed(); }

}  // namespace

void DestroyLater(std::shared_ptr<void> object) {
    if (run::Doom(std::move(object))) {
        emscripten_set_timeout(DestroyDoomed, 0, nullptr);
    }
}

void End(int status) {
    if (!run::MarkEnded(status)) {
        return;
    }
    Reference::UnloadAll();
    // A window written into the page that the run ended before taking over goes with the others.
    for (Value written; !(written = Document().Call("querySelector", "body > div")).IsNone();) {
        written.Call("remove");
    }
    if (status == 0) {
        SayOnThePage("Tablinor - Verdusk ha terminado. Vuelva a cargar la página para iniciarlo de nuevo.");
    }
}

void Fail(std::string_view message) {
    const std::string line = "Tablinor - Verdusk: run-time error: " + std::string(message);
    Value::Global()["console"].Call("error", line);
    SayOnThePage(line);
    End(1);
}

namespace {

// Adds the face the program carries to the page's and gives the promise of every face read, the
// bold one written into the page too.
Value ReadFaces() {
    page_add_face(web::DialogFace.family, web::DialogFace.weight, web::TahomaFile.data(), web::TahomaFile.size());
    return Value::Taken(page_faces_read());
}

// What a person did to the first window before the program ran is done as soon as its handlers
// are in place, before the browser hands the program anything else: the text typed into its
// boxes, then the clicks that the page held for it, in the order they came.
void TakeEarlyInput() {
    for (TextBox::Impl* box : std::exchange(TextBox::Impl::typedEarly, {})) {
        box->TakeTyped();
    }
    if (Value::Global()["takeHeldClicks"].IsNone()) {
        return;
    }
    const Value ids = Value::Global().Call("takeHeldClicks");
    for (Value id; !(id = ids.Call("shift")).IsNone();) {
        if (const Value control = Document().Call("getElementById", id); !control.IsNone()) {
            control.Call("click");
        }
    }
}

}  // namespace

void BeginRun(const ApplicationDesign& application) {
    run::Begin();
    if (application.firstWindow != nullptr) {
        Document().Set("title", application.firstWindow->caption);
    }
    // The browser decodes a picture only in a later turn of its event loop: decoded while the
    // faces are read, each window shows with its picture in the first frame after it is asked for.
    // Damaged design data ends the run here, before any window shows. The page shows the picture
    // of a window written into it already.
    if (application.firstWindow != nullptr && WrittenWindow(std::string(application.firstWindow->name)).IsNone()) {
        Picture(*application.firstWindow);
    }
    for (const WindowDesign* window : application.laterWindows) {
        if (!run::Ended()) {
            Picture(*window);
        }
    }
}

// The browser keeps the page's event loop: the run goes on after this returns, until End. So the
// page has no FinishRun, the half of a run that comes after its event loop.
int Run(const ApplicationDesign& application, const Handler& start) {
    BeginRun(application);
    if (run::Ended()) {
        return run::ExitStatus();
    }
    static Callback facesRead([start](const Value& /*faces*/) {
        start();
        TakeEarlyInput();
    });
    static Callback facesFailed([](const Value& error) {
        const std::u16string message = error["message"].Text();
        Fail("the page's faces cannot be read: " + std::string(message.begin(), message.end()));
    });
    ReadFaces().Call("then", facesRead.Function(), facesFailed.Function());
    return run::ExitStatus();
}

}  // namespace forms
