// The drive's Modbus register map: which address does what, and which values it refuses.

#include "Drive.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kestova::sim {

namespace {

namespace reg {
constexpr std::uint16_t kCurrentKp = 0x00;
constexpr std::uint16_t kCurrentKi = 0x01;
constexpr std::uint16_t kCurrentTest = 0x02;
constexpr std::uint16_t kTestCurrent = 0x04;
constexpr std::uint16_t kLegacyCurrentWave = 0x05;
constexpr std::uint16_t kMotion = 0x09;
constexpr std::uint16_t kStore = 0x0C;
constexpr std::uint16_t kAlarm = 0x10;
constexpr std::uint16_t kArm = 0x14;
constexpr std::uint16_t kAcceleration = 0x15;
constexpr std::uint16_t kSpeed = 0x16;
constexpr std::uint16_t kDistance = 0x18;
constexpr std::uint16_t kRepeat = 0x19;
constexpr std::uint16_t kRotation = 0x1A;
constexpr std::uint16_t kInterval = 0x1B;
constexpr std::uint16_t kDirectionMode = 0x1C;
constexpr std::uint16_t kAutoConfigure = 0x40;
constexpr std::uint16_t kSource1 = 0x41;
constexpr std::uint16_t kSource4 = 0x44;
constexpr std::uint16_t kChannelCount = 0x45;
constexpr std::uint16_t kSamples = 0x46;
constexpr std::uint16_t kProtocol = 0x47;
constexpr std::uint16_t kFeatures = 0x49;
constexpr std::uint16_t kFirmware = 0x4A;
constexpr std::uint16_t kSampling = 0xD0;
constexpr std::uint16_t kBasePeriod = 0xD1;
constexpr std::uint16_t kCaptureStatus = 0xDA;
constexpr std::uint16_t kTriggerSource = 0xF5;
constexpr std::uint16_t kTriggerPolarity = 0xF6;
constexpr std::uint16_t kTriggerLevel = 0xF7;
constexpr std::uint16_t kTriggerStatus = 0xF8;
constexpr std::uint16_t kFactoryReset = 0xFA;
constexpr std::uint16_t kDriveCode = 0xFD;
constexpr std::uint16_t kWaveBase = 0x1000;
constexpr std::uint16_t kWaveStride = 0x400;
constexpr std::uint16_t kIoFirst = 101;
constexpr std::uint16_t kIoLast = 120;
} // namespace reg

constexpr std::uint16_t kMaxRead = 125;        // Modbus limit for function 0x03
constexpr std::uint16_t kMaxLegacyBlock = 400; // the earlier protocol's wave block
constexpr std::uint16_t kMaxAcceleration = 10000;

constexpr std::array<std::uint8_t, 10> kInputFunctions = {0x00, 0x01, 0x02, 0x03, 0x04,
                                                          0x14, 0x16, 0x17, 0x18, 0x19};
constexpr std::array<std::uint8_t, 5> kOutputFunctions = {0x00, 0x01, 0x02, 0x04, 0x05};

bool IsLegacyWave(std::uint16_t address) {
    return address == reg::kArm || address == reg::kLegacyCurrentWave;
}

bool IsHistoryOnly(std::uint16_t address) {
    return address > reg::kAlarm && address < reg::kArm; // 17..19
}

std::optional<ExceptionCode> Flag(std::uint16_t value) {
    return value > 1 ? std::optional(ExceptionCode::IllegalDataValue) : std::nullopt;
}

} // namespace

bool Drive::IsFunctionRegister(std::uint16_t address, bool laterProtocol) {
    switch (address) {
    case reg::kCurrentKp:
    case reg::kCurrentKi:
    case reg::kCurrentTest:
    case reg::kTestCurrent:
    case reg::kMotion:
    case reg::kStore:
    case reg::kAlarm:
    case reg::kArm:
    case reg::kAcceleration:
    case reg::kSpeed:
    case reg::kDistance:
    case reg::kRepeat:
    case reg::kRotation:
    case reg::kInterval:
    case reg::kDirectionMode:
    case reg::kAutoConfigure:
    case reg::kChannelCount:
    case reg::kSamples:
    case reg::kProtocol:
    case reg::kFeatures:
    case reg::kFirmware:
    case reg::kSampling:
    case reg::kBasePeriod:
    case reg::kCaptureStatus:
    case reg::kTriggerSource:
    case reg::kTriggerPolarity:
    case reg::kTriggerLevel:
    case reg::kTriggerStatus:
    case reg::kFactoryReset:
    case reg::kDriveCode:
        return true;
    case reg::kLegacyCurrentWave:
        return !laterProtocol;
    default:
        return (address >= reg::kSource1 && address <= reg::kSource4) ||
               ObjectDictionaryWindow::Covers(address) || RegisterMonitorWindow::Covers(address) ||
               (address >= reg::kWaveBase && address < reg::kWaveBase + 4 * reg::kWaveStride);
    }
}

