#pragma once

// What the three test sub-pages of the motion test page share: the capture settings the page
// hands them, the sampling box and its check, the trace-time list, and the capture runner whose
// threads read the drive's waves.

#include "CaptureRunner.h"
#include "TestRegisters.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class CKTCOM;
class QComboBox;
class QLabel;
class QLineEdit;

namespace kestova {

class Presenter;
class ProgramState;

// Dialog units of the pages' 8-point font, in pixels.
constexpr int DuX(int du) {
    return du * 3 / 2;
}
constexpr int DuY(int du) {
    return du * 13 / 8;
}

class CTestPage : public QWidget {
    Q_OBJECT
public:
    // The message shown when the sampling box is edited to a value below 1.
    struct SamplingCheck {
        const char* text;
        const char* caption; // empty: the program's name
    };

    CTestPage(ProgramState& state, Presenter& presenter, motion::CaptureKind kind,
              SamplingCheck check, QWidget* parent);
    ~CTestPage() override;

    virtual void LoadSettings() = 0;
    // Writes the test's settings and starts it. False when a write was not taken: the test is
    // not started and the person has been told which setting it was.
    virtual bool StartTest() = 0;
    // Stops the test; a stop command the drive did not take is told.
    virtual void StopTest() = 0;
    virtual int GetTraceTime() const = 0;
    // The integer in the sampling box.
    int GetSamplingMultiplier() const;

    void SetTrigger(int cyclic, int source, int polarity, int level);
    void SetChannels(std::uint16_t ch1, std::uint16_t ch2, std::uint16_t ch3 = 0,
                     std::uint16_t ch4 = 0);
    // Samples per channel, as the page read them.
    void SetSampleCount(int n) { handed_.sampleCount = n; }

    // Where the capture threads report; called on those threads.
    void SetReportSink(motion::CaptureSink sink) { runner_.SetSink(std::move(sink)); }
    // Stops the captures and waits until their threads have ended.
    void EndCaptures();
    bool CaptureBusy() const { return runner_.Busy(); }
    std::vector<std::int16_t> Samples() const { return runner_.Samples(); }

    // What a capture started now would be told.
    motion::CaptureSettings Settings() const;

    // What to say when the drive did not take a register of a test: "The drive refused the
    // speed (register 0x16)." and what follows from it.
    static QString SettingFailureText(const motion::RegisterFailure& failure,
                                      const QString& consequence);
    static constexpr const char* kNotStarted = "The test was not started.";
    static constexpr const char* kMayStillRun = "The drive may still be running the test.";
    // True when every write was taken; else tells the person, with `consequence`.
    static bool Taken(Presenter& presenter, QWidget* owner, const motion::WriteResult& result,
                      const char* consequence);

protected:
    bool Taken(const motion::WriteResult& result, const char* consequence) {
        return Taken(presenter_, this, result, consequence);
    }

    bool LaterProtocol() const;
    std::uint8_t Station() const;
    CKTCOM& Link();

    // The sampling row of the later protocol: reads P and M, and shows M and the interval P
    // stands for with `format` ("...(%.1fms)").
    void LoadSampling(const char* format);
    // Shows the trace-time row (earlier protocol) or the sampling row (later).
    void ShowSamplingRow(bool later);

    // The trace times offered, "100" to "3000" ms; selects 1000.
    static void FillTraceTimes(QComboBox* list);
    // Selects the first entry whose integer is t; none leaves the selection.
    static void SelectTraceTime(QComboBox* list, int t);
    // The leading integer of a text (0 when it has none).
    static int LeadingInteger(const QString& text);

    QLineEdit* MakeField(int id, const QString& text, int x, int y, int width);
    QLabel* MakeLabel(const QString& name, const QString& text, int x, int y, int width);
    // A labelled entry field of a test's settings column (label "label<id>", field id).
    QLineEdit* MakeFieldRow(int id, const char* label, const char* text, int y);
    // The sampling row (label 1056, box 1054 holding "1") and the trace-time row (label 1059,
    // list 1042 at 1000 ms) in one place, label first.
    void MakeSamplingRow(const QString& label, int x, int y);
    void MakeTraceRow(const QString& label, int x, int y);

    ProgramState& state_;
    Presenter& presenter_;
    motion::CaptureRunner runner_;
    int basePeriod_ = 100; // P, microseconds
    int traceTime_ = 1000; // T, ms

    QLabel* traceLabel_ = nullptr;     // 1059
    QComboBox* traceList_ = nullptr;   // 1042
    QLabel* samplingLabel_ = nullptr;  // 1056
    QLineEdit* samplingBox_ = nullptr; // 1054

private:
    void CheckSamplingBox();

    SamplingCheck check_;
    motion::CaptureSettings handed_; // trigger, channels and N from the page
};

} // namespace kestova
