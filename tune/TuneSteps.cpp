// The three steps of a tuning sequence: the current loop from current steps at rising gains, the
// machine from two back-and-forth moves, the speed and position loops from the gain rules,
// checked with a back-and-forth move and backed off when the check fails.

#include "KTCOM.h"
#include "RegisterMap.h"
#include "TestRegisters.h"
#include "TuneSequence.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace kestova::tune {

using namespace motion;

namespace {

// The current-loop settings tried, in per mille of the drive's self-tuned gains, lowest first.
constexpr int kCurrentSettings[] = {500, 750, 1000, 1300, 1700, 2200};
// The channel sources the identification's moves are captured with.
constexpr std::uint16_t kPositionError = 1;
constexpr std::uint16_t kVelocityFeedback = 2;
constexpr std::uint16_t kVelocityTarget = 8;
constexpr std::uint16_t kQCurrent = 32;
constexpr std::uint16_t kSyntheticCurrent = 64;
// The identification's slower move runs at this share of the speed allowed.
constexpr double kSlowShare = 0.25;
// A failed check takes the loops back by this much, at most this often (each check is a capture
// of two moves, so the loops are checked with two to four moves).
constexpr double kBackOff = 0.7;
constexpr int kMostChecks = 2;
// A current step is judged from rest: a winding that still carries more than this share of the
// test current when the step starts (the last step's, not yet let go) is given time and the step
// taken again.
constexpr double kRestShare = 0.1;
constexpr std::chrono::milliseconds kRestPause{50};
constexpr std::chrono::milliseconds kNotAtRestPause{300};

// A figure for the person, with as many decimals as it deserves.
std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

TuneAbort Failure(std::string message) {
    TuneAbort a;
    a.end = TuneEnd::Failed;
    a.message = std::move(message);
    return a;
}

const char* FailureText(IdentifyFailure f) {
    switch (f) {
    case IdentifyFailure::TooFewSamples:
        return "the moves gave too few samples at speed";
    case IdentifyFailure::NoAcceleration:
        return "the moves hardly accelerated";
    case IdentifyFailure::Singular:
        return "inertia and friction cannot be told apart in these moves";
    case IdentifyFailure::NotPhysical:
        return "the fit gave no positive inertia";
    case IdentifyFailure::None:
        break;
    }
    return "";
}

} // namespace

