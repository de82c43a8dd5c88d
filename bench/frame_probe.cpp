// Loaded into the program or the floor with LD_PRELOAD by the process bench, never linked into
// either. It writes lines of text to the file descriptor named by BENCH_REPORT_FD:
//   started <ns> <kB>  the first window's first frame is painted: steady clock, resident memory
// then, when BENCH_CYCLES asks for n > 0, it goes n times through two conversions and Ok, driving
// the windows with mouse and key events as a person would, and reports each (none for n = 0):
//   create <ns>        a click on the head to the new result window painted with every label
//   update <ns>        a click with another number to the open result window painted again
//   ok <ns>            a click on Ok to the result window gone
//   finished <kB>      resident memory after the 2n conversions
// Painted means that the paint events ran and the backing store was flushed; on X, one round
// trip more, so that the X server has drawn it too.
#include <xcb/xcb.h>

#include <unistd.h>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

// Every digit differs between the two, so every label of the result window changes.
constexpr std::u16string_view FirstNumber = u"8294015";
constexpr std::u16string_view SecondNumber = u"1357926";

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::to_string(std::stoll(line.substr(line.find_first_of("0123456789"))));
        }
    }
    return "0";
}

QWidget* TopLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name)) {
            return widget;
        }
    }
    return nullptr;
}

QPoint Centre(const forms::TwipRect& rect) {
    return {forms::ToPixels(rect.left + rect.width / 2), forms::ToPixels(rect.top + rect.height / 2)};
}

// A press and a release of the left button, delivered to the window as the windowing system would.
void Click(QWidget* window, QPoint point) {
    QWindow* handle = window->windowHandle();
    const QPointF global = window->mapToGlobal(QPointF(point));
    QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &release);
}

void PressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}

// Replaces the entry's text key by key; the floor has no entry.
void Type(std::u16string_view number) {
    QWidget* form1 = TopLevel("Form1");
    auto* entry = form1->findChild<QLineEdit*>(QLatin1String(tablinor::form1::Text1.name));
    if (entry == nullptr) {
        return;
    }
    PressKey(entry, Qt::Key_A, Qt::ControlModifier);
    for (const char16_t digit : number) {
        PressKey(entry, Qt::Key_0 + (digit - u'0'), Qt::NoModifier, QString(QChar(digit)));
    }
}

// Waits until the X server has handled every request the program sent; nothing to do elsewhere.
void SyncWithDisplay() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* connection = x11->connection();
        const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> reply(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    }
}

class Probe final : public QObject {
public:
    Probe(int reportFd, int cycles) : reportFd_(reportFd), cycles_(cycles) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted_.insert(watched);
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (!started_ && widget != nullptr && widget->isWindow()) {
                started_ = true;
                // Queued, so that it runs once the whole frame is flushed.
                QMetaObject::invokeMethod(this, &Probe::Started, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void Started() {
        SyncWithDisplay();
        Report("started " + std::to_string(Now()) + ' ' + ResidentKilobytes());
        if (cycles_ > 0) {
            QTimer::singleShot(0, this, &Probe::Converse);
        } else {
            Report("finished " + ResidentKilobytes());
        }
    }

    using Painted = std::set<const QObject*>;

    void Converse() {
        const QPoint head = Centre(tablinor::form1::Label2.rect);
        const QPoint ok = Centre(tablinor::form2::Command1.rect);
        const auto clickHead = [head] { Click(TopLevel("Form1"), head); };
        const auto clickOk = [ok] { Click(TopLevel("Form2"), ok); };
        const auto resultGone = [](const Painted& /*painted*/) { return TopLevel("Form2") == nullptr; };
        for (int cycle = 0; cycle < cycles_; ++cycle) {
            Type(FirstNumber);
            Measure("create", clickHead, ResultPainted);
            Type(SecondNumber);
            Measure("update", clickHead, ResultPainted);
            Measure("ok", clickOk, resultGone);
        }
        Report("finished " + ResidentKilobytes());
    }

    void Measure(const std::string& name, const std::function<void()>& action,
                 const std::function<bool(const Painted&)>& done) {
        painted_.clear();
        const long long start = Now();
        action();
        while (!done(painted_)) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        SyncWithDisplay();
        Report(name + ' ' + std::to_string(Now() - start));
    }

    // The result window and each of its labels (the program's seven columns) have been painted.
    static bool ResultPainted(const Painted& painted) {
        const QWidget* form2 = TopLevel("Form2");
        if (form2 == nullptr || !painted.contains(form2)) {
            return false;
        }
        const auto labels = form2->findChildren<QLabel*>();
        return std::all_of(labels.begin(), labels.end(), [&painted](QLabel* label) { return painted.contains(label); });
    }

    void Report(const std::string& line) const {
        const std::string text = line + '\n';
        if (write(reportFd_, text.data(), text.size()) < 0) {
            std::_Exit(EXIT_FAILURE);  // the bench is gone
        }
    }

    int reportFd_;
    int cycles_;
    bool started_ = false;
    Painted painted_;
};

void InstallProbe() {
    const char* reportFd = std::getenv("BENCH_REPORT_FD");
    if (reportFd == nullptr) {
        return;
    }
    const char* cycles = std::getenv("BENCH_CYCLES");
    auto* probe = new Probe(std::atoi(reportFd), cycles != nullptr ? std::atoi(cycles) : 0);
    probe->setParent(qApp);
    qApp->installEventFilter(probe);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
