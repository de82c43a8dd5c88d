// The forms layer in a web page: each window is a positioned element of the page, each control one
// of the page's own elements, reached through Emscripten's val.
#include <emscripten/bind.h>
#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "windows/forms/form_reference.h"
#include "windows/forms/forms.h"
#include "windows/forms/picture.h"
#include "windows/forms/run_state.h"
#include "windows/forms/text_limit.h"
#include "windows/forms/web/page_style.h"

namespace forms {
namespace {

using emscripten::val;
using run::Raise;

// JavaScript functions that call back into the program. Each lives as long as the object that
// holds it; a call that comes after, from a promise or a queued event, finds nothing to call.
std::map<int, std::function<void(val)>> callbacks;
int lastCallback = 0;

void CallBack(int id, val argument) {
    if (const auto found = callbacks.find(id); found != callbacks.end()) {
        Raise([&] { found->second(std::move(argument)); });
    }
}

EMSCRIPTEN_BINDINGS(forms_callbacks) { emscripten::function("formsCallBack", &CallBack); }

class Callback {
public:
    explicit Callback(std::function<void(val)> callback) : id_(++lastCallback) {
        callbacks.emplace(id_, std::move(callback));
    }
    ~Callback() { callbacks.erase(id_); }
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;
    Callback(Callback&&) = delete;
    Callback& operator=(Callback&&) = delete;

    [[nodiscard]] val Function() const {
        return val::module_property("formsCallBack").call<val>("bind", val::null(), id_);
    }

private:
    int id_;
};

// An event listener on a page object, taken off again with its holder.
class Listener {
public:
    Listener(val target, const char* type, std::function<void(val)> callback)
        : target_(std::move(target)), type_(type), callback_(std::move(callback)), function_(callback_.Function()) {
        target_.call<void>("addEventListener", val(type_), function_);
    }
    ~Listener() { target_.call<void>("removeEventListener", val(type_), function_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    Listener(Listener&&) = delete;
    Listener& operator=(Listener&&) = delete;

private:
    val target_;
    const char* type_;
    Callback callback_;
    val function_;
};

val Document() { return val::global("document"); }

val CreateElement(const char* tag) { return Document().call<val>("createElement", val(tag)); }

void SetStyle(const val& element, const char* property, const std::string& value) {
    element["style"].call<void>("setProperty", val(property), val(value));
}

// An element's whole style is written in one call: a call into the page costs more than the
// browser's reading of a longer text.
void SetStyles(const val& element, const std::string& declarations) { element["style"].set("cssText", declarations); }

double PixelRatio() { return val::global("devicePixelRatio").as<double>(); }

// The window of this name that the build wrote into the page, which the program takes over once:
// a window made again later, while the one unloaded before is still in the page, is made anew.
val TakeWrittenWindow(const std::string& name) {
    val window = Document().call<val>("getElementById", name);
    if (window.isNull() || !window.call<bool>("hasAttribute", val("data-written"))) {
        return val::null();
    }
    window.call<void>("removeAttribute", val("data-written"));
    return window;
}

// The element of a control that the build wrote into the window written into the page, or a new one.
val ElementOf(const char* tag, const std::string& id, const val& writtenWindow) {
    if (!writtenWindow.isNull()) {
        if (val written = Document().call<val>("getElementById", id);
            !written.isNull() && writtenWindow.call<bool>("contains", written)) {
            return written;
        }
    }
    return CreateElement(tag);
}

// The design common to every kind of control, and what its kind draws.
void ApplyDesign(val& element, const std::string& id, const ControlDesign& design) {
    element.set("id", id);
    SetStyles(element, web::ControlStyle(design, PixelRatio()));
    if (!design.accessibleName.empty()) {
        element.call<void>("setAttribute", val("aria-label"), val(std::string(design.accessibleName)));
    }
}

// The pictures, decoded by the browser once a run, as promises of an ImageBitmap.
std::map<const std::uint8_t*, val> pictures;

val Picture(const WindowDesign& design) {
    const auto image = PictureImage(design.picture);
    auto found = pictures.find(design.picture.data());
    if (found == pictures.end()) {
        const val bytes(emscripten::typed_memory_view(image.size(), image.data()));
        const val blob = val::global("Blob").new_(val::array(std::vector<val>{bytes}));
        found = pictures.emplace(design.picture.data(), val::global("createImageBitmap")(blob)).first;
    }
    return found->second;
}

// The control that has the keyboard focus, in the page or in no window.
val ActiveElement() { return Document()["activeElement"]; }

// How far a finger reaches on a touch screen, in CSS pixels each way: Apple's and WCAG's size of a
// target to tap.
constexpr double TapPixels = 44;

}  // namespace

// Controls share their element and the listeners that go with it.
struct Control {
    Control(std::string id, const ControlDesign& design, const val& writtenWindow)
        : element(ElementOf(web::ControlTag(design.kind), id, writtenWindow)), id(std::move(id)), rect(design.rect) {
        ApplyDesign(element, this->id, design);
    }
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Control(Control&&) = delete;
    Control& operator=(Control&&) = delete;

