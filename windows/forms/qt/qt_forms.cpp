// The forms layer on Qt 6 Widgets.
#include <fontconfig/fontconfig.h>
#include <malloc.h>
#include <qpa/qplatformnativeinterface.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRawFont>
#include <QScreen>
#include <QTextLayout>
#include <QValidator>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "windows/forms/form_reference.h"
#include "windows/forms/forms.h"
#include "windows/forms/picture.h"
#include "windows/forms/run_state.h"
#include "windows/forms/text_limit.h"

namespace forms {
namespace {

using run::Raise;

QString ToQString(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QRect PixelRect(const TwipRect& rect) {
    return {ToPixels(rect.left), ToPixels(rect.top), ToPixels(rect.width), ToPixels(rect.height)};
}

QColor ToQColor(Colour bgr) {
    constexpr Colour Byte = 0xFF;
    return {int(bgr & Byte), int((bgr >> 8) & Byte), int((bgr >> 16) & Byte)};
}

int BigEndian16(const QByteArray& table, qsizetype at) { return (uchar(table[at]) << 8) | uchar(table[at + 1]); }

// Windows smooths a face or not as the face's gasp table asks for the size; Qt would smooth every
// size, and smoothed at 11 to 13 pixels Wine's Tahoma Bold comes out as thin as the regular face.
void SmoothAsTheFaceAsks(QFont& font) {
    constexpr int DoGray = 0x0002;  // a gasp range's flag for smoothed glyphs
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray gasp = raw.fontTable("gasp");
    const qsizetype ranges = gasp.size() >= 4 ? BigEndian16(gasp, 2) : 0;
    for (qsizetype range = 0; range < ranges && 8 + 4 * range <= gasp.size(); ++range) {
        if (raw.pixelSize() <= BigEndian16(gasp, 4 + 4 * range)) {
            if ((BigEndian16(gasp, 6 + 4 * range) & DoGray) == 0) {
                font.setStyleStrategy(QFont::NoAntialias);
            }
            return;
        }
    }
}

// Points are laid out at the design's 96 dpi, like twips; Qt scales both on denser screens.
QFont ToQFont(const FontDesign& design) {
    QFont font(ToQString(design.name));
    font.setPixelSize(FontPixels(design));
    font.setWeight(QFont::Weight(design.weight));
    SmoothAsTheFaceAsks(font);
    return font;
}

// How wide a stem of "l" comes out in device pixels, drawn as a label draws its text.
int StemWidth(const QFont& font, qreal devicePixelRatio) {
    const QFontMetrics metrics(font);
    QImage image(QSize(metrics.height(), metrics.height()) * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(0, metrics.ascent()), QStringLiteral("l"));
    painter.end();
    const int row = qRound((metrics.ascent() - metrics.xHeight() / 2.0) * devicePixelRatio);
    int width = 0;
    for (int x = 0; x < image.width(); ++x) {
        width += qGray(image.pixel(x, row)) < 128 ? 1 : 0;
    }
    return width;
}

// Windows draws the design's bold texts, 11 to 13 pixels high at 96 dpi, with stems two pixels
// wide. Wine's Tahoma Bold has such stems only in some of the bitmaps it embeds, which Qt draws
// only unscaled; its outlines are as thin as the regular face's. Where a bold face's stems come
// out thinner, a label draws its text again at each device pixel further right up to the one this
// returns (one pixel, or the device pixels that make up one on a denser screen), as Windows
// emboldens a face without a bold of its own. Qt's synthetic bold of a regular face would widen
// it by a 24th of the unscaled size: half a device pixel at 13 pixels, however dense the screen.
int OverstrikePixels(const QFont& font, qreal devicePixelRatio) {
    if (font.weight() < QFont::Bold) {
        return 0;
    }
    static QHash<QString, bool> thin;  // by font and pixel ratio: every digit label shares one
    const QString key = font.key() + u'@' + QString::number(devicePixelRatio);
    auto found = thin.constFind(key);
    if (found == thin.cend()) {
        found = thin.insert(key, StemWidth(font, devicePixelRatio) < BoldStemPixels * devicePixelRatio);
    }
    return *found ? int(std::ceil(devicePixelRatio)) : 0;
}

// Windows sets each line's baseline the font's Windows ascent below its top and spaces lines by
// that ascent and the Windows descent, where Qt follows the tighter typographic metrics that
// Wine's Tahoma asks for, which would stack "N" onto the tilde of "Ñ".
struct LineMetrics {
    int ascent;
    int spacing;
};

LineMetrics WindowsLineMetrics(const QFont& font) {
    constexpr qsizetype WinAscentAt = 74;  // offsets in the OS/2 table
    constexpr qsizetype WinDescentAt = 76;
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() < WinDescentAt + 2) {
        const QFontMetrics metrics(font);
        return {metrics.ascent(), metrics.lineSpacing()};
    }
    const int ascent = BigEndian16(os2, WinAscentAt);
    const int descent = BigEndian16(os2, WinDescentAt);
    const double pixelsPerUnit = raw.pixelSize() / raw.unitsPerEm();
    return {qRound(ascent * pixelsPerUnit), int(std::ceil((ascent + descent) * pixelsPerUnit))};
}

// Either Enter key: the main one and the keypad's.
bool IsEnter(const QKeyEvent& event) { return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter; }

// The last key released, in any window.
struct KeyRelease {
    int key = 0;
    quint64 time = 0;
};
KeyRelease lastRelease;

// Whether a press is a held key's repeat. X11 sends each repeat as a release and a press of the
// same time, which Qt marks as a repeat only when the press has already reached it as it reads the
// release; on Xvfb it nearly never has, and a held Enter would convert, press Ok, convert again.
bool IsRepeat(const QKeyEvent& press) {
    static const bool x11 = QGuiApplication::platformName() == QLatin1StringView("xcb");
    return press.isAutoRepeat() || (x11 && press.key() == lastRelease.key && press.timestamp() == lastRelease.time);
}

// A click is a press and a release of the left button over the same control.
class ClickTracker {
public:
    void Press(const QMouseEvent* event) { pressed_ = event->button() == Qt::LeftButton; }
    [[nodiscard]] bool Release(const QMouseEvent* event, const QWidget* widget) {
        const bool clicked =
            pressed_ && event->button() == Qt::LeftButton && widget->rect().contains(event->position().toPoint());
        pressed_ = false;
        return clicked;
    }

private:
    bool pressed_ = false;
};

// Safe on any thread once the application object exists.
QImage DecodePicture(const WindowDesign& design) {
    const auto image = ReadPicture(design.picture);
    if (!image.damage.empty()) {
        throw RunTimeError(image.damage);
    }
    QImage picture = QImage::fromData(QByteArrayView(image.bytes.data(), qsizetype(image.bytes.size())));
    if (picture.isNull()) {
        throw RunTimeError("invalid picture: the picture of " + std::string(design.name) + " does not decode");
    }
    return picture;
}

// The picture of the window that the program shows first, decoded while the toolkit starts.
struct PictureAhead {
    const WindowDesign* window = nullptr;
    std::future<QImage> picture;
};
PictureAhead pictureAhead;

QPixmap PictureOf(const WindowDesign& design) {
    QImage picture = pictureAhead.window == &design && pictureAhead.picture.valid() ? pictureAhead.picture.get()
                                                                                    : DecodePicture(design);
    return QPixmap::fromImage(std::move(picture));
}

class FormWidget final : public QWidget {
public:
    explicit FormWidget(const WindowDesign& design) : start_(design.start), escapeCloses_(design.escapeCloses) {
        setObjectName(ToQString(design.name));
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setWindowTitle(ToQString(design.caption));
        setFixedSize(ToPixels(design.width), ToPixels(design.height));
    }