ReadResult Drive::Read(std::uint16_t address, std::uint16_t count) {
    ReadResult result;
    if (count == 0) {
        result.error = ExceptionCode::IllegalDataValue;
        return result;
    }
    if (ReadBlock(address, count, result)) {
        return result;
    }
    if (count > kMaxRead) {
        result.error = ExceptionCode::IllegalDataValue;
        return result;
    }
    if (static_cast<std::uint32_t>(address) + count > 0x10000) {
        result.error = ExceptionCode::IllegalDataAddress;
        return result;
    }
    result.values.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        auto v = ReadOne(static_cast<std::uint16_t>(address + i));
        if (!v) {
            result.values.clear();
            result.error = ExceptionCode::IllegalDataAddress;
            return result;
        }
        result.values.push_back(*v);
    }
    return result;
}

bool Drive::ReadBlock(std::uint16_t address, std::uint16_t count, ReadResult& result) const {
    if (address == reg::kAlarm && count > 1) {
        // A block read from 16 is the alarm log; single reads of 20..25 are other registers.
        if (count > AlarmLog::kSize) {
            result.error = ExceptionCode::IllegalDataAddress;
            return true;
        }
        for (int i = 0; i < count; ++i) {
            result.values.push_back(static_cast<std::uint16_t>(alarms_.Entry(i)));
        }
        return true;
    }
    if (!model_.LaterProtocol() && IsLegacyWave(address)) {
        if (count > kMaxLegacyBlock) {
            result.error = ExceptionCode::IllegalDataValue;
            return true;
        }
        for (int i = 0; i < count; ++i) {
            result.values.push_back(*capture_.LegacyWord(i));
        }
        return true;
    }
    return false;
}

std::optional<std::uint16_t> Drive::ReadOne(std::uint16_t address) const {
    auto u = [](auto v) { return std::optional(static_cast<std::uint16_t>(v)); };
    switch (address) {
    case reg::kCurrentKp:
        return currentKp_;
    case reg::kCurrentKi:
        return currentKi_;
    case reg::kCurrentTest:
        return u(CurrentTestRunning() ? 1 : 0);
    case reg::kTestCurrent:
        return testCurrentMa_;
    case reg::kMotion:
        return u(motion_.Running() ? 1 : 0);
    case reg::kStore:
        return u(storeDoneAt_ >= 0 || storeFailed_ ? 1 : 0);
    case reg::kAlarm:
        return u(alarms_.Current());
    case reg::kArm:
        return capture_.ArmState();
    case reg::kAcceleration:
        return acceleration_;
    case reg::kSpeed:
        return speed_;
    case reg::kDistance:
        return distance_;
    case reg::kRepeat:
        return repeat_;
    case reg::kRotation:
        return rotation_;
    case reg::kInterval:
        return interval_;
    case reg::kDirectionMode:
        return directionMode_;
    case reg::kAutoConfigure:
        return u(autoConfigure_ ? 1 : 0);
    case reg::kChannelCount:
        return u(capture_.Layout().channelCount);
    case reg::kSamples:
        return u(capture_.SamplesPerChannel());
    case reg::kProtocol:
        return u(model_.protocolVersion);
    case reg::kFeatures:
        return model_.featureBits;
    case reg::kFirmware:
        return model_.firmwareVersion;
    case reg::kSampling:
        return capture_.Setting();
    case reg::kBasePeriod:
        return kBasePeriodUs;
    case reg::kCaptureStatus:
        return capture_.Status();
    case reg::kTriggerSource:
        return capture_.TriggerSource();
    case reg::kTriggerPolarity:
        return capture_.TriggerPolarity();
    case reg::kTriggerLevel:
        return u(capture_.TriggerLevel());
    case reg::kTriggerStatus:
        return capture_.TriggerStatus();
    case reg::kFactoryReset:
        return u(resetDoneAt_ >= 0 || resetFailed_ ? 1 : 0);
    case reg::kDriveCode:
        return u(model_.driveCode);
    default:
        break;
    }
    if (address >= reg::kSource1 && address <= reg::kSource4) {
        return capture_.Source(address - reg::kSource1);
    }
    if (params_.Has(address)) {
        return params_.Raw(address);
    }
    if (IsHistoryOnly(address)) {
        return u(alarms_.Entry(address - reg::kAlarm));
    }
    if (ObjectDictionaryWindow::Covers(address)) {
        return dictionary_.Read(address);
    }
    if (RegisterMonitorWindow::Covers(address)) {
        return monitor_.Read(address);
    }
    if (model_.LaterProtocol() && address >= reg::kWaveBase &&
        address < reg::kWaveBase + 4 * reg::kWaveStride) {
        const int offset = address - reg::kWaveBase;
        return capture_.ChannelWord(offset / reg::kWaveStride, offset % reg::kWaveStride);
    }
    return std::nullopt;
}

