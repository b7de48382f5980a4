#pragma once

// Helpers shared by the simulator's tests: a drive with its register access spelled short, and
// the model database of the build.

#include "BuiltinModels.h"
#include "Drive.h"
#include "ModelDatabase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace simtest {

using namespace kestova::sim;

inline std::string DataMdb() {
    return KESTOVA_TEST_DATA_MDB;
}

inline bool HaveDatabase() {
#ifdef KESTOVA_TEST_HAVE_DATABASE
    return std::filesystem::exists(DataMdb());
#else
    return false;
#endif
}

#define SKIP_WITHOUT_DATABASE()                                                                    \
    if (!simtest::HaveDatabase()) {                                                                \
        GTEST_SKIP() << "this build has no model database";                                        \
    }

inline ModelDescription Builtin(int code) {
    auto m = BuiltinModel(code);
    EXPECT_TRUE(m.has_value());
    return *m;
}

inline ModelDescription FromDatabase(int code, std::optional<int> protocol = std::nullopt) {
    std::string error;
    auto m = LoadModel(DataMdb(), code, protocol, error);
    EXPECT_TRUE(m.has_value()) << error;
    return m ? *m : ModelDescription{};
}

// Register access as a master sees it.
struct Regs {
    Drive& d;
    std::uint16_t R(std::uint16_t a) {
        ReadResult r = d.Read(a, 1);
        EXPECT_FALSE(r.error.has_value()) << "read of " << a;
        return r.values.empty() ? 0xFFFF : r.values[0];
    }
    std::int16_t S(std::uint16_t a) { return static_cast<std::int16_t>(R(a)); }
    void W(std::uint16_t a, std::uint16_t v) {
        auto e = d.Write(a, {v});
        EXPECT_FALSE(e.has_value()) << "write of " << v << " to " << a;
    }
    std::optional<ExceptionCode> Try(std::uint16_t a, std::uint16_t v) { return d.Write(a, {v}); }
    std::optional<ExceptionCode> ReadError(std::uint16_t a, std::uint16_t n = 1) {
        return d.Read(a, n).error;
    }
    std::vector<std::int16_t> Wave(int channel) {
        const int n = R(0x46);
        std::vector<std::int16_t> out;
        for (int i = 0; i < n; i += 50) {
            const auto count = static_cast<std::uint16_t>(std::min(50, n - i));
            ReadResult r =
                d.Read(static_cast<std::uint16_t>(0x1000 + 0x400 * (channel - 1) + i), count);
            EXPECT_FALSE(r.error.has_value());
            for (auto v : r.values) {
                out.push_back(static_cast<std::int16_t>(v));
            }
        }
        return out;
    }
    void Seconds(double s) { d.Advance(static_cast<std::int64_t>(s / Drive::kTickSeconds + 0.5)); }
};

} // namespace simtest