    void ShowInFront() {
        if (!placed_) {
            PlaceAtStart();
        }
        // A window the user minimized stays shown to Qt, so show() alone would leave it minimized.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        if (QWidget* active = QApplication::activeWindow(); active != nullptr && active != this) {
            focusCameFrom_ = active;
        }
        show();
        raise();
        activateWindow();
    }

    // A window manager gives the focus to another window when the focused one goes; a bare X
    // server would give it to none, and the next keys would be lost. So it goes back to the
    // window it came from.
    void HideAndGiveBackTheFocus() {
        const bool focused = isActiveWindow();
        hide();
        if (focused && focusCameFrom_ != nullptr && focusCameFrom_->isVisible()) {
            focusCameFrom_->activateWindow();
        }
    }

    void SetPicture(QPixmap picture) { picture_ = std::move(picture); }

    Handler closeRequest;
    Handler enterClick;  // the click of the control that Enter clicks, when the design names one

protected:
    void paintEvent(QPaintEvent* /*event*/) override { QPainter(this).drawPixmap(0, 0, picture_); }

    // The desktop's close goes to the program, which decides what closing means.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        Raise(closeRequest);
    }

    // Enter and Escape reach the window when its focused control leaves them, as they reach a
    // form's default and cancel buttons. One press, one click: a held key's repeats do nothing.
    void keyPressEvent(QKeyEvent* event) override {
        const Handler* pressed = HandlerOf(*event);
        if (pressed == nullptr || !*pressed) {
            QWidget::keyPressEvent(event);
        } else if (!IsRepeat(*event)) {
            Raise(*pressed);
        }
    }