std::optional<ExceptionCode> Drive::Write(std::uint16_t address,
                                          const std::vector<std::uint16_t>& values) {
    if (values.empty()) {
        return ExceptionCode::IllegalDataValue;
    }
    if (static_cast<std::uint32_t>(address) + values.size() > 0x10000) {
        return ExceptionCode::IllegalDataAddress;
    }
    // Registers are written in order; the first refusal ends the write.
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (auto error = WriteOne(static_cast<std::uint16_t>(address + i), values[i])) {
            return error;
        }
    }
    return std::nullopt;
}

std::optional<ExceptionCode> Drive::WriteOne(std::uint16_t address, std::uint16_t value) {
    switch (address) {
    case reg::kCurrentKp:
    case reg::kCurrentKi:
    case reg::kCurrentTest:
    case reg::kTestCurrent:
    case reg::kAutoConfigure:
        return WriteCurrentTest(address, value);
    case reg::kMotion:
    case reg::kAcceleration:
    case reg::kSpeed:
    case reg::kDistance:
    case reg::kRepeat:
    case reg::kRotation:
    case reg::kInterval:
    case reg::kDirectionMode:
        return WriteProfile(address, value);
    case reg::kStore:
        if (auto e = Flag(value)) {
            return e;
        }
        if (value == 1 && storeDoneAt_ < 0) {
            storeDoneAt_ = ticks_ + std::llround(kStoreSeconds / kTickSeconds);
        }
        return std::nullopt;
    case reg::kFactoryReset:
        if (auto e = Flag(value)) {
            return e;
        }
        if (value == 1 && resetDoneAt_ < 0) {
            resetDoneAt_ = ticks_ + std::llround(kResetSeconds / kTickSeconds);
        }
        return std::nullopt;
    case reg::kAlarm:
        if (value == 0) {
            alarms_.ClearCurrent();
            Enable();
        } else if (value == 1) {
            alarms_.ClearHistory();
        } else {
            return ExceptionCode::IllegalDataValue;
        }
        return std::nullopt;
    case reg::kArm:
        if (auto e = Flag(value)) {
            return e;
        }
        if (value == 1) {
            capture_.Arm(static_cast<double>(ticks_) * kBasePeriodUs, Signals());
        } else {
            capture_.Disarm();
        }
        return std::nullopt;
    case reg::kSampling:
        return capture_.SetSetting(value);
    case reg::kTriggerSource:
    case reg::kTriggerPolarity:
    case reg::kTriggerLevel:
        return WriteTrigger(address, value);
    default:
        break;
    }
    if (address >= reg::kSource1 && address <= reg::kSource4) {
        return capture_.SetSource(address - reg::kSource1, value);
    }
    if (params_.Has(address)) {
        if (auto e = CheckIoFunction(address, value)) {
            return e;
        }
        if (auto e = params_.Write(address, value)) {
            return e;
        }
        ApplyParameters();
        return std::nullopt;
    }
    if (ObjectDictionaryWindow::Covers(address)) {
        return dictionary_.Write(address, value);
    }
    if (RegisterMonitorWindow::Covers(address)) {
        return monitor_.Write(address, value);
    }
    return ExceptionCode::IllegalDataAddress; // unknown or read-only
}

