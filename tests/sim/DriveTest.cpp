// The drive's registers in-process: identity, parameters and their memory, alarms, IO functions,
// capture, and the two diagnostic windows; against built-in models and the real DATA.mdb.

#include "SimTestSupport.h"

#include <fstream>
#include <unistd.h>

using namespace simtest;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kestova-sim-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

TEST(Identity, builtinModelsAnswerTheirIdentityAndCaptureMemory) {
    struct Case {
        int code;
        int protocol;
        int channels;
        int samples;
    };
    for (const Case c : {Case{1, 300, 4, 400}, Case{2, 200, 2, 200}, Case{256, 310, 4, 512}}) {
        Drive d(Builtin(c.code), {});
        Regs r{d};
        EXPECT_EQ(r.R(0xFD), c.code);
        EXPECT_EQ(r.R(0x47), c.protocol);
        EXPECT_EQ(r.R(0x45), c.channels);
        EXPECT_EQ(r.R(0x46), c.samples);
        EXPECT_EQ(r.R(0xD1), 100);
        EXPECT_GT(r.R(0x4A), 0);
    }
}

TEST(Identity, featureBitsCanBeOverridden) {
    DriveOptions o;
    o.featureBits = 0x4;
    Drive d(Builtin(1), o);
    EXPECT_EQ(Regs{d}.R(0x49), 0x4);
}

TEST(RegisterMap, refusesWhatARealDriveRefuses) {
    Drive d(Builtin(1), {});
    Regs r{d};
    EXPECT_EQ(r.ReadError(0x1234), ExceptionCode::IllegalDataAddress);
    EXPECT_EQ(r.ReadError(0x10, 11), ExceptionCode::IllegalDataAddress); // the log has ten
    EXPECT_EQ(r.ReadError(0x100, 0), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.ReadError(30, 126), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.Try(0xFD, 5), ExceptionCode::IllegalDataAddress);
    EXPECT_EQ(r.Try(0x1000, 5), ExceptionCode::IllegalDataAddress);
    EXPECT_EQ(r.Try(0x0C, 2), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.Try(0x41, 3), ExceptionCode::IllegalDataValue); // not a one-bit signal code
    EXPECT_EQ(r.Try(0x16, 0), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.Try(0x1A, 5), ExceptionCode::IllegalDataValue);
    // A read across a hole fails as a whole.
    EXPECT_EQ(r.ReadError(0x45, 4), ExceptionCode::IllegalDataAddress);
}

TEST(Parameters, startAtDefaultsAndRefuseValuesOutOfRange) {
    Drive d(Builtin(1), {});
    Regs r{d};
    EXPECT_EQ(r.R(30), 40);
    EXPECT_EQ(r.Try(30, 0), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.Try(30, 2001), ExceptionCode::IllegalDataValue);
    r.W(30, 80);
    EXPECT_EQ(r.R(30), 80);
    // Register 14 is unsigned: 65535 is its top, not -1.
    r.W(14, 65535);
    EXPECT_EQ(r.R(14), 65535);
    EXPECT_EQ(r.Try(14, 100), ExceptionCode::IllegalDataValue);
    // Signed registers compare as signed.
    r.W(39, static_cast<std::uint16_t>(-1000));
    EXPECT_EQ(r.Try(39, static_cast<std::uint16_t>(-1001)), ExceptionCode::IllegalDataValue);
    // The packed register holds three bits.
    r.W(255, 7);
    EXPECT_EQ(r.Try(255, 8), ExceptionCode::IllegalDataValue);
}

class StoredParameters : public ::testing::Test {
protected:
    DriveOptions Options() const {
        DriveOptions o;
        o.stateFile = dir_.File("drive.state");
        return o;
    }
    TempDir dir_;
};

TEST_F(StoredParameters, storeKeepsWorkingValuesAcrossARestart) {
    {
        Drive d(Builtin(1), Options());
        Regs r{d};
        r.W(30, 120);
        r.W(12, 1);
        EXPECT_EQ(r.R(12), 1);
        r.Seconds(0.45);
        EXPECT_EQ(r.R(12), 1) << "the memory takes about half a second";
        r.Seconds(0.1);
        EXPECT_EQ(r.R(12), 0);
        r.W(31, 90); // changed after the store: lost at the restart
    }
    Drive d(Builtin(1), Options());
    Regs r{d};
    EXPECT_EQ(r.R(30), 120);
    EXPECT_EQ(r.R(31), 40);
}

