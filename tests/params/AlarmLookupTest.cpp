// The alarm lookup's failure, and the codes taken from a block read's reply. The records
// themselves are checked through the page against the built DATA.mdb.

#include "AlarmLookup.h"
#include "CADO.h"

#include <gtest/gtest.h>

using namespace kestova::params;

namespace {

TEST(AlarmLookupFailure, aClosedDatabaseIsADatabaseError) {
    CADO closed;
    const AlarmLookup lookup = LookUpAlarm(closed, 4);
    EXPECT_EQ(lookup.status, AlarmLookupStatus::DbError);
    EXPECT_FALSE(lookup.errorDescription.empty());
}

KtVariant Reply(std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> frame{1, 3, static_cast<std::uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.insert(frame.end(), {0xAB, 0xCD}); // the CRC is not looked at
    return KtVariant::FromBytes(frame);
}

TEST(AlarmHistory, tenSignedCodesHighByteFirstInRegisterOrder) {
    std::vector<std::uint8_t> data(20, 0);
    data[1] = 5;
    data[4] = 0xFF;
    data[5] = 0xFF;
    data[18] = 0x01;
    data[19] = 0x02;
    const std::vector<std::int16_t> codes = AlarmHistoryCodes(Reply(data));
    EXPECT_EQ(codes, (std::vector<std::int16_t>{5, 0, -1, 0, 0, 0, 0, 0, 0, 0x0102}));
}

TEST(AlarmHistory, noReplyOrAnOverlongOneGivesNoCodes) {
    EXPECT_TRUE(AlarmHistoryCodes(KtVariant{}).empty());
    EXPECT_TRUE(AlarmHistoryCodes(KtVariant::FromBytes(std::vector<std::uint8_t>(128, 1))).empty());
    EXPECT_EQ(AlarmHistoryCodes(KtVariant::FromBytes(std::vector<std::uint8_t>(127, 1))).size(),
              10u);
}

} // namespace