    // Every key released in the window comes here, but Space on a button, which presses it.
    void keyReleaseEvent(QKeyEvent* event) override {
        lastRelease = {event->key(), event->timestamp()};
        QWidget::keyReleaseEvent(event);
    }

private:
    [[nodiscard]] const Handler* HandlerOf(const QKeyEvent& key) const {
        if (IsEnter(key)) {
            return &enterClick;
        }
        return key.key() == Qt::Key_Escape && escapeCloses_ ? &closeRequest : nullptr;
    }

    void PlaceAtStart() {
        // Without an owner, a window centred over its owner is centred on the screen too.
        switch (start_) {
            case StartPosition::CentreScreen:
            case StartPosition::CentreOwner: {
                const QRect area = screen()->availableGeometry();
                move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
                break;
            }
        }
        placed_ = true;
    }

    QPixmap picture_;
    StartPosition start_;
    bool escapeCloses_;
    bool placed_ = false;
    QPointer<QWidget> focusCameFrom_;
};

void ApplyCommonDesign(QWidget* widget, const ControlDesign& design) {
    widget->setObjectName(ToQString(design.name));
    widget->setGeometry(PixelRect(design.rect));
    if (design.font) {
        widget->setFont(ToQFont(*design.font));
    }
    if (design.colour) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, ToQColor(*design.colour));
        widget->setPalette(palette);
    }
    if (!design.accessibleName.empty()) {
        widget->setAccessibleName(ToQString(design.accessibleName));
    }
    if (design.pointer == Pointer::Hand) {
        widget->setCursor(Qt::PointingHandCursor);
    }
}

// Keeps the box's text to one line of whole characters within its maximum length, whether typed,
// pasted, middle-click pasted, dropped or set: every change passes here.
class WholeCharacterValidator final : public QValidator {
public:
    WholeCharacterValidator(std::size_t maxLength, QObject* parent) : QValidator(parent), maxLength_(maxLength) {}

    State validate(QString& input, int& cursor) const override {
        const auto line = KeepFirstLine(input.toStdU16String(), std::size_t(cursor));
        const auto kept = KeepWholeCharacters(line.text, line.cursor, maxLength_);
        input = ToQString(kept.text);
        cursor = int(kept.cursor);
        return Acceptable;
    }

private:
    std::size_t maxLength_;
};

}  // namespace

// The label draws its own text, one line under another at the Windows line spacing; QLabel keeps
// the plain text for screen readers.
struct Label::Impl final : QLabel {
    Impl(const ControlDesign& design, QWidget* parent) : QLabel(parent) {
        ApplyCommonDesign(this, design);
        lines_ = WindowsLineMetrics(font());
        setAutoFillBackground(!design.transparent);
        setTextFormat(Qt::PlainText);
        layoutOption_.setAlignment(design.alignment == Alignment::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
        layoutOption_.setWrapMode(QTextOption::WordWrap);
        SetText(design.text);
    }

    void SetText(std::u16string_view text) {
        text_ = text;
        setText(ToQString(text));
    }

    [[nodiscard]] const std::u16string& Text() const { return text_; }

    Handler click;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QTextLayout layout(text(), font());
        layout.setTextOption(layoutOption_);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width());
            line.setPosition({0, line.lineNumber() * lines_.spacing + lines_.ascent - line.ascent()});
        }
        layout.endLayout();
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const int overstrike = OverstrikePixels(font(), devicePixelRatioF());
        for (int pixel = 0; pixel <= overstrike; ++pixel) {
            layout.draw(&painter, {pixel / devicePixelRatioF(), 0});
        }
    }

    void mousePressEvent(QMouseEvent* event) override { tracker_.Press(event); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (tracker_.Release(event, this)) {
            Raise(click);
        }
    }

