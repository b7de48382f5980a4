#pragma once

// The current-loop test (dialog 150): a current step with the gains and the test current of the
// page, or with the drive's own configuration, read out once per Run.

#include "CTestPage.h"

class QCheckBox;

namespace kestova {

class CTorqueMode : public CTestPage {
    Q_OBJECT
public:
    // The step is read out over a fixed 200 ms.
    static constexpr int kTraceTimeMs = 200;

    CTorqueMode(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

    void LoadSettings() override;
    bool StartTest() override;
    void StopTest() override;
    int GetTraceTime() const override { return kTraceTimeMs; }
    // The test current in the page's box, mA.
    int TestCurrent() const;

private:
    void OnAutoConfiguration();

    QLineEdit* kp_;      // 1050
    QLineEdit* ki_;      // 1051
    QLineEdit* current_; // 1052
    QCheckBox* auto_;    // 1053
};

} // namespace kestova
