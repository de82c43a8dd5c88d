// The floor: Qt showing the program's pictures and nothing else. Form1 is a frameless 400 x 499
// window with the main picture; a click on it opens Form2, a frameless 250 x 151 window with the
// result picture, or repaints Form2 when it is open; a click on Form2 closes it. The windows carry
// the program's names so that the frame probe drives both programs alike.
//
// With FLOOR_WITH_TEXT=1 in its environment, Form1 also shows the main window's texts where the
// program has them, an entry box and two labels, in Qt's default font: what any Qt program pays
// to show text at all, which the floor without it never loads.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>

#include "windows/main_window_design.h"
#include "windows/pictures/main_picture.h"
#include "windows/pictures/result_picture.h"

namespace {

class PictureWindow final : public QWidget {
public:
    PictureWindow(const char* name, QSize size, std::span<const std::uint8_t> persisted) {
        // A persisted picture is an eight-byte header, then the image.
        constexpr std::size_t HeaderSize = 8;
        const auto image = persisted.subspan(HeaderSize);
        picture_.loadFromData(image.data(), uint(image.size()));
        setObjectName(QLatin1String(name));
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setFixedSize(size);
    }

    void ShowCentred() {
        const QRect area = screen()->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        show();
    }

    std::function<void()> click;

protected:
    void paintEvent(QPaintEvent* /*event*/) override { QPainter(this).drawPixmap(0, 0, picture_); }
    void mouseReleaseEvent(QMouseEvent* /*event*/) override { click(); }

private:
    QPixmap picture_;
};

QRect PixelRect(const forms::TwipRect& rect) {
    return {forms::ToPixels(rect.left), forms::ToPixels(rect.top), forms::ToPixels(rect.width),
            forms::ToPixels(rect.height)};
}

void AddTexts(QWidget* form1) {
    using namespace tablinor::form1;
    (new QLineEdit(form1))->setGeometry(PixelRect(Text1.rect));
    for (const forms::ControlDesign* label : {&Label1, &Label3}) {
        (new QLabel(QString::fromStdU16String(std::u16string(label->text)), form1))
            ->setGeometry(PixelRect(label->rect));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const QApplication application(argc, argv);
    PictureWindow form1("Form1", {400, 499}, tablinor::pictures::MainPicture);
    QPointer<PictureWindow> form2;
    form1.click = [&form2] {
        if (!form2.isNull()) {
            form2->update();
            return;
        }
        form2 = new PictureWindow("Form2", {250, 151}, tablinor::pictures::ResultPicture);
        form2->click = [window = form2.data()] {
            window->hide();
            window->deleteLater();
        };
        form2->ShowCentred();
    };
    if (qEnvironmentVariableIntValue("FLOOR_WITH_TEXT") == 1) {
        AddTexts(&form1);
    }
    form1.ShowCentred();
    return QApplication::exec();
}