TEST_F(StoredParameters, factoryResetRestoresDefaultsInWorkingAndStoredValues) {
    {
        Drive d(Builtin(1), Options());
        Regs r{d};
        r.W(30, 120);
        r.W(12, 1);
        r.Seconds(0.6);
        r.W(250, 1);
        EXPECT_EQ(r.R(250), 1);
        EXPECT_EQ(r.R(30), 120);
        r.Seconds(0.4);
        EXPECT_EQ(r.R(250), 0);
        EXPECT_EQ(r.R(30), 40);
    }
    Drive d(Builtin(1), Options());
    EXPECT_EQ(Regs{d}.R(30), 40);
}

TEST_F(StoredParameters, stateFileOfAnotherModelIsPassedOver) {
    {
        Drive d(Builtin(1), Options());
        Regs r{d};
        r.W(30, 120);
        r.W(12, 1);
        r.Seconds(0.6);
    }
    Drive d(Builtin(2), Options());
    EXPECT_EQ(Regs{d}.R(30), 40);
    EXPECT_FALSE(d.TakeNotes().empty());
}

// Review item 13: the program takes register 12 reading 0 as a store that succeeded.
TEST_F(StoredParameters, commandThatCannotWriteTheMemoryStaysUnacknowledgedAndRaisesTheAlarm) {
    DriveOptions o;
    o.stateFile = dir_.File("no-such-folder/drive.state");
    Drive d(Builtin(1), o);
    Regs r{d};
    r.W(12, 1);
    r.Seconds(0.6);
    EXPECT_EQ(r.R(12), 1);
    EXPECT_EQ(r.S(16), d.Model().alarms.memoryError);
    EXPECT_FALSE(d.TakeNotes().empty());
    r.W(250, 1);
    r.Seconds(0.4);
    EXPECT_EQ(r.R(250), 1);
}

