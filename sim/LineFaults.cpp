#include "LineFaults.h"

#include <cmath>
#include <sstream>

namespace kestova::sim {

namespace {

constexpr std::array<const char*, kLineFaultCount> kNames = {
    "crc-error",   "no-reply",        "late-reply", "stray-byte",
    "short-reply", "exception-reply", "line-noise", "lost-request",
};

std::size_t Index(LineFault fault) {
    return static_cast<std::size_t>(fault);
}

} // namespace

const char* LineFaultName(LineFault fault) {
    return kNames[Index(fault)];
}

std::optional<LineFault> LineFaultFromName(const std::string& name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) {
            return static_cast<LineFault>(i);
        }
    }
    return std::nullopt;
}

LineFaults::LineFaults(std::uint32_t seed) : random_(seed) {}

void LineFaults::Set(LineFault fault, FaultSetting setting) {
    std::lock_guard lock(mutex_);
    settings_[Index(fault)] = setting;
}

FaultSetting LineFaults::Get(LineFault fault) const {
    std::lock_guard lock(mutex_);
    return settings_[Index(fault)];
}

void LineFaults::ClearAll() {
    std::lock_guard lock(mutex_);
    settings_.fill(FaultSetting{});
}

void LineFaults::SetLateBy(Micros delay) {
    std::lock_guard lock(mutex_);
    lateBy_ = delay;
}

Micros LineFaults::LateBy() const {
    std::lock_guard lock(mutex_);
    return lateBy_;
}

void LineFaults::SetExceptionCode(ExceptionCode code) {
    std::lock_guard lock(mutex_);
    exceptionCode_ = code;
}

ExceptionCode LineFaults::GetExceptionCode() const {
    std::lock_guard lock(mutex_);
    return exceptionCode_;
}

bool LineFaults::Due(LineFault fault) {
    FaultSetting& s = settings_[Index(fault)];
    if (s.count > 0) {
        --s.count;
        return true;
    }
    if (s.rate > 0.0) {
        return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < s.rate;
    }
    return false;
}

bool LineFaults::RequestLost() {
    std::lock_guard lock(mutex_);
    return Due(LineFault::LostRequest);
}

ReplyPlan LineFaults::Plan(Bytes reply, std::uint8_t station, std::uint8_t function) {
    std::lock_guard lock(mutex_);
    ReplyPlan plan;
    if (Due(LineFault::NoReply)) {
        plan.send = false;
        return plan;
    }
    if (Due(LineFault::ExceptionReply)) {
        reply = ExceptionReply(station, function, exceptionCode_);
    }
    if (Due(LineFault::CrcError)) {
        reply[reply.size() - 1] ^= 0x5A;
    }
    if (Due(LineFault::ShortReply) && reply.size() > 1) {
        // Cut somewhere inside the frame, never leaving it whole.
        std::uniform_int_distribution<std::size_t> keep(1, reply.size() - 1);
        reply.resize(keep(random_));
    }
    if (Due(LineFault::StrayByte)) {
        // A transceiver switching to send puts a glitch on the line; 0x00 and 0xFF are typical.
        reply.insert(reply.begin(), std::uint8_t{0x00});
    }
    if (Due(LineFault::LateReply)) {
        plan.extraDelay = lateBy_;
    }
    plan.bytes = std::move(reply);
    return plan;
}

Bytes LineFaults::RandomBurst() {
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<int> value(0, 255);
    Bytes burst(static_cast<std::size_t>(length(random_)));
    for (auto& b : burst) {
        b = static_cast<std::uint8_t>(value(random_));
    }
    return burst;
}

std::vector<Bytes> LineFaults::NoiseDue(Micros idle) {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> bursts;
    FaultSetting& s = settings_[Index(LineFault::LineNoise)];
    if (s.count > 0) {
        --s.count;
        bursts.push_back(RandomBurst());
        return bursts;
    }
    if (s.rate > 0.0 && idle.count() > 0) {
        // Bursts come as a Poisson process: the chance of at least one in this spell.
        const double p = 1.0 - std::exp(-s.rate * static_cast<double>(idle.count()) / 1e6);
        if (std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p) {
            bursts.push_back(RandomBurst());
        }
    }
    return bursts;
}

std::string LineFaults::Describe() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    bool any = false;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        const FaultSetting& s = settings_[i];
        if (s.count > 0) {
            out << (any ? " " : "") << kNames[i] << "=" << s.count;
            any = true;
        } else if (s.rate > 0.0) {
            out << (any ? " " : "") << kNames[i] << "@" << s.rate;
            any = true;
        }
    }
    if (!any) {
        out << "none";
    }
    return out.str();
}

} // namespace kestova::sim
