// GoogleTest main for the scope's drawing and widget tests: a real QApplication on the offscreen
// platform (fonts and painting need it).

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    app.setApplicationName("Kestova");
    return RUN_ALL_TESTS();
}