private:
    LineMetrics lines_{};
    QTextOption layoutOption_;
    ClickTracker tracker_;
    std::u16string text_;
};

namespace {

// What a screen reader has of a label: its text, or the accessible name where the text does not
// tell what the label does. A label with a click handler, which the design keeps out of the
// keyboard focus, is a button that the screen reader's user can press.
class LabelAccessible final : public QAccessibleWidget {
public:
    explicit LabelAccessible(Label::Impl* label) : QAccessibleWidget(label), label_(label) {}

    [[nodiscard]] QAccessible::Role role() const override {
        return Clickable() ? QAccessible::Button : QAccessible::StaticText;
    }

    [[nodiscard]] QString text(QAccessible::Text kind) const override {
        const QString text = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && text.isEmpty() ? label_->text() : text;
    }

    // The control this label names points back to it on its own.
    [[nodiscard]] QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto related = QAccessibleWidget::relations(match);
        if (match.testFlag(QAccessible::Labelled) && label_->buddy() != nullptr) {
            related.append({QAccessible::queryAccessibleInterface(label_->buddy()), QAccessible::Labelled});
        }
        return related;
    }

    [[nodiscard]] QStringList actionNames() const override {
        return Clickable() ? QStringList{pressAction()} : QStringList{};
    }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            Raise(label_->click);
        }
    }

private:
    [[nodiscard]] bool Clickable() const { return bool(label_->click); }

    Label::Impl* label_;
};

QAccessibleInterface* LabelAccessibility(const QString& /*className*/, QObject* object) {
    auto* label = dynamic_cast<Label::Impl*>(object);
    return label != nullptr ? new LabelAccessible(label) : nullptr;
}

}  // namespace

struct TextBox::Impl final : QLineEdit {
    Impl(const ControlDesign& design, QWidget* parent) : QLineEdit(ToQString(design.text), parent) {
        ApplyCommonDesign(this, design);
        if (design.maxLength > 0) {
            setMaxLength(design.maxLength);
            setValidator(new WholeCharacterValidator(std::size_t(design.maxLength), this));
        }
        connect(this, &QLineEdit::textChanged, this, [this] { Raise(change); });
    }

    Handler change;
};

struct Button::Impl final : QPushButton {
    Impl(const ControlDesign& design, QWidget* parent) : QPushButton(ToQString(design.text), parent) {
        ApplyCommonDesign(this, design);
        connect(this, &QPushButton::clicked, this, [this] { Raise(click); });
    }

    Handler click;

protected:
    // Forms toolkits press a focused command button on Enter as on Space. Qt does it for a default
    // button only, and as one (autoDefault) the focused Ok would be drawn as the default button.
    // A held Enter presses it once: its repeats, which come here when the Enter that opened this
    // window is held, press nothing.
    void keyPressEvent(QKeyEvent* event) override {
        if (IsEnter(*event)) {
            if (!IsRepeat(*event)) {
                click();
            }
        } else {
            QPushButton::keyPressEvent(event);
        }
    }

    // The button shows its focus ring however the focus came, as in the other builds: Qt would
    // draw it only once a Tab has moved the focus, so Ok would open with none.
    void focusInEvent(QFocusEvent* event) override {
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
        QPushButton::focusInEvent(event);
    }
};

struct Window::Impl {
    explicit Impl(const WindowDesign& design) : widget(std::make_unique<FormWidget>(design)) {
        for (const ControlDesign* control : design.controls) {
            widgets.emplace_back(control, CreateControl(*control));
        }
        // A label's buddy takes the label's text for its accessible name and is labelled by it.
        // Qt would also bind Alt and the letter after an "&" in the text to it, as Windows does;
        // no text of the design has one.
        for (const auto& [control, created] : widgets) {
            if (control->labelledBy != nullptr) {
                Find<Label::Impl>(*control->labelledBy)->setBuddy(created);
            }
        }
        if (design.enterClicks != nullptr) {
            widget->enterClick = [label = Find<Label::Impl>(*design.enterClicks)] { Raise(label->click); };
        }
        // Last, so that a picture decoded on another core has had the controls' time to be ready.
        widget->SetPicture(PictureOf(design));
    }

    template <class Control>
    [[nodiscard]] Control* Find(const ControlDesign& design) const {
        for (const auto& [control, created] : widgets) {
            if (control == &design) {
                if (auto* found = dynamic_cast<Control*>(created)) {
                    return found;
                }
            }
        }
        throw RunTimeError("control not found: " + std::string(widget->objectName().toStdString()) + " has no " +
                           std::string(design.name) + " of that kind");
    }