TEST(Alarms, logKeepsNewestFirstAndClearsAsCommanded) {
    Drive d(Builtin(1), {});
    Regs r{d};
    d.RaiseAlarm(4);
    d.RaiseAlarm(9);
    d.RaiseAlarm(9); // the alarm in force is not logged twice
    auto log = [&d] { return d.Read(16, 10).values; };
    EXPECT_EQ(log(), (std::vector<std::uint16_t>{9, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.R(17), 4);

    r.W(16, 0); // clear the alarm in force: it stays in the log
    EXPECT_EQ(r.R(16), 0);
    EXPECT_EQ(log(), (std::vector<std::uint16_t>{0, 9, 4, 0, 0, 0, 0, 0, 0, 0}));

    d.RaiseAlarm(3);
    EXPECT_EQ(log(), (std::vector<std::uint16_t>{3, 9, 4, 0, 0, 0, 0, 0, 0, 0}));

    r.W(16, 1); // clear the history; the alarm in force remains
    EXPECT_EQ(log(), (std::vector<std::uint16_t>{3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.Try(16, 2), ExceptionCode::IllegalDataValue);
}

TEST(Alarms, oldestEntryLeavesAFullLog) {
    Drive d(Builtin(1), {});
    for (std::int16_t code = 1; code <= 11; ++code) {
        d.RaiseAlarm(code);
    }
    const auto log = d.Read(16, 10).values;
    EXPECT_EQ(log.front(), 11);
    EXPECT_EQ(log.back(), 2);
}

TEST(Alarms, singleReadsAboveTheHistoryReachTheCaptureAndMotionRegisters) {
    Drive d(Builtin(1), {});
    Regs r{d};
    for (std::int16_t code = 1; code <= 10; ++code) {
        d.RaiseAlarm(code);
    }
    EXPECT_EQ(d.Read(16, 10).values[6], 4); // register 22 in the log ...
    EXPECT_EQ(r.R(0x16), 100);              // ... is the profile speed when read alone
}

TEST(Alarms, anAlarmStopsMotionAndRefusesANewStartUntilCleared) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x18, 1000);
    r.W(0x09, 1);
    r.Seconds(0.05);
    EXPECT_EQ(r.R(0x09), 1);
    d.RaiseAlarm(13);
    EXPECT_EQ(r.R(0x09), 0);
    r.W(0x09, 1);
    EXPECT_EQ(r.R(0x09), 0);
    r.W(16, 0);
    r.W(0x09, 1);
    EXPECT_EQ(r.R(0x09), 1);
}

TEST(IoFunctions, inputAndOutputRegistersTakeOnlyTheirOwnFunctions) {
    Drive d(Builtin(256), {});
    Regs r{d};
    EXPECT_FALSE(r.Try(101, 0x0114).has_value()); // EMG, 2 ms filter
    EXPECT_EQ(r.R(101), 0x0114);
    EXPECT_FALSE(r.Try(101, 0x0194).has_value());                   // B contact
    EXPECT_EQ(r.Try(101, 0x0005), ExceptionCode::IllegalDataValue); // an output's function
    EXPECT_FALSE(r.Try(111, 0x0005).has_value());
    EXPECT_EQ(r.Try(111, 0x0014), ExceptionCode::IllegalDataValue);
    EXPECT_EQ(r.Try(101, 0xFFFF), ExceptionCode::IllegalDataValue); // function 0x3F

    Drive plain(Builtin(1), {});
    EXPECT_EQ(Regs{plain}.ReadError(101), ExceptionCode::IllegalDataAddress);
}

TEST(Capture, completesAfterSamplesTimesIntervalAndHasItsShape) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x41, 128); // bus voltage
    r.W(0x42, 0);
    r.W(0xD0, 3); // 300 us per sample
    r.W(0x14, 1);
    EXPECT_EQ(r.R(0xDA), 1);
    const int n = r.R(0x46);
    d.Advance(3 * (n - 1) - 1); // the first sample is taken at the arm's own tick
    EXPECT_EQ(r.R(0xDA), 1);
    d.Advance(1);
    EXPECT_EQ(r.R(0xDA), 2);
    const auto bus = r.Wave(1);
    ASSERT_EQ(bus.size(), static_cast<std::size_t>(n));
    const auto [lo, hi] = std::minmax_element(bus.begin(), bus.end());
    EXPECT_GT(*lo, 650);
    EXPECT_LT(*hi, 750);
    EXPECT_GT(*hi - *lo, 3) << "the bus carries ripple";
    EXPECT_EQ(r.Wave(2), std::vector<std::int16_t>(static_cast<std::size_t>(n), 0));
    EXPECT_EQ(r.ReadError(static_cast<std::uint16_t>(0x1000 + n - 10), 11),
              ExceptionCode::IllegalDataAddress);
}

TEST(Capture, disarmStopsAndReadsIdle) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x41, 2);
    r.W(0x14, 1);
    r.W(0x14, 0);
    EXPECT_EQ(r.R(0xDA), 0);
    r.Seconds(1);
    EXPECT_EQ(r.R(0xDA), 0);
}

TEST(Capture, earlierProtocolBlockCarriesChannelOneThenChannelTwo) {
    Drive d(Builtin(2), {});
    Regs r{d};
    EXPECT_EQ(r.Try(0x43, 2), ExceptionCode::IllegalDataValue); // no memory for channel 3
    r.W(0x41, 128);
    r.W(0x42, 4);
    r.W(0xD0, 10); // 100 ms of trace: 500 us per sample
    r.W(0x14, 1);
    r.Seconds(0.0995);
    EXPECT_EQ(r.R(0xDA), 2);
    const ReadResult block = d.Read(0x14, 400);
    ASSERT_FALSE(block.error.has_value());
    ASSERT_EQ(block.values.size(), 400U);
    EXPECT_GT(static_cast<std::int16_t>(block.values[0]), 600); // bus voltage
    EXPECT_EQ(static_cast<std::int16_t>(block.values[200]), 0); // position from the arm
    EXPECT_EQ(d.Read(0x14, 401).error, ExceptionCode::IllegalDataValue);
    EXPECT_EQ(d.Read(0x05, 200).values,
              std::vector<std::uint16_t>(block.values.begin(), block.values.begin() + 200));
}

