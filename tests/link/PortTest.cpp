// Opening, closing and configuring the port: line settings as the drive's line sees them, and the
// way port names resolve on this platform.

#include "LinkFixture.h"

#include "LineSettings.h"
#include "SerialPort.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct TextCase {
    const char* name;
    const char* baud;
    const char* dataBits;
    const char* parity;
    const char* stopBits;
    ktcom::LineSettings expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(SettingTexts, mapOntoTheStoredChoices) {
    const TextCase& c = GetParam();
    EXPECT_EQ(ktcom::ParseLineSettings(c.baud, c.dataBits, c.parity, c.stopBits), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigCom, SettingTexts,
    ::testing::Values(TextCase{"program", "38400", "8", "NONE", "1", {6, 1, 0, 0}},
                      TextCase{"lowerCase", "9600", "8", "none", "1", {3, 1, 0, 0}},
                      TextCase{"unlistedBaud", "12345", "8", "NONE", "1", {6, 1, 0, 0}},
                      TextCase{"unreadableBaud", "fast", "8", "NONE", "1", {6, 1, 0, 0}},
                      TextCase{"fastestEntry", "128000", "8", "NONE", "1", {9, 1, 0, 0}},
                      TextCase{"sevenBitsEvenTwoStops", "115200", "7", "Even", "2", {8, 0, 2, 2}},
                      TextCase{"nineBitsMeansEight", "19200", "9", "ODD", "1", {5, 1, 1, 0}},
                      TextCase{
                          "emptyBitsMarkAndLooseStops", "57600", "", "mark", "1.50", {7, 1, 0, 0}},
                      TextCase{"oneAndAHalf", "1200", "8", "NONE", "1.5", {0, 1, 0, 1}},
                      TextCase{"chineseOddUtf8", "4800", "8", "奇", "1", {2, 1, 1, 0}},
                      TextCase{"chineseEvenGbk", "2400", "8", "\xC5\xBC", "1", {1, 1, 2, 0}},
                      TextCase{"chineseNoneGbk", "14400", "8", "\xCE\xDE", "1", {4, 1, 0, 0}},
                      TextCase{"nullTexts", nullptr, nullptr, nullptr, nullptr, {6, 1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpeedTable, mapsIndexesToLineSpeeds) {
    EXPECT_EQ(ktcom::BaudForIndex(6), 38400u);
    EXPECT_EQ(ktcom::BaudForIndex(4), 14400u);
    EXPECT_EQ(ktcom::BaudForIndex(9), 500000u);
    EXPECT_EQ(ktcom::BaudForIndex(10), 9600u);
    EXPECT_EQ(ktcom::BaudForIndex(-1), 9600u);
}

TEST(LineState, carriesDataBitsParityAndStopBits) {
    termios tio{};
    ASSERT_TRUE(ktcom::MakeLineState({6, 0, 1, 2}, tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_NE(tio.c_cflag & PARENB, 0u);
    EXPECT_NE(tio.c_cflag & PARODD, 0u);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_NE(tio.c_iflag & INPCK, 0u);

    ASSERT_TRUE(ktcom::MakeLineState({6, 1, 2, 0}, tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & PARENB, 0u);
    EXPECT_EQ(tio.c_cflag & PARODD, 0u);
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);

    ASSERT_TRUE(ktcom::MakeLineState({6, 1, 0, 0}, tio));
    EXPECT_EQ(tio.c_cflag & PARENB, 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);

    EXPECT_FALSE(ktcom::MakeLineState({6, 1, 0, 1}, tio));
}

// A pseudo-terminal keeps only what it can carry (speed, raw mode, no flow control); data bits and
// parity are checked on the state above.
struct SpeedCase {
    const char* baud;
    speed_t speed;
};

void PrintTo(const SpeedCase& c, std::ostream* os) {
    *os << c.baud;
}

class LineSpeed : public LinkFixture, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(LineSpeed, reachesTheLine) {
    link.ConfigCom("com7", GetParam().baud, "8", "NONE", "1");
    ASSERT_EQ(link.OpenCom(), 1);
    termios tio{};
    ASSERT_EQ(::tcgetattr(slave.SlaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), GetParam().speed);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

INSTANTIATE_TEST_SUITE_P(ConfigCom, LineSpeed,
                         ::testing::Values(SpeedCase{"38400", B38400}, SpeedCase{"9600", B9600},
                                           SpeedCase{"12345", B38400}, SpeedCase{"128000", B500000},
                                           SpeedCase{"115200", B115200}),
                         [](const auto& info) { return std::string(info.param.baud); });

TEST_F(LinkFixture, speedWithoutATermiosConstantIsSetExactly) {
    link.ConfigCom("COM7", "14400", "8", "NONE", "1");
    ASSERT_EQ(link.OpenCom(), 1);
    EXPECT_EQ(link.GetConnectStatus(), 1);
}

TEST_F(LinkFixture, oneAndAHalfStopBitsAreRefusedSilently) {
    link.ConfigCom("COM7", "38400", "8", "NONE", "1.5");
    EXPECT_EQ(link.OpenCom(), 0);
    EXPECT_EQ(link.GetConnectStatus(), 0);
    EXPECT_EQ(link.GetLastErrors(), 0);
}

TEST_F(LinkFixture, openTwiceKeepsThePortOpenAndCloseTwiceSucceeds) {
    Open();
    EXPECT_EQ(link.OpenCom(), 0);
    EXPECT_EQ(link.GetConnectStatus(), 1);
    EXPECT_EQ(link.CloseCom(), 1);
    EXPECT_EQ(link.GetConnectStatus(), 0);
    EXPECT_EQ(link.CloseCom(), 1);
    // And it opens again after a close.
    EXPECT_EQ(link.OpenCom(), 1);
}

TEST_F(LinkFixture, aSecondLinkCannotShareThePort) {
    Open();
    CKTCOM other;
    other.ConfigCom("COM7", "38400", "8", "NONE", "1");
    EXPECT_EQ(other.OpenCom(), 0);
    EXPECT_EQ(other.GetLastErrors(), LINK_ERR_OPEN_FAILED);
}

TEST_F(LinkFixture, missingPortFailsWithOpenFailedAndIsReported) {
    RecordingTarget target;
    link.SetReportHWND(&target);
    link.ConfigCom("COM200", "38400", "8", "NONE", "1");
    EXPECT_EQ(link.OpenCom(), 0);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_OPEN_FAILED);
    EXPECT_EQ(link.GetConnectStatus(), 0);
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].message, 0x7E8u);
    EXPECT_EQ(posts[0].wParam, 0u);
    EXPECT_EQ(posts[0].lParam, 60001);
    link.SetReportHWND(nullptr);
}

// Only a terminal is a port: an entry that leads anywhere else is refused with "open failed"
// before a byte goes anywhere.
TEST_F(LinkFixture, anEntryThatIsNoTerminalIsRefusedBeforeAnyByte) {
    const std::string file = ports.Path() + "/capture.bin";
    const std::string fifo = ports.Path() + "/capture.fifo";
    std::fclose(std::fopen(file.c_str(), "w"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fifoReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifoReader, 0);
    for (const std::string& target : {std::string("/dev/null"), file, fifo}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(ktcom::RegisterPort("COM8", target));
        link.ConfigCom("COM8", "38400", "8", "NONE", "1");
        EXPECT_EQ(link.OpenCom(), 0);
        EXPECT_EQ(link.GetLastErrors(), LINK_ERR_OPEN_FAILED);
        EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1);
        ASSERT_TRUE(ktcom::UnregisterPort("COM8"));
    }
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    char byte;
    EXPECT_LE(::read(fifoReader, &byte, 1), 0);
    ::close(fifoReader);
}

// A device name typed by the user is never swapped for another port.
TEST_F(LinkFixture, aMissingTypedDeviceFailsInsteadOfOpeningCom1) {
    ASSERT_TRUE(ktcom::RegisterPort("COM1", slave.SlavePath()));
    AnswerFromBank();
    for (const char* typed : {"ttyUSB97", "/dev/ttyACM97"}) {
        SCOPED_TRACE(typed);
        link.ConfigCom(typed, "38400", "8", "NONE", "1");
        EXPECT_EQ(link.OpenCom(), 0);
        EXPECT_EQ(link.GetLastErrors(), LINK_ERR_OPEN_FAILED);
    }
    EXPECT_EQ(slave.RequestCount(), 0u);
    // Text that names no device at all still means COM1.
    link.ConfigCom("USB1", "38400", "8", "NONE", "1");
    EXPECT_EQ(link.OpenCom(), 1);
}

TEST_F(LinkFixture, destroyingAnOpenLinkStopsItsThreadAndFreesThePort) {
    {
        CKTCOM temporary;
        temporary.ConfigCom("COM7", "38400", "8", "NONE", "1");
        ASSERT_EQ(temporary.OpenCom(), 1);
        slave.Send({0x01, 0x02, 0x03}); // bytes nobody collects park the monitor
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Open();
}

TEST(ReceiveTimeOut, acceptsFiveToThreeThousand) {
    CKTCOM link;
    EXPECT_EQ(link.GetReceiveTimeOut(), 50);
    EXPECT_EQ(link.SetReceiveTimeOut(4), 0);
    EXPECT_EQ(link.GetReceiveTimeOut(), 50);
    EXPECT_EQ(link.SetReceiveTimeOut(5), 1);
    EXPECT_EQ(link.GetReceiveTimeOut(), 5);
    EXPECT_EQ(link.SetReceiveTimeOut(3000), 1);
    EXPECT_EQ(link.GetReceiveTimeOut(), 3000);
    EXPECT_EQ(link.SetReceiveTimeOut(3001), 0);
    EXPECT_EQ(link.GetReceiveTimeOut(), 50);
}

TEST(UseMode, startsOnlineAndKeepsWhatIsSet) {
    CKTCOM link;
    EXPECT_EQ(link.GetCurrentUseMode(), 1);
    link.SetCurrentUseMode(0);
    EXPECT_EQ(link.GetCurrentUseMode(), 0);
    link.SetCurrentUseMode(7);
    EXPECT_EQ(link.GetCurrentUseMode(), 7);
    EXPECT_EQ(link.GetConnectStatus(), 0);
    EXPECT_EQ(link.GetLastErrors(), 0);
}

class PortNames : public ::testing::Test {
protected:
    kttest::TempPortDir ports;
};

TEST_F(PortNames, comTextsAreUpperCasedAndOthersBecomeCom1) {
    EXPECT_EQ(ktcom::NormalizePortName("com3"), "COM3");
    EXPECT_EQ(ktcom::NormalizePortName("COM12"), "COM12");
    EXPECT_EQ(ktcom::NormalizePortName("USB1"), "COM1");
    EXPECT_EQ(ktcom::NormalizePortName(""), "COM1");
    EXPECT_EQ(ktcom::NormalizePortName("../etc/passwd"), "COM1");
}

TEST_F(PortNames, devicesAndRegisteredNamesKeepTheirCase) {
    EXPECT_EQ(ktcom::NormalizePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ktcom::NormalizePortName("null"), "null"); // /dev/null exists
    ASSERT_TRUE(ktcom::RegisterPort("bench-a", "/dev/null"));
    EXPECT_EQ(ktcom::NormalizePortName("bench-a"), "bench-a");
}

TEST_F(PortNames, resolveRegisteredEntriesFirstThenTheComConvention) {
    EXPECT_EQ(ktcom::ResolvePortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ktcom::ResolvePortPath("COM10"), "/dev/ttyS9");
    EXPECT_EQ(ktcom::ResolvePortPath("COM0"), "");
    EXPECT_EQ(ktcom::ResolvePortPath("COMX"), "");
    EXPECT_EQ(ktcom::ResolvePortPath("ttyUSB3"), "/dev/ttyUSB3");
    ASSERT_TRUE(ktcom::RegisterPort("COM1", "/dev/null"));
    EXPECT_EQ(ktcom::ResolvePortPath("COM1"), ports.Path() + "/COM1");
    ASSERT_TRUE(ktcom::UnregisterPort("COM1"));
    EXPECT_EQ(ktcom::ResolvePortPath("COM1"), "/dev/ttyS0");
    EXPECT_FALSE(ktcom::RegisterPort("a/b", "/dev/null"));
}

TEST_F(PortNames, listingShowsLiveEntriesInNaturalOrder) {
    ASSERT_TRUE(ktcom::RegisterPort("COM10", "/dev/null"));
    ASSERT_TRUE(ktcom::RegisterPort("COM9", "/dev/null"));
    ASSERT_TRUE(ktcom::RegisterPort("COM2", "/dev/null"));
    ASSERT_TRUE(ktcom::RegisterPort("COM3", "/dev/no-such-device"));
    const auto ports = ktcom::ListPorts();
    ASSERT_GE(ports.size(), 3u);
    EXPECT_EQ(ports[0], "COM2");
    EXPECT_EQ(ports[1], "COM9");
    EXPECT_EQ(ports[2], "COM10");
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM3"), 0);
}

// The port directory says which device a name opens, so a directory that others can write to, or
// that is someone else's, is not believed: a pty planted there is never reached.
TEST_F(LinkFixture, aPortDirectoryOthersCanChangeIsPassedOver) {
    link.SetReceiveTimeOut(20);
    AnswerFromBank();
    auto tryPlanted = [&] {
        link.ConfigCom("COM7", "38400", "8", "NONE", "1");
        if (link.OpenCom() == 1) {
            link.SetCurrentUseMode(1);
            link.ReadAddressValue(1, 0xFD);
            link.CloseCom();
        }
    };
    ASSERT_EQ(::chmod(ports.Path().c_str(), 0777), 0);
    EXPECT_NE(ktcom::PortDirectoryProblem().find("mode 0777"), std::string::npos);
    tryPlanted();
    EXPECT_FALSE(ktcom::RegisterPort("COM6", slave.SlavePath()));
    const auto listed = ktcom::ListPorts();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "COM7"), 0);
    ASSERT_EQ(::chmod(ports.Path().c_str(), 0700), 0);
    if (::getuid() == 0) {
        ASSERT_EQ(::chown(ports.Path().c_str(), 1, 1), 0);
        EXPECT_NE(ktcom::PortDirectoryProblem().find("another user"), std::string::npos);
        tryPlanted();
        ASSERT_EQ(::chown(ports.Path().c_str(), 0, 0), 0);
    }
    // A link in place of the directory is not followed either.
    const std::string aside = ports.Path() + "-real";
    ASSERT_EQ(::rename(ports.Path().c_str(), aside.c_str()), 0);
    ASSERT_EQ(::symlink(aside.c_str(), ports.Path().c_str()), 0);
    EXPECT_NE(ktcom::PortDirectoryProblem().find("symbolic link"), std::string::npos);
    tryPlanted();
    ::unlink(ports.Path().c_str());
    ASSERT_EQ(::rename(aside.c_str(), ports.Path().c_str()), 0);

    EXPECT_EQ(slave.RequestCount(), 0u);
    EXPECT_TRUE(ktcom::PortDirectoryProblem().empty());
    Open(); // the same entry, believed again
}

// A name that still leads to a live line is someone else's: it is not taken over, and a line
// removes only an entry that still leads to it.
TEST_F(PortNames, aLiveNameIsNotTakenAndOnlyItsOwnerRemovesIt) {
    kttest::PtySlave first;
    kttest::PtySlave second;
    ASSERT_TRUE(ktcom::RegisterPort("COM9", first.SlavePath()));
    EXPECT_FALSE(ktcom::RegisterPort("COM9", second.SlavePath()));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(ktcom::UnregisterPort("COM9", second.SlavePath()));
    EXPECT_EQ(ktcom::EntryTarget("COM9"), first.SlavePath());
    EXPECT_TRUE(ktcom::RegisterPort("COM9", first.SlavePath())); // its own again: fine
    EXPECT_TRUE(ktcom::UnregisterPort("COM9", first.SlavePath()));
    // An entry left behind by a line that is gone is replaced.
    ASSERT_TRUE(ktcom::RegisterPort("COM9", "/dev/pts/no-such-pty"));
    EXPECT_TRUE(ktcom::RegisterPort("COM9", second.SlavePath()));
    EXPECT_EQ(ktcom::EntryTarget("COM9"), second.SlavePath());
}

TEST(NaturalOrder, comparesNumbersByValue) {
    EXPECT_TRUE(ktcom::NaturalLess("COM2", "COM10"));
    EXPECT_FALSE(ktcom::NaturalLess("COM10", "COM2"));
    EXPECT_TRUE(ktcom::NaturalLess("ttyUSB9", "ttyUSB10"));
    EXPECT_TRUE(ktcom::NaturalLess("ttyACM0", "ttyUSB0"));
    EXPECT_FALSE(ktcom::NaturalLess("COM3", "COM3"));
    EXPECT_TRUE(ktcom::NaturalLess("COM", "COM1"));
}

} // namespace
