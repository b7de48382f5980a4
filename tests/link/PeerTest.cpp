// The link against a Modbus RTU server we did not write (libmodbus), over two joined
// pseudo-terminals.

#include "KTCOM.h"
#include "ModbusPeer.h"
#include "PortNames.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

namespace {

class Peer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Ok());
        ASSERT_TRUE(ktcom::RegisterPort("COM5", relay.PathA()));
        link.ConfigCom("COM5", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(500);
        ASSERT_EQ(link.OpenCom(), 1);
        link.SetCurrentUseMode(1);
    }

    kttest::TempPortDir ports;
    kttest::PtyRelay relay;
    kttest::ModbusPeerServer server{relay.PathB(), 38400};
    CKTCOM link;
};

TEST_F(Peer, readsWhatTheServerHolds) {
    server.Set(0xFD, 257);
    server.Set(0x47, 310);
    server.Set(0x49, 0xFFFF);
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 257);
    EXPECT_EQ(link.ReadAddressValue(1, 0x47), 310);
    EXPECT_EQ(link.ReadAddressValue(1, 0x49), -1);
    EXPECT_EQ(link.GetLastErrors(), 0);
}

TEST_F(Peer, writesReachTheServer) {
    EXPECT_EQ(link.WriteAddressValue(1, 0x20, 1234), 1234);
    EXPECT_EQ(server.Get(0x20), 1234);
    EXPECT_EQ(link.WriteAddressValue(1, 0x21, -2), -2);
    EXPECT_EQ(server.Get(0x21), 0xFFFE);
}

TEST_F(Peer, blockReadsAndWritesMatchTheServer) {
    for (int i = 0; i < 125; ++i) {
        server.Set(0x1000 + i, static_cast<std::uint16_t>(i * 257));
    }
    const KtVariant v = link.ReadBigData(1, 0x1000, 125);
    ASSERT_TRUE(v.IsByteArray());
    ASSERT_EQ(v.Count(), 255u);
    for (int i = 0; i < 125; ++i) {
        ASSERT_EQ((v.parray[3 + 2 * i] << 8) | v.parray[4 + 2 * i], (i * 257) & 0xFFFF) << i;
    }

    const KtVariant data = KtVariant::FromBytes(std::vector<std::uint8_t>{0x12, 0x34, 0xAB, 0xCD});
    EXPECT_EQ(link.WriteBigData(1, 0x300, 2, data), 2);
    EXPECT_EQ(server.Get(0x300), 0x1234);
    EXPECT_EQ(server.Get(0x301), 0xABCD);
}

TEST_F(Peer, addressOutsideTheServersTableIsRefused) {
    link.SetReceiveTimeOut(30);
    EXPECT_EQ(link.ReadAddressValue(1, 0x7000), -1); // the server answers with an exception
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_REFUSED);
}

} // namespace
