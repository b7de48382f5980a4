#pragma once

// The motion profile test (dialog 149): a point-to-point move sequence on the drive, started
// together with a wave capture and stopped by the page's Stop.

#include "CTestPage.h"

class QRadioButton;

namespace kestova {

class CTWaveMode : public CTestPage {
    Q_OBJECT
public:
    CTWaveMode(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

    void LoadSettings() override;
    // The settings of the fields, in the drive's order; the first it does not take ends them.
    motion::WriteResult WriteSettings();
    bool StartTest() override;
    void StopTest() override;
    int GetTraceTime() const override { return traceTime_; }
    // The speed in the page's box, rpm.
    int CommandedSpeed() const;

private:
    QLineEdit* speed_;               // 1037
    QLineEdit* acceleration_;        // 1040
    QLineEdit* distance_;            // 1038
    QLineEdit* interval_;            // 1041
    QLineEdit* repeat_;              // 1039
    QRadioButton* clockwise_;        // 1043
    QRadioButton* counterclockwise_; // 1044
    QRadioButton* oneWay_;           // 1045
    QRadioButton* backAndForth_;     // 1046
};

} // namespace kestova
