// The simulated drive on a real pseudo-terminal, against masters we did not write alongside it:
// libmodbus's RTU client, and the link library's register operations.

#include "CommandLine.h"
#include "ControlCommands.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "PortNames.h"
#include "SimTestSupport.h"

#include <modbus/modbus.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace simtest;
using namespace std::chrono_literals;

namespace {

class LineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestova-sim-ports-XXXXXX";
        portDir_ = ::mkdtemp(pattern);
        ::setenv("KESTOVA_PORT_DIR", portDir_.c_str(), 1);
    }
    void TearDown() override {
        if (ctx_ != nullptr) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
        sim_.reset();
        std::filesystem::remove_all(portDir_);
        ::unsetenv("KESTOVA_PORT_DIR");
    }

    void StartSim(ModelDescription model, int baud = 0, double clock = 1.0) {
        SimulatorOptions o;
        o.portName = "COM9";
        o.timing.baud = baud;
        o.clockRate = clock;
        sim_ = std::make_unique<DriveSimulator>(std::move(model), DriveOptions{}, o);
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
    }

    modbus_t* Client(int baud = 38400, int timeoutMs = 300) {
        const std::string path = ktcom::ResolvePortPath("COM9");
        ctx_ = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
        EXPECT_NE(ctx_, nullptr);
        modbus_set_slave(ctx_, 1);
        modbus_set_response_timeout(ctx_, 0, static_cast<std::uint32_t>(timeoutMs * 1000));
        EXPECT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
        return ctx_;
    }

    int Read1(std::uint16_t address, std::uint16_t& value) {
        return modbus_read_registers(ctx_, address, 1, &value);
    }

    std::string portDir_;
    std::unique_ptr<DriveSimulator> sim_;
    modbus_t* ctx_ = nullptr;
};

TEST_F(LineTest, registersItsPortAndRemovesItOnStop) {
    StartSim(Builtin(1));
    EXPECT_EQ(std::filesystem::canonical(ktcom::ResolvePortPath("COM9")).string(),
              sim_->DevicePath());
    const auto ports = ktcom::ListPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM9"), ports.end());
    sim_->Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(portDir_ + "/COM9"));
}

// Two drives on one name used to break each other: the second took the name over, and stopping
// either removed the entry whoever held it.
TEST_F(LineTest, aSecondDriveCannotTakeALiveNameAndStoppingItLeavesTheFirst) {
    StartSim(Builtin(1));
    SimulatorOptions o;
    o.portName = "COM9";
    DriveSimulator second(Builtin(256), DriveOptions{}, o);
    std::string error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("COM9 is already taken by " + sim_->DevicePath()), std::string::npos)
        << error;
    second.Stop();
    EXPECT_EQ(std::filesystem::canonical(ktcom::ResolvePortPath("COM9")).string(),
              sim_->DevicePath());
}

TEST_F(LineTest, aPortDirectoryOthersCanWriteIsPassedOverWithTheReason) {
    ASSERT_EQ(::chmod(portDir_.c_str(), 0777), 0);
    SimulatorOptions o;
    DriveSimulator sim(Builtin(1), DriveOptions{}, o);
    std::string error;
    EXPECT_FALSE(sim.Start(error));
    EXPECT_NE(error.find("is open to other users (mode 0777)"), std::string::npos) << error;
}

