#pragma once

// The motion profile test (dialog 149): a point-to-point move sequence on the drive, started
// together with a wave capture and stopped by the page's Stop.

#include "CTestPage.h"

class QCheckBox;
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
    // The profile of the last start, as written to the drive.
    const motion::MotionProfile& StartedProfile() const { return started_; }

    // One capture that spans a whole move (later protocol): the sampling follows the move, the
    // capture waits for the move's start when the drive can trigger. Remembered between runs.
    bool WholeMove() const;
    void SetWholeMove(bool on);
    static constexpr const char* kWholeMoveKey = "MotionTest/WholeMove";

private:
    motion::MotionProfile ProfileOfFields() const;
    // What this start is told: the page's settings, fitted to the move for a whole move.
    motion::CaptureSettings RunSettings(const motion::MotionProfile& profile);
    void ShowWholeMove();

    QLineEdit* speed_;               // 1037
    QLineEdit* acceleration_;        // 1040
    QLineEdit* distance_;            // 1038
    QLineEdit* interval_;            // 1041
    QLineEdit* repeat_;              // 1039
    QRadioButton* clockwise_;        // 1043
    QRadioButton* counterclockwise_; // 1044
    QRadioButton* oneWay_;           // 1045
    QRadioButton* backAndForth_;     // 1046
    QCheckBox* wholeMove_;
    motion::MotionProfile started_;
    bool triggerSet_ = false; // the last start set a trigger of its own
};

} // namespace kestova
