#pragma once

// The motion test page: test sub-pages, wave capture and the scope. Until the tests are built it
// runs none, so it never holds the user on its page.

#include <QWidget>

namespace kestova {

class Presenter;
class ProgramState;

// Test types.
constexpr int TEST_CURRENT_LOOP = 100;
constexpr int TEST_MOTION_PROFILE = 101;
constexpr int TEST_SCOPE_ONLY = 102;

class CRunTest : public QWidget {
    Q_OBJECT
public:
    CRunTest(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

    bool IsTestRunning() const { return false; }
    int CurrentTestType() const { return currentTestType_; }
    void StopCurrentTest(int testType);
    void RefreshFromDrive();

private:
    ProgramState& state_;
    Presenter& presenter_;
    int currentTestType_ = TEST_MOTION_PROFILE;
};

} // namespace kestova