// Review item 12: the page reads 200 words for channel 2 alone.
TEST(Capture, earlierProtocolBlockBeginsWithChannelTwoWhenChannelOneIsOff) {
    Drive d(Builtin(2), {});
    Regs r{d};
    r.W(0x41, 0);
    r.W(0x42, 128);
    r.W(0xD0, 10);
    r.W(0x14, 1);
    r.Seconds(0.1);
    ASSERT_EQ(r.R(0xDA), 2);
    const ReadResult block = d.Read(0x14, 200);
    ASSERT_EQ(block.values.size(), 200U);
    EXPECT_NEAR(static_cast<std::int16_t>(block.values.front()), 700, 15);
    EXPECT_NEAR(static_cast<std::int16_t>(block.values.back()), 700, 15);
}

TEST(Capture, currentLoopTraceIsCompleteOnceItsWindowHasPassed) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x41, 0);
    r.W(0xD0, 1);
    r.W(0x04, 2000);
    r.W(0x02, 1);
    EXPECT_EQ(r.R(0xDA), 1);
    EXPECT_EQ(r.R(0x02), 1);
    r.Seconds(r.R(0x46) * 100e-6);
    EXPECT_EQ(r.R(0xDA), 2);
    const auto trace = r.Wave(1);
    EXPECT_NEAR(trace.back(), 2000, 60) << "an unassigned channel carries the tested current";
    r.W(0x02, 0);
    EXPECT_EQ(r.R(0x02), 0);
}

TEST(Capture, earlierProtocolCurrentTraceSpansTwoHundredMilliseconds) {
    Drive d(Builtin(2), {});
    Regs r{d};
    r.W(0x41, 64); // current magnitude
    r.W(0x04, 1500);
    r.W(0x02, 1);
    d.Advance(2000 - 10 - 1); // 200 samples 1 ms apart, the first at the start
    EXPECT_EQ(r.R(0xDA), 1);
    d.Advance(1);
    EXPECT_EQ(r.R(0xDA), 2);
    const ReadResult block = d.Read(0x05, 200);
    ASSERT_FALSE(block.error.has_value());
    EXPECT_NEAR(static_cast<std::int16_t>(block.values.back()), 1500, 30);
}

TEST(ObjectDictionary, windowWritesAndReadsEntries) {
    Drive d(Builtin(1), {});
    Regs r{d};
    // Profile velocity 0x6081:0 = 1500 rpm through the write group.
    r.W(0xAF00, 0x6081);
    r.W(0xAF01, 0);
    r.W(0xAF02, 0);
    r.W(0xAF03, 1500);
    EXPECT_EQ(r.R(0x16), 1500);
    // Read group 2 follows the entry's present value.
    r.W(0xAF08, 0x6081);
    r.W(0xAF09, 0);
    EXPECT_EQ(r.R(0xAF0A), 0);
    EXPECT_EQ(r.R(0xAF0B), 1500);
    // Position actual is 32 bits: a negative position reads as two halves.
    r.W(0xAF04, 0x6064);
    r.W(0xAF05, 0);
    r.W(0x1A, 1);
    r.W(0x18, 50);
    r.W(0x09, 1);
    r.Seconds(1.5);
    const std::int32_t position = (r.R(0xAF06) << 16) | r.R(0xAF07);
    EXPECT_NEAR(position, -2000, 5);

    r.W(0xAF04, 0x1234);
    EXPECT_EQ(r.ReadError(0xAF06), ExceptionCode::IllegalDataAddress);
    r.W(0xAF00, 0x6064); // read-only entry
    r.W(0xAF02, 0);
    EXPECT_EQ(r.Try(0xAF03, 1), ExceptionCode::IllegalDataAddress);
    r.W(0xAF00, 0x6040); // 16-bit entry does not take 0x10000
    r.W(0xAF02, 1);
    EXPECT_EQ(r.Try(0xAF03, 0), ExceptionCode::IllegalDataValue);
}

TEST(ObjectDictionary, controlWordFaultResetClearsTheAlarm) {
    Drive d(Builtin(1), {});
    Regs r{d};
    d.RaiseAlarm(13);
    r.W(0xAF04, 0x6041);
    r.W(0xAF05, 0);
    EXPECT_NE(r.R(0xAF07) & 0x0008, 0);
    r.W(0xAF00, 0x6040);
    r.W(0xAF01, 0);
    r.W(0xAF02, 0);
    r.W(0xAF03, 0x008F);
    EXPECT_EQ(r.R(16), 0);
    EXPECT_EQ(r.R(0xAF07) & 0x000F, 0x0007);
}