std::optional<ExceptionCode> Drive::WriteProfile(std::uint16_t address, std::uint16_t value) {
    const auto maxSpeed = static_cast<std::uint16_t>(plant_.Constants().maxSpeedRpm);
    auto within = [value](std::uint16_t low, std::uint16_t high) -> std::optional<ExceptionCode> {
        if (value < low || value > high) {
            return ExceptionCode::IllegalDataValue;
        }
        return std::nullopt;
    };
    std::optional<ExceptionCode> error;
    std::uint16_t* target = nullptr;
    switch (address) {
    case reg::kMotion:
        if ((error = Flag(value))) {
            return error;
        }
        if (value == 1) {
            StartMotion();
        } else {
            motion_.Stop();
        }
        return std::nullopt;
    case reg::kAcceleration:
        error = within(1, kMaxAcceleration);
        target = &acceleration_;
        break;
    case reg::kSpeed:
        error = within(1, maxSpeed);
        target = &speed_;
        break;
    case reg::kDistance:
        error = within(0, 32767);
        target = &distance_;
        break;
    case reg::kRepeat:
        error = within(1, 10000);
        target = &repeat_;
        break;
    case reg::kRotation:
        error = Flag(value);
        target = &rotation_;
        break;
    case reg::kInterval:
        error = within(0, 32767);
        target = &interval_;
        break;
    default:
        error = Flag(value);
        target = &directionMode_;
        break;
    }
    if (!error) {
        *target = value;
    }
    return error;
}

std::optional<ExceptionCode> Drive::WriteCurrentTest(std::uint16_t address, std::uint16_t value) {
    const auto maxTest = static_cast<std::uint16_t>(plant_.Constants().currentLimit * 1000);
    switch (address) {
    case reg::kCurrentKp:
    case reg::kCurrentKi:
        // While the drive tunes itself it keeps its own gains; the write is taken and passed over.
        if (!autoConfigure_) {
            (address == reg::kCurrentKp ? currentKp_ : currentKi_) = value;
        }
        return std::nullopt;
    case reg::kTestCurrent:
        if (value > maxTest) {
            return ExceptionCode::IllegalDataValue;
        }
        testCurrentMa_ = value;
        return std::nullopt;
    case reg::kCurrentTest:
        if (auto e = Flag(value)) {
            return e;
        }
        if (value == 1) {
            StartCurrentTest();
        } else {
            StopCurrentTest();
        }
        return std::nullopt;
    default: // auto configuration
        if (auto e = Flag(value)) {
            return e;
        }
        autoConfigure_ = value == 1;
        if (autoConfigure_) {
            AutoTuneCurrentLoop();
        }
        return std::nullopt;
    }
}

std::optional<ExceptionCode> Drive::WriteTrigger(std::uint16_t address, std::uint16_t value) {
    std::optional<ExceptionCode> error;
    switch (address) {
    case reg::kTriggerSource:
        error = capture_.SetTriggerSource(value);
        break;
    case reg::kTriggerPolarity:
        error = capture_.SetTriggerPolarity(value);
        break;
    default:
        capture_.SetTriggerLevel(static_cast<std::int16_t>(value));
        break;
    }
    // Setting a trigger arms the wait for it, since a scope-only trace that waits for a trigger
    // never writes the arm register. Polarity and level come after the source, so each of them
    // starts the wait afresh: it must not fire on what the trace before had set.
    if (!error && capture_.TriggerSource() != 0) {
        capture_.Arm(static_cast<double>(ticks_) * kBasePeriodUs, Signals());
    }
    return error;
}

std::optional<ExceptionCode> Drive::CheckIoFunction(std::uint16_t address,
                                                    std::uint16_t value) const {
    if (!model_.HasIoFunctions() || address < reg::kIoFirst || address > reg::kIoLast) {
        return std::nullopt;
    }
    const ParameterRow* row = params_.Row(address);
    std::string name = row != nullptr ? row->name : std::string();
    for (auto& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto function = static_cast<std::uint8_t>(value & 0x3F);
    auto allowed = [function](const auto& list) {
        return std::find(list.begin(), list.end(), function) != list.end();
    };
    if (name.find("SI") != std::string::npos) {
        return allowed(kInputFunctions) ? std::nullopt
                                        : std::optional(ExceptionCode::IllegalDataValue);
    }
    if (name.find("SO") != std::string::npos) {
        return allowed(kOutputFunctions) ? std::nullopt
                                         : std::optional(ExceptionCode::IllegalDataValue);
    }
    return std::nullopt;
}

} // namespace kestova::sim
