#include "Drive.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestova::sim {

namespace {

constexpr double kAutoBandwidthHz = 500.0; // what the current loop's self-tuning aims for
constexpr double kThermalResistance = 2.0; // K/W, winding to ambient
constexpr double kThermalTime = 120.0;     // s
constexpr double kAmbient = 25.0;

double RadToRpm(double radPerSecond) {
    return radPerSecond * 60.0 / (2.0 * std::numbers::pi);
}

// The motor data a drive reads at power-up; zero means "measure", which leaves the default.
MotorConstants MotorFor(const ModelDescription& model, const DriveOptions& options,
                        const ParameterStore& params) {
    MotorConstants k = DefaultMotor(options.motor.value_or(model.motor));
    const ParameterRoles& r = model.roles;
    auto positive = [&params](std::optional<std::uint16_t> role) -> std::optional<double> {
        auto v = params.ValueIf(role);
        if (v && *v > 0) {
            return static_cast<double>(*v);
        }
        return std::nullopt;
    };
    if (auto v = positive(r.encoderResolution)) {
        k.countsPerRev = static_cast<int>(*v);
    }
    if (auto v = positive(r.polePairs)) {
        k.polePairs = static_cast<int>(*v);
    }
    if (auto v = positive(r.phaseResistance)) {
        k.resistance = *v / 1000.0;
    }
    if (auto v = positive(r.phaseInductance)) {
        k.inductance = *v * r.inductanceUnitHenry;
    }
    if (auto v = positive(r.torqueConstant)) {
        k.torqueConstant = *v / 100.0;
    }
    if (auto v = positive(r.rotorInertia)) {
        k.rotorInertia = *v * 1e-6; // 0.01 kg cm^2 is 1e-6 kg m^2
    }
    if (auto v = positive(r.maxSpeed)) {
        k.maxSpeedRpm = *v;
    }
    if (auto v = positive(r.ratedCurrent)) {
        k.currentLimit = 3.0 * *v / 10.0; // servo drives allow three times the rated current
        k.overCurrentTrip = 1.5 * k.currentLimit;
    }
    return k;
}

CaptureLayout LayoutFor(const ModelDescription& model) {
    CaptureLayout layout;
    layout.laterProtocol = model.LaterProtocol();
    layout.channelCount = model.LaterProtocol() ? model.channelCount : 2;
    layout.samplesPerChannel = model.samplesPerChannel;
    layout.basePeriodUs = Drive::kBasePeriodUs;
    return layout;
}

} // namespace

Drive::Drive(ModelDescription model, DriveOptions options)
    : model_(std::move(model)), options_(std::move(options)), params_(model_),
      plant_(DefaultMotor(model_.motor)), loops_(plant_.Constants()), capture_(LayoutFor(model_)),
      monitor_([this](std::uint16_t a) { return InternalRegister(a); }) {
    if (options_.featureBits) {
        model_.featureBits = *options_.featureBits;
    }
    if (!options_.stateFile.empty()) {
        params_.Load(options_.stateFile, notes_);
    }
    // The motor is known once the stored parameters are in.
    plant_ = MotorPlant(MotorFor(model_, options_, params_));
    loops_ = ServoLoops(plant_.Constants());
    plant_.SetLoad(options_.load);
    AutoTuneCurrentLoop();
    ApplyParameters();
    BuildDictionary();
    command_ = static_cast<double>(loops_.FeedbackCounts());
}

std::vector<std::string> Drive::TakeNotes() {
    std::vector<std::string> out;
    out.swap(notes_);
    return out;
}

void Drive::AutoTuneCurrentLoop() {
    // The test gains count in per mille of the self-tuned gains: 1000 is pole-zero cancellation
    // of the winding at the target bandwidth.
    currentKp_ = 1000;
    currentKi_ = 1000;
}

LoopGains Drive::TestGains() const {
    const MotorConstants& k = plant_.Constants();
    const double wc = 2.0 * std::numbers::pi * kAutoBandwidthHz;
    LoopGains g = runGains_;
    g.currentKp = currentKp_ / 1000.0 * k.inductance * wc;
    g.currentKi = currentKi_ / 1000.0 * k.resistance * wc;
    return g;
}

