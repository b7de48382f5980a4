// The drive's small object dictionary, reached through the 0xAF00 register window.

#include "Drive.h"

#include <cmath>
#include <numbers>

namespace kestova::sim {

namespace {
constexpr std::uint16_t kFaultReset = 0x0080;
constexpr std::uint16_t kEnableOperation = 0x000F;
} // namespace

void Drive::BuildDictionary() {
    auto readOnly = [this](std::uint16_t index, std::uint16_t sub, bool wide, const char* name,
                           std::function<std::int32_t()> read) {
        dictionary_.Add(DictionaryEntry{index, sub, wide, name, std::move(read), {}});
    };
    readOnly(0x1000, 0, true, "device type",
             [this] { return (plant_.Constants().phases << 16) | 0x0192; });
    readOnly(0x1018, 2, true, "product code", [this] { return model_.driveCode; });
    readOnly(0x1018, 3, true, "revision", [this] { return model_.firmwareVersion; });
    readOnly(0x603F, 0, false, "error code", [this] { return alarms_.Current(); });
    readOnly(0x6041, 0, false, "status word", [this] {
        std::int32_t w = 0;
        const bool fault = alarms_.Current() != 0;
        w |= fault ? 0x0008 : 0x0001;                          // fault / ready to switch on
        w |= enabled_ && !fault ? 0x0002 : 0;                  // switched on
        w |= loops_.Mode() != LoopMode::Disabled ? 0x0004 : 0; // operation enabled
        w |= plant_.BusVoltage() > 0 ? 0x0010 : 0;             // voltage enabled
        w |= !motion_.Running() ? 0x0400 : 0;                  // target reached
        return w;
    });
    readOnly(0x6062, 0, true, "position demand",
             [this] { return static_cast<std::int32_t>(std::llround(command_)); });
    readOnly(0x6064, 0, true, "position actual",
             [this] { return static_cast<std::int32_t>(loops_.FeedbackCounts()); });
    readOnly(0x606C, 0, true, "velocity actual (rpm)", [this] {
        return static_cast<std::int32_t>(
            std::lround(loops_.SpeedEstimate() * 60.0 / (2.0 * std::numbers::pi)));
    });
    readOnly(0x6078, 0, false, "current actual (mA)",
             [this] { return static_cast<std::int32_t>(std::lround(plant_.Iq() * 1000.0)); });
    readOnly(0x6079, 0, true, "DC link voltage (mV)", [this] {
        return static_cast<std::int32_t>(std::lround(plant_.BusVoltage() * 1000.0));
    });
    readOnly(0x60F4, 0, true, "following error actual",
             [this] { return static_cast<std::int32_t>(std::lround(loops_.FollowingError())); });
    readOnly(0x2001, 0, false, "winding temperature (0.1 C)",
             [this] { return static_cast<std::int32_t>(std::lround(temperature_ * 10.0)); });

    dictionary_.Add(DictionaryEntry{
        0x6040, 0, false, "control word", [this] { return controlWord_; },
        [this](std::int32_t v) -> std::optional<ExceptionCode> {
            const auto word = static_cast<std::uint16_t>(v);
            const bool resetEdge = (word & kFaultReset) != 0 && (controlWord_ & kFaultReset) == 0;
            controlWord_ = word;
            if (resetEdge) {
                alarms_.ClearCurrent();
            }
            enabled_ = (word & kEnableOperation) == kEnableOperation;
            if (enabled_) {
                Enable();
            } else {
                motion_.Abort();
                loops_.SetMode(LoopMode::Disabled, plant_);
            }
            return std::nullopt;
        }});
    dictionary_.Add(DictionaryEntry{0x6081, 0, true, "profile velocity (rpm)",
                                    [this] { return speed_; },
                                    [this](std::int32_t v) -> std::optional<ExceptionCode> {
                                        if (v < 0 || v > 0xFFFF) {
                                            return ExceptionCode::IllegalDataValue;
                                        }
                                        return WriteProfile(0x16, static_cast<std::uint16_t>(v));
                                    }});
    dictionary_.Add(DictionaryEntry{0x6083, 0, true, "profile acceleration (rev/s^2)",
                                    [this] { return acceleration_; },
                                    [this](std::int32_t v) -> std::optional<ExceptionCode> {
                                        if (v < 0 || v > 0xFFFF) {
                                            return ExceptionCode::IllegalDataValue;
                                        }
                                        return WriteProfile(0x15, static_cast<std::uint16_t>(v));
                                    }});
}

} // namespace kestova::sim
