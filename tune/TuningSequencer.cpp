#include "TuningSequencer.h"

#include "CaptureProtocol.h"
#include "KTCOM.h"
#include "RegisterMap.h"
#include "TestRegisters.h"
#include "TuneSequence.h"
#include "WaveTraces.h"
#include "WholeMove.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace kestova::tune {

using namespace motion;

namespace {

using Clock = std::chrono::steady_clock;

// A restore that met a failing line tries the registers it could not write again, this often,
// this far apart, so a line that comes back within a second still gets every original.
constexpr int kRestorePasses = 3;
constexpr std::chrono::milliseconds kRestorePause{400};
// How long a finished move may take to come to rest before the sequence gives up on it.
constexpr std::chrono::seconds kRestLimit{10};
constexpr std::chrono::milliseconds kPoll{50};

std::string LinkText(std::uint16_t code) {
    switch (code) {
    case LINK_ERR_NOT_OPEN:
        return "the line is not open";
    case LINK_ERR_OPEN_FAILED:
        return "the line cannot be opened";
    case LINK_ERR_BAD_CRC:
        return "answers arrive damaged";
    case LINK_ERR_NO_RESPONSE:
        return "the drive does not answer";
    case LINK_ERR_BUS_BUSY:
        return "the line is held by another exchange";
    case LINK_ERR_REFUSED:
        return "the drive refused it";
    default:
        return "link failure " + std::to_string(code);
    }
}

TuneAbort AbortAfter(std::uint16_t code, const std::string& what) {
    TuneAbort a;
    a.end = code == LINK_ERR_REFUSED ? TuneEnd::Refused : TuneEnd::LinkFailure;
    a.message = what + ": " + LinkText(code);
    return a;
}

std::string Hex(std::uint16_t address) {
    static const char* digits = "0123456789ABCDEF";
    std::string text = "0x";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int d = (address >> shift) & 0xF;
        if (d != 0 || started || shift <= 4) {
            text += digits[d];
            started = true;
        }
    }
    return text;
}

} // namespace

// ---- TuningSequencer --------------------------------------------------------------------------

TuningSequencer::TuningSequencer(CKTCOM& link, TuneDrive drive, std::vector<TableRow> table,
                                 TuneSettings settings)
    : link_(link), drive_(drive), table_(std::move(table)), settings_(std::move(settings)),
      session_(std::make_unique<CaptureSession>()) {}

TuningSequencer::~TuningSequencer() = default;

void TuningSequencer::Stop() {
    stop_.store(true);
    session_->Stop();
}