    [[nodiscard]] QWidget* CreateControl(const ControlDesign& design) const {
        switch (design.kind) {
            case ControlKind::Label:
                return new Label::Impl(design, widget.get());
            case ControlKind::TextBox:
                return new TextBox::Impl(design, widget.get());
            case ControlKind::Button:
                return new Button::Impl(design, widget.get());
        }
        throw RunTimeError("invalid control kind for " + std::string(design.name));
    }

    std::unique_ptr<FormWidget> widget;
    std::vector<std::pair<const ControlDesign*, QWidget*>> widgets;  // children of `widget`
};

Window::Window(const WindowDesign& design) : impl_(std::make_unique<Impl>(design)) {}

Window::~Window() = default;

void Window::Show() { impl_->widget->ShowInFront(); }

void Window::Hide() { impl_->widget->HideAndGiveBackTheFocus(); }

void Window::OnCloseRequest(Handler handler) { impl_->widget->closeRequest = std::move(handler); }

Label::Label(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void Label::SetText(std::u16string_view text) { impl_->SetText(text); }

std::u16string Label::Text() const { return impl_->Text(); }

void Label::OnClick(Handler handler) { impl_->click = std::move(handler); }

TextBox::TextBox(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void TextBox::SetText(std::u16string_view text) { impl_->setText(ToQString(text)); }

std::u16string TextBox::Text() const { return impl_->text().toStdU16String(); }

void TextBox::OnChange(Handler handler) { impl_->change = std::move(handler); }

Button::Button(const Window& window, const ControlDesign& design) : impl_(window.impl().Find<Impl>(design)) {}

void Button::OnClick(Handler handler) { impl_->click = std::move(handler); }

namespace {

// The program may stay open for hours between lookups, so what a closed window freed goes back to
// the system instead of waiting in the heap for the next window.
void DestroyDoomedAndGiveBackTheirMemory() {
    run::DestroyDoomed();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace

void DestroyLater(std::shared_ptr<void> object) {
    if (run::Doom(std::move(object))) {
        QMetaObject::invokeMethod(qApp, DestroyDoomedAndGiveBackTheirMemory, Qt::QueuedConnection);
    }
}

void End(int status) {
    if (!run::MarkEnded(status)) {
        return;
    }
    Reference::UnloadAll();
    QCoreApplication::exit(status);
}

void Fail(std::string_view message) {
    std::cerr << "Tablinor - Verdusk: run-time error: " << message << '\n';
    End(1);
}

namespace {

// Wine's Tahoma is metric-compatible with the face the windows were laid out in, so "CH" fits its
// 17-pixel column. Wine's MS Sans Serif is bitmaps of a few sizes with no bold, which Qt neither
// emboldens nor draws at the sizes a scale factor makes; Tahoma, which took its place in Windows'
// own dialogs, stands in for it.
void RegisterDesignFonts(const QString& folder) {
    static QStringList registered;
    if (folder.isEmpty() || registered.contains(folder)) {
        return;
    }
    registered.append(folder);
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"}) {
        const QString path = folder + u'/' + QString::fromLatin1(file);
        if (QFontDatabase::addApplicationFont(path) < 0) {
            std::cerr << "Tablinor - Verdusk: " << path.toStdString()
                      << " is missing, so a similar font stands in for it\n";
        }
    }
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"));
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const QFileInfo& image : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files)) {
        icon.addFile(image.filePath());
    }
    return icon;
}

// Decoding the icon's sizes would hold up the first frame by about as much as everything else the
// program adds to Qt's own start, so the windows get the icon once the first one has been painted.
class IconAfterFirstFrame final : public QObject {
public:
    explicit IconAfterFirstFrame(QObject* parent) : QObject(parent) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget != nullptr && widget->isWindow()) {
            // Queued, so that it comes after the frame has been flushed.
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::setWindowIcon(ApplicationIcon()); }, Qt::QueuedConnection);
            deleteLater();
            qApp->removeEventFilter(this);
        }
        return false;
    }
};

