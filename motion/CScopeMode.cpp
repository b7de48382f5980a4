#include "CScopeMode.h"

#include "KTCOM.h"
#include "PageSupport.h"
#include "RegisterMap.h"
#include "TestRegisters.h"

#include <QComboBox>

namespace kestova {

using namespace motion;

CScopeMode::CScopeMode(ProgramState& state, Presenter& presenter, QWidget* parent)
    : CTestPage(state, presenter, CaptureKind::ScopeOnly, {"Invalid sampling time error", ""},
                parent) {
    setObjectName("page151");
    resize(DuX(301), DuY(101));
    MakeTraceRow("Tracing time (ms)", 8, 10);
    MakeSamplingRow("Sampling Interval (0.1ms)", 8, 10);
    diag::SwallowEnter(this);
}

void CScopeMode::LoadSettings() {
    traceTime_ = TraceTimeFromRegister(Link().ReadAddressValue(Station(), reg::CAPTURE_SAMPLING));
    SelectTraceTime(traceList_, traceTime_);
    if (LaterProtocol()) {
        LoadSampling("Sampling interval (%.1fms)");
    }
    ShowSamplingRow(LaterProtocol());
}

WriteResult CScopeMode::WriteSettings() {
    if (!LaterProtocol()) {
        traceTime_ = LeadingInteger(traceList_->currentText());
    }
    return WriteScopeSettings(Link(), Settings());
}

// Arming is left to the capture loop, which arms before every capture that waits for no trigger.
bool CScopeMode::StartTest() {
    if (!Taken(WriteSettings(), kNotStarted)) {
        return false;
    }
    runner_.Start(Settings());
    return true;
}

// The drive is disarmed even when the capture thread has already ended.
void CScopeMode::StopTest() {
    runner_.Stop();
    Taken(StopScope(Link(), Station()), kMayStillRun);
}

} // namespace kestova