void Sequence::CurrentStep() {
    const TuneStep step = TuneStep::Current;
    Say(TuneProgress::Kind::Step, step, StepName(step));
    CaptureSettings st = BaseSettings();
    st.multiplier = 1;
    st.sources = {0, 0, 0, 0}; // channel 1 without a source carries the tested current
    Write(reg::CURRENT_AUTO_CONFIG, 0, "auto configuration");
    Write(reg::TRIGGER_SOURCE, 0, "trigger source");
    if (const WriteResult failed = WriteChannelSources(owner_.link_, st.station, st.sources)) {
        throw TuneAbort{TuneEnd::Refused, "the drive did not take the channel sources", 0};
    }
    const double target = owner_.settings_.testCurrentMa;
    // What the test's channel 1 carries, for whoever shows the capture.
    const std::array<std::uint16_t, 4> shown{kSyntheticCurrent, 0, 0, 0};

    struct Step {
        CurrentStepResult result;
        kestova::StepFigures figures;
    };
    // Waits with Stop heard every few milliseconds.
    auto rest = [&](std::chrono::milliseconds pause) {
        const auto until = std::chrono::steady_clock::now() + pause;
        while (std::chrono::steady_clock::now() < until) {
            CheckStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    bool retried = false;
    auto runStep = [&](int setting, const std::string& what) {
        for (int attempt = 0;; ++attempt) {
            CheckAlarm();
            Say(TuneProgress::Kind::Trying, step, what);
            CurrentLoopTest test;
            test.kp = setting;
            test.ki = setting;
            test.current = owner_.settings_.testCurrentMa;
            if (const WriteResult failed = StartCurrentLoopTest(owner_.link_, st, test)) {
                throw TuneAbort{failed->Refused() ? TuneEnd::Refused : TuneEnd::LinkFailure,
                                std::string("the drive did not take the ") + failed->setting, 0};
            }
            CheckAlarm();
            const Captured c = Capture(step, CaptureKind::CurrentLoop, st, what, 0);
            if (const WriteResult failed = StopCurrentLoopTest(owner_.link_, st.station)) {
                throw TuneAbort{TuneEnd::LinkFailure, "the current-loop test did not stop", 0};
            }
            CheckAlarm();
            rest(kRestPause);
            std::vector<float> response = c.channel[0];
            const bool atRest =
                response.empty() || std::abs(response.front()) <= kRestShare * target;
            // Once in the sequence at most, so the captures stay within their budget.
            if (!atRest && attempt == 0 && !retried) {
                retried = true;
                Report(step, what, c, shown, {});
                Say(TuneProgress::Kind::Trying, step,
                    what + ": the winding still carried current as it started; taken again");
                rest(kNotAtRestPause);
                continue;
            }
            response.resize(PlateauEnd(response, target));
            Step s;
            s.figures = ComputeStepFigures(response, c.sampleMs, target, 0.0);
            s.result.setting = setting;
            if (s.figures.riseTime) {
                s.result.riseTime = *s.figures.riseTime / 1000.0;
            }
            s.result.overshootPercent = s.figures.overshootPercent;
            s.result.ringing = StepRings(response, target);
            Report(step, what, c, shown, s.figures);
            return s;
        }
    };

    std::vector<CurrentStepResult> series;
    for (const int setting : kCurrentSettings) {
        const Step s = runStep(setting, "current step at setting " + std::to_string(setting));
        series.push_back(s.result);
        if (s.result.ringing || s.result.overshootPercent > kMaxCurrentOvershootPercent) {
            break;
        }
    }
    const CurrentLoopPick pick = PickCurrentLoop(series);
    if (!pick.index) {
        throw Failure("no current step met the 5 % overshoot bound without ringing");
    }
    const Step check =
        runStep(pick.setting, "check step at setting " + std::to_string(pick.setting));
    if (!check.result.riseTime || check.result.ringing ||
        check.result.overshootPercent > kMaxCurrentOvershootPercent) {
        throw Failure("the check step at setting " + std::to_string(pick.setting) +
                      " did not meet the 5 % overshoot bound");
    }
    CurrentLoopResult result;
    result.setting = pick.setting;
    result.riseTimeMs = *check.result.riseTime * 1000.0;
    result.overshootPercent = check.result.overshootPercent;
    result.bandwidthHz = 0.35 / *check.result.riseTime;
    result.stepsTried = static_cast<int>(series.size()) + 1;
    currentBandwidthHz_ = result.bandwidthHz;
    // What the setting means in the drive's own current-loop parameters.
    if (rows_.currentKp && rows_.currentKi) {
        WriteParameter(*rows_.currentKp, pick.setting);
        WriteParameter(*rows_.currentKi, pick.setting);
    } else if (rows_.currentBandwidth) {
        WriteParameter(*rows_.currentBandwidth, static_cast<int>(std::lround(result.bandwidthHz)));
    }
    outcome_.current = result;
    Say(TuneProgress::Kind::Result, step,
        "setting " + std::to_string(result.setting) + ", rise " +
            Fixed(result.riseTimeMs * 1000.0, 0) + " us, overshoot " +
            Fixed(result.overshootPercent, 1) + " %");
}

void Sequence::IdentifyStep() {
    const TuneStep step = TuneStep::Identify;
    Say(TuneProgress::Kind::Step, step, StepName(step));
    const std::array<std::uint16_t, 4> sources{kVelocityFeedback, kQCurrent, kPositionError,
                                               kVelocityTarget};
    const int fast = owner_.settings_.maxSpeedRpm;
    const int slow = std::max(1, static_cast<int>(std::lround(fast * kSlowShare)));
    std::vector<MotionTrace> traces;
    for (const int speed : {slow, fast}) {
        const Move move = LimitedMove(owner_.settings_, speed);
        const std::string what = "out and back at " + std::to_string(move.speedRpm) + " rpm over " +
                                 Fixed(move.distance / 100.0, 2) + " r";
        const Captured c = RunMove(step, move, sources, what);
        MotionTrace trace;
        for (std::size_t i = 0; i < c.channel[0].size() && i < c.channel[1].size(); ++i) {
            trace.time.push_back(static_cast<double>(i) * c.sampleMs / 1000.0);
            trace.speedRpm.push_back(c.channel[0][i]);
            trace.currentMa.push_back(c.channel[1][i]);
        }
        traces.push_back(std::move(trace));
        Report(step, what, c, sources, JudgeMoves(c, move, 0, 3, 2, 0).out);
    }
    const Identification id = IdentifyMachine(traces, motor_);
    if (!id.model) {
        throw Failure(std::string("the machine could not be identified: ") +
                      FailureText(id.failure));
    }
    MachineModel model = *id.model;
    if (perAmpere_) {
        model.loadInertiaRatio = 0.0;
    } else if (rows_.loadInertiaRatio) {
        WriteParameter(*rows_.loadInertiaRatio,
                       static_cast<int>(std::lround(model.loadInertiaRatio * 100.0)));
    }
    outcome_.machine = model;
    outcome_.machinePerAmpere = perAmpere_;
    Say(TuneProgress::Kind::Result, step,
        "inertia " + Fixed(model.inertia * 1e4, 3) + " kg cm², load inertia ratio " +
            Fixed(model.loadInertiaRatio * 100.0, 0) + " %");
}

void Sequence::LoopsStep() {
    const TuneStep step = TuneStep::Loops;
    Say(TuneProgress::Kind::Step, step, StepName(step));
    if (!outcome_.machine) {
        throw Failure("the loops need an identified machine");
    }
    int followingLimit = 0;
    if (rows_.followingLimit) {
        followingLimit = static_cast<std::uint16_t>(
            Read(rows_.followingLimit->address, rows_.followingLimit->name.c_str()));
    }
    SpeedPositionGains gains = SpeedPositionRule(owner_.settings_.stiffness, *outcome_.machine,
                                                 motor_, currentBandwidthHz_);
    // At half the speed allowed the plateau lasts long enough for the loops to settle on it.
    LoopResult result;
    for (int check = 0; check < kMostChecks; ++check) {
        const Move move = CheckMove(owner_.settings_, gains.positionGain);
        const GainRegisterValues v = InDriveUnits(gains, rows_.units);
        if (rows_.speedGain) {
            WriteParameter(*rows_.speedGain, v.speedGain);
        }
        if (rows_.speedIntegral) {
            WriteParameter(*rows_.speedIntegral, v.speedIntegral);
        }
        if (rows_.positionGain) {
            WriteParameter(*rows_.positionGain, v.positionGain);
        }
        const std::string what = "check at " + std::to_string(move.speedRpm) + " rpm, speed loop " +
                                 std::to_string(static_cast<int>(gains.speedBandwidthHz)) + " Hz";
        const Captured c = RunMove(step, move, kCheckSources, what);
        const MoveCheck judged = JudgeCheck(c, move, followingLimit);
        Report(step, what, c, kCheckSources, judged.out);
        result.gains = gains;
        result.backOffs = check;
        result.peakFollowingError = judged.peakFollowingError;
        result.overshootPercent = judged.overshootPercent;
        result.settlingMs = judged.settlingMs;
        result.passed = judged.passed;
        if (result.passed) {
            break;
        }
        gains = Scaled(gains, kBackOff);
    }
    outcome_.loops = result;
    if (!result.passed) {
        throw Failure("the loops' check failed after backing off " +
                      std::to_string(kMostChecks - 1) + " step");
    }
    Say(TuneProgress::Kind::Result, step,
        "speed loop " + Fixed(result.gains.speedBandwidthHz, 1) + " Hz, position gain " +
            Fixed(result.gains.positionGain, 1) + " 1/s");
}

} // namespace kestova::tune