// Qt reads whether a screen reader is on once, when the accessibility bus appears on the session
// bus, and never hears of a screen reader started later (it cannot follow the bus's status), so
// the program would stay hidden from it until restarted. Joining the bus whenever it is there, as
// Qt does anyway on X where the bus's launcher publishes its address, the program is found by a
// screen reader started at any time.
void JoinTheAccessibilityBusWheneverItIsThere() { qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"); }

// An xcb reply, which the caller frees.
template <class Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

// The accessibility bus that the display's root window names (AT_SPI_BUS), or "".
std::string AccessibilityBusOfTheDisplay() {
    std::string address;
    int screenNumber = 0;
    xcb_connection_t* display = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(display) == 0) {
        constexpr std::string_view Name = "AT_SPI_BUS";
        const XcbReply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(display, xcb_intern_atom(display, 1, Name.size(), Name.data()), nullptr), &std::free);
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(display));
        for (; screenNumber > 0 && screens.rem > 1; --screenNumber) {
            xcb_screen_next(&screens);
        }
        if (atom != nullptr && atom->atom != XCB_ATOM_NONE) {
            constexpr uint32_t MaxWords = 256;
            const XcbReply<xcb_get_property_reply_t> property(
                xcb_get_property_reply(
                    display, xcb_get_property(display, 0, screens.data->root, atom->atom, XCB_ATOM_STRING, 0, MaxWords),
                    nullptr),
                &std::free);
            if (property != nullptr) {
                address.assign(static_cast<const char*>(xcb_get_property_value(property.get())),
                               std::size_t(xcb_get_property_value_length(property.get())));
            }
        }
    }
    xcb_disconnect(display);
    return address;
}

// With no session bus named, libdbus would start one through dbus-launch (dbus-x11, on most X
// desktops), and that bus would outlive the program: over ssh -X, on a bare X server, in a
// container. "disabled:" forbids that, unless the runtime folder holds the user's bus, which libdbus
// takes itself. Qt looks for the accessibility bus on the display only once it has a session bus,
// so without one the display's AT_SPI_BUS is handed to Qt, which takes AT_SPI_BUS_ADDRESS first.
void UseOnlyTheBusesThatAreThere() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat bus {};
    if (!runtime.isEmpty() && stat((runtime + "/bus").constData(), &bus) == 0 && S_ISSOCK(bus.st_mode) &&
        bus.st_uid == getuid()) {
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    if (qEnvironmentVariableIsEmpty("AT_SPI_BUS_ADDRESS") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        const std::string address = AccessibilityBusOfTheDisplay();
        if (!address.empty()) {
            qputenv("AT_SPI_BUS_ADDRESS", QByteArray::fromStdString(address));
        }
    }
}

// Qt's X platform takes the desktop's launch feedback (DESKTOP_STARTUP_ID) out of the environment
// only after its event reader thread has started; taken here, it is handed to Qt once Qt runs, and
// Qt ends the feedback as the first window shows, as it would have.
QByteArray TakeLaunchFeedback() {
    QByteArray id = qgetenv("DESKTOP_STARTUP_ID");
    if (!id.isNull()) {
        qunsetenv("DESKTOP_STARTUP_ID");  // so that nothing the program starts takes it for its own
    }
    return id;
}

void HandLaunchFeedbackToTheToolkit(const QByteArray& id) {
    QPlatformNativeInterface* platform = QGuiApplication::platformNativeInterface();
    if (id.isEmpty() || platform == nullptr) {
        return;
    }
    // Qt hands every platform function out under one type; this one takes the feedback's id.
    using AnyFunction = void (*)();
    using SetStartupId = void (*)(const char*);
    if (const auto setStartupId = reinterpret_cast<SetStartupId>(
            reinterpret_cast<AnyFunction>(platform->nativeResourceFunctionForIntegration("setstartupid")))) {
        setStartupId(id.constData());
    }
}

// Every change the program makes to its environment, made while the program still runs on one
// thread. glibc's setenv may move the environment to a larger array and free the old one under a
// getenv that another thread is walking it with (fontconfig reading its configuration, Qt's event
// reader starting), and that thread would then read freed memory. Returns the launch feedback.
QByteArray SetTheEnvironment() {
    // Wayland does not let a program place its windows; XWayland does, so the windows open centred.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    JoinTheAccessibilityBusWheneverItIsThere();
    UseOnlyTheBusesThatAreThere();
    return TakeLaunchFeedback();
}

// What the toolkit says while it starts, held back: when it cannot start, it would abort with a
// core dump and the advice to reinstall; instead the run ends with one line that says what is
// missing and what to do.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> startMessages;
std::mutex startMessagesLock;  // the toolkit may speak from any thread

