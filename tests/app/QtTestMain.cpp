// GoogleTest main for widget tests: a real QApplication on the offscreen platform.

#include "UserSettings.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// What the program remembers between runs lives in a test folder of its own, and every test
// starts from nothing remembered.
class ForgetSettings : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { kestova::UserSettings().clear(); }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    app.setApplicationName("Kestova");
    QStandardPaths::setTestModeEnabled(true);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetSettings);
    return RUN_ALL_TESTS();
}