TEST_F(LineTest, libmodbusReadsIdentityWritesParametersAndReadsWaveBlocks) {
    StartSim(Builtin(1), 38400);
    modbus_t* mb = Client();
    std::uint16_t id[3] = {};
    ASSERT_EQ(modbus_read_registers(mb, 0xFD, 1, id), 1) << modbus_strerror(errno);
    EXPECT_EQ(id[0], 1);
    ASSERT_EQ(modbus_read_registers(mb, 0x47, 1, id), 1);
    EXPECT_EQ(id[0], 300);
    ASSERT_EQ(modbus_read_registers(mb, 0x49, 2, id), 2);
    EXPECT_EQ(id[0], 0x7);
    EXPECT_EQ(modbus_read_registers(mb, 0x47, 3, id), -1) << "there is no register 0x48";
    EXPECT_EQ(errno, EMBXILADD);

    ASSERT_EQ(modbus_write_register(mb, 30, 77), 1) << modbus_strerror(errno);
    std::uint16_t v = 0;
    ASSERT_EQ(Read1(30, v), 1);
    EXPECT_EQ(v, 77);
    const std::uint16_t profile[2] = {250, 900}; // acceleration, speed
    ASSERT_EQ(modbus_write_registers(mb, 0x15, 2, profile), 2) << modbus_strerror(errno);
    ASSERT_EQ(Read1(0x16, v), 1);
    EXPECT_EQ(v, 900);

    // Out of range and unknown registers get the exceptions a drive sends.
    EXPECT_EQ(modbus_write_register(mb, 30, 0), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    EXPECT_EQ(Read1(0x1234, v), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // A capture, then its wave in blocks of 50.
    ASSERT_EQ(modbus_write_register(mb, 0x41, 128), 1);
    ASSERT_EQ(modbus_write_register(mb, 0xD0, 1), 1);
    ASSERT_EQ(modbus_write_register(mb, 0x14, 1), 1);
    sim_->SetClockRate(0);
    sim_->Step(50ms);
    ASSERT_EQ(Read1(0xDA, v), 1);
    EXPECT_EQ(v, 2);
    std::vector<std::uint16_t> wave(400);
    for (int i = 0; i < 400; i += 50) {
        ASSERT_EQ(modbus_read_registers(mb, 0x1000 + i, 50, wave.data() + i), 50);
    }
    for (auto s : wave) {
        EXPECT_NEAR(static_cast<std::int16_t>(s), 700, 15);
    }
}

TEST_F(LineTest, libmodbusGetsIllegalFunctionForAFunctionTheDriveLacks) {
    StartSim(Builtin(1));
    modbus_t* mb = Client();
    std::uint8_t bits[8] = {};
    EXPECT_EQ(modbus_read_bits(mb, 0, 8, bits), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    std::uint16_t v = 0;
    EXPECT_EQ(Read1(0xFD, v), 1) << "and the line works on";
}

TEST_F(LineTest, otherStationsAndBroadcastsGetNoAnswer) {
    StartSim(Builtin(1));
    modbus_t* mb = Client(38400, 100);
    std::uint16_t v = 0;
    modbus_set_slave(mb, 2);
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_set_slave(mb, 0); // broadcast write: carried out, not answered
    modbus_write_register(mb, 30, 55);
    modbus_set_slave(mb, 1);
    ASSERT_EQ(Read1(30, v), 1);
    EXPECT_EQ(v, 55);
}

TEST_F(LineTest, repliesTakeTheirWireTime) {
    StartSim(Builtin(1), 9600);
    modbus_t* mb = Client(9600, 1000);
    std::uint16_t wave[100];
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(modbus_read_registers(mb, 0x1000, 100, wave), 100);
    const auto took = std::chrono::steady_clock::now() - t0;
    // 8 + 205 bytes at 960 bytes/s is 222 ms.
    EXPECT_GE(took, 220ms);
}

class FaultSwitch : public LineTest {};

TEST_F(FaultSwitch, eachSwitchDoesWhatItsNameSays) {
    StartSim(Builtin(1));
    modbus_t* mb = Client(38400, 150);
    std::uint16_t v = 0;
    auto& f = sim_->Faults();

    f.Set(LineFault::CrcError, {.count = 1});
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_EQ(errno, EMBBADCRC);
    modbus_flush(mb);

    f.Set(LineFault::NoReply, {.count = 1});
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);

    f.Set(LineFault::ExceptionReply, {.count = 1});
    f.SetExceptionCode(ExceptionCode::DeviceBusy);
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_EQ(errno, EMBXSBUSY);

    f.SetLateBy(400ms);
    f.Set(LineFault::LateReply, {.count = 1});
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    std::this_thread::sleep_for(450ms); // let the late reply arrive before the line is cleared
    modbus_flush(mb);

    f.Set(LineFault::ShortReply, {.count = 1});
    EXPECT_EQ(Read1(0xFD, v), -1);
    modbus_flush(mb);

    // Faults off again: the line answers as before.
    EXPECT_EQ(Read1(0xFD, v), 1);
    EXPECT_EQ(v, 1);
}

// A reply that is lost still leaves the write done; a request that is lost leaves nothing done.
TEST_F(FaultSwitch, aLostRequestIsNotCarriedOutWhereALostReplyIs) {
    StartSim(Builtin(1));
    modbus_t* mb = Client(38400, 100);
    std::uint16_t v = 0;
    ASSERT_EQ(modbus_write_register(mb, 30, 10), 1);

    sim_->Faults().Set(LineFault::NoReply, {.count = 1});
    EXPECT_EQ(modbus_write_register(mb, 30, 20), -1);
    ASSERT_EQ(Read1(30, v), 1);
    EXPECT_EQ(v, 20);

    sim_->Faults().Set(LineFault::LostRequest, {.count = 1});
    EXPECT_EQ(modbus_write_register(mb, 30, 40), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    ASSERT_EQ(Read1(30, v), 1);
    EXPECT_EQ(v, 20);
}

TEST_F(FaultSwitch, strayByteIsLocatedByTheLinksWriteButSpoilsItsRead) {
    StartSim(Builtin(1));
    CKTCOM link;
    link.ConfigCom("COM9", "38400", "8", "NONE", "1");
    link.SetReceiveTimeOut(200);
    ASSERT_EQ(link.OpenCom(), 1);
    link.SetCurrentUseMode(1);
    sim_->Faults().Set(LineFault::StrayByte, {.count = 1});
    EXPECT_EQ(link.WriteAddressValue(1, 30, 66), 66);
    EXPECT_EQ(link.GetLastErrors(), 0);
    sim_->Faults().Set(LineFault::StrayByte, {.count = 1});
    EXPECT_EQ(link.ReadAddressValue(1, 30), 66) << "the second attempt gets a clean reply";
    sim_->Faults().Set(LineFault::StrayByte, {.count = 3});
    EXPECT_EQ(link.ReadAddressValue(1, 30), -1);
    EXPECT_EQ(link.GetLastErrors(), 60002); // every attempt failed its check
    link.CloseCom();
}

// Review item 9: noise ahead of a request arrives with it, with no silence between them.
TEST_F(LineTest, strayByteAheadOfARequestIsPassedOver) {
    StartSim(Builtin(1));
    const int fd = ::open(sim_->DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const Bytes request = {0x00, 0x01, 0x03, 0x00, 0xFD, 0x00, 0x01, 0x15, 0xFA};
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const Bytes expected = ReadReply(1, {1});
    Bytes reply;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (reply.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        std::uint8_t buffer[64];
        if (::poll(&p, 1, 50) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            reply.insert(reply.end(), buffer, buffer + std::max<ssize_t>(n, 0));
        }
    }
    ::close(fd);
    EXPECT_EQ(reply, expected);
}

TEST_F(FaultSwitch, lineNoiseArrivesBetweenExchanges) {
    StartSim(Builtin(1));
    const int fd = ::open(sim_->DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    sim_->Faults().Set(LineFault::LineNoise, {.count = 3});
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    std::uint8_t buffer[64];
    while (got < 3 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }
    ::close(fd);
    EXPECT_GE(got, 3U) << "three bursts of at least one byte";
}

TEST_F(FaultSwitch, hangupClosesTheLineAndReplugOpensANewOne) {
    StartSim(Builtin(1));
    modbus_t* mb = Client(38400, 150);
    std::uint16_t v = 0;
    ASSERT_EQ(Read1(0xFD, v), 1);
    const std::string before = sim_->DevicePath();
    sim_->Hangup();
    EXPECT_EQ(Read1(0xFD, v), -1);
    EXPECT_FALSE(std::filesystem::is_symlink(portDir_ + "/COM9")) << "the device is gone";
    std::string error;
    ASSERT_TRUE(sim_->Replug(error)) << error;
    modbus_close(mb);
    modbus_free(mb);
    ctx_ = nullptr;
    Client();
    ASSERT_EQ(Read1(0xFD, v), 1);
    EXPECT_EQ(v, 1);
}

TEST_F(LineTest, earlierProtocolBlockOf400RegistersReachesTheLinkInOneFrame) {
    StartSim(Builtin(2), 38400, 0);
    CKTCOM link;
    link.ConfigCom("COM9", "38400", "8", "NONE", "1");
    link.SetReceiveTimeOut(500);
    ASSERT_EQ(link.OpenCom(), 1);
    link.SetCurrentUseMode(1);
    link.WriteAddressValue(1, 0x41, 128);
    link.WriteAddressValue(1, 0x42, 4);
    link.WriteAddressValue(1, 0xD0, 10);
    link.WriteAddressValue(1, 0x14, 1);
    sim_->Step(100ms);
    EXPECT_EQ(link.ReadAddressValue(1, 0xDA), 2);
    const KtVariant block = link.ReadBigData(1, 0x14, 400);
    ASSERT_EQ(block.parray.size(), 805U);
    EXPECT_NEAR(static_cast<std::int16_t>((block.parray[3] << 8) | block.parray[4]), 700, 15);
    link.CloseCom();
}

// Review item 11: a store written right after a current-loop test must not wait for its window.
TEST_F(LineTest, driveRunsOnWhileACurrentLoopTestCaptures) {
    StartSim(Builtin(1), 0, 0);
    modbus_t* mb = Client();
    ASSERT_EQ(modbus_write_register(mb, 0xD0, 1000), 1); // a sample each 100 ms: a 40 s window
    ASSERT_EQ(modbus_write_register(mb, 0x04, 2000), 1);
    ASSERT_EQ(modbus_write_register(mb, 0x02, 1), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_write_register(mb, 0x0C, 1), 1) << modbus_strerror(errno);
    sim_->Step(600ms);
    std::uint16_t v = 0;
    ASSERT_EQ(Read1(0x0C, v), 1);
    EXPECT_EQ(v, 0) << "the store is done";
    ASSERT_EQ(Read1(0xDA, v), 1);
    EXPECT_EQ(v, 1) << "the capture goes on";
    std::uint16_t trace[7] = {};
    ASSERT_EQ(modbus_read_registers(mb, 0x1000, 7, trace), 7);
    EXPECT_NEAR(static_cast<std::int16_t>(trace[6]), 2000, 60) << "the sample taken at 600 ms";
}

TEST_F(LineTest, controlCommandsReachTheRunningDrive) {
    StartSim(Builtin(1), 0, 0);
    EXPECT_TRUE(RunControlCommand(*sim_, "alarm 7").ok);
    EXPECT_EQ(sim_->WithDrive([](Drive& d) { return d.Alarms().Current(); }), 7);
    EXPECT_TRUE(RunControlCommand(*sim_, "clear-alarm").ok);
    EXPECT_TRUE(RunControlCommand(*sim_, "fault no-reply 2").ok);
    EXPECT_EQ(sim_->Faults().Get(LineFault::NoReply).count, 2);
    EXPECT_TRUE(RunControlCommand(*sim_, "fault crc-error @0.5").ok);
    EXPECT_DOUBLE_EQ(sim_->Faults().Get(LineFault::CrcError).rate, 0.5);
    EXPECT_TRUE(RunControlCommand(*sim_, "fault clear").ok);
    EXPECT_EQ(sim_->Faults().Describe(), "none");
    const double before = sim_->WithDrive([](Drive& d) { return d.Seconds(); });
    EXPECT_TRUE(RunControlCommand(*sim_, "step 250").ok);
    EXPECT_NEAR(sim_->WithDrive([](Drive& d) { return d.Seconds(); }) - before, 0.25, 1e-6);
    EXPECT_FALSE(RunControlCommand(*sim_, "fault cosmic-ray 1").ok);
    EXPECT_FALSE(RunControlCommand(*sim_, "frobnicate").ok);
    EXPECT_TRUE(RunControlCommand(*sim_, "quit").quit);
    EXPECT_NE(RunControlCommand(*sim_, "status").text.find("COM9"), std::string::npos);
}

TEST(CommandLineParse, readsEverySwitchAndRefusesNonsense) {
    std::string error;
    auto cl = ParseCommandLine(
        {"--model", "21",     "--protocol",      "320", "--port",  "COM4",        "--station", "3",
         "--baud",  "0",      "--turnaround-us", "200", "--fault", "crc-error=2", "--clock",   "10",
         "--state", "/tmp/x", "--features",      "0x3", "--motor", "servo",       "--builtin"},
        error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_EQ(cl->driveCode, 21);
    EXPECT_EQ(cl->protocolVersion, 320);
    EXPECT_EQ(cl->sim.portName, "COM4");
    EXPECT_EQ(cl->sim.station, 3);
    EXPECT_EQ(cl->sim.timing.baud, 0);
    EXPECT_EQ(cl->sim.timing.turnaround, Micros(200));
    EXPECT_EQ(cl->faults, std::vector<std::string>{"crc-error=2"});
    EXPECT_DOUBLE_EQ(cl->sim.clockRate, 10);
    EXPECT_EQ(cl->drive.featureBits, 3);
    EXPECT_EQ(cl->drive.motor, MotorKind::Servo);
    EXPECT_TRUE(cl->builtin);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--station", "0"},
                                         {"--baud", "fast"},
                                         {"--model"},
                                         {"--motor", "diesel"},
                                         {"--whatever"}}) {
        EXPECT_FALSE(ParseCommandLine(bad, error).has_value()) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
