#pragma once

// The scope-only trace (dialog 151): no motion, only the capture of the chosen signals while
// the drive is moved by other means.

#include "CTestPage.h"

namespace kestova {

class CScopeMode : public CTestPage {
    Q_OBJECT
public:
    CScopeMode(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

    void LoadSettings() override;
    // The sampling and the trigger; the first write the drive does not take ends them.
    motion::WriteResult WriteSettings();
    bool StartTest() override;
    void StopTest() override;
    int GetTraceTime() const override { return traceTime_; }
};

} // namespace kestova
