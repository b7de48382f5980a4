#include "TestRegisters.h"

#include "KTCOM.h"
#include "RegisterMap.h"

#include <climits>

namespace kestova::motion {

namespace {

std::int16_t Read(CKTCOM& link, std::uint8_t station, std::uint16_t address) {
    return link.ReadAddressValue(station, address);
}

void Write(CKTCOM& link, std::uint8_t station, std::uint16_t address, int value) {
    link.WriteAddressValue(station, address, static_cast<std::int16_t>(value));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

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

void WriteChannelSources(CKTCOM& link, std::uint8_t station,
                         const std::array<std::uint16_t, 4>& sources) {
    for (int c = 0; c < 4; ++c) {
        Write(link, station, static_cast<std::uint16_t>(reg::CAPTURE_SOURCE_1 + c),
              sources[static_cast<std::size_t>(c)]);
    }
}

void WriteTrigger(CKTCOM& link, const CaptureSettings& s) {
    if (s.triggerSource < 1) {
        Write(link, s.station, reg::TRIGGER_SOURCE, 0);
        return;
    }
    Write(link, s.station, reg::TRIGGER_SOURCE, s.triggerSource);
    Write(link, s.station, reg::TRIGGER_POLARITY, s.triggerPolarity);
    Write(link, s.station, reg::TRIGGER_LEVEL, s.triggerLevel);
}

TriggerSettings ReadTrigger(CKTCOM& link, std::uint8_t station) {
    TriggerSettings t;
    t.source = Read(link, station, reg::TRIGGER_SOURCE);
    t.polarity = Read(link, station, reg::TRIGGER_POLARITY) != 0 ? 1 : 0;
    t.level = Read(link, station, reg::TRIGGER_LEVEL);
    return t;
}

MotionProfile ReadMotionProfile(CKTCOM& link, std::uint8_t station) {
    MotionProfile p;
    p.speed = Read(link, station, reg::PROFILE_SPEED);
    p.acceleration = Read(link, station, reg::PROFILE_ACCELERATION);
    p.interval = Read(link, station, reg::PROFILE_INTERVAL);
    p.repeat = Read(link, station, reg::PROFILE_REPEAT);
    p.distance = Read(link, station, reg::PROFILE_DISTANCE);
    p.rotation = Read(link, station, reg::PROFILE_ROTATION) == 0 ? 0 : 1;
    // Written as 0 one way and 1 back and forth, and read the same way.
    p.direction = Read(link, station, reg::PROFILE_DIRECTION) == 1 ? 1 : 0;
    p.traceTime = TraceTimeFromRegister(Read(link, station, reg::CAPTURE_SAMPLING));
    return p;
}

void WriteMotionProfile(CKTCOM& link, const CaptureSettings& s, const MotionProfile& profile) {
    Write(link, s.station, reg::PROFILE_SPEED, profile.speed);
    Write(link, s.station, reg::PROFILE_ACCELERATION, profile.acceleration);
    Write(link, s.station, reg::PROFILE_INTERVAL, profile.interval);
    Write(link, s.station, reg::PROFILE_REPEAT, profile.repeat);
    Write(link, s.station, reg::PROFILE_DISTANCE, profile.distance);
    Write(link, s.station, reg::CAPTURE_SAMPLING, profile.traceTime / 10);
    Write(link, s.station, reg::PROFILE_ROTATION, profile.rotation);
    Write(link, s.station, reg::PROFILE_DIRECTION, profile.direction);
    if (s.laterProtocol) {
        Write(link, s.station, reg::CAPTURE_SAMPLING, s.multiplier);
        WriteTrigger(link, s);
    }
}

void StartMotion(CKTCOM& link, std::uint8_t station) {
    Write(link, station, reg::CAPTURE_ARM, 1);
    Write(link, station, reg::PROFILE_RUN, 1);
}

void StopMotion(CKTCOM& link, std::uint8_t station) {
    Write(link, station, reg::PROFILE_RUN, 0);
}

CurrentLoopTest ReadCurrentLoopTest(CKTCOM& link, std::uint8_t station) {
    CurrentLoopTest t;
    t.kp = Read(link, station, reg::CURRENT_KP);
    t.ki = Read(link, station, reg::CURRENT_KI);
    t.current = Read(link, station, reg::CURRENT_TEST_MA);
    return t;
}

void StartCurrentLoopTest(CKTCOM& link, const CaptureSettings& s, const CurrentLoopTest& test) {
    if (s.laterProtocol) {
        Write(link, s.station, reg::CAPTURE_SAMPLING, s.multiplier);
    }
    Write(link, s.station, reg::CURRENT_KP, test.kp);
    Write(link, s.station, reg::CURRENT_KI, test.ki);
    Write(link, s.station, reg::CURRENT_TEST_MA, test.current);
    if (s.triggerSource > 0) {
        WriteTrigger(link, s);
    }
    Write(link, s.station, reg::CURRENT_TEST_RUN, 1);
}

void StopCurrentLoopTest(CKTCOM& link, std::uint8_t station) {
    Write(link, station, reg::CURRENT_TEST_RUN, 0);
}

void SetAutoConfiguration(CKTCOM& link, std::uint8_t station, bool on) {
    Write(link, station, reg::CURRENT_AUTO_CONFIG, on ? 1 : 0);
}

void WriteScopeSettings(CKTCOM& link, const CaptureSettings& s) {
    Write(link, s.station, reg::CAPTURE_SAMPLING,
          s.laterProtocol ? s.multiplier : s.traceTime / 10);
    WriteTrigger(link, s);
}

void StopScope(CKTCOM& link, std::uint8_t station) {
    Write(link, station, reg::CAPTURE_ARM, 0);
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
