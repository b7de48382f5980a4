// capture: one wave capture of a test, with the motion page's registers and capture protocol,
// written as CSV (time plus one column per channel) or JSON.

#include "CaptureRunner.h"
#include "Channels.h"
#include "CliError.h"
#include "Commands.h"
#include "LinkFailure.h"
#include "Output.h"
#include "RegisterMap.h"
#include "TestRegisters.h"
#include "WaveTraces.h"

#include <condition_variable>
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

void StopTest(CKTCOM& link, std::uint8_t station, CaptureKind kind) {
    switch (kind) {
    case CaptureKind::Motion:
        StopMotion(link, station);
        break;
    case CaptureKind::ScopeOnly:
        StopScope(link, station);
        break;
    case CaptureKind::CurrentLoop:
        StopCurrentLoopTest(link, station);
        break;
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
    st.basePeriod = ReadBasePeriod(link, station);
    st.multiplier = o.sampling.value_or(ReadMultiplier(link, station));
    st.cyclic = 0;
    st.sources = sources;
    if (st.sampleCount > kMaxSamplesPerChannel) {
        throw CliError(kRefused, "the drive reports " + std::to_string(st.sampleCount) +
                                     " samples per channel, more than " +
                                     std::to_string(kMaxSamplesPerChannel));
    }
    const int channelCount = ReadChannelCount(link, station);
    for (int k = 1; k <= 4; ++k) {
        if (sources[static_cast<std::size_t>(k - 1)] == 0) {
            continue;
        }
        if (k > channelCount || !ChannelRead(kind, st.laterProtocol, k)) {
            throw CliError(kUsage, "channel " + std::to_string(k) + " is not captured in this " +
                                       o.test + " test of this drive");
        }
    }

    WriteChannelSources(link, station, sources);
    CaptureRunner runner(link, kind);
    FirstReport first;
    runner.SetSink(first.Sink());
    switch (kind) {
    case CaptureKind::Motion: {
        MotionProfile profile = ReadMotionProfile(link, station);
        profile.speed = o.speed.value_or(profile.speed);
        profile.acceleration = o.acceleration.value_or(profile.acceleration);
        if (o.distance) {
            profile.distance = ScaledDecimal(*o.distance, 2);
        }
        st.traceTime = profile.traceTime;
        WriteMotionProfile(link, st, profile);
        StartMotion(link, station);
        runner.Start(st);
        break;
    }
    case CaptureKind::ScopeOnly:
        st.traceTime = TraceTimeFromRegister(link.ReadAddressValue(station, reg::CAPTURE_SAMPLING));
        WriteScopeSettings(link, st);
        runner.Start(st);
        break;
    case CaptureKind::CurrentLoop: {
        CurrentLoopTest test = ReadCurrentLoopTest(link, station);
        if (o.current) {
            test.current = ScaledDecimal(*o.current, 3);
        }
        StartCurrentLoopTest(link, st, test);
        runner.Start(st);
        break;
    }
    }
    const auto limit = std::chrono::milliseconds(CaptureWindowMs(st)) + kCaptureMargin;
    const std::optional<CaptureReport> report = first.Wait(runner, limit);
    runner.Stop();
    runner.Join();
    StopTest(link, station, kind);

    if (!report || report->type == CaptureReport::Type::Failure) {
        const std::string failure = LinkFailureText(link.GetLastErrors());
        const std::string message = report ? report->message : "the capture did not complete";
        throw CliError(StatusAfterFailure(link, station), message + " (" + failure + ")");
    }

    const int n = report->points;
    const std::vector<std::int16_t> buffer = runner.Samples();
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