    void Listen(const char* type, std::function<void(val)> callback) {
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

    val element;
    std::string id;
    TwipRect rect;
    bool pressed = false;  // whether it is a button, or a label with a click handler
    int tapBorder = 0;     // CSS pixels
    std::vector<std::unique_ptr<Listener>> listeners;
};

struct Label::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const val& writtenWindow)
        : Control(std::move(id), design, writtenWindow) {
        Listen("click", [this](const val& /*event*/) { Raise(click); });
        SetText(design.text);
    }

    void SetText(std::u16string_view text) {
        text_ = text;
        element.set("textContent", text_);
    }

    // A label with a click handler, which the design keeps out of the keyboard focus, is a button
    // that a screen reader's user can press.
    void SetClick(Handler handler) {
        click = std::move(handler);
        pressed = true;
        element.call<void>("setAttribute", val("role"), val("button"));
    }

    Handler click;
    std::u16string text_;
};

// A single-line box that keeps its text to one line of whole characters within its maximum
// length, whether typed, pasted, dropped or composed: each insertion is cut here before the
// browser makes it, and whatever the browser changed itself is checked after.
struct TextBox::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const val& writtenWindow)
        : Control(std::move(id), design, writtenWindow), maxLength_(design.maxLength) {
        element.set("type", val("text"));
        if (design.keyboard == Keyboard::Digits) {
            element.set("inputMode", val("numeric"));
        }
        element.set("spellcheck", false);
        element.set("autocomplete", val("off"));
        // What a person typed into the box that the page showed before the program ran goes
        // through the box's rule as soon as the window's handlers are in place.
        if (element["isConnected"].as<bool>() && Value() != design.text) {
            typedEarly_ = std::make_unique<Callback>([this](const val& /*unused*/) { Keep(Value(), Cursor(), true); });
            val::global("setTimeout")(typedEarly_->Function(), 0, val::null());
        } else {
            element.set("value", std::u16string(design.text));
        }
        Listen("beforeinput", [this](const val& event) { Insert(event); });
        Listen("input", [this](const val& event) {
            if (!event["isComposing"].as<bool>()) {
                Keep(Value(), Cursor(), true);
            }
        });
        Listen("compositionend", [this](const val& /*event*/) { Keep(Value(), Cursor(), true); });
    }

    void SetText(std::u16string_view text) {
        element.set("value", std::u16string(text));
        Raise(change);
    }

    [[nodiscard]] std::u16string Value() const { return element["value"].as<std::u16string>(); }

    Handler change;

private:
    [[nodiscard]] std::size_t Cursor() const { return element["selectionEnd"].as<std::size_t>(); }

    // Cuts an insertion down to its first line and to the room the box has left, as a Windows box
    // cuts a paste, and inserts what is left through the browser's own editing, which keeps it
    // for undo; the input event that follows raises the change event.
    void Insert(const val& event) {
        const val transfer = event["dataTransfer"];
        const val inserted = event["data"].isString() ? event["data"]
                             : transfer.isNull() || transfer.isUndefined()
                                 ? val::undefined()
                                 : transfer.call<val>("getData", val("text/plain"));
        if (inserting_ || !event["cancelable"].as<bool>() || !inserted.isString()) {
            return;
        }
        event.call<void>("preventDefault");
        // Firefox hands over a wide character typed as one key in two insertions, one for each
        // half: the first half waits for the second, so that the character comes in whole or not
        // at all. A half that nothing completes is dropped with the next insertion.
        auto text = std::exchange(heldHalf_, {}) + inserted.as<std::u16string>();
        if (!text.empty() && IsHighSurrogate(text.back())) {
            heldHalf_ = text.back();
            text.pop_back();
        }
        const std::u16string value = Value();
        const auto start = std::min(element["selectionStart"].as<std::size_t>(), value.size());
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
        const bool insertedByBrowser = Document().call<bool>("execCommand", val("insertText"), false, kept);
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
        if (kept.text != Value()) {
            element.set("value", kept.text);
            changed = true;
        }
        element.call<void>("setSelectionRange", kept.cursor, kept.cursor);
        if (changed) {
            Raise(change);
        }
    }

