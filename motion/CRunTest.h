#pragma once

// The motion test page: the signals the scope shows, the test type, and one Run/Stop button for
// the test of that type, whose captured waves are drawn in the scope above.

#include "CaptureProtocol.h"
#include "CaptureSettings.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestova {

class CScopeMode;
class CTWaveMode;
class CTestPage;
class CTorqueMode;
class Cscope;
class Presenter;
class ProgramState;
class StepFiguresLink;

// The code of a channel list text (0 for "--Select--", an empty or an unknown text), and back.
std::uint16_t ChannelCodeOfText(const QString& text);
QString ChannelTextOfCode(int code);

class CRunTest : public QWidget {
    Q_OBJECT
public:
    // How long a Stop waits for the drive to settle before the page takes input again.
    static constexpr std::chrono::milliseconds kStopSettle{1000};

    CRunTest(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CRunTest() override;

    // Non-zero while a test runs.
    std::int32_t IsTestRunning() const { return running_; }
    int CurrentTestType() const { return currentTestType_; }
    // Stops the test of that type; the page's state and button stay as they are.
    void StopCurrentTest(int testType);
    void RefreshFromDrive();

    void SelectTestType(int type);
    void ApplyChannelCount(int n);
    void LoadTriggerSettings();
    void OnRun();
    void ReadChannelSelection();
    // False when the drive did not take a channel source; the person has been told.
    bool WriteChannelSelection();
    // Draws n points per channel of the current test's last capture.
    void OnWaveReady(int n);

    // The picture on the Run/Stop button (204 running, 205 idle).
    int RunBitmap() const { return runBitmap_; }
    const std::array<std::uint16_t, 4>& Channels() const { return channels_; }
    int SampleCount() const { return sampleCount_; }
    Cscope* Scope() const { return scope_; }
    CTWaveMode* MotionPage() const { return motionPage_; }
    CTorqueMode* CurrentLoopPage() const { return torquePage_; }
    CScopeMode* ScopePage() const { return scopePage_; }
    // The step figures of the scope's chosen channel against the test's target.
    StepFiguresLink* StepFigures() const { return stepFigures_; }

signals:
    // A capture has been drawn in the scope.
    void waveDrawn();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void InitScope();
    void LayOut();
    void PlaceSubPages();
    void ReadCaptureSize();
    void SetRunButton(int bitmap, const char* text);
    void SettleAfterStop();
    void OnCaptureFailure(const QString& message);
    void CheckTypeRadio();
    CTestPage* SubPage(int type) const;
    void OnCyclicClicked();
    void EnableChannel(int channel, std::uint8_t on);
    void AddPoint(int channel, int index, float value);
    void DrawWave(int n, const std::vector<std::int16_t>& buffer);

    ProgramState& state_;
    Presenter& presenter_;

    CTWaveMode* motionPage_ = nullptr;
    CTorqueMode* torquePage_ = nullptr;
    CScopeMode* scopePage_ = nullptr;
    std::array<std::uint16_t, 4> channels_{};
    int basePeriod_ = 100;     // P, microseconds
    std::int32_t running_ = 0; // toggled by Run/Stop
    int channelCount_ = 0;
    int sampleCount_ = motion::kLegacySamples; // N
    Cscope* scope_ = nullptr;
    StepFiguresLink* stepFigures_ = nullptr;
    int currentTestType_ = motion::TEST_TYPE_CURRENT_LOOP;
    int runBitmap_ = 0;

    std::array<QComboBox*, 4> lists_{};
    std::array<QCheckBox*, 4> boxes_{};
    QGroupBox* frame_ = nullptr;
    QGroupBox* typeGroup_ = nullptr;
    QRadioButton* motionRadio_ = nullptr;
    QRadioButton* scopeRadio_ = nullptr;
    QRadioButton* currentLoopRadio_ = nullptr;
    QPushButton* motionButton_ = nullptr;
    QPushButton* currentLoopButton_ = nullptr;
    QPushButton* scopeButton_ = nullptr;
    QPushButton* run_ = nullptr;
    QGroupBox* triggerFrame_ = nullptr;
    QRadioButton* cyclic_ = nullptr;
    QRadioButton* triggered_ = nullptr;
    QComboBox* triggerSource_ = nullptr;
    QComboBox* triggerPolarity_ = nullptr;
    QLineEdit* triggerLevel_ = nullptr;
    std::vector<std::pair<QWidget*, QWidget*>> triggerRows_; // label and field
};

} // namespace kestova