void Drive::ApplyParameters() {
    const MotorConstants& k = plant_.Constants();
    const ParameterRoles& r = model_.roles;
    auto value = [this](std::optional<std::uint16_t> role) { return params_.ValueIf(role); };
    LoopGains g = loops_.Gains();
    if (auto v = value(r.positionGain)) {
        g.positionGain = r.positionGainPerSecond ? *v : *v / 50.0;
    }
    if (auto v = value(r.speedGain)) {
        g.speedBandwidthHz = r.speedGainHz ? *v : *v / 30.0;
    }
    if (auto v = value(r.speedIntegral)) {
        if (r.speedIntegralIsTime) {
            g.speedIntegralMs = *v / 10.0;
        } else {
            g.speedIntegralMs = *v > 0 ? 1000.0 / *v : 0.0; // 0: no integral action
        }
    }
    const double wc = 2.0 * std::numbers::pi * kAutoBandwidthHz;
    if (auto bw = value(r.currentBandwidth)) {
        // Sampled at 10 kHz with one period of delay, the loop cannot go much past 700 Hz.
        const double w = 2.0 * std::numbers::pi * std::min(*bw, 700);
        g.currentKp = k.inductance * w;
        g.currentKi = k.resistance * w;
    } else {
        g.currentKp = value(r.currentKp).value_or(1000) / 1000.0 * k.inductance * wc;
        g.currentKi = value(r.currentKi).value_or(1000) / 1000.0 * k.resistance * wc;
    }
    double limit = k.currentLimit;
    if (auto v = value(r.peakCurrentPercent)) {
        limit = k.currentLimit * *v / 100.0;
    }
    g.currentLimit = std::clamp(limit, 0.0, k.overCurrentTrip * 0.8);
    g.speedFeedforward = value(r.speedFeedforward).value_or(100) / 100.0;
    g.accelFeedforward = value(r.accelFeedforward).value_or(100) / 100.0;
    runGains_ = g;
    if (loops_.Mode() != LoopMode::CurrentTest) {
        loops_.SetGains(runGains_);
    }
    followingLimit_ = value(r.followingLimit).value_or(k.countsPerRev);
    Load load = options_.load;
    if (auto ratio = value(r.loadInertiaRatio)) {
        load.inertiaRatio = std::max(0.0, *ratio / 100.0);
    }
    plant_.SetLoad(load);
}

void Drive::Advance(std::int64_t ticks) {
    for (std::int64_t i = 0; i < ticks; ++i) {
        Tick();
    }
}

void Drive::Tick() {
    ++ticks_;
    const bool wasMoving = motion_.Running();
    const Setpoint sp = motion_.Advance(kTickSeconds);
    const double cpr = plant_.Constants().countsPerRev;
    double velocityFf = 0;
    double accelerationFf = 0;
    if (wasMoving) {
        command_ = motionOrigin_ + sp.position * cpr;
        velocityFf = sp.velocity * 2.0 * std::numbers::pi;
        accelerationFf = sp.acceleration * 2.0 * std::numbers::pi;
    }
    loops_.Tick(plant_, command_, velocityFf, accelerationFf, kTickSeconds);

    const MotorConstants& k = plant_.Constants();
    if (plant_.CurrentMagnitude() > k.overCurrentTrip) {
        RaiseAlarm(model_.alarms.overCurrent);
    } else if (loops_.Mode() == LoopMode::Position && followingLimit_ > 0 &&
               std::abs(loops_.FollowingError()) > followingLimit_) {
        RaiseAlarm(model_.alarms.followingError);
    }
    const double i2 = plant_.Id() * plant_.Id() + plant_.Iq() * plant_.Iq();
    const double target = kAmbient + kThermalResistance * k.resistance * i2;
    temperature_ += (target - temperature_) * kTickSeconds / kThermalTime;

    if (capture_.Busy()) {
        capture_.OnTick(static_cast<double>(ticks_) * kBasePeriodUs, Signals());
    }
    FinishCommands();
}

void Drive::FinishCommands() {
    // A command whose memory write fails is never acknowledged: its register keeps reading 1, so
    // whoever polls it sees the failure, and the memory alarm says why.
    if (storeDoneAt_ >= 0 && ticks_ >= storeDoneAt_) {
        storeDoneAt_ = -1;
        params_.StoreWorking();
        storeFailed_ = !SaveStoredValues();
    }
    if (resetDoneAt_ >= 0 && ticks_ >= resetDoneAt_) {
        resetDoneAt_ = -1;
        params_.RestoreDefaults();
        ApplyParameters();
        resetFailed_ = !SaveStoredValues();
    }
}

bool Drive::SaveStoredValues() {
    std::string error;
    if (options_.stateFile.empty() || params_.Save(options_.stateFile, error)) {
        return true;
    }
    notes_.push_back(error);
    RaiseAlarm(model_.alarms.memoryError);
    return false;
}

void Drive::RaiseAlarm(std::int16_t code) {
    if (!alarms_.Raise(code)) {
        return;
    }
    // Every alarm trips the power stage.
    motion_.Abort();
    loops_.SetMode(LoopMode::Disabled, plant_);
}