    int maxLength_;
    std::unique_ptr<Callback> typedEarly_;
    bool inserting_ = false;
    std::u16string heldHalf_;
};

struct Button::Impl final : Control {
    Impl(const ControlDesign& design, std::string id, const val& writtenWindow)
        : Control(std::move(id), design, writtenWindow) {
        pressed = true;
        element.set("type", val("button"));
        element.set("textContent", std::u16string(design.text));
        Listen("click", [this](const val& /*event*/) { Raise(click); });
    }

    Handler click;
};

namespace {

// The windows there are, from back to front.
std::vector<Window::Impl*> windows;

// The viewport's width and height in CSS pixels.
std::pair<int, int> Viewport() {
    const val viewport = Document()["documentElement"];
    return {viewport["clientWidth"].as<int>(), viewport["clientHeight"].as<int>()};
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
          element(TakeWrittenWindow(name)),
          canvas(CreateElement("canvas")) {
        // The first window is written into the page, picture and all, and the browser shows it
        // before the program runs: it stays in view while the program takes it over.
        const val written = element;
        if (written.isNull()) {
            element = CreateElement("div");
        } else {
            writtenPicture = element.call<val>("querySelector", val("img"));
        }
        element.set("id", std::string(design.name));
        element.call<void>("setAttribute", val("role"), val("group"));
        element.call<void>("setAttribute", val("aria-label"), std::u16string(design.caption));
        // Otherwise it is hidden until it is shown, and unseen until its picture is drawn. Fixed in
        // the viewport, it never widens the page: a phone's browser would widen its viewport to a
        // window past its edge, for a moment as the phone turns, and the window would be placed in that.
        SetStyles(element, web::WindowStyle(design) +
                               (!written.isNull() ? "visibility:visible;" : "display:none;visibility:hidden;"));
        SetStyles(canvas, web::Placed(0, 0, width, height));
        element.call<void>("prepend", canvas);
        for (const ControlDesign* control : design.controls) {
            controls.emplace_back(control, CreateControl(*control, written));
            element.call<void>("append", controls.back().second->element);
        }
        for (const auto& [control, created] : controls) {
            if (control->labelledBy != nullptr) {
                created->element.call<void>("setAttribute", val("aria-labelledby"),
                                            val(Find<Control>(*control->labelledBy).id));
            }
        }
        DrawPicture(design);
        listeners.push_back(std::make_unique<Listener>(element, "mousedown", [this](const val& event) {
            // A click on a window brings it to the front, and leaves the keyboard focus in it
            // unless it lands on a control that takes the focus.
            if (event["target"]["tabIndex"].as<int>() < 0) {
                event.call<void>("preventDefault");
            }
            BringToFront();
            Activate();
        }));
        listeners.push_back(
            std::make_unique<Listener>(element, "focusin", [this](const val& event) { focused = event["target"]; }));
        listeners.push_back(std::make_unique<Listener>(element, "keydown", [this](const val& event) { Press(event); }));
        listeners.push_back(std::make_unique<Listener>(val::global("window"), "resize", [this](const val& /*event*/) {
            if (placed) {
                PlaceAtStart();
            }
        }));
        Document()["body"].call<void>("append", element);
        windows.insert(windows.begin(), this);
    }

    ~Impl() {
        std::erase(windows, this);
        element.call<void>("remove");
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;

    template <class Kind>
    [[nodiscard]] Kind& Find(const ControlDesign& design) const {
        for (const auto& [control, created] : controls) {
            if (control == &design) {
                if (auto* found = dynamic_cast<Kind*>(created.get())) {
                    return *found;
                }
            }
        }
        throw RunTimeError("control not found: " + name + " has no " + std::string(design.name) + " of that kind");
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
        if (front != windows.rend() && !(*front)->element.call<bool>("contains", ActiveElement())) {
            (*front)->Activate();
        }
    }

    Handler closeRequest;

private:
    // A form's default and cancel keys: Enter (either) clicks the control the design names, as a
    // pointer does, and Escape asks the window to close. A key held down repeats nothing, and a
    // key handled goes no further: its default action would press the button that the click has
    // just given the focus to, Ok.
    void Press(const val& event) {
        const auto key = event["key"].as<std::string>();
        if ((key != "Enter" && key != "Escape") || event["isComposing"].as<bool>()) {
            return;
        }
        if (event["repeat"].as<bool>()) {
            event.call<void>("preventDefault");
        } else if (key == "Enter" && enterClicks != nullptr) {
            event.call<void>("preventDefault");
            Find<Control>(*enterClicks).element.call<void>("click");
        } else if (key == "Escape" && escapeCloses) {
            event.call<void>("preventDefault");
            Raise(closeRequest);
        }
    }

    [[nodiscard]] std::unique_ptr<Control> CreateControl(const ControlDesign& design, const val& written) const {
        std::string id = name + "." + std::string(design.name);
        switch (design.kind) {
            case ControlKind::Label:
                return std::make_unique<Label::Impl>(design, std::move(id), written);
            case ControlKind::TextBox:
                return std::make_unique<TextBox::Impl>(design, std::move(id), written);
            case ControlKind::Button:
                return std::make_unique<Button::Impl>(design, std::move(id), written);
        }
        throw RunTimeError("invalid control kind for " + std::string(design.name));
    }

    // The picture is drawn at the origin once the browser has decoded it, and the window appears
    // with it. A picture that does not decode ends the run.
    void DrawPicture(const WindowDesign& design) {
        pictureDrawn = std::make_unique<Callback>([this](const val& decoded) {
            bitmap = decoded;
            Paint();
            if (!writtenPicture.isNull()) {
                writtenPicture.call<void>("remove");
            }
            SetStyle(element, "visibility", "visible");
            // A control takes the focus only once it can be seen.
            if (shown && windows.back() == this) {
                Activate();
            }
        });
        pictureFailed = std::make_unique<Callback>([this](const val& /*error*/) {
            throw RunTimeError("invalid picture: the picture of " + name + " does not decode");
        });
        Picture(design).call<void>("then", pictureDrawn->Function(), pictureFailed->Function());
    }

    // At 1:1 the picture is drawn unscaled. In a shrunk scene it is drawn again at the size it is
    // shown, in device pixels, smoothed by the canvas: WebKit would shrink the window's own pixels
    // by dropping some, and the picture's thin lines with them.
    void Paint() {
        const double pixels = scale < 1 ? scale * val::global("devicePixelRatio").as<double>() : 1;
        if (bitmap.isUndefined() || pixels == paintedPixels) {
            return;
        }
        paintedPixels = pixels;
        canvas.set("width", std::lround(width * pixels));
        canvas.set("height", std::lround(height * pixels));
        val context = canvas.call<val>("getContext", val("2d"));
        if (pixels == 1) {
            context.call<void>("drawImage", bitmap, 0, 0);
            return;
        }
        context.set("imageSmoothingQuality", val("high"));
        context.call<void>("drawImage", bitmap, 0, 0, std::lround(bitmap["width"].as<double>() * pixels),
                           std::lround(bitmap["height"].as<double>() * pixels));
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
        if (element.call<bool>("contains", ActiveElement())) {
            return;
        }
        val target = focused;
        if (target.isUndefined() || !element.call<bool>("contains", target)) {
            target = element.call<val>("querySelector", val("input, button"));
        }
        if (!target.isNull()) {
            target.call<void>("focus");
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
        SetStyle(element, "transform", scale < 1 ? "scale(" + std::to_string(scale) + ")" : "none");
        const bool touch = val::global("matchMedia")(val("(pointer: coarse)"))["matches"].as<bool>();
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
    val element;
    val canvas;
    val bitmap = val::undefined();
    val writtenPicture = val::null();  // until the program's own is drawn
    val focused = val::undefined();
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

Label::Label(const Window& window, const ControlDesign& design) : impl_(&window.impl().Find<Impl>(design)) {}

void Label::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string Label::Text() const { return impl_->text_; }

void Label::OnClick(Handler handler) { impl_->SetClick(std::move(handler)); }

TextBox::TextBox(const Window& window, const ControlDesign& design) : impl_(&window.impl().Find<Impl>(design)) {}

void TextBox::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string TextBox::Text() const { return impl_->Value(); }

void TextBox::OnChange(Handler handler) { impl_->change = std::move(handler); }

Button::Button(const Window& window, const ControlDesign& design) : impl_(&window.impl().Find<Impl>(design)) {}

void Button::OnClick(Handler handler) { impl_->click = std::move(handler); }

namespace {

// One quiet line under the windows: how the run ended.
void SayOnThePage(const std::string& text) {
    val line = CreateElement("p");
    line.set("id", val("status"));
    line.call<void>("setAttribute", val("role"), val("status"));
    line.set("textContent", text);
    Document()["body"].call<void>("append", line);
}

void DestroyDoomed(void* /*unused*/) { run::DestroyDoomed(); }

}  // namespace

void DestroyLater(std::shared_ptr<void> object) {
    if (run::Doom(std::move(object))) {
        emscripten_async_call(DestroyDoomed, nullptr, 0);
    }
}

void End(int status) {
    if (!run::MarkEnded(status)) {
        return;
    }
    Reference::UnloadAll();
    // A window written into the page that the run ended before taking over goes with the others.
    for (const val& written :
         emscripten::vecFromJSArray<val>(Document().call<val>("querySelectorAll", val("body > div")))) {
        written.call<void>("remove");
    }
    if (status == 0) {
        SayOnThePage("Tablinor - Verdusk ha terminado. Vuelva a cargar la página para iniciarlo de nuevo.");
    }
}

void Fail(std::string_view message) {
    const std::string line = "Tablinor - Verdusk: run-time error: " + std::string(message);
    val::global("console").call<void>("error", line);
    SayOnThePage(line);
    End(1);
}

namespace {

// Adds the page's faces and resolves once the browser has read them all.
val AddPageFaces() {
    std::vector<val> loaded;
    for (const web::PageFace& face : web::PageFaces) {
        const val bytes(emscripten::typed_memory_view(face.face.file.size(), face.face.file.data()));
        val descriptors = val::object();
        descriptors.set("weight", std::to_string(face.weight));
        val fontFace = val::global("FontFace").new_(val(face.family), bytes, descriptors);
        Document()["fonts"].call<void>("add", fontFace);
        loaded.push_back(fontFace.call<val>("load"));
    }
    return val::global("Promise").call<val>("all", val::array(loaded));
}

// Clicks on the first window that came before the program ran, which the page held for it, are
// taken in the order they came, once the handlers are in place and after the text typed before.
void TakeHeldClicks() {
    const val take = val::global("takeHeldClicks");
    if (take.isUndefined()) {
        return;
    }
    static Callback replay([](const val& ids) {
        for (const auto& id : emscripten::vecFromJSArray<std::string>(ids)) {
            if (const val control = Document().call<val>("getElementById", id); !control.isNull()) {
                control.call<void>("click");
            }
        }
    });
    val::global("setTimeout")(replay.Function(), 0, take());
}

}  // namespace

void BeginRun(const ApplicationDesign& application) {
    run::Begin();
    if (application.firstWindow != nullptr) {
        Document().set("title", std::u16string(application.firstWindow->caption));
    }
    // The browser decodes a picture only in a later turn of its event loop: decoded while the
    // faces are read, each window shows with its picture in the first frame after it is asked for.
    // Damaged design data ends the run here, before any window shows.
    Raise([&application] {
        if (application.firstWindow != nullptr) {
            Picture(*application.firstWindow);
        }
        for (const WindowDesign* window : application.laterWindows) {
            Picture(*window);
        }
    });
}

// The browser keeps the page's event loop: the run goes on after this returns, until End. So the
// page has no FinishRun, the half of a run that comes after its event loop.
int Run(const ApplicationDesign& application, const Handler& start) {
    BeginRun(application);
    static Callback facesRead([start](const val& /*faces*/) {
        start();
        TakeHeldClicks();
    });
    static Callback facesFailed([](const val& error) {
        throw RunTimeError("the page's faces cannot be read: " + error["message"].as<std::string>());
    });
    AddPageFaces().call<void>("then", facesRead.Function(), facesFailed.Function());
    return run::ExitStatus();
}

}  // namespace forms
