// The floor: Qt showing the program's pictures and nothing else. Form1 is a frameless 400 x 499
// window with the main picture; a click on it opens Form2, a frameless 250 x 151 window with the
// result picture, or repaints Form2 when it is open; a click on Form2 closes it. The windows carry
// the program's names so that the frame probe drives both programs alike.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>

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
    form1.ShowCentred();
    return QApplication::exec();
}
