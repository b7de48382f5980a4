// capture: one wave capture of a test, with the motion page's registers and capture protocol,
// written as CSV (time plus one column per channel) or JSON.

#include "CaptureRunner.h"
#include "Channels.h"
#include "CliError.h"
#include "Commands.h"
#include "KTCOM.h"
#include "LinkFailure.h"
#include "Output.h"
#include "RegisterMap.h"
#include "TestRegisters.h"
#include "WaveTraces.h"
#include "WholeMove.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>

namespace kestova::cli {

using namespace motion;

namespace {

// Beyond the capture's own window: the protocol's grace for the completion, a trigger's wait and
// the read-out of four full channels at the slower speed.
constexpr std::chrono::seconds kCaptureMargin{60};

CaptureKind KindOf(const std::string& test) {
    if (test == "motion") {
        return CaptureKind::Motion;
    }
    if (test == "scope") {
        return CaptureKind::ScopeOnly;
    }
    if (test == "current") {
        return CaptureKind::CurrentLoop;
    }
    throw CliError(kUsage, "--test wants motion, scope or current, not " + test);
}

std::string KnownChannels() {
    std::string text;
    for (const Channel& channel : Channels()) {
        text += "\n  " + ShortName(channel.title) + "  (" + channel.title + ", " +
                std::to_string(channel.source) + ")";
    }
    return text;
}

// The first report of a runner, waited for until it comes or the runner's threads have ended.
class FirstReport {
public:
    CaptureSink Sink() {
        return [this](const CaptureReport& report) {
            std::lock_guard lock(mutex_);
            if (!report_) {
                report_ = report;
            }
            changed_.notify_all();
        };
    }
    std::optional<CaptureReport> Wait(const CaptureRunner& runner,
                                      std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(mutex_);
        while (!report_ && runner.Busy() && std::chrono::steady_clock::now() < deadline) {
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
        return report_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<CaptureReport> report_;
};

// Channels whose memory the capture reads: the current-loop test reads only channel 1 in the
// later protocol, channels 1 and 2 in the earlier one, as do the earlier protocol's others.
bool ChannelRead(CaptureKind kind, bool laterProtocol, int channel) {
    if (!laterProtocol) {
        return channel <= 2;
    }
    return kind != CaptureKind::CurrentLoop || channel == 1;
}

std::string Hex(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(address));
    return text;
}

// The status a failure with this code ends the command with. The link's last error may belong
// to a later exchange by now, so the code is the failure's own.
ExitStatus StatusAfter(CKTCOM& link, std::uint8_t station, std::uint16_t code) {
    if (code == LINK_ERR_REFUSED) {
        return kRefused; // the drive answered: it is there
    }
    if (code == LINK_ERR_NOT_OPEN || code == LINK_ERR_OPEN_FAILED) {
        return kNoDrive;
    }
    return StatusAfterFailure(link, station);
}

// Ends the command when a read of the set-up failed: a guessed value would be written back to
// the drive or shape the samples' time axis.
void CheckRead(CKTCOM& link, std::uint8_t station, std::uint16_t address, const char* what) {
    if (const std::uint16_t code = link.GetLastErrors(); code != 0) {
        throw CliError(StatusAfter(link, station, code), std::string("reading the ") + what +
                                                             " (register " + Hex(address) +
                                                             ") failed: " + LinkFailureText(code));
    }
}

void CheckRead(CKTCOM& link, std::uint8_t station, const std::optional<RegisterFailure>& failed) {
    if (failed) {
        throw CliError(StatusAfter(link, station, failed->code),
                       std::string("reading the ") + failed->setting + " (register " +
                           Hex(failed->address) + ") failed: " + LinkFailureText(failed->code));
    }
}

// "the drive refused the speed (register 0x16, value 5000)".
std::string DescribeWrite(const RegisterFailure& failed) {
    const std::string what = std::string(failed.setting) + " (register " + Hex(failed.address) +
                             ", value " + std::to_string(failed.value) + ")";
    if (!failed.sent) {
        return "the " + what + " does not fit in a register";
    }
    if (failed.Refused()) {
        return "the drive refused the " + what;
    }
    return "the drive did not take the " + what + ": " + LinkFailureText(failed.code);
}

// Ends the command before anything is started when the drive did not take a setting.
void CheckWrite(CKTCOM& link, std::uint8_t station, const WriteResult& failed) {
    if (failed) {
        const ExitStatus status =
            failed->sent ? StatusAfter(link, station, failed->code) : kRefused;
        throw CliError(status, DescribeWrite(*failed) + "; the test was not started");
    }
}

// A value of the command line the tool writes: refused before anything is sent when it lies
// outside what the register can carry (`range` says so in the option's own unit).
void CheckRange(const char* option, const std::string& typed, int value, int lowest, int highest,
                const char* range) {
    if (value < lowest || value > highest) {
        throw CliError(kRefused, std::string(option) + " " + typed + " is out of the range " +
                                     range + "; nothing was written");
    }
}

// A decimal number of the command line in units of 10^-decimals: the whole text must be the
// number (a sign, digits, a point and digits; further decimals are truncated, as the page does).
int ScaledOption(const char* option, const std::string& text, int decimals) {
    std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits || i != text.size()) {
        throw CliError(kRefused,
                       std::string(option) + " " + text + " is not a number; nothing was written");
    }
    return ScaledDecimal(text, decimals);
}

// What the tool writes from its command line, checked before anything is sent: positive speeds
// and accelerations (the rotation gives the direction), distances and currents that fit the
// drive's signed registers, and a sampling multiplier of at least 1, as the pages keep it.
struct Requested {
    std::optional<int> distance; // hundredths of a revolution
    std::optional<int> current;  // mA
};

Requested CheckRequest(const CaptureOptions& o) {
    constexpr int kMax = 32767;
    if (o.speed) {
        CheckRange("--speed", std::to_string(*o.speed), *o.speed, 1, kMax, "1-32767 rpm");
    }
    if (o.acceleration) {
        CheckRange("--acceleration", std::to_string(*o.acceleration), *o.acceleration, 1, kMax,
                   "1-32767 rev/s^2");
    }
    if (o.sampling) {
        CheckRange("--sampling", std::to_string(*o.sampling), *o.sampling, 1, kMax, "1-32767");
    }
    Requested r;
    if (o.distance) {
        r.distance = ScaledOption("--distance", *o.distance, 2);
        CheckRange("--distance", *o.distance, *r.distance, 0, kMax, "0-327.67 revolutions");
    }
    if (o.current) {
        r.current = ScaledOption("--current", *o.current, 3);
        CheckRange("--current", *o.current, *r.current, 0, kMax, "0-32.767 A");
    }
    return r;
}

WriteResult StopTest(CKTCOM& link, std::uint8_t station, CaptureKind kind) {
    switch (kind) {
    case CaptureKind::Motion:
        return StopMotion(link, station);
    case CaptureKind::ScopeOnly:
        return StopScope(link, station);
    case CaptureKind::CurrentLoop:
        return StopCurrentLoopTest(link, station);
    }
    return std::nullopt;
}

// What a capture that brought no samples tells, and the status it ends with.
CliError FailedCapture(CKTCOM& link, std::uint8_t station,
                       const std::optional<CaptureReport>& report) {
    using End = CaptureReport::End;
    const std::uint16_t code = report ? report->linkCode : 0;
    const std::string failure = code != 0 ? " (" + LinkFailureText(code) + ")" : "";
    if (report && report->type == CaptureReport::Type::Failure) {
        return CliError(StatusAfter(link, station, code), report->message + failure);
    }
    const End end = report ? report->end : End::None;
    switch (end) {
    case End::TimedOut:
        return CliError(kRefused, "the drive did not report the capture complete in time");
    case End::Refused:
        return CliError(kRefused, "the drive refused to give the captured samples" + failure);
    case End::LinkFailure:
        return CliError(StatusAfter(link, station, code),
                        "reading the captured samples failed" + failure);
    default:
        return CliError(kRefused, "the capture did not complete in time");
    }
}

} // namespace

int Capture(Context& c, const CaptureOptions& o) {
    const CaptureKind kind = KindOf(o.test);
    std::array<std::uint16_t, 4> sources{};
    std::array<std::string, 4> titles{};
    bool any = false;
    for (std::size_t k = 0; k < 4; ++k) {
        if (o.channels[k].empty()) {
            continue;
        }
        const auto channel = FindChannel(o.channels[k]);
        if (!channel) {
            throw CliError(kUsage,
                           "no channel " + o.channels[k] + "; the channels:" + KnownChannels());
        }
        sources[k] = channel->source;
        titles[k] = channel->title;
        any = true;
    }
    if (!any) {
        throw CliError(kUsage, "a capture wants at least one channel (--ch1 NAME); the channels:" +
                                   KnownChannels());
    }
    const Requested requested = CheckRequest(o);
    if (c.link.offline) {
        throw CliError(kRefused, "a capture needs a drive; offline there is none");
    }

    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    CKTCOM& link = s.Link();
    const std::uint8_t station = s.Station();

    CaptureSettings st;
    st.station = station;
    st.laterProtocol = s.Id().protocol >= kLaterProtocolVersion;
    st.triggerSupported = (s.Id().featureBits & reg::FEATURE_TRIGGERED_CAPTURE) != 0;
    st.sampleCount = ReadSampleCount(link, station);
    CheckRead(link, station, reg::CAPTURE_SAMPLES, "sample count");
    st.basePeriod = ReadBasePeriod(link, station);
    CheckRead(link, station, reg::CAPTURE_BASE_PERIOD_US, "base sampling period");
    if (o.sampling) {
        st.multiplier = *o.sampling;
    } else {
        st.multiplier = ReadMultiplier(link, station);
        CheckRead(link, station, reg::CAPTURE_SAMPLING, "sampling multiplier");
    }
    st.cyclic = 0;
    st.sources = sources;
    if (st.sampleCount > kMaxSamplesPerChannel) {
        throw CliError(kRefused, "the drive reports " + std::to_string(st.sampleCount) +
                                     " samples per channel, more than " +
                                     std::to_string(kMaxSamplesPerChannel));
    }
    const int channelCount = ReadChannelCount(link, station);
    CheckRead(link, station, reg::CAPTURE_CHANNEL_COUNT, "channel count");
    for (int k = 1; k <= 4; ++k) {
        if (sources[static_cast<std::size_t>(k - 1)] == 0) {
            continue;
        }
        if (k > channelCount || !ChannelRead(kind, st.laterProtocol, k)) {
            throw CliError(kUsage, "channel " + std::to_string(k) + " is not captured in this " +
                                       o.test + " test of this drive");
        }
    }

    CheckWrite(link, station, WriteChannelSources(link, station, sources));
    CaptureRunner runner(link, kind);
    FirstReport first;
    runner.SetSink(first.Sink());
    switch (kind) {
    case CaptureKind::Motion: {
        std::optional<RegisterFailure> unread;
        MotionProfile profile = ReadMotionProfile(link, station, &unread);
        CheckRead(link, station, unread);
        profile.speed = o.speed.value_or(profile.speed);
        profile.acceleration = o.acceleration.value_or(profile.acceleration);
        profile.distance = requested.distance.value_or(profile.distance);
        st.traceTime = profile.traceTime;
        // One whole move from its start: the window fitted to the move unless --sampling says
        // otherwise, and the capture waiting for the move when the drive can trigger.
        if (st.laterProtocol) {
            const int asked = st.multiplier;
            FitToWholeMove(st, profile);
            if (o.sampling) {
                st.multiplier = asked;
            }
        }
        CheckWrite(link, station, WriteMotionProfile(link, st, profile));
        CheckWrite(link, station, StartMotion(link, station));
        runner.Start(st);
        break;
    }
    case CaptureKind::ScopeOnly:
        st.traceTime = TraceTimeFromRegister(link.ReadAddressValue(station, reg::CAPTURE_SAMPLING));
        CheckRead(link, station, reg::CAPTURE_SAMPLING, "trace time");
        CheckWrite(link, station, WriteScopeSettings(link, st));
        runner.Start(st);
        break;
    case CaptureKind::CurrentLoop: {
        std::optional<RegisterFailure> unread;
        CurrentLoopTest test = ReadCurrentLoopTest(link, station, &unread);
        CheckRead(link, station, unread);
        test.current = requested.current.value_or(test.current);
        CheckWrite(link, station, StartCurrentLoopTest(link, st, test));
        runner.Start(st);
        break;
    }
    }
    const auto limit = std::chrono::milliseconds(CaptureWindowMs(st)) + kCaptureMargin;
    const std::optional<CaptureReport> report = first.Wait(runner, limit);
    runner.Stop();
    runner.Join();
    // A test the drive may still be running is told whatever the capture brought.
    if (const WriteResult stop = StopTest(link, station, kind)) {
        int status = stop->sent ? StatusAfter(link, station, stop->code) : kRefused;
        if (!report || report->type != CaptureReport::Type::WaveReady) {
            const CliError capture = FailedCapture(link, station, report);
            c.err << capture.what() << '\n';
            status = std::max<int>(status, capture.Status());
        }
        throw CliError(static_cast<ExitStatus>(status),
                       DescribeWrite(*stop) + "; the drive may still be running the test");
    }
    if (!report || report->type != CaptureReport::Type::WaveReady || !report->samples) {
        throw FailedCapture(link, station, report);
    }

    const int n = report->points;
    const std::vector<std::int16_t>& buffer = *report->samples;
    const WaveTraces traces = MakeWaveTraces(buffer, n, sources, st.laterProtocol, st.basePeriod,
                                             st.multiplier, st.traceTime);
    const int rows = std::min(n, o.samples.value_or(n));
    const double step = n > 0 ? static_cast<double>(traces.timeSpan) / n : 0.0;
    auto sample = [&](std::size_t k, int i) {
        return buffer[ChannelOffset(static_cast<int>(k) + 1, n) + static_cast<std::size_t>(i)];
    };

    if (c.link.json) {
        Json time = Json::array();
        for (int i = 0; i < rows; ++i) {
            time.push_back(i * step);
        }
        Json channels = Json::array();
        for (std::size_t k = 0; k < 4; ++k) {
            if (!traces.taken[k]) {
                continue;
            }
            Json values = Json::array();
            for (int i = 0; i < rows; ++i) {
                values.push_back(sample(k, i));
            }
            channels.push_back({{"channel", k + 1},
                                {"source", sources[k]},
                                {"name", titles[k]},
                                {"samples", values}});
        }
        PrintJson(c.out, {{"test", o.test}, {"timeMs", time}, {"channels", channels}});
        if (o.csv.empty()) {
            return kSuccess;
        }
    }

    std::ostringstream csv;
    csv << "Time (ms)";
    for (std::size_t k = 0; k < 4; ++k) {
        if (traces.taken[k]) {
            csv << ',' << titles[k];
        }
    }
    csv << '\n';
    for (int i = 0; i < rows; ++i) {
        csv << i * step;
        for (std::size_t k = 0; k < 4; ++k) {
            if (traces.taken[k]) {
                csv << ',' << sample(k, i);
            }
        }
        csv << '\n';
    }
    if (o.csv.empty()) {
        c.out << csv.str();
        return kSuccess;
    }
    std::ofstream file(o.csv, std::ios::binary | std::ios::trunc);
    file << csv.str();
    file.close();
    if (!file) {
        throw CliError(kRefused, "cannot write " + o.csv);
    }
    if (!c.link.json) {
        c.out << rows << " samples of " << o.test << " test over " << rows * step
              << " ms written to " << o.csv << '\n';
    }
    return kSuccess;
}

} // namespace kestova::cli