std::string WhyTheToolkitCannotStart(const QString& fatal) {
    const auto said = [](QLatin1StringView text) {
        return std::any_of(startMessages.begin(), startMessages.end(),
                           [text](const HeldMessage& message) { return message.text.startsWith(text); });
    };
    if (said(QLatin1StringView("could not connect to display"))) {
        const QByteArray display = qgetenv("DISPLAY");
        if (display.isEmpty()) {
            return "no display to show the windows on: DISPLAY is not set. Start the program in a desktop session (on "
                   "Wayland, one with XWayland), or set DISPLAY to a running X server.";
        }
        return "no display to show the windows on: nothing answers on the display \"" + display.toStdString() +
               "\" that DISPLAY names. Start the program in a desktop session, or set DISPLAY to a running X server.";
    }
    if (!fatal.contains(QLatin1StringView("platform plugin"))) {
        return fatal.simplified().toStdString();
    }
    QString plugin = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (const HeldMessage& message : startMessages) {
        if (const qsizetype quote = message.text.indexOf(u'"'); message.category == "qt.qpa.plugin" && quote >= 0) {
            plugin = message.text.mid(quote + 1).section(u'"', 0, 0);
        }
    }
    const QString available = fatal.section(QLatin1StringView("Available platform plugins are: "), 1).trimmed();
    return "the Qt platform plugin \"" + plugin.toStdString() +
           "\" cannot be loaded. Set QT_QPA_PLATFORM to one of the installed ones (" +
           available.chopped(available.endsWith(u'.') ? 1 : 0).toStdString() + "), or unset it.";
}

void HoldStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::scoped_lock lock(startMessagesLock);
    if (type == QtFatalMsg) {
        std::cerr << "Tablinor - Verdusk: " << WhyTheToolkitCannotStart(text) << std::endl;
        _exit(1);
    }
    startMessages.push_back({type, context.category, text});
}

// The toolkit has started: what it said goes out as it would have.
void ReleaseStartMessages(QtMessageHandler handler) {
    qInstallMessageHandler(handler);
    const std::scoped_lock lock(startMessagesLock);
    for (const HeldMessage& message : startMessages) {
        qt_message_output(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
                          message.text);
    }
    startMessages.clear();
}

}  // namespace

void BeginRun(const ApplicationDesign& application) {
    RegisterDesignFonts(ToQString(application.fontFolder));
    QAccessible::installFactory(LabelAccessibility);
    if (!application.desktopEntry.empty()) {
        QGuiApplication::setDesktopFileName(ToQString(application.desktopEntry));
    }
    if (application.icon) {
        qApp->installEventFilter(new IconAfterFirstFrame(qApp));
    }
    run::Begin();
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

int FinishRun() {
    End(run::ExitStatus());
    run::DestroyDoomed();
    pictureAhead = {};
    return run::ExitStatus();
}

int Run(const ApplicationDesign& application, const Handler& start) {
    // A toolkit already started (by the tests) has read its environment: nothing is written then.
    const bool starting = QCoreApplication::instance() == nullptr;
    const QByteArray launchFeedback = starting ? SetTheEnvironment() : QByteArray();
    // The program takes no command line: the toolkit sees only the program's name.
    std::array<char, sizeof "tablinor-verdusk"> name{"tablinor-verdusk"};
    std::array<char*, 2> argv{name.data(), nullptr};
    int argc = 1;
    // Before the first text, fontconfig reads the whole font configuration, which takes longer
    // than Qt's start; on another core it is read while Qt loads its plugins and meets the display.
    std::jthread fontConfiguration(FcInit);
    std::optional<QApplication> toolkit;
    if (starting) {
        const QtMessageHandler handler = qInstallMessageHandler(HoldStartMessage);
        toolkit.emplace(argc, argv.data());
        ReleaseStartMessages(handler);
        HandLaunchFeedbackToTheToolkit(launchFeedback);
    }
    // Qt takes the first thread that uses it for the main one, so the picture waits for the toolkit.
    if (application.firstWindow != nullptr) {
        pictureAhead = {application.firstWindow,
                        std::async(std::launch::async, DecodePicture, std::cref(*application.firstWindow))};
    }
    fontConfiguration.join();
    BeginRun(application);
    Raise(start);
    if (!run::Ended()) {
        QApplication::exec();
    }
    return FinishRun();
}

}  // namespace forms