TEST(RegisterMonitor, windowShowsInternalRegisters) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0xB100, 0x0005); // bus voltage, 0.1 V
    EXPECT_EQ(r.R(0xB100), 0x0005);
    EXPECT_NEAR(r.S(0xB101), 700, 10);
    r.W(0xB100, 0x1A2B);
    EXPECT_EQ(r.ReadError(0xB101), ExceptionCode::IllegalDataAddress);
    EXPECT_EQ(r.Try(0xB101, 1), ExceptionCode::IllegalDataAddress);
}

class DatabaseModels : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_DATABASE(); }
};

TEST_F(DatabaseModels, driveServesEveryParameterAtItsDefault) {
    std::string error;
    for (const auto& summary : ListModels(DataMdb(), error)) {
        const ModelDescription m = FromDatabase(summary.driveCode, summary.protocolVersion);
        ASSERT_FALSE(m.parameters.empty()) << summary.name;
        EXPECT_TRUE(m.warnings.empty()) << summary.name << ": " << m.warnings.front();
        Drive d(m, {});
        for (const ParameterRow& p : m.parameters) {
            EXPECT_GE(p.defaultValue, p.low) << summary.name << " register " << p.address;
            EXPECT_LE(p.defaultValue, p.high) << summary.name << " register " << p.address;
            const ReadResult r = d.Read(p.address, 1);
            ASSERT_FALSE(r.error.has_value()) << summary.name << " register " << p.address;
            EXPECT_EQ(r.values[0], static_cast<std::uint16_t>(p.defaultValue));
        }
        EXPECT_EQ(Regs{d}.R(0xFD), summary.driveCode);
        EXPECT_EQ(Regs{d}.R(0x47), summary.protocolVersion);
    }
    EXPECT_TRUE(error.empty()) << error;
}

TEST_F(DatabaseModels, rolesAndAlarmCodesComeFromTheTables) {
    const ModelDescription cs = FromDatabase(12, 310);
    EXPECT_TRUE(cs.roles.positionGain && cs.roles.speedGain && cs.roles.speedIntegral);
    EXPECT_TRUE(cs.roles.followingLimit && cs.roles.encoderResolution);
    EXPECT_FALSE(cs.roles.positionGainPerSecond);
    EXPECT_EQ(cs.motor, MotorKind::Stepper);
    EXPECT_EQ(cs.alarms.overCurrent, 1);
    EXPECT_EQ(cs.alarms.followingError, 4);
    EXPECT_EQ(cs.alarms.memoryError, 10);

    const ModelDescription sd = FromDatabase(21);
    EXPECT_EQ(sd.motor, MotorKind::Servo);
    EXPECT_TRUE(sd.roles.positionGainPerSecond);
    EXPECT_TRUE(sd.roles.speedGainHz);
    EXPECT_TRUE(sd.roles.speedIntegralIsTime);
}

TEST_F(DatabaseModels, codeWithTwoProtocolsPicksTheNewestUnlessAsked) {
    EXPECT_EQ(FromDatabase(12).protocolVersion, 310);
    const ModelDescription legacy = FromDatabase(12, 200);
    EXPECT_EQ(legacy.protocolVersion, 200);
    Drive d(legacy, {});
    EXPECT_EQ(Regs{d}.R(0x46), 200);
    std::string error;
    EXPECT_FALSE(LoadModel(DataMdb(), 999, std::nullopt, error).has_value());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(LoadModel("/nonexistent/DATA.mdb", 12, std::nullopt, error).has_value());
}

TEST_F(DatabaseModels, ioModelsCheckTheirInputAndOutputRows) {
    for (int code : {256, 257}) {
        const ModelDescription m = FromDatabase(code);
        Drive d(m, {});
        Regs r{d};
        int inputs = 0;
        for (const auto& p : m.parameters) {
            if (p.address >= 101 && p.address <= 120 && p.name.find("SI") != std::string::npos) {
                EXPECT_FALSE(r.Try(p.address, 0x0114).has_value()) << p.name;
                EXPECT_EQ(r.Try(p.address, 0x0005), ExceptionCode::IllegalDataValue) << p.name;
                ++inputs;
            }
        }
        EXPECT_GT(inputs, 0) << m.name;
    }
}

} // namespace