void Drive::Enable() {
    if (alarms_.Current() != 0 || !enabled_) {
        return;
    }
    if (loops_.Mode() != LoopMode::Position) {
        loops_.SetMode(LoopMode::Position, plant_);
        loops_.SetGains(runGains_); // a tripped current test leaves its gains behind
        command_ = static_cast<double>(loops_.FeedbackCounts());
    }
}

void Drive::StartMotion() {
    if (alarms_.Current() != 0 || !enabled_ || motion_.Running()) {
        return;
    }
    StopCurrentTest();
    ProfileSettings s;
    s.acceleration = acceleration_;
    s.speedRpm = speed_;
    s.distance = distance_ / 100.0;
    s.repeat = repeat_;
    s.counterClockwise = rotation_ != 0;
    s.intervalMs = interval_;
    s.backAndForth = directionMode_ == 1;
    motionOrigin_ = command_;
    motion_.Start(s);
}

void Drive::StartCurrentTest() {
    if (alarms_.Current() != 0 || !enabled_) {
        return;
    }
    motion_.Abort();
    loops_.SetTestCurrent(testCurrentMa_ / 1000.0);
    loops_.SetMode(LoopMode::CurrentTest, plant_);
    loops_.SetGains(TestGains());
    // The trace fills while the test runs; the drive goes on serving its registers meanwhile.
    capture_.Arm(static_cast<double>(ticks_) * kBasePeriodUs, Signals(), true);
}

void Drive::StopCurrentTest() {
    if (loops_.Mode() == LoopMode::CurrentTest) {
        loops_.SetMode(LoopMode::Position, plant_);
        loops_.SetGains(runGains_);
        command_ = static_cast<double>(loops_.FeedbackCounts());
    }
}

SignalFrame Drive::Signals() const {
    SignalFrame f;
    const double cpr = plant_.Constants().countsPerRev;
    auto set = [&f](std::uint16_t code, double v) { f.values[SignalIndex(code)] = v; };
    set(kPositionError, loops_.FollowingError());
    set(kVelocityFeedback, RadToRpm(loops_.SpeedEstimate()));
    set(kPositionFeedback, static_cast<double>(loops_.FeedbackCounts()));
    set(kVelocityTarget, RadToRpm(loops_.SpeedReference()));
    set(kPositionTarget, command_);
    set(kQCurrent, plant_.Iq() * 1000.0);
    set(kSyntheticCurrent, plant_.CurrentMagnitude() * 1000.0);
    set(kBusVoltage, plant_.BusVoltage() * 10.0);
    set(kAccelerationTarget, motion_.Current().acceleration);
    set(kAccelerationFeedback, loops_.AccelEstimate() / (2.0 * std::numbers::pi));
    set(kPhaseACurrent, plant_.PhaseA() * 1000.0);
    set(kPhaseBCurrent, plant_.PhaseB() * 1000.0);
    f.testCurrent = plant_.Id() * 1000.0;
    (void)cpr;
    return f;
}

std::optional<std::uint16_t> Drive::InternalRegister(std::uint16_t address) const {
    auto sat = [](double v) {
        return static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0, 32767.0)));
    };
    const auto position = static_cast<std::uint32_t>(loops_.FeedbackCounts());
    switch (address) {
    case 0x0000: {
        if (alarms_.Current() != 0) {
            return 4;
        }
        if (loops_.Mode() == LoopMode::Disabled) {
            return 0;
        }
        if (loops_.Mode() == LoopMode::CurrentTest) {
            return 3;
        }
        return motion_.Running() ? 2 : 1;
    }
    case 0x0001:
        return sat(plant_.Iq() * 1000.0);
    case 0x0002:
        return sat(plant_.Id() * 1000.0);
    case 0x0003:
        return sat(plant_.PhaseA() * 1000.0);
    case 0x0004:
        return sat(plant_.PhaseB() * 1000.0);
    case 0x0005:
        return sat(plant_.BusVoltage() * 10.0);
    case 0x0006:
        return sat(RadToRpm(loops_.SpeedEstimate()));
    case 0x0007:
        return static_cast<std::uint16_t>(position & 0xFFFF);
    case 0x0008:
        return static_cast<std::uint16_t>(position >> 16);
    case 0x0009:
        return sat(loops_.FollowingError());
    case 0x000A:
        return sat(loops_.Vq() * 10.0);
    case 0x000B:
        return sat(loops_.Vd() * 10.0);
    case 0x000C:
        return sat(temperature_ * 10.0);
    case 0x000D:
        return static_cast<std::uint16_t>(alarms_.Current());
    case 0x000E:
        return static_cast<std::uint16_t>((ticks_ / 10) & 0xFFFF);
    default:
        return std::nullopt;
    }
}

} // namespace kestova::sim