TuneOutcome TuningSequencer::Run(TunePlan plan) {
    const auto start = Clock::now();
    TuneOutcome outcome;
    Sequence sequence(*this, outcome);
    originals_.clear();
    written_.clear();
    try {
        sequence.KeepOriginals(plan);
        if (plan == TunePlan::Current || plan == TunePlan::All) {
            sequence.CurrentStep();
        }
        if (plan != TunePlan::Current) {
            sequence.IdentifyStep();
        }
        if (plan == TunePlan::Loops || plan == TunePlan::All) {
            sequence.LoopsStep();
        }
        outcome.end = TuneEnd::Done;
        outcome.message = "tuning finished";
        for (const ParameterChange& kept : originals_) {
            if (kept.number.empty()) {
                continue;
            }
            const int now = sequence.Read(kept.address, kept.name.c_str());
            if (now != kept.before) {
                ParameterChange change = kept;
                change.after = now;
                outcome.changes.push_back(change);
            }
        }
        // The test registers go back as they were; the tuned parameters stay.
        for (const ParameterChange& kept : originals_) {
            if (kept.number.empty()) {
                sequence.Write(kept.address, kept.before, kept.name.c_str());
            }
        }
    } catch (const TuneAbort& abort) {
        outcome.end = abort.end;
        outcome.message = abort.message;
        outcome.alarm = abort.alarm;
        outcome.changes.clear();
        if (!originals_.empty()) {
            sequence.Say(TuneProgress::Kind::Restoring, TuneStep::Current,
                         abort.message + "; writing the original values back");
            outcome.unrestored = sequence.Restore();
            outcome.restored = outcome.unrestored.empty();
        }
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

std::vector<ParameterChange> TuningSequencer::Revert() {
    TuneOutcome scratch;
    Sequence sequence(*this, scratch);
    return sequence.Restore();
}

// ---- The conversation -------------------------------------------------------------------------

Sequence::Sequence(TuningSequencer& owner, TuneOutcome& outcome)
    : owner_(owner), outcome_(outcome), rows_(FindTuningRows(owner.table_)) {}

int Sequence::Read(std::uint16_t address, const char* what) {
    CKTCOM& link = owner_.link_;
    const std::int16_t value = link.ReadAddressValue(owner_.drive_.station, address);
    if (const std::uint16_t code = link.GetLastErrors(); code != 0) {
        throw AbortAfter(code, std::string("reading the ") + what + " (register " + Hex(address) +
                                   ") failed");
    }
    return value;
}

void Sequence::Write(std::uint16_t address, int value, const char* what) {
    if (const WriteResult failed =
            WriteSetting(owner_.link_, owner_.drive_.station, address, value, what)) {
        throw AbortAfter(failed->code, std::string("the drive did not take the ") + what +
                                           " (register " + Hex(address) + ", value " +
                                           std::to_string(value) + ")");
    }
}

int Sequence::WriteParameter(const TableRow& row, int value) {
    value = std::clamp(value, row.lowest, row.highest);
    const std::string what = row.number + " " + row.name;
    Write(row.address, value, what.c_str());
    const int back = Read(row.address, what.c_str());
    const bool isUnsigned = row.highest > 32767;
    const int seen = isUnsigned ? static_cast<std::uint16_t>(back) : back;
    if (seen != value) {
        TuneAbort a;
        a.end = TuneEnd::Refused;
        a.message = what + " reads " + std::to_string(seen) + " after " + std::to_string(value) +
                    " was written";
        throw a;
    }
    ParameterChange change;
    change.address = row.address;
    change.number = row.number;
    change.name = row.name;
    change.units = row.units;
    for (const ParameterChange& kept : owner_.originals_) {
        if (kept.address == row.address) {
            change.before = kept.before;
        }
    }
    change.after = value;
    auto known =
        std::find_if(owner_.written_.begin(), owner_.written_.end(),
                     [&row](const ParameterChange& w) { return w.address == row.address; });
    if (known == owner_.written_.end()) {
        owner_.written_.push_back(change);
    } else {
        known->after = value;
    }
    TuneProgress p;
    p.kind = TuneProgress::Kind::Written;
    p.text = what + " = " + std::to_string(value);
    p.change = &change;
    if (owner_.progress_) {
        owner_.progress_(p);
    }
    return value;
}

void Sequence::CheckStop() {
    if (owner_.stop_.load()) {
        TuneAbort a;
        a.end = TuneEnd::Stopped;
        a.message = "stopped";
        throw a;
    }
}

void Sequence::CheckAlarm() {
    const int alarm = Read(reg::ALARM_CURRENT, "alarm");
    if (alarm != 0) {
        TuneAbort a;
        a.end = TuneEnd::Alarm;
        a.alarm = alarm;
        a.message = "the drive raised alarm " + std::to_string(alarm);
        throw a;
    }
    CheckStop();
}

void Sequence::Say(TuneProgress::Kind kind, TuneStep step, std::string text) {
    if (!owner_.progress_) {
        return;
    }
    TuneProgress p;
    p.kind = kind;
    p.step = step;
    p.text = std::move(text);
    owner_.progress_(p);
}

CaptureSettings Sequence::BaseSettings() const {
    CaptureSettings st;
    st.station = owner_.drive_.station;
    st.laterProtocol = true;
    st.triggerSupported = owner_.drive_.triggerSupported;
    st.sampleCount = samples_;
    st.basePeriod = basePeriod_;
    st.cyclic = 0;
    return st;
}

Captured Sequence::Capture(TuneStep step, CaptureKind kind, const CaptureSettings& st,
                           const std::string& what, int /*timeoutMs*/) {
    CaptureSession& session = *owner_.session_;
    const unsigned token = session.Token();
    CheckStop(); // a Stop before the token was taken would not reach the capture
    std::optional<CaptureReport> report;
    CaptureProtocol protocol(owner_.link_, session, token, st, kind,
                             [&report](const CaptureReport& r) {
                                 if (!report) {
                                     report = r;
                                 }
                             });
    protocol.Run();
    session.Release(token);
    ++outcome_.captures;
    CheckStop();
    if (!report || report->type != CaptureReport::Type::WaveReady || !report->samples) {
        TuneAbort a;
        const std::uint16_t code = report ? report->linkCode : 0;
        if (report && report->type == CaptureReport::Type::Failure) {
            a = AbortAfter(code == 0 ? LINK_ERR_NO_RESPONSE : code, what + ": capture failed");
        } else if (report && report->end == CaptureReport::End::LinkFailure) {
            a = AbortAfter(code == 0 ? LINK_ERR_NO_RESPONSE : code, what + ": capture failed");
        } else if (report && report->end == CaptureReport::End::TimedOut) {
            a.end = TuneEnd::Refused;
            a.message = what + ": the drive did not report the capture complete in time";
        } else {
            a.end = TuneEnd::Refused;
            a.message = what + ": the drive refused to give the captured samples";
        }
        // An alarm that stopped the test says more than the capture that followed it.
        CheckAlarm();
        throw a;
    }
    (void)step;
    Captured c;
    const int n = st.sampleCount;
    c.sampleMs = static_cast<double>(st.basePeriod) * st.multiplier / 1000.0;
    const std::vector<std::int16_t>& words = *report->samples;
    for (std::size_t ch = 0; ch < 4; ++ch) {
        const bool taken = kind == CaptureKind::CurrentLoop ? ch == 0 : st.sources[ch] != 0;
        if (!taken) {
            continue;
        }
        const std::size_t first = ChannelOffset(static_cast<int>(ch) + 1, n);
        for (int i = 0; i < n && first + static_cast<std::size_t>(i) < words.size(); ++i) {
            c.channel[ch].push_back(words[first + static_cast<std::size_t>(i)]);
        }
    }
    return c;
}

void Sequence::Report(TuneStep step, const std::string& what, const Captured& captured,
                      const std::array<std::uint16_t, 4>& sources,
                      const kestova::StepFigures& figures) {
    if (!owner_.progress_) {
        return;
    }
    TuneCapture c;
    c.step = step;
    c.number = outcome_.captures;
    c.what = what;
    c.sampleMs = captured.sampleMs;
    c.sources = sources;
    c.samples = captured.channel;
    c.figures = figures;
    TuneProgress p;
    p.kind = TuneProgress::Kind::Capture;
    p.step = step;
    p.text = what;
    p.capture = &c;
    owner_.progress_(p);
}

void Sequence::WaitForRest() {
    const auto deadline = Clock::now() + kRestLimit;
    while (Read(reg::PROFILE_RUN, "move state") != 0) {
        CheckAlarm();
        if (Clock::now() >= deadline) {
            TuneAbort a;
            a.end = TuneEnd::Failed;
            a.message = "the move did not end in time";
            throw a;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

Captured Sequence::RunMove(TuneStep step, const Move& move,
                           const std::array<std::uint16_t, 4>& sources, const std::string& what) {
    CheckAlarm();
    Say(TuneProgress::Kind::Trying, step, what);
    MotionProfile profile;
    profile.speed = move.speedRpm;
    profile.acceleration = move.acceleration;
    profile.distance = move.distance;
    profile.interval = move.intervalMs;
    profile.repeat = 1;
    profile.rotation = 0;
    profile.direction = 1; // out and back: the machine ends where it started
    CaptureSettings st = BaseSettings();
    st.sources = sources;
    FitToWholeMove(st, profile);
    st.multiplier = MoveMultiplier(move, basePeriod_, samples_);
    if (const WriteResult failed = WriteChannelSources(owner_.link_, st.station, sources)) {
        throw AbortAfter(failed->code, "the drive did not take the channel sources");
    }
    if (const WriteResult failed = WriteMotionProfile(owner_.link_, st, profile)) {
        throw AbortAfter(failed->code,
                         std::string("the drive did not take the ") + failed->setting);
    }
    if (const WriteResult failed = StartMotion(owner_.link_, st.station)) {
        throw AbortAfter(failed->code, "the move did not start");
    }
    CheckAlarm(); // a drive in alarm ignores the start, and its trigger would never fire
    const Captured captured = Capture(step, CaptureKind::Motion, st, what, 0);
    WaitForRest();
    CheckAlarm();
    return captured;
}

// ---- Originals --------------------------------------------------------------------------------

void Sequence::KeepOriginals(TunePlan plan) {
    CheckStop();
    if (owner_.drive_.protocol < kLaterProtocolVersion) {
        TuneAbort a;
        a.end = TuneEnd::Refused;
        a.message = "the tuning assistant needs a drive of protocol 300 or later";
        throw a;
    }
    CheckAlarm();
    if (Read(reg::PROFILE_RUN, "move state") != 0 ||
        Read(reg::CURRENT_TEST_RUN, "current-loop test state") != 0) {
        TuneAbort a;
        a.end = TuneEnd::Refused;
        a.message = "the drive is running a test; stop it first";
        throw a;
    }
    samples_ = std::min(Read(reg::CAPTURE_SAMPLES, "sample count"), kMaxSamplesPerChannel);
    basePeriod_ = std::max(1, Read(reg::CAPTURE_BASE_PERIOD_US, "base sampling period"));
    const bool moves = plan != TunePlan::Current;
    if (moves && Read(reg::CAPTURE_CHANNEL_COUNT, "channel count") < 3) {
        TuneAbort a;
        a.end = TuneEnd::Refused;
        a.message = "the drive captures fewer than the three channels a move's check needs";
        throw a;
    }
    if (rows_.torqueConstant && rows_.rotorInertia) {
        motor_ = MotorDataFromTable(Read(rows_.torqueConstant->address, "torque constant"),
                                    Read(rows_.rotorInertia->address, "rotor inertia"));
    }
    if (!(motor_.torqueConstant > 0.0 && motor_.rotorInertia > 0.0)) {
        if (owner_.settings_.motor) {
            motor_ = *owner_.settings_.motor;
        } else {
            // Identified per ampere: inertia and friction in units of the torque constant.
            motor_ = {1.0, 0.0};
            perAmpere_ = true;
        }
    }

    std::vector<KeptRegister> keep;
    auto test = [&keep](std::uint16_t address, const char* name) {
        keep.push_back({address, "", name, "", false, 0});
    };
    auto parameter = [&keep](const std::optional<TableRow>& row) {
        if (row) {
            keep.push_back(
                {row->address, row->number, row->name, row->units, row->highest > 32767, 0});
        }
    };
    test(reg::CAPTURE_SAMPLING, "sampling interval");
    for (std::uint16_t c = 0; c < 4; ++c) {
        test(static_cast<std::uint16_t>(reg::CAPTURE_SOURCE_1 + c), "channel source");
    }
    test(reg::TRIGGER_SOURCE, "trigger source");
    test(reg::TRIGGER_POLARITY, "trigger polarity");
    test(reg::TRIGGER_LEVEL, "trigger level");
    if (plan == TunePlan::Current || plan == TunePlan::All) {
        test(reg::CURRENT_KP, "test KP");
        test(reg::CURRENT_KI, "test KI");
        test(reg::CURRENT_TEST_MA, "test current");
        test(reg::CURRENT_AUTO_CONFIG, "auto configuration");
        parameter(rows_.currentKp);
        parameter(rows_.currentKi);
        parameter(rows_.currentBandwidth);
    }
    if (moves) {
        test(reg::PROFILE_ACCELERATION, "acceleration");
        test(reg::PROFILE_SPEED, "speed");
        test(reg::PROFILE_DISTANCE, "distance");
        test(reg::PROFILE_REPEAT, "repeat count");
        test(reg::PROFILE_ROTATION, "rotation");
        test(reg::PROFILE_INTERVAL, "interval");
        test(reg::PROFILE_DIRECTION, "direction mode");
        parameter(rows_.loadInertiaRatio);
    }
    if (plan == TunePlan::Loops || plan == TunePlan::All) {
        parameter(rows_.speedGain);
        parameter(rows_.speedIntegral);
        parameter(rows_.positionGain);
    }
    for (KeptRegister& k : keep) {
        const int raw = Read(k.address, k.name.c_str());
        k.original = k.isUnsigned ? static_cast<std::uint16_t>(raw) : raw;
    }
    for (const KeptRegister& k : keep) {
        owner_.originals_.push_back({k.address, k.number, k.name, k.units, k.original, k.original});
    }
    kept_ = std::move(keep);
}

std::vector<ParameterChange> Sequence::Restore() {
    CKTCOM& link = owner_.link_;
    const std::uint8_t station = owner_.drive_.station;
    // Whatever the drive still runs is stopped first; these are commands, not settings to keep.
    link.WriteAddressValue(station, reg::PROFILE_RUN, 0);
    link.WriteAddressValue(station, reg::CURRENT_TEST_RUN, 0);
    std::vector<ParameterChange> pending = owner_.originals_;
    for (int pass = 0; pass < kRestorePasses && !pending.empty(); ++pass) {
        if (pass > 0) {
            std::this_thread::sleep_for(kRestorePause);
        }
        std::vector<ParameterChange> left;
        for (ParameterChange& r : pending) {
            const bool isUnsigned = r.before > 32767;
            const WriteResult failed =
                WriteSetting(link, station, r.address, r.before, r.name.c_str());
            const std::int16_t back = link.ReadAddressValue(station, r.address);
            const bool read = link.GetLastErrors() == 0;
            const int seen = isUnsigned ? static_cast<std::uint16_t>(back) : back;
            if (failed || !read || seen != r.before) {
                r.after = read ? seen : r.after;
                left.push_back(r);
                continue;
            }
            const auto written =
                std::find_if(owner_.written_.begin(), owner_.written_.end(),
                             [&r](const ParameterChange& w) { return w.address == r.address; });
            if (!r.number.empty() && written != owner_.written_.end() &&
                written->after != r.before && owner_.progress_) {
                ParameterChange back = r;
                back.before = written->after; // what it held: the journal's old value
                back.after = r.before;
                TuneProgress p;
                p.kind = TuneProgress::Kind::Written;
                p.text = r.number + " " + r.name + " = " + std::to_string(r.before);
                p.change = &back;
                owner_.progress_(p);
            }
        }
        pending = std::move(left);
    }
    link.WriteAddressValue(station, reg::CAPTURE_ARM, 0);
    owner_.written_.clear();
    return pending;
}

} // namespace kestova::tune
