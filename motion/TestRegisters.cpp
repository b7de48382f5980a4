#include "TestRegisters.h"

#include "KTCOM.h"
#include "RegisterMap.h"

#include <climits>
#include <initializer_list>

namespace kestova::motion {

namespace {

// What a register can carry, read as signed or as unsigned 16 bits.
constexpr int kLowest16 = -32768;
constexpr int kHighest16 = 65535;

std::int16_t Read(CKTCOM& link, std::uint8_t station, std::uint16_t address,
                  std::optional<RegisterFailure>* failed = nullptr, const char* setting = "") {
    const std::int16_t value = link.ReadAddressValue(station, address);
    if (failed != nullptr && !failed->has_value()) {
        if (const std::uint16_t code = link.GetLastErrors(); code != 0) {
            *failed = RegisterFailure{address, setting, 0, true, code};
        }
    }
    return value;
}

struct Setting {
    std::uint16_t address;
    int value;
    const char* name;
};

// Writes the settings in order; the first the drive does not take ends the sequence.
WriteResult WriteInOrder(CKTCOM& link, std::uint8_t station, std::initializer_list<Setting> list) {
    for (const Setting& setting : list) {
        if (WriteResult failed =
                WriteSetting(link, station, setting.address, setting.value, setting.name)) {
            return failed;
        }
    }
    return std::nullopt;
}

// A start whose answer did not come may still have been carried out: the test is stopped again
// (whatever that answers), so the drive does not run a test the caller believes was not started.
WriteResult Start(CKTCOM& link, std::uint8_t station, std::uint16_t address, const char* name) {
    WriteResult failed = WriteSetting(link, station, address, 1, name);
    if (failed && !failed->Refused()) {
        link.WriteAddressValue(station, address, 0);
    }
    return failed;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

bool RegisterFailure::Refused() const {
    return code == LINK_ERR_REFUSED;
}

WriteResult WriteSetting(CKTCOM& link, std::uint8_t station, std::uint16_t address, int value,
                         const char* setting) {
    if (value < kLowest16 || value > kHighest16) {
        return RegisterFailure{address, setting, value, false, 0};
    }
    const auto sent = static_cast<std::int16_t>(value);
    const std::int16_t echoed = link.WriteAddressValue(station, address, sent);
    const std::uint16_t code = link.GetLastErrors();
    if (link.GetCurrentUseMode() == 0) {
        return std::nullopt; // offline: nothing went out, and every write returns 0
    }
    // The answer repeats the value, so a write that was taken returns it; -1 is also what a
    // failed write returns, which the last error tells apart.
    if (echoed == sent && (sent != -1 || code == 0)) {
        return std::nullopt;
    }
    return RegisterFailure{address, setting, value, true, code};
}

int ReadBasePeriod(CKTCOM& link, std::uint8_t station) {
    const int p = Read(link, station, reg::CAPTURE_BASE_PERIOD_US);
    return p < 1 ? 100 : p;
}

int ReadMultiplier(CKTCOM& link, std::uint8_t station) {
    const int m = Read(link, station, reg::CAPTURE_SAMPLING);
    return m < 1 ? 1 : m;
}

int ReadSampleCount(CKTCOM& link, std::uint8_t station) {
    const int n = Read(link, station, reg::CAPTURE_SAMPLES);
    return n <= kLegacySamples ? kLegacySamples : n;
}

int ReadChannelCount(CKTCOM& link, std::uint8_t station) {
    return Read(link, station, reg::CAPTURE_CHANNEL_COUNT);
}

int TraceTimeFromRegister(std::int16_t value) {
    const auto t = static_cast<std::int16_t>(value * 10);
    return t < 0 ? 1000 : t;
}

WriteResult WriteChannelSources(CKTCOM& link, std::uint8_t station,
                                const std::array<std::uint16_t, 4>& sources) {
    static constexpr const char* kNames[] = {"channel 1 source", "channel 2 source",
                                             "channel 3 source", "channel 4 source"};
    for (int c = 0; c < 4; ++c) {
        if (WriteResult failed =
                WriteSetting(link, station, static_cast<std::uint16_t>(reg::CAPTURE_SOURCE_1 + c),
                             sources[static_cast<std::size_t>(c)], kNames[c])) {
            return failed;
        }
    }
    return std::nullopt;
}

WriteResult WriteTrigger(CKTCOM& link, const CaptureSettings& s) {
    if (s.triggerSource < 1) {
        return WriteSetting(link, s.station, reg::TRIGGER_SOURCE, 0, "trigger source");
    }
    return WriteInOrder(link, s.station,
                        {{reg::TRIGGER_SOURCE, s.triggerSource, "trigger source"},
                         {reg::TRIGGER_POLARITY, s.triggerPolarity, "trigger polarity"},
                         {reg::TRIGGER_LEVEL, s.triggerLevel, "trigger level"}});
}

TriggerSettings ReadTrigger(CKTCOM& link, std::uint8_t station) {
    TriggerSettings t;
    t.source = Read(link, station, reg::TRIGGER_SOURCE);
    t.polarity = Read(link, station, reg::TRIGGER_POLARITY) != 0 ? 1 : 0;
    t.level = Read(link, station, reg::TRIGGER_LEVEL);
    return t;
}

MotionProfile ReadMotionProfile(CKTCOM& link, std::uint8_t station,
                                std::optional<RegisterFailure>* failed) {
    MotionProfile p;
    p.speed = Read(link, station, reg::PROFILE_SPEED, failed, "speed");
    p.acceleration = Read(link, station, reg::PROFILE_ACCELERATION, failed, "acceleration");
    p.interval = Read(link, station, reg::PROFILE_INTERVAL, failed, "interval");
    p.repeat = Read(link, station, reg::PROFILE_REPEAT, failed, "repeat count");
    p.distance = Read(link, station, reg::PROFILE_DISTANCE, failed, "distance");
    p.rotation = Read(link, station, reg::PROFILE_ROTATION, failed, "rotation") == 0 ? 0 : 1;
    // Written as 0 one way and 1 back and forth, and read the same way.
    p.direction = Read(link, station, reg::PROFILE_DIRECTION, failed, "direction") == 1 ? 1 : 0;
    p.traceTime =
        TraceTimeFromRegister(Read(link, station, reg::CAPTURE_SAMPLING, failed, "trace time"));
    return p;
}

WriteResult WriteMotionProfile(CKTCOM& link, const CaptureSettings& s,
                               const MotionProfile& profile) {
    if (WriteResult failed =
            WriteInOrder(link, s.station,
                         {{reg::PROFILE_SPEED, profile.speed, "speed"},
                          {reg::PROFILE_ACCELERATION, profile.acceleration, "acceleration"},
                          {reg::PROFILE_INTERVAL, profile.interval, "interval"},
                          {reg::PROFILE_REPEAT, profile.repeat, "repeat count"},
                          {reg::PROFILE_DISTANCE, profile.distance, "distance"},
                          {reg::CAPTURE_SAMPLING, profile.traceTime / 10, "trace time"},
                          {reg::PROFILE_ROTATION, profile.rotation, "rotation"},
                          {reg::PROFILE_DIRECTION, profile.direction, "direction"}})) {
        return failed;
    }
    if (!s.laterProtocol) {
        return std::nullopt;
    }
    if (WriteResult failed = WriteSetting(link, s.station, reg::CAPTURE_SAMPLING, s.multiplier,
                                          "sampling interval")) {
        return failed;
    }
    return WriteTrigger(link, s);
}

WriteResult StartMotion(CKTCOM& link, std::uint8_t station) {
    if (WriteResult failed = WriteSetting(link, station, reg::CAPTURE_ARM, 1, "capture arm")) {
        return failed;
    }
    return Start(link, station, reg::PROFILE_RUN, "move start");
}

WriteResult StopMotion(CKTCOM& link, std::uint8_t station) {
    return WriteSetting(link, station, reg::PROFILE_RUN, 0, "move stop");
}

CurrentLoopTest ReadCurrentLoopTest(CKTCOM& link, std::uint8_t station,
                                    std::optional<RegisterFailure>* failed) {
    CurrentLoopTest t;
    t.kp = Read(link, station, reg::CURRENT_KP, failed, "KP");
    t.ki = Read(link, station, reg::CURRENT_KI, failed, "KI");
    t.current = Read(link, station, reg::CURRENT_TEST_MA, failed, "test current");
    return t;
}

WriteResult StartCurrentLoopTest(CKTCOM& link, const CaptureSettings& s,
                                 const CurrentLoopTest& test) {
    if (s.laterProtocol) {
        if (WriteResult failed = WriteSetting(link, s.station, reg::CAPTURE_SAMPLING, s.multiplier,
                                              "sampling interval")) {
            return failed;
        }
    }
    if (WriteResult failed = WriteInOrder(link, s.station,
                                          {{reg::CURRENT_KP, test.kp, "KP"},
                                           {reg::CURRENT_KI, test.ki, "KI"},
                                           {reg::CURRENT_TEST_MA, test.current, "test current"}})) {
        return failed;
    }
    if (s.triggerSource > 0) {
        if (WriteResult failed = WriteTrigger(link, s)) {
            return failed;
        }
    }
    return Start(link, s.station, reg::CURRENT_TEST_RUN, "current-loop test start");
}

WriteResult StopCurrentLoopTest(CKTCOM& link, std::uint8_t station) {
    return WriteSetting(link, station, reg::CURRENT_TEST_RUN, 0, "current-loop test stop");
}

WriteResult SetAutoConfiguration(CKTCOM& link, std::uint8_t station, bool on) {
    return WriteSetting(link, station, reg::CURRENT_AUTO_CONFIG, on ? 1 : 0, "auto configuration");
}

WriteResult WriteScopeSettings(CKTCOM& link, const CaptureSettings& s) {
    const WriteResult failed =
        s.laterProtocol
            ? WriteSetting(link, s.station, reg::CAPTURE_SAMPLING, s.multiplier,
                           "sampling interval")
            : WriteSetting(link, s.station, reg::CAPTURE_SAMPLING, s.traceTime / 10, "trace time");
    if (failed) {
        return failed;
    }
    return WriteTrigger(link, s);
}

WriteResult StopScope(CKTCOM& link, std::uint8_t station) {
    return WriteSetting(link, station, reg::CAPTURE_ARM, 0, "capture disarm");
}

int ScaledDecimal(std::string_view text, int decimals) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    int fraction = -1; // digits taken after the point; -1 before it
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (c < '0' || c > '9') {
            break;
        }
        if (fraction >= decimals) {
            continue; // truncated
        }
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (c - '0');
        }
        if (fraction >= 0) {
            ++fraction;
        }
    }
    for (int k = fraction < 0 ? 0 : fraction; k < decimals; ++k) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value *= 10;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

} // namespace kestova::motion
