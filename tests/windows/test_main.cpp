// Runs the window tests on Qt's offscreen platform, with real widgets and no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStyleHints>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    const QApplication application(argc, argv);
    // A caret that does not blink: two pictures of a focused box are then alike.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    return RUN_ALL_TESTS();
}
